#pragma once

#include "kit/http/PZHTTPLoader.h"

#include <QImage>
#include <QString>

namespace ombrelay {

// The icon of one web site's host, shared by every row that shows the site: the one stored in
// "FaviconStorage.db" when there is one, else "/favicon.ico" fetched from the host (up to 5 redirects).
// Only a 2xx answer of an image, plain-text or octet-stream type that decodes as a usable ICO, PNG, GIF,
// JPEG or BMP of at most 256 x 256 pixels is kept and stored. Posts "PZFaviconLoaderDidLoad" (the loader
// as object) once it has an icon. The database is used on a queue of its own; everything else on the
// main thread. The database is the one in the support folder of the moment each job was posted.
class PZFaviconLoader : public PZHTTPLoader
{
    Q_OBJECT
public:
    static constexpr int kMaxIconSide = 256;
    static constexpr int kFetchDelayMs = 100;

    // The loader of the address's host, made on first request and kept; none without a host.
    static PZFaviconLoader* loaderForURL(const QUrl& address);
    // Deletes every loader, so that the next request for a host starts afresh (tests).
    static void removeAllLoaders();
    static QString dbStoragePath();

    // The icon, decoded only from the raster formats named above and only after its size was checked.
    static QImage imageFromData(const QByteArray& data);
    // Some pixel has colour and is not transparent: all-black or all-clear icons are refused.
    static bool isValidImage(const QImage& image);

    QString host() const { return m_host; }
    QImage favicon() const { return m_favicon; }
    // Qt draws images the same way up in every view, so the flipped icon is the icon itself.
    QImage flippedFavicon() const { return m_favicon; }

protected:
    bool shouldAutoRedirect() const override { return true; }
    void handleCompletion() override;

private:
    explicit PZFaviconLoader(const QString& host);
    void storedDataRead(const QByteArray& data);
    bool takeIcon(const QByteArray& data);

    QString m_host;
    QImage m_favicon;
};

}  // namespace ombrelay
