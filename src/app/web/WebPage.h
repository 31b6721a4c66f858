#pragma once

#include "app/web/ForeignSchemeLoop.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>

namespace ombrelay {

// A web tab's page, kept to the pane's rules: only http(s) is shown, "magnet:" and search-scheme links go
// to their handlers after a user click, new windows load here, torrent and feed answers go to their
// panels, dialogs never block and every device or permission request is denied. A page that keeps setting
// its address to other schemes, many times at once or for half a second, has its scripts stopped until
// the user leaves it: each such attempt, refused as it is, would cancel the link the user clicked.
class WebPage : public QWebEnginePage
{
    Q_OBJECT
public:
    explicit WebPage(QObject* parent = nullptr);

    // A torrent answer for this page: handed to the open-by-address panel, at most once a second.
    void divertTorrent(const QUrl& address);
    // A feed answer: handed to the add-feed panel, within the same limit.
    void divertFeed(const QUrl& address);

signals:
    // A link asked to open in a background tab.
    void backgroundTabRequested(const QUrl& address);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage* createWindow(WebWindowType type) override;
    void javaScriptAlert(const QUrl&, const QString&) override {}
    bool javaScriptConfirm(const QUrl&, const QString&) override { return false; }
    bool javaScriptPrompt(const QUrl&, const QString&, const QString&, QString*) override { return false; }
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString&, int, const QString&) override {}

private:
    void checkForFeed(bool ok);
    void forgetShownFeed();
    bool mayDivert();
    void noteLoading(const QWebEngineLoadingInfo& loading);
    void checkForeignLoop();
    void stopScripts();
    void leaveStoppedPage(NavigationType type);
    void resumeScripts();

    QElapsedTimer m_lastDiversion;
    QElapsedTimer m_clock;
    ForeignSchemeLoop m_foreignLoop;
    QTimer m_foreignCheck;  // an attempt under way with no report since
    bool m_scriptsStopped = false;
    bool m_leaving = false;          // the user's load away from a stopped page runs
    bool m_reloadOnArrival = false;  // a link clicked on a stopped page is on its way
    bool m_clearHistoryOnBlank = false;  // a feed was the tab's first page: the blank one replaces it
};

}  // namespace ombrelay
