#pragma once

#include <QString>
#include <QWebEngineUrlRequestInterceptor>

class QNetworkCookie;
class QWebEngineDownloadRequest;
class QWebEngineProfile;

namespace ombrelay {

// The one persistent web profile, in "WebEngine" under the data folder. The loaders' cookie store follows
// its cookies, added and removed; "kDisableCookies" is read at each request and then stops sending and
// storing cookies. Downloads never reach the disk: torrents go to their page's pane, everything else is
// refused.
class WebProfile : public QWebEngineUrlRequestInterceptor
{
    Q_OBJECT
public:
    static QWebEngineProfile* shared();
    // Deletes the profile, which is when it writes out the cookies it holds: at quit, after every page.
    static void release();
    // Where the profile keeps its files (its cookies in "Cookies").
    static QString storageFolder();
    // False (after one "*** " line) when running as root with Chromium's sandbox on: no page shows then.
    static bool canShowPages();

    // A download is a torrent by its MIME essence, or by its name.
    static bool isTorrent(const QString& mimeType, const QString& suggestedFileName);
    static bool copyCookie(const QNetworkCookie& cookie);

    void interceptRequest(QWebEngineUrlRequestInfo& info) override;

private:
    explicit WebProfile(QObject* parent);
    static void divert(QWebEngineDownloadRequest* download);
};

}  // namespace ombrelay
