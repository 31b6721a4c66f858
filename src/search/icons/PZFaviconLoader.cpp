#include "search/icons/PZFaviconLoader.h"

#include "kit/AppPaths.h"
#include "kit/NotificationCenter.h"
#include "kit/PerformLater.h"
#include "kit/SerialQueue.h"
#include "search/icons/FaviconStorage.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QHash>
#include <QImageReader>
#include <QPointer>
#include <memory>

namespace ombrelay {
namespace {

// The database lives on this queue's thread alone, opened by its first job.
SerialQueue& databaseQueue()
{
    static SerialQueue queue(QStringLiteral("Site icons"));
    return queue;
}

// The database at `path`, the support folder's as the job was posted; one that another folder held is
// closed first.
FaviconStorage& storage(const QString& path)
{
    // Never destroyed: the queue may still run a job while the process ends.
    static auto& database = *new std::unique_ptr<FaviconStorage>;
    static QString openedPath;
    if (!database || openedPath != path) {
        database = std::make_unique<FaviconStorage>(path);
        openedPath = path;
    }
    if (!database->isOpen())
        database->open(QDateTime::currentDateTimeUtc());
    return *database;
}

QHash<QString, PZFaviconLoader*>& registry()
{
    static auto& loaders = *new QHash<QString, PZFaviconLoader*>;  // one loader per host for the process
    return loaders;
}

bool hasIconType(const QString& mimeType)
{
    return mimeType.startsWith(QLatin1String("image/")) || mimeType.startsWith(QLatin1String("text/plain"))
        || mimeType.startsWith(QLatin1String("application/octet-stream"));
}

}  // namespace

PZFaviconLoader* PZFaviconLoader::loaderForURL(const QUrl& address)
{
    const QString host = address.host().toLower();
    if (host.isEmpty())
        return nullptr;
    PZFaviconLoader*& loader = registry()[host];
    if (!loader)
        loader = new PZFaviconLoader(host);
    return loader;
}

void PZFaviconLoader::removeAllLoaders()
{
    const QList<PZFaviconLoader*> loaders = registry().values();
    registry().clear();
    qDeleteAll(loaders);
}

QString PZFaviconLoader::dbStoragePath()
{
    return QDir(AppPaths::applicationSupportPath()).filePath(QStringLiteral("FaviconStorage.db"));
}

PZFaviconLoader::PZFaviconLoader(const QString& host)
    : m_host(host)
{
    setMaxBodySize(kIconBodyCap);
    setNeedsMimeType(true);
    const QPointer<PZFaviconLoader> self(this);
    databaseQueue().post(this, [self, host, path = dbStoragePath()] {
        const QByteArray data = storage(path).storedData(host);
        QMetaObject::invokeMethod(QCoreApplication::instance(), [self, data] {
            if (self)
                self->storedDataRead(data);
        }, Qt::QueuedConnection);
    });
}

void PZFaviconLoader::storedDataRead(const QByteArray& data)
{
    if (!data.isEmpty() && takeIcon(data))
        return;
    PerformLater::schedule(this, [this] {
        loadURL(QUrl(QStringLiteral("http://%1/favicon.ico").arg(m_host)));
    }, kFetchDelayMs);
}

void PZFaviconLoader::handleCompletion()
{
    const QByteArray body = data();
    if (statusCode() >= 200 && statusCode() <= 299 && hasIconType(mimeType()) && !body.isEmpty() && takeIcon(body)) {
        const QString host = m_host;
        databaseQueue().post(this, [host, body, path = dbStoragePath()] {
            storage(path).store(host, body, QDateTime::currentDateTimeUtc());
        });
    }
    PZHTTPLoader::handleCompletion();
}

bool PZFaviconLoader::takeIcon(const QByteArray& data)
{
    const QImage image = imageFromData(data);
    if (!isValidImage(image))
        return false;
    m_favicon = image;
    postNotificationAboutSelf(this, QStringLiteral("PZFaviconLoaderDidLoad"));
    return true;
}

QImage PZFaviconLoader::imageFromData(const QByteArray& data)
{
    static const QList<QByteArray> formats{"ico", "png", "gif", "jpeg", "jpg", "bmp"};
    QBuffer buffer;
    buffer.setData(data);
    if (!buffer.open(QIODevice::ReadOnly))
        return {};
    const QByteArray format = QImageReader::imageFormat(&buffer).toLower();
    if (!formats.contains(format))
        return {};
    buffer.seek(0);
    QImageReader reader(&buffer, format);
    reader.setDecideFormatFromContent(false);
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > kMaxIconSide || size.height() > kMaxIconSide)
        return {};
    QImage image;
    if (!reader.read(&image) || image.width() > kMaxIconSide || image.height() > kMaxIconSide)
        return {};
    return image;
}

bool PZFaviconLoader::isValidImage(const QImage& image)
{
    if (image.isNull())
        return false;
    const QImage pixels = image.convertToFormat(QImage::Format_ARGB32);
    for (int x = 0; x < pixels.width(); ++x)
        for (int y = 0; y < pixels.height(); ++y) {
            const QRgb pixel = pixels.pixel(x, y);
            if (qAlpha(pixel) > 0 && (qRed(pixel) > 0 || qGreen(pixel) > 0 || qBlue(pixel) > 0))
                return true;
        }
    return false;
}

}  // namespace ombrelay
