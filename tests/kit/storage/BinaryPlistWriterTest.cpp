#include "kit/BinaryPlistWriter.h"
#include "kit/PropertyList.h"

#include <QDateTime>
#include <gtest/gtest.h>

#include <limits>

using namespace ombrelay;

// What the writer produces reads back through the library reader, across every size class of its
// lengths, integers, references and offsets.
TEST(BinaryPlistWriterTest, EverySizeClassReadsBack)
{
    QVariantList manyStrings;
    for (int i = 0; i < 300; ++i)  // over 255 objects: two-byte references
        manyStrings.append(QString("s%1").arg(i));
    QVariantList manyMaps;
    for (int i = 0; i < 22000; ++i)  // over 65535 objects: four-byte references, shared keys
        manyMaps.append(QVariantMap{{"k", i}, {"t", "x"}});
    const QDateTime date = QDateTime::fromMSecsSinceEpoch(1'700'000'000'250, Qt::UTC);
    const QList<QVariant> values = {
        QVariant(true),
        QVariant(qint64(0)),
        QVariant(qint64(255)),
        QVariant(qint64(256)),
        QVariant(qint64(70000)),
        QVariant(qint64(5'000'000'000)),
        QVariant(qint64(-1)),
        QVariant(std::numeric_limits<qint64>::min()),
        QVariant(2.5),
        QVariant(QString()),
        QVariant(QString("fourteen chars")),
        QVariant(QString("exactly fifteen")),
        QVariant(QString(70000, 'a')),
        QVariant(QStringLiteral("caf\u00e9 \u20ac \U0001F600")),
        QVariant(QByteArray(20, '\x01')),
        QVariant(date),
        QVariant(QVariantList()),
        QVariant(QVariantMap()),
        QVariant(manyStrings),
        QVariant(manyMaps),
        QVariant(QVariantMap{{"nested", QVariantList{QVariantMap{{"deep", QVariantList{1, "two"}}}}}}),
    };
    for (const QVariant& value : values) {
        SCOPED_TRACE(value.typeName());
        const QByteArray bytes = BinaryPlistWriter::write(value, 256);
        ASSERT_TRUE(bytes.startsWith("bplist00"));
        const QVariant back = PropertyList::fromBinary(bytes);
        ASSERT_TRUE(back.isValid());
        if (value.typeId() == QMetaType::Bool || value.typeId() == QMetaType::QByteArray
            || value.typeId() == QMetaType::Double || value.typeId() == QMetaType::QString)
            EXPECT_EQ(back, value);
        else if (value.typeId() == QMetaType::LongLong)
            EXPECT_EQ(back.toLongLong(), value.toLongLong());
        else if (value.typeId() == QMetaType::QDateTime)
            EXPECT_EQ(back.toDateTime().toMSecsSinceEpoch(), date.toMSecsSinceEpoch());
        else
            EXPECT_EQ(PropertyList::toBinary(back), bytes);  // containers: the same bytes once more
    }
    EXPECT_EQ(PropertyList::fromBinary(BinaryPlistWriter::write(QVariant(manyMaps), 256)).toList().at(21999).toMap().value("k"),
              QVariant(qint64(21999)));
    EXPECT_TRUE(BinaryPlistWriter::write(QVariantList{QVariantList{1}}, 1).isEmpty());  // too deep
}
