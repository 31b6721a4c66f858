#include "transfers/DesktopFiles.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QUrl>

namespace ombrelay {

namespace {

struct DesktopEntry
{
    QString name;
    QString exec;
    QString icon;
    QStringList mimeTypes;
    bool hidden = false;
};

// Reads the "[Desktop Entry]" group of a desktop file; bounded by the file's size.
DesktopEntry readDesktopEntry(const QString& path)
{
    DesktopEntry entry;
    QFile file(path);
    if (file.size() > 256 * 1024 || !file.open(QIODevice::ReadOnly | QIODevice::Text))
        return entry;
    bool inGroup = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine(8192)).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inGroup = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inGroup)
            continue;
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals < 0)
            continue;
        const QString key = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        if (key == QLatin1String("Name"))
            entry.name = value;
        else if (key == QLatin1String("Exec"))
            entry.exec = value;
        else if (key == QLatin1String("Icon"))
            entry.icon = value;
        else if (key == QLatin1String("MimeType"))
            entry.mimeTypes = value.split(QLatin1Char(';'), Qt::SkipEmptyParts);
        else if (key == QLatin1String("NoDisplay") || key == QLatin1String("Hidden"))
            entry.hidden = entry.hidden || value == QLatin1String("true");
    }
    return entry;
}

// The command of an Exec line with its field codes replaced by the one path.
QStringList commandFor(const QString& exec, const QString& path)
{
    QStringList command;
    bool placed = false;
    for (const QString& word : QProcess::splitCommand(exec)) {
        if (word == QLatin1String("%f") || word == QLatin1String("%F") || word == QLatin1String("%u") ||
            word == QLatin1String("%U")) {
            command.append(word.endsWith(QLatin1Char('u'), Qt::CaseInsensitive) ? QUrl::fromLocalFile(path).toString()
                                                                                 : path);
            placed = true;
        } else if (word.size() == 2 && word.startsWith(QLatin1Char('%'))) {
            continue;  // %i, %c, %k and the deprecated codes
        } else {
            command.append(word);
        }
    }
    if (!placed && !command.isEmpty())
        command.append(path);
    return command;
}

}  // namespace

bool DesktopFiles::isExecutableContent(const QString& path)
{
    const QFileInfo info(path);
    if (info.isDir())
        return false;
    if (info.isExecutable())
        return true;
    const QString suffix = info.suffix().toLower();
    static const QStringList risky{QStringLiteral("desktop"), QStringLiteral("sh"),  QStringLiteral("bash"),
                                   QStringLiteral("py"),      QStringLiteral("pl"),  QStringLiteral("rb"),
                                   QStringLiteral("jar"),     QStringLiteral("run"), QStringLiteral("appimage"),
                                   QStringLiteral("exe"),     QStringLiteral("bat"), QStringLiteral("cmd"),
                                   QStringLiteral("deb"),     QStringLiteral("rpm")};
    if (risky.contains(suffix))
        return true;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly) && file.read(2) == "#!")
        return true;  // a script, whatever its name
    const QMimeType type = QMimeDatabase().mimeTypeForFile(info);
    return type.inherits(QStringLiteral("application/x-executable")) ||
           type.inherits(QStringLiteral("application/x-shellscript")) ||
           type.inherits(QStringLiteral("application/x-desktop")) ||
           type.inherits(QStringLiteral("application/x-sharedlib"));
}

QList<DesktopFiles::Application> DesktopFiles::applicationsForPath(const QString& path)
{
    const QMimeType type = QMimeDatabase().mimeTypeForFile(path);
    QStringList names{type.name()};
    names += type.parentMimeTypes();
    QList<Application> applications;
    QStringList seen;
    for (const QString& folder : QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation)) {
        const QDir dir(folder);
        for (const QString& file : dir.entryList({QStringLiteral("*.desktop")}, QDir::Files, QDir::Name)) {
            if (seen.contains(file))
                continue;
            seen.append(file);
            const DesktopEntry entry = readDesktopEntry(dir.filePath(file));
            if (entry.hidden || entry.exec.isEmpty())
                continue;
            for (const QString& name : names) {
                if (entry.mimeTypes.contains(name)) {
                    applications.append({dir.filePath(file), entry.name, entry.icon});
                    break;
                }
            }
        }
    }
    return applications;
}

bool DesktopFiles::openPath(const QString& path)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

bool DesktopFiles::openPathWithApplication(const QString& path, const QString& desktopFile)
{
    const QStringList command = commandFor(readDesktopEntry(desktopFile).exec, path);
    if (command.isEmpty())
        return false;
    return QProcess::startDetached(command.first(), command.mid(1));
}

void DesktopFiles::reveal(const QString& path)
{
    revealOn(QDBusConnection::sessionBus(), path);
}

void DesktopFiles::revealOn(const QDBusConnection& bus, const QString& path)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
    const QUrl folder = QUrl::fromLocalFile(QFileInfo(path).absolutePath());
    const auto openFolder = [folder] { QDesktopServices::openUrl(folder); };
    // Without a bus no answer ever comes: the folder opens at once (after this call, as an answer would).
    if (!bus.isConnected()) {
        QMetaObject::invokeMethod(QCoreApplication::instance(), openFolder, Qt::QueuedConnection);
        return;
    }
    // The main thread runs the engine too: the answer is awaited in the loop, never by blocking.
    auto* answer = new QDBusPendingCallWatcher(bus.asyncCall(call, 3000), QCoreApplication::instance());
    QObject::connect(answer, &QDBusPendingCallWatcher::finished, answer, [openFolder](QDBusPendingCallWatcher* watcher) {
        watcher->deleteLater();
        if (watcher->isError())
            openFolder();
    });
}

}  // namespace ombrelay
