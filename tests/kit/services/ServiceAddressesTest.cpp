#include "kit/DefaultSettings.h"
#include "kit/ServiceAddresses.h"
#include "kit/Settings.h"
#include "support/TestFiles.h"

#include <QDirIterator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace ombrelay;
using namespace ombrelay::test;

namespace {

// Hosts reserved for examples and tests (RFC 2606) are no outside service.
bool isReservedHost(const QString& host)
{
    static const QRegularExpression reserved(
        QStringLiteral(R"re((^|\.)(example\.(com|net|org)|example|invalid|test|localhost)$)re"));
    return reserved.match(host.toLower()).hasMatch();
}

// Every outside address the program names is a constant of the service table; no other source holds
// one as a literal.
TEST(ServiceAddressesTest, NoSourceButTheTableHoldsAnOutsideAddress)
{
    const QRegularExpression address(QStringLiteral(R"re("https?://([A-Za-z0-9.-]+\.[A-Za-z]{2,})[^"]*")re"));
    const QString sources = testSourcePath(QStringLiteral("../src"));
    QDirIterator files(sources, {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files, QDirIterator::Subdirectories);
    int read = 0;
    while (files.hasNext()) {
        const QString path = files.next();
        ++read;
        if (path.endsWith(QLatin1String("kit/ServiceAddresses.h")))
            continue;
        QRegularExpressionMatchIterator found = address.globalMatch(QString::fromUtf8(readFile(path)));
        while (found.hasNext()) {
            const QRegularExpressionMatch literal = found.next();
            EXPECT_TRUE(isReservedHost(literal.captured(1))) << qPrintable(path) << ": " << qPrintable(literal.captured());
        }
    }
    EXPECT_GT(read, 100) << qPrintable(sources);

    QTemporaryDir folder;
    Settings settings(folder.filePath(QStringLiteral("Ombrelay.conf")));
    registerDefaultSettings(settings);
    // The web panes' registered home page stays the web-search engine's.
    EXPECT_EQ(settings.string(QStringLiteral("kDefaultSite")),
              QStringLiteral("https://%1/").arg(QLatin1String(service::kWebSearchHost)));
}

}  // namespace
