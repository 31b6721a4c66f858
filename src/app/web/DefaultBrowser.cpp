#include "app/web/DefaultBrowser.h"

#include "app/web/WebText.h"

#include <QDesktopServices>
#include <QObject>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

namespace ombrelay {

namespace {

QStringList mimeappsFiles()
{
    QStringList files;
    for (const QString& dir : QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation))
        files << dir + QStringLiteral("/mimeapps.list");
    for (const QString& dir : QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation))
        files << dir + QStringLiteral("/mimeapps.list");
    return files;
}

}  // namespace

QString DefaultBrowser::name()
{
    static const QString name = [] {
        const QString found = nameFromFiles(mimeappsFiles());
        return found.isEmpty() ? QObject::tr("web browser") : found;
    }();
    return name;
}

QString DefaultBrowser::nameFromFiles(const QStringList& files)
{
    for (const QString& path : files) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            continue;
        bool inDefaults = false;
        while (!file.atEnd()) {
            const QString line = QString::fromUtf8(file.readLine(4096)).trimmed();
            if (line.startsWith(QLatin1Char('[')))
                inDefaults = line == QLatin1String("[Default Applications]");
            else if (inDefaults && line.section(QLatin1Char('='), 0, 0).trimmed() == QLatin1String("x-scheme-handler/http")) {
                QString entry = line.section(QLatin1Char('='), 1).section(QLatin1Char(';'), 0, 0).trimmed();
                if (entry.endsWith(QLatin1String(".desktop")))
                    entry.chop(8);
                if (!entry.isEmpty())
                    return WebText::shownText(entry);
            }
        }
    }
    return {};
}

bool DefaultBrowser::open(const QUrl& address, Placement placement)
{
    if (!WebText::isWebAddress(address))
        return false;
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (placement == Placement::InFront || opener.isEmpty())
        return QDesktopServices::openUrl(address);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DESKTOP_STARTUP_ID"), QStringLiteral("ombrelay-behind_TIME0"));
    environment.remove(QStringLiteral("XDG_ACTIVATION_TOKEN"));
    QProcess process;
    process.setProgram(opener);
    process.setArguments({QString::fromLatin1(address.toEncoded())});
    process.setProcessEnvironment(environment);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    return process.startDetached();
}

}  // namespace ombrelay
