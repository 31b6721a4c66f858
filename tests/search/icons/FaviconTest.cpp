#include "kit/AppPaths.h"
#include "kit/NotificationCenter.h"
#include "kit/ServiceAddresses.h"
#include "search/icons/AddressTrimmer.h"
#include "search/icons/FaviconStorage.h"
#include "search/icons/PZFaviconLoader.h"
#include "search/SearchFixture.h"
#include "support/Pictures.h"
#include "support/WaitUntil.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImageWriter>
#include <QPainter>
#include <QPalette>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

// A 16 x 16 icon: clear background, an opaque red square in the middle with a half-clear rim.
inline QImage sampleIcon()
{
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.fillRect(3, 3, 10, 10, QColor(255, 0, 0, 128));
    painter.fillRect(4, 4, 8, 8, QColor(255, 0, 0));
    return image;
}

inline QByteArray encoded(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.write(image);
    return bytes;
}

// The sample icon as a GIF (colour 0 clear, the half-clear rim clear too): Qt reads GIF but cannot write it.
inline QByteArray sampleGif()
{
    return QByteArray(
        "\x47\x49\x46\x38\x39\x61\x10\x00\x10\x00\xf1\x00\x00\x00\x00\x00\xff\x00\x00\xff\xff\xff\x00\x00\x00\x21"
        "\xf9\x04\x01\x00\x00\x00\x00\x2c\x00\x00\x00\x00\x10\x00\x10\x00\x00\x02\x91\x04\x08\x10\x20\x40\x80\x00"
        "\x01\x02\x04\x08\x10\x20\x40\x80\x00\x01\x02\x04\x08\x10\x20\x40\x80\x00\x01\x02\x04\x08\x10\x20\x40\x80"
        "\x00\x01\x02\x04\x08\x30\x61\xc2\x84\x09\x01\x02\x04\x08\x30\x61\xc2\x84\x09\x01\x02\x04\x08\x30\x61\xc2"
        "\x84\x09\x01\x02\x04\x08\x30\x61\xc2\x84\x09\x01\x02\x04\x08\x30\x61\xc2\x84\x09\x01\x02\x04\x08\x30\x61"
        "\xc2\x84\x09\x01\x02\x04\x08\x30\x61\xc2\x84\x09\x01\x02\x04\x08\x30\x61\xc2\x84\x09\x01\x02\x04\x08\x10"
        "\x20\x40\x80\x00\x01\x02\x04\x08\x10\x20\x40\x80\x00\x01\x02\x04\x08\x10\x20\x40\x80\x00\x01\x02\x04\x08"
        "\x10\x20\x40\x80\x00\x01\x02\x05\x00\x3b",
        192);
}

QByteArray png(const QImage& image)
{
    return encoded(image, "png");
}

QImage filled(QSize size, const QColor& color)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(color);
    return image;
}

class FaviconTest : public ProxiedTest
{
protected:
    void SetUp() override
    {
        ProxiedTest::SetUp();
        ASSERT_TRUE(data.isValid());
        AppPaths::setApplicationSupportPath(data.filePath("support"));  // made by the icon store, as at a first launch
        QObject::connect(&proxy, &HttpTestServer::requestReceived, [this](const HttpTestRequest& r) {
            hosts.append(QUrl(QString::fromLatin1(r.target)).host());
        });
        NotificationCenter::defaultCenter().addObserver(&observer, "PZFaviconLoaderDidLoad", [this](const Notification& n) {
            loaded.append(static_cast<PZFaviconLoader*>(n.object));
        });
    }
    void TearDown() override
    {
        PZFaviconLoader::removeAllLoaders();
        ProxiedTest::TearDown();
    }

    QTemporaryDir data;
    QStringList hosts;
    QObject observer;
    QList<PZFaviconLoader*> loaded;
};

}  // namespace

TEST_F(FaviconTest, OnlyUsableImagesAreKeptAndStored)
{
    QByteArray declaredHuge = png(filled({1, 1}, Qt::white));
    // The header's width and height (bytes 16..23) say 30000 x 30000; the size check comes first.
    declaredHuge.replace(16, 8, QByteArray("\x00\x00\x75\x30\x00\x00\x75\x30", 8));
    const QByteArray white = png(filled({1, 1}, Qt::white));
    const QByteArray svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"16\" height=\"16\"><rect width=\"16\" "
                           "height=\"16\" fill=\"red\"/></svg>";
    // Host, its answer, whether an icon is kept.
    const QList<std::tuple<const char*, HttpTestResponse, bool>> cases = {
        {"missing.test", {404, {{"Content-Type", "image/png"}}, white}, false},
        {"page.test", {200, {{"Content-Type", "text/html"}}, white}, false},
        {"untyped.test", {200, {}, white}, false},
        {"black.test", {200, {{"Content-Type", "image/png"}}, png(filled({16, 16}, Qt::black))}, false},
        {"clear.test", {200, {{"Content-Type", "image/png"}}, png(filled({16, 16}, Qt::transparent))}, false},
        {"huge.test", {200, {{"Content-Type", "image/png"}}, declaredHuge}, false},
        {"big.test", {200, {{"Content-Type", "image/png"}}, png(filled({257, 16}, Qt::white))}, false},
        {"svg.test", {200, {{"Content-Type", "image/svg+xml"}}, svg}, false},
        {"white.test", {200, {{"Content-Type", "image/png"}}, white}, true},
        {"octets.test", {200, {{"Content-Type", "application/octet-stream"}}, encoded(sampleIcon(), "ico")}, true},
        {"moved.test", HttpTestResponse::redirect("http://white.test/favicon.ico"), true},
    };
    proxy.route("/favicon.ico", [&](const HttpTestRequest& r) {
        const QString host = QUrl(QString::fromLatin1(r.target)).host();
        for (const auto& [name, response, icon] : cases)
            if (host == QLatin1String(name))
                return response;
        return HttpTestResponse{404, {}, {}};
    });
    for (const auto& [host, response, icon] : cases) {
        SCOPED_TRACE(host);
        PZFaviconLoader* loader = PZFaviconLoader::loaderForURL(QUrl(QString("http://%1/some/page").arg(host)));
        ASSERT_TRUE(loader);
        ASSERT_TRUE(waitUntil([&] { return loader->statusCode() != 0 || loader->error().isError(); }));
        EXPECT_EQ(!loader->favicon().isNull(), icon);
        EXPECT_EQ(loaded.contains(loader), icon);
    }
    // What was kept was stored: exactly one row for each host with an icon.
    FaviconStorage stored(PZFaviconLoader::dbStoragePath());
    ASSERT_TRUE(stored.open(QDateTime::currentDateTimeUtc()));
    EXPECT_TRUE(waitUntil([&] { return !stored.storedData("moved.test").isEmpty(); }));  // the last one kept
    for (const auto& [host, response, icon] : cases)
        EXPECT_EQ(stored.storedData(host).isEmpty(), !icon) << host;
    EXPECT_TRUE(stored.storedData("white_test").isEmpty());  // no pattern matching
}

TEST_F(FaviconTest, OneFetchPerHostAndNoneForStoredOrAgedRows)
{
    {
        FaviconStorage seeded(PZFaviconLoader::dbStoragePath());
        ASSERT_TRUE(seeded.open(QDateTime::currentDateTimeUtc()));
        ASSERT_TRUE(seeded.store("stored.test", png(filled({4, 4}, Qt::white)), QDateTime::currentDateTimeUtc()));
        ASSERT_TRUE(seeded.store("aged.test", png(filled({4, 4}, Qt::white)),
                                 QDateTime::currentDateTimeUtc().addDays(-8)));
    }
    proxy.route("/favicon.ico", HttpTestResponse{200, {{"Content-Type", "image/png"}}, png(filled({2, 2}, Qt::blue))});
    PZFaviconLoader* first = PZFaviconLoader::loaderForURL(QUrl("http://shared.test/search?q=a"));
    EXPECT_EQ(PZFaviconLoader::loaderForURL(QUrl("https://SHARED.test/other")), first);
    EXPECT_EQ(PZFaviconLoader::loaderForURL(QUrl("no host")), nullptr);
    PZFaviconLoader* stored = PZFaviconLoader::loaderForURL(QUrl("http://stored.test/"));
    PZFaviconLoader* aged = PZFaviconLoader::loaderForURL(QUrl("http://aged.test/"));
    ASSERT_TRUE(waitUntil([&] { return loaded.size() == 3; }));
    spinFor(300);
    hosts.sort();
    EXPECT_EQ(hosts, QStringList({"aged.test", "shared.test"}));
    EXPECT_FALSE(stored->favicon().isNull());
    EXPECT_EQ(stored->statusCode(), 0);
    EXPECT_EQ(aged->favicon().pixelColor(0, 0), QColor(Qt::blue));  // refetched, not the aged white
}

TEST(FaviconStorageTest, DamagedDatabaseIsSetAside)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("FaviconStorage.db");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(8192, 'z'));
    file.close();
    FaviconStorage storage(path);
    ASSERT_TRUE(storage.open(QDateTime::currentDateTimeUtc()));
    EXPECT_TRUE(QFile::exists(path + ".damaged"));
    EXPECT_TRUE(storage.store("a.test", "bytes", QDateTime::currentDateTimeUtc()));
    EXPECT_TRUE(storage.store("a.test", "newer", QDateTime::currentDateTimeUtc()));
    EXPECT_EQ(storage.storedData("A.test"), "newer");
}

TEST(FaviconDrawingTest, IconsKeepTheirTransparencyOnBothBackgrounds)
{
    const QList<QPair<const char*, QByteArray>> fixtures = {
        {"ico", encoded(sampleIcon(), "ico")},
        {"png", encoded(sampleIcon(), "png")},
        {"gif", sampleGif()},
    };
    const QColor backgrounds[] = {Qt::white, QGuiApplication::palette().color(QPalette::Active, QPalette::Highlight)};
    QImage sheet(16 * 2 * 3 + 8, 40, QImage::Format_ARGB32);
    sheet.fill(Qt::gray);
    QPainter painter(&sheet);
    for (int i = 0; i < fixtures.size(); ++i) {
        SCOPED_TRACE(fixtures[i].first);
        const QImage icon = PZFaviconLoader::imageFromData(fixtures[i].second);
        ASSERT_FALSE(icon.isNull());
        ASSERT_TRUE(PZFaviconLoader::isValidImage(icon));
        for (int b = 0; b < 2; ++b) {
            QImage cell(16, 16, QImage::Format_ARGB32);
            cell.fill(backgrounds[b]);
            QPainter cellPainter(&cell);
            cellPainter.drawImage(QRect(0, 0, 16, 16), icon);
            cellPainter.end();
            EXPECT_TRUE(nearColor(cell.pixelColor(0, 0), backgrounds[b], 2));    // clear corner: background
            EXPECT_TRUE(nearColor(cell.pixelColor(15, 15), backgrounds[b], 2));
            EXPECT_TRUE(nearColor(cell.pixelColor(8, 8), Qt::red, 2));           // opaque middle: red
            painter.drawImage(QPoint(4 + (i * 2 + b) * 17, 12), cell);
        }
    }
    painter.end();
    EXPECT_TRUE(sheet.save(picturePath("OMBRELAY_FAVICON_PICTURE", "favicons.png")));
}

TEST_F(FaviconTest, TheTrimmerTakesAnswersWholeAndReportsFailures)
{
    int answer = 0;
    proxy.route("/api.php", [&](const HttpTestRequest&) {
        switch (++answer) {
        case 1: return HttpTestResponse{200, {}, "http://short.test/x\n"};
        case 2: return HttpTestResponse{500, {}, "Error"};
        default: return HttpTestResponse{200, {}, QByteArray(5000, 'x')};
        }
    });
    const QString longAddress = "http://long.test/a b?x=1&y=2#frag";
    // Address, trimmed (none: fails).
    const std::pair<QString, std::optional<QString>> cases[] = {
        {longAddress, QString("http://short.test/x\n")},
        {longAddress, std::nullopt},
        {longAddress, std::nullopt},  // over 4 KiB
        {"", std::nullopt},           // nothing to load: fails without a request
    };
    for (const auto& [address, trimmed] : cases) {
        int trimmedCount = 0;
        int failures = 0;
        AddressTrimmer trimmer(address);
        QObject::connect(&trimmer, &AddressTrimmer::trimmed, [&] { ++trimmedCount; });
        QObject::connect(&trimmer, &PZHTTPLoader::failed, [&] { ++failures; });
        ASSERT_TRUE(waitUntil([&] { return trimmedCount + failures > 0; }));
        EXPECT_EQ(trimmedCount, trimmed ? 1 : 0);
        if (trimmed) {
            EXPECT_EQ(trimmer.trimmedAddress(), *trimmed);
        }
    }
    ASSERT_EQ(proxy.requestCount(), 3);
    const HttpTestRequest first = proxy.requests().first();
    EXPECT_EQ(QUrl(QString::fromLatin1(first.target)).host(), QString(service::kAddressShortenerHost));
    EXPECT_EQ(first.query, "longurl=http%3A%2F%2Flong.test%2Fa%20b%3Fx%3D1%26y%3D2%23frag");
}
