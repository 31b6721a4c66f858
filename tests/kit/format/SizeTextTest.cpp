#include "kit/PZBandwidth.h"
#include "kit/PZByteSize.h"
#include "kit/PZFileSize.h"
#include "kit/PZSISize.h"

#include <QLocale>
#include <clocale>
#include <gtest/gtest.h>

using namespace ombrelay;

TEST(SizeText, ByteSizes)
{
    struct Case
    {
        quint64 value;
        QString text;
    };
    const Case cases[] = {
        {0, "-"},
        {1, "0 kB"},
        {49, "0 kB"},
        {50, "0.1 kB"},
        {500, "0.5 kB"},
        {1000, "1 kB"},
        {1500, "1.5 kB"},
        {999'949, "999.9 kB"},
        {999'999, "1 MB"},
        {2'500'000'000, "2.5 GB"},
        {1'234'567'890, "1.23 GB"},
        {9'999'999'999, "10 GB"},
        {12'345'678'901, "12.3 GB"},
        {999'999'999'999, "1 TB"},
        {std::numeric_limits<quint64>::max(), "18.4 EB"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(PZByteSize::sizeWithValue(c.value).description(), c.text);
    }
}

TEST(SizeText, ZeroValuesAndUnitsOfEachKind)
{
    EXPECT_EQ(PZBandwidth(0).description(), "");
    EXPECT_EQ(PZFileSize(0).description(), "");
    EXPECT_EQ(PZByteSize(0).description(), "-");
    EXPECT_EQ(PZSISize(0).description(), "-");
    EXPECT_EQ(PZBandwidth::sizeWithValue(2'500'000).description(), "2.5 MB/s");
    EXPECT_EQ(PZFileSize::sizeWithValue(1500).description(), "1.5 kB");
    EXPECT_EQ(PZSISize(1500).description(), "1.5 k");
    EXPECT_EQ(PZByteSize(1500).descriptionWithPostfix("bit"), "1.5 kbit");

    PZSISize size(10);
    size.setPostfix("peers");
    size.setZeroValue("none");
    EXPECT_EQ(size.description(), "0 kpeers");
    EXPECT_FALSE(size.setValue(10));
    EXPECT_TRUE(size.setValue(0));
    EXPECT_EQ(size.description(), "none");
}

TEST(SizeText, IndependentOfTheUserLocale)
{
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const char* saved = std::setlocale(LC_NUMERIC, nullptr);
    const std::string savedNumeric = saved ? saved : "C";
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8"); // may be missing; Qt's own formatting is what matters

    EXPECT_EQ(PZByteSize(1'500'000).description(), "1.5 MB");
    EXPECT_EQ(PZByteSize(1'234'567'890).description(), "1.23 GB");
    EXPECT_EQ(PZByteSize(123'456'789'012'345).description(), "123.5 TB");

    std::setlocale(LC_NUMERIC, savedNumeric.c_str());
    QLocale::setDefault(previous);
}
