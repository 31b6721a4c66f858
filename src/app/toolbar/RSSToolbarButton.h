#pragma once

#include <QMetaObject>
#include <QPointer>
#include <QToolButton>
#include <QUrl>

namespace ombrelay {

class MainWebView;

// The web toolbar's Subscribe button: on while the page in front has finished loading and links a feed
// ("application/rss+xml"); it opens the add-feed panel with the first such link.
class RSSToolbarButton : public QToolButton
{
    Q_OBJECT
public:
    static constexpr int kMaxAddressLength = 8192;

    explicit RSSToolbarButton(QWidget* parent = nullptr);
    ~RSSToolbarButton() override;

    QUrl feedAddress() const { return m_feedAddress; }
    // Checks the page again on the next pass of the event loop (a pending check is replaced).
    void scheduleCheck();
    // A link's href as a feed address: http(s) or feed, at most 8 KiB; else invalid.
    static QUrl feedAddressFromHref(const QString& href);

private:
    void follow(MainWebView* view);
    void check();
    void setFeedAddress(const QUrl& address);

    QPointer<QObject> m_view;  // read through a cast, like the current web view
    QMetaObject::Connection m_loadConnection;
    QUrl m_feedAddress;
    quint64 m_round = 0;
};

}  // namespace ombrelay
