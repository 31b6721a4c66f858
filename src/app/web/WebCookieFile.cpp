#include "app/web/WebCookieFile.h"

#include "app/web/WebProfile.h"
#include "kit/OBDefaults.h"
#include "kit/SqliteDatabase.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QThreadPool>
#include <algorithm>

namespace ombrelay {
namespace {

// The file counts microseconds from 1601-01-01.
constexpr qint64 kSecondsFrom1601To1970 = 11644473600;

}  // namespace

QList<HttpCookieStore::Cookie> WebCookieFile::read(const QString& path)
{
    if (!QFileInfo(path).isFile())
        return {};
    SqliteDatabase database;
    if (!database.open(path))
        return {};
    const std::unique_ptr<SqliteStatement> rows = database.prepare(
        QStringLiteral("web cookies"),
        "SELECT host_key, path, name, value, is_secure, has_expires, expires_utc FROM cookies "
        "WHERE length(encrypted_value) = 0 AND top_frame_site_key = '' LIMIT ?");  // not kept for one site's frames
    if (!rows)
        return {};
    rows->bind(1, kMaxCookies);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QList<HttpCookieStore::Cookie> cookies;
    while (rows->step() == SqliteStatement::Step::Row) {
        HttpCookieStore::Cookie cookie;
        cookie.domain = rows->text(0).toUtf8();
        cookie.path = rows->text(1).toUtf8();
        cookie.name = rows->text(2).toUtf8();
        cookie.value = rows->text(3).toUtf8();
        cookie.secure = rows->integer(4) != 0;
        if (rows->integer(5) != 0)
            cookie.expires = QDateTime::fromSecsSinceEpoch(rows->integer(6) / 1000000 - kSecondsFrom1601To1970, Qt::UTC);
        const bool tooLong = std::max({cookie.domain.size(), cookie.path.size(), cookie.name.size(), cookie.value.size()})
                           > kMaxFieldBytes;
        if (!tooLong && (!cookie.expires.isValid() || cookie.expires > now))
            cookies.append(cookie);
    }
    return cookies;
}

void WebCookieFile::loadIntoLoaders()
{
    if (OBDefaults::kDisableCookies())
        return;
    const QString path = QDir(WebProfile::storageFolder()).filePath(QStringLiteral("Cookies"));
    HttpCookieStore::beginFilling();
    QThreadPool::globalInstance()->start([path] {
        const QList<HttpCookieStore::Cookie> cookies = read(path);
        QMetaObject::invokeMethod(QCoreApplication::instance(), [cookies] {
            for (const HttpCookieStore::Cookie& cookie : cookies)
                HttpCookieStore::setCookie(cookie);  // refuses what is not clean
            HttpCookieStore::endFilling();
        }, Qt::QueuedConnection);
    });
}

}  // namespace ombrelay
