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

// Every outside address the program names is a constant of the service table; no other source holds
// one as a literal.
TEST(ServiceAddressesTest, NoSourceButTheTableHoldsAnOutsideAddress)
{
    const QRegularExpression address(QStringLiteral(R"re("https?://[A-Za-z0-9.-]+\.[A-Za-z]{2,}[^"]*")re"));
    const QString sources = testSourcePath(QStringLiteral("../src"));
    QDirIterator files(sources, {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files, QDirIterator::Subdirectories);
    int read = 0;
    while (files.hasNext()) {
        const QString path = files.next();
        ++read;
        if (path.endsWith(QLatin1String("kit/ServiceAddresses.h")))
            continue;
        const QString text = QString::fromUtf8(readFile(path));
        const QRegularExpressionMatch found = address.match(text);
        EXPECT_FALSE(found.hasMatch()) << qPrintable(path) << ": " << qPrintable(found.captured());
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
