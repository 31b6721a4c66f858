#include "kit/Settings.h"
#include "search/SourceListActions.h"
#include "search/suggestions/SearchField.h"
#include "search/suggestions/Suggestion.h"
#include "search/suggestions/SuggestionLoader.h"
#include "search/suggestions/SuggestionView.h"
#include "search/suggestions/SuggestionWindow.h"
#include "support/HttpTestServer.h"
#include "support/Pictures.h"
#include "support/WaitUntil.h"

#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>
#include <gtest/gtest.h>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

QByteArray reply(const QStringList& texts)
{
    QByteArray body = "[\"q\",[";
    for (const QString& text : texts)
        body += "[\"" + text.toUtf8() + "\",0,[512]],";
    body.chop(texts.isEmpty() ? 0 : 1);
    return body + "],{\"k\":1}]])";
}

TEST(SuggestionLoaderTest, ReadsRecordsOfAReply)
{
    QByteArray many = "[\"q\",[";
    for (int i = 0; i < 5000; ++i)
        many += "[\"s" + QByteArray::number(i) + "\"],";
    many.chop(1);
    many += "]]])";
    QStringList first;
    for (int i = 0; i < SuggestionLoader::kMaxSuggestions; ++i)
        first << "s" + QString::number(i);
    const struct {
        QByteArray body;
        QStringList expected;
    } cases[] = {
        {reply({"ubuntu", "ubuntu 22"}), {"ubuntu", "ubuntu 22"}},
        {reply({R"(say \"hi\" \u0026 go)"}), {"say \"hi\" & go"}},
        {reply({"a],[b", "c"}), {"a],[b", "c"}},
        {reply({"tab\\there\\n", "", "   "}), {"tab here"}},
        {reply({"Serial key", "CRACKED", "song LyRiCs", "fine"}), {"fine"}},
        {reply({"<b>x</b>"}), {"<b>x</b>"}},
        {"no markers at all", {}},
        {"[\"q\",[[\"cut", {}},
        {many, first},
        {"[\"q\",[[\"a\"" + QByteArray(70000, ' ') + "]]])", {}},  // its end lies beyond the cap
    };
    for (const auto& c : cases)
        EXPECT_EQ(SuggestionLoader::resultsFromData(c.body), c.expected) << c.body.left(60).constData();
}

class RecordingSourceList : public SourceListActions
{
public:
    void addNewQueryForString(const QString& terms) override { queries << terms; }
    void addNewSubscriptionForAddress(const QString&, const QString&) override {}
    QStringList queries;
};

class SearchFieldTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        Settings::useFile(dir.filePath("settings.ini"));
        Settings::instance().setValue("kVistrelEnabled", "1");
        Settings::instance().setValue("kVistrelAvailable", "1");
        ASSERT_TRUE(server.listen());
        qputenv("http_proxy", server.url("/").toString(QUrl::RemovePath).toLatin1());
        qunsetenv("no_proxy");
        server.route("/complete/search", [this](const HttpTestRequest& r) {
            const QString q = QUrlQuery(QString::fromLatin1(r.query)).queryItemValue("q", QUrl::FullyDecoded);
            HttpTestResponse response;
            response.body = reply(answers.value(q));
            response.delayMs = q.size() == 1 ? 300 : 30;
            return response;
        });
        field.setSourceList(&sourceList);
        field.resize(180, 22);
        field.show();
        field.setFocus();
    }
    void TearDown() override { qunsetenv("http_proxy"); }

    QStringList listed()
    {
        QStringList texts;
        for (const Suggestion* row : field.suggestionView()->currentViews())
            texts << row->stringValue();
        return texts;
    }

    QTemporaryDir dir;
    HttpTestServer server;
    QHash<QString, QStringList> answers{{"u", {"old"}}, {"ubu", {"ubuntu", "debian", "ubuntu server"}}};
    RecordingSourceList sourceList;
    SearchField field;
};

TEST_F(SearchFieldTest, ListsOnlyTheNewestReplyAndWalksIt)
{
    QTest::keyClicks(&field, "u");
    ASSERT_TRUE(server.waitForRequests(1));
    QTest::keyClicks(&field, "bu");
    ASSERT_TRUE(waitUntil([&] { return listed().size() == 3; }));
    spinFor(400);  // the first, slower reply would have arrived by now
    EXPECT_EQ(listed(), QStringList({"ubuntu", "debian", "ubuntu server"}));
    EXPECT_EQ(server.requests().last().target,
              QByteArray("http://www.google.com/complete/search?client=safari&q=ubu"));

    SuggestionWindow* window = field.suggestionWindow();
    EXPECT_EQ(window->height(), 77);
    EXPECT_GE(window->width(), field.width());

    const struct {
        int key;
        QString text;
        QString selected;
    } steps[] = {
        {Qt::Key_Down, "ubuntu", "ntu"},
        {Qt::Key_Down, "ubuntu", "ntu"},  // "debian" does not continue what was typed
        {Qt::Key_Up, "ubuntu", "ntu"},
        {Qt::Key_Up, "ubu", ""},
        {Qt::Key_Down, "ubuntu", "ntu"},
        {Qt::Key_N, "ubuntu", "tu"},  // overtyping keeps the completion
    };
    for (const auto& step : steps) {
        QTest::keyClick(&field, Qt::Key(step.key));
        EXPECT_EQ(field.text(), step.text) << step.key;
        EXPECT_EQ(field.selectedText(), step.selected) << step.key;
    }

    field.setText("ubuntu");
    QTest::keyClick(&field, Qt::Key_Return);
    EXPECT_EQ(sourceList.queries, QStringList({"ubuntu"}));
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(field.text().isEmpty());
}

TEST_F(SearchFieldTest, ClickEscapeAndSwitchedOff)
{
    QTest::keyClicks(&field, "ubu");
    ASSERT_TRUE(waitUntil([&] { return listed().size() == 3; }));
    QTest::mouseClick(field.suggestionView()->currentViews().at(1), Qt::LeftButton);
    EXPECT_EQ(sourceList.queries, QStringList({"debian"}));
    EXPECT_FALSE(field.suggestionWindow()->isVisible());

    QTest::keyClicks(&field, "ubu");
    ASSERT_TRUE(waitUntil([&] { return field.suggestionWindow()->isVisible(); }));
    QTest::keyClick(&field, Qt::Key_Down);
    QTest::keyClick(&field, Qt::Key_Escape);
    EXPECT_EQ(field.text(), "ubu");
    EXPECT_FALSE(field.suggestionWindow()->isVisible());

    field.clear();
    Settings::instance().setValue("kVistrelAvailable", "0");
    const int before = server.requestCount();
    QTest::keyClicks(&field, "ubu");
    spinFor(200);
    EXPECT_EQ(server.requestCount(), before);
    QTest::keyClick(&field, Qt::Key_Return);
    EXPECT_EQ(sourceList.queries.last(), "ubu");
}

// A Ctrl+click closes the list through the application's one rule (left button, on a widget); the list
// catches no click of its own, whatever the button.
TEST_F(SearchFieldTest, CtrlClicksAreLeftToTheApplication)
{
    QTest::keyClicks(&field, "ubu");
    ASSERT_TRUE(waitUntil([&] { return field.suggestionWindow()->isVisible(); }));
    QWidget other;
    other.resize(100, 100);
    other.show();
    for (Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton}) {
        QTest::mouseClick(&other, button, Qt::ControlModifier, {10, 10});
        EXPECT_TRUE(field.suggestionWindow()->isVisible()) << button;
    }
}

TEST_F(SearchFieldTest, Picture)
{
    QTest::keyClicks(&field, "ubu");
    ASSERT_TRUE(waitUntil([&] { return listed().size() == 3; }));
    QTest::keyClick(&field, Qt::Key_Down);
    QWidget* window = field.suggestionWindow();
    QImage picture(std::max(field.width(), window->width()) + 20, 29 + window->height() + 20, QImage::Format_ARGB32);
    picture.fill(QColor(200, 200, 200));
    QPainter painter(&picture);
    painter.drawPixmap(10, 10, field.grab());
    painter.drawPixmap(10, 10 + 29, window->grab());
    painter.end();
    // The first row is drawn on the gradient, the others on white.
    const int firstRow = 10 + 29 + SuggestionView::kFirstRowTop + 2;
    EXPECT_LT(picture.pixelColor(12, firstRow).lightness(), 200);
    EXPECT_GT(picture.pixelColor(12, firstRow + Suggestion::kHeight).lightness(), 240);
    EXPECT_TRUE(picture.save(picturePath("OMBRELAY_SUGGESTIONS_PNG", "suggestions.png")));
}

}  // namespace
