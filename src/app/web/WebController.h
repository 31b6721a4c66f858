#pragma once

#include "app/web/MainWebView.h"
#include "search/views/WebStatusBarTextField.h"
#include "uikit/PZViewController.h"

#include <QPointer>
#include <QUrl>

namespace ombrelay {

// A web tab: one web view over a status bar (as under a feed's list) that tells where the link under the
// mouse leads. The tab
// spins while the page loads; links for a background tab open in the strip that holds this tab.
class WebController : public PZViewController
{
    Q_OBJECT
public:
    // Any address but an http(s) one shows an empty page.
    explicit WebController(const QUrl& address, QObject* parent = nullptr);
    ~WebController() override;

    MainWebView* webView() const { return qobject_cast<MainWebView*>(m_webView.data()); }
    WebStatusBarTextField* statusField() const { return qobject_cast<WebStatusBarTextField*>(m_statusField.data()); }
    QString firstPageTitle() const { return m_firstPageTitle; }
    void setFirstPageTitle(const QString& title) { m_firstPageTitle = title; }

    QString title() const override;
    void setTabButton(QAbstractButton* button) override;
    void setStatusBarStringValue(const QString& text);
    void updateStatusBar();

private:
    void progressStarted();
    void progressFinished();
    void rendererEnded();
    void openInNewTab(const QUrl& address);
    void setAnimating(bool animating);

    // Read through casts: while the content is destroyed its views are no longer what they were.
    QPointer<QObject> m_webView;
    QPointer<QObject> m_statusField;
    QString m_firstPageTitle;
    bool m_loading = false;
};

}  // namespace ombrelay
