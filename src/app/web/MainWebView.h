#pragma once

#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <QWebEngineView>

namespace ombrelay {

class WebPage;

// A web tab's view. Modified clicks on links are the pane's, not Chromium's: Shift opens the default
// browser, in front or, with Ctrl held too, behind; else Ctrl or the middle button opens a background
// tab (Alt, Chromium's download click, does nothing). Alt+Left and Alt+Right go back and forward. While
// shown it is `CurrentWebView`'s content; a hidden page is frozen and, after a while, discarded (it
// reloads when shown again).
class MainWebView : public QWebEngineView
{
    Q_OBJECT
public:
    static constexpr int kDiscardAfterMs = 10 * 60 * 1000;

    explicit MainWebView(QWidget* parent = nullptr);
    ~MainWebView() override;

    WebPage* webPage() const;
    QString hoveredLink() const { return m_hoveredLink; }
    bool isLoading() const { return m_loading; }
    // Loads typed text once completed; invalid text loads nothing (false).
    bool setLocation(const QString& typed);

signals:
    void backgroundTabRequested(const QUrl& address);
    // A load started or ended.
    void loadingChanged(bool loading);
    // The link under the mouse changed (empty once the mouse left the view).
    void hoveredLinkChanged(const QString& link);

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    bool handleClick(QEvent* event);
    bool handleKey(QEvent* event);

    QPointer<QWidget> m_filtered;
    QString m_hoveredLink;
    QTimer m_discardTimer;
    bool m_eatRelease = false;
    bool m_loading = false;
};

}  // namespace ombrelay
