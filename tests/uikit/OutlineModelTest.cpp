#include "FakeOutline.h"

#include "uikit/PZOutlineModel.h"
#include "uikit/PZOutlineProxyModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

// Fails the test on the first complaint of the model tester.
struct FailingTester
{
    explicit FailingTester(QAbstractItemModel* model)
        : tester(model, QAbstractItemModelTester::FailureReportingMode::Warning)
    {
        previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
            if (type == QtWarningMsg && message.contains(QLatin1String("FAIL")))
                ADD_FAILURE() << message.toStdString();
        });
    }
    ~FailingTester() { qInstallMessageHandler(previous); }

    QAbstractItemModelTester tester;
    QtMessageHandler previous;
};

}  // namespace

TEST(OutlineModelTest, ModelAndProxyStayConsistentThroughEdits)
{
    FakeOutlineWindow w;
    w.window.show();
    FailingTester sourceTester(w.view->objectModel());
    FailingTester proxyTester(w.view->arrangedModel());

    FakeLine* alpha = w.add(QStringLiteral("alpha"), 10, true);
    alpha->addChild(QStringLiteral("a1"));
    FakeLine* folder = alpha->addChild(QStringLiteral("a-folder"));
    folder->addChild(QStringLiteral("deep"));
    w.view->reloadChildren(alpha);
    w.view->expandAll();
    FakeLine* beta = w.add(QStringLiteral("beta"), 30, false, true);
    w.add(QStringLiteral("gamma"), 20, true);

    w.view->setSortDescriptors({{QStringLiteral("size"), false, QStringLiteral("compare:")}});
    w.tabs->selectButtonAtIndex(1);
    w.field->setText(QStringLiteral("a"));
    w.tabs->selectButtonAtIndex(0);
    w.field->clear();
    w.view->setSortDescriptors({});

    std::unique_ptr<FakeLine> gone = std::move(alpha->children.back());  // alive until the view knows
    alpha->children.pop_back();
    w.view->reloadChildren(alpha);
    gone.reset();
    alpha->addChild(QStringLiteral("a2"));
    alpha->addChild(QStringLiteral("a3"));
    w.view->reloadChildren(alpha);
    EXPECT_EQ(w.view->model()->rowCount(w.view->indexForObject(alpha)), 3);
    w.view->removeObjects({beta, alpha});
    EXPECT_EQ(w.view->objectModel()->rowCount(), 1);

    std::vector<std::unique_ptr<FakeLine>> fresh;
    for (int i = 0; i < 5; ++i)
        fresh.push_back(std::make_unique<FakeLine>(QStringLiteral("n%1").arg(i), i));
    w.view->setObjects({fresh[0].get(), fresh[1].get(), fresh[2].get(), fresh[0].get()});
    EXPECT_EQ(w.view->objects().size(), 3);  // listed once each
    w.view->addObjects({fresh[3].get(), fresh[4].get()});
    w.view->removeObjects({fresh[1].get(), fresh[3].get(), fresh[4].get()});
    EXPECT_EQ(w.shownNames(), QStringList({"n0", "n2"}));
}

TEST(OutlineModelTest, RemovalsTellExactlyWhichRowsWent)
{
    PZOutlineModel model;
    model.setColumns({"Name"}, {"name"});
    std::vector<std::unique_ptr<FakeLine>> lines;
    QList<PZOutlineObject*> objects;
    for (int i = 0; i < 6; ++i) {
        lines.push_back(std::make_unique<FakeLine>(QString::number(i)));
        objects.append(lines.back().get());
    }
    model.append(objects);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    model.remove({objects[1], objects[2], objects[4], objects[5]});
    ASSERT_EQ(removed.size(), 2);  // the runs 4-5 and 1-2, from the bottom up
    EXPECT_EQ(removed[0][1].toInt(), 4);
    EXPECT_EQ(removed[0][2].toInt(), 5);
    EXPECT_EQ(removed[1][1].toInt(), 1);
    EXPECT_EQ(removed[1][2].toInt(), 2);
    EXPECT_EQ(model.objects(), QList<PZOutlineObject*>({objects[0], objects[3]}));
    EXPECT_EQ(model.indexForObject(objects[3]).row(), 1);
    EXPECT_FALSE(model.indexForObject(objects[1]).isValid());
    EXPECT_EQ(PZOutlineModel::objectAt(model.index(1, 0)), objects[3]);
}
