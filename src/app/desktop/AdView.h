#pragma once

#include <QTextBrowser>
#include <QWidget>

namespace ombrelay {

// The bundled start page, held by AdView: shows nothing but its own page; a clicked link goes to the
// desktop's default handler (http, https and mailto only) and the page stays.
class AdWebView : public QTextBrowser
{
    Q_OBJECT
public:
    static const QUrl kStartPage;

    explicit AdWebView(QWidget* parent = nullptr);

    // Only the page's own bundled resources are loaded.
    QVariant loadResource(int type, const QUrl& name) override;
    static bool opensExternally(const QUrl& url);

private:
    void linkClicked(const QUrl& url);
};

// The start view shown when no source-list item is selected: the start page under a 2-pixel strip. It
// takes no drops itself (dropped torrents reach the window's overlay) and offers no context menu.
class AdView : public QWidget
{
    Q_OBJECT
public:
    explicit AdView(QWidget* parent = nullptr);
    AdWebView* webView() const { return m_webView; }
    void loadPage();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    AdWebView* m_webView;
};

}  // namespace ombrelay
