#pragma once

#include "interop/support/HelperProcess.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <memory>

namespace ombrelay::test {

// The headless engine driver (tests/tools) as a child process, with its settings and download folders
// under `root`. Each start listens on a port the driver picks and reports.
class EngineDriver
{
public:
    struct Options
    {
        QStringList peers{};  // "127.0.0.1:port", dialled at start
        double seedUntilRatio = 0;
        int timeoutSeconds = 120;
        QList<int> skippedFiles{};  // file numbers of each torrent added
        double peerTimeScale = 0;  // above 1: the peers' clock runs that much faster
        int resumeAfterErrorSeconds = 0;  // above 0: a torrent paused by an error is resumed that much later
        int dhtRepeatSeconds = 0;  // above 0: each DHT lookup starts again that much after it ended
        qint64 writeRate = 0;  // above 0: the disk writes blocks no faster than this many bytes a second
        // A command the driver runs under (its arguments follow it), e.g. one that gives it a mount namespace.
        QStringList wrapper{};
        QString incompleteFolder{};  // not empty: downloads go there first, then to the download folder
    };

    explicit EngineDriver(const QString& root) : m_root(root) {}

    QString dataFolder() const { return m_root.filePath(QStringLiteral("data")); }
    QString downloadFolder() const { return m_root.filePath(QStringLiteral("download")); }
    quint16 port() const { return m_port; }  // of the last start; 0 before
    QString address() const { return QStringLiteral("127.0.0.1:%1").arg(m_port); }

    // Starts (or restarts) the driver on the torrents and reads the port it listens on. A fresh settings
    // file lifts the default upload limit, which would stretch every seeding test to minutes.
    HelperProcess& start(const QStringList& torrents, const Options& options)
    {
        QFile settings(QDir(dataFolder()).filePath(QStringLiteral("Ombrelay.conf")));
        if (!settings.exists() && QDir().mkpath(dataFolder()) && settings.open(QIODevice::WriteOnly))
            settings.write("[General]\nkUploadLimitEnabled=false\n");
        settings.close();
        QStringList arguments{QStringLiteral("--data"), dataFolder(), QStringLiteral("--download"), downloadFolder(),
                              QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--timeout"),
                              QString::number(options.timeoutSeconds)};
        for (const QString& peer : options.peers)
            arguments << QStringLiteral("--peer") << peer;
        for (int index : options.skippedFiles)
            arguments << QStringLiteral("--skip") << QString::number(index);
        if (options.resumeAfterErrorSeconds > 0)
            arguments << QStringLiteral("--resume-after-error") << QString::number(options.resumeAfterErrorSeconds);
        if (options.dhtRepeatSeconds > 0)
            arguments << QStringLiteral("--dht-repeat") << QString::number(options.dhtRepeatSeconds);
        if (options.writeRate > 0)
            arguments << QStringLiteral("--write-rate") << QString::number(options.writeRate);
        if (options.peerTimeScale > 1)
            arguments << QStringLiteral("--peer-time-scale") << QString::number(options.peerTimeScale);
        if (!options.incompleteFolder.isEmpty())
            arguments << QStringLiteral("--incomplete") << options.incompleteFolder;
        if (options.seedUntilRatio > 0)
            arguments << QStringLiteral("--seed-until-ratio") << QString::number(options.seedUntilRatio);
        m_process.reset();
        const QString driver = QStringLiteral(OMBRELAY_ENGINE_DRIVER);
        m_process = options.wrapper.isEmpty()
                        ? std::make_unique<HelperProcess>(driver, arguments + torrents)
                        : std::make_unique<HelperProcess>(options.wrapper.first(),
                                                          options.wrapper.mid(1) + QStringList{driver} + arguments + torrents);
        m_port = m_process->waitForLine("listening", 60000).toUShort();
        return *m_process;
    }
    HelperProcess& process() { return *m_process; }

private:
    QDir m_root;
    quint16 m_port = 0;
    std::unique_ptr<HelperProcess> m_process;
};

}  // namespace ombrelay::test
