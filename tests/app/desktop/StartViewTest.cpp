#include "app/desktop/AdView.h"
#include "support/UrlRecorder.h"
#include "support/WaitUntil.h"

#include <QTest>
#include <QTextBlock>
#include <gtest/gtest.h>

namespace ombrelay {
namespace {

class StartView : public ::testing::Test
{
protected:
    void SetUp() override
    {
        view.resize(600, 400);
        view.show();
        ASSERT_TRUE(test::waitUntil([&] { return view.webView()->source() == AdWebView::kStartPage; }));
    }
    test::UrlRecorder recorder{{"http", "https", "mailto", "file", "ftp", "javascript"}};
    AdView view;
};

TEST_F(StartView, AClickedLinkGoesToTheDesktopAndThePageStays)
{
    // A real click on the page's "Help" link.
    AdWebView* page = view.webView();
    const QString text = page->document()->toPlainText();
    QTextCursor cursor(page->document());
    cursor.setPosition(int(text.indexOf(QStringLiteral("Help"))) + 1);
    page->setTextCursor(cursor);
    const QPoint at = page->cursorRect().center();
    page->setTextCursor(QTextCursor(page->document()));
    QTest::mouseClick(page->viewport(), Qt::LeftButton, {}, at);
    ASSERT_TRUE(test::waitUntil([&] { return !recorder.opened.isEmpty(); }, 2000));
    EXPECT_EQ(recorder.opened, QList<QUrl>{QUrl("https://ombrelay.invalid/help/")});
    EXPECT_EQ(page->source(), AdWebView::kStartPage);
    EXPECT_TRUE(page->toPlainText().contains(QStringLiteral("Ombrelay")));

    // Only web and mail addresses leave the view.
    const std::pair<QString, bool> links[] = {{"http://127.0.0.1/x", true}, {"mailto:feedback@ombrelay.invalid", true},
                                              {"file:///etc/passwd", false}, {"javascript:alert(1)", false},
                                              {"ftp://127.0.0.1/x", false},  {"relative/page.html", false}};
    for (const auto& [url, opened] : links) {
        recorder.opened.clear();
        emit page->anchorClicked(QUrl(url));
        if (opened) {
            EXPECT_TRUE(test::waitUntil([&] { return !recorder.opened.isEmpty(); })) << qPrintable(url);
        }
        test::spinFor(10);  // nothing more, or nothing at all
        EXPECT_EQ(recorder.opened.size(), opened ? 1 : 0) << qPrintable(url);
    }
    EXPECT_EQ(page->source(), AdWebView::kStartPage);
}

TEST_F(StartView, ShowsOnlyItsOwnPageWithoutMenuOrDrops)
{
    AdWebView* page = view.webView();
    EXPECT_FALSE(page->loadResource(QTextDocument::HtmlResource, AdWebView::kStartPage).isNull());
    for (const char* url : {"file:///etc/hostname", "http://127.0.0.1/image.png", "qrc:/other/x.html", "../../etc/x"})
        EXPECT_TRUE(page->loadResource(QTextDocument::ImageResource, QUrl(url)).isNull()) << url;
    EXPECT_EQ(view.contextMenuPolicy(), Qt::NoContextMenu);
    EXPECT_EQ(page->contextMenuPolicy(), Qt::NoContextMenu);
    EXPECT_FALSE(page->acceptDrops());
    EXPECT_FALSE(page->viewport()->acceptDrops());
}

}  // namespace
}  // namespace ombrelay
