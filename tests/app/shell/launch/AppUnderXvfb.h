#pragma once

// The built application (`ombrelay`) as a user runs it: under a private X server, with its settings, data,
// temporary and runtime folders in a fresh folder of the test's.
#include "kit/Settings.h"
#include "support/PrivateDisplay.h"
#include "support/WaitUntil.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace ombrelay::test {

inline QString applicationPath()
{
    const QString chosen = qEnvironmentVariable("OMBRELAY_APP");
    if (!chosen.isEmpty())
        return chosen;
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../src/app/ombrelay"));
}

// A process whose output (both channels) is kept and searched; waits run the test's event loop, so
// servers of the test answer meanwhile.
class WatchedProcess
{
public:
    WatchedProcess(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment)
    {
        m_process.setProcessEnvironment(environment);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(program, arguments);
    }
    ~WatchedProcess()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }

    // True once the output holds `text`; false after `timeoutMs` or when the process ended without it.
    bool waitForText(const QString& text, int timeoutMs)
    {
        return waitFor([&] { return m_output.contains(text); }, timeoutMs);
    }
    // Polls `condition` while reading the output, until it holds, the process ends or `timeoutMs` passed.
    bool waitFor(const std::function<bool()>& condition, int timeoutMs)
    {
        waitUntil([&] {
            m_output += QString::fromUtf8(m_process.readAll());
            return condition() || m_process.state() == QProcess::NotRunning;
        }, timeoutMs);
        m_output += QString::fromUtf8(m_process.readAll());
        return condition();
    }
    bool terminate(int timeoutMs)
    {
        if (m_process.state() == QProcess::NotRunning)
            return false;
        ::kill(pid_t(m_process.processId()), SIGTERM);
        const bool finished = m_process.waitForFinished(timeoutMs);
        m_output += QString::fromUtf8(m_process.readAll());
        return finished && m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
    }
    bool waitForExit(int timeoutMs)
    {
        const bool finished = m_process.state() == QProcess::NotRunning || m_process.waitForFinished(timeoutMs);
        m_output += QString::fromUtf8(m_process.readAll());
        return finished;
    }
    int exitCode() const { return m_process.exitCode(); }
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    QString output() const { return m_output; }

private:
    QProcess m_process;
    QString m_output;
};

class AppUnderXvfb : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!PrivateDisplay::isInstalled() || QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            GTEST_SKIP() << "needs Xvfb and xdotool (scripts/install-deps)";
        ASSERT_TRUE(QFileInfo(applicationPath()).isExecutable()) << applicationPath().toStdString();
        ASSERT_TRUE(root.isValid());
        for (const char* name : {"home", "config", "data", "tmp", "runtime", "Downloads", "seed", "other"})
            ASSERT_TRUE(QDir(root.path()).mkpath(QLatin1String(name)));
        QFile::setPermissions(path("runtime"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        display = std::make_unique<PrivateDisplay>();
        ASSERT_TRUE(display->isRunning());
        // The server takes clients once a client of ours got through.
        ASSERT_TRUE(displayAnswers()) << "no clients taken on " << display->display().toStdString();
    }

    QString path(const char* name) const { return root.filePath(QLatin1String(name)); }

    bool displayAnswers() const
    {
        return waitUntil([this] { return !xdotool({QStringLiteral("getdisplaygeometry")}).trimmed().isEmpty(); }, 10000);
    }

    // Everything the program reads from its surroundings points into the test's folder.
    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), display->display());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("HOME"), path("home"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), path("config"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), path("data"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), path("runtime"));
        env.insert(QStringLiteral("TMPDIR"), path("tmp"));
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=") + path("no-bus"));
        env.insert(QStringLiteral("OMBRELAY_NO_PORT_MAPPING"), QStringLiteral("1"));
        env.remove(QStringLiteral("http_proxy"));
        env.remove(QStringLiteral("https_proxy"));
        return env;
    }

    // The settings file the program will read: downloads into the test's folder, a random port.
    Settings& writeSettings()
    {
        Settings::useFile(path("config") + QStringLiteral("/Ombrelay/Ombrelay.conf"));
        Settings& settings = Settings::instance();
        settings.setValue(QStringLiteral("save_directory"), path("Downloads"));
        settings.setValue(QStringLiteral("kRandomPort"), true);
        settings.setValue(QStringLiteral("kDeleteOriginalTorrent"), false);
        settings.setValue(QStringLiteral("kUseIncompleteFolder"), false);
        settings.sync();
        return settings;
    }

    // The program started on the display, returned once a window of the program shows or it ended.
    std::unique_ptr<WatchedProcess> launch(const QStringList& arguments, const QProcessEnvironment& env)
    {
        auto process = std::make_unique<WatchedProcess>(applicationPath(), arguments, env);
        process->waitFor([this] { return windowIsShown(); }, 10000);
        return process;
    }
    std::unique_ptr<WatchedProcess> launch(const QStringList& arguments) { return launch(arguments, environment()); }

    // Runs xdotool on the display (keys typed, windows looked up); answers its output.
    QByteArray xdotool(const QStringList& arguments) const
    {
        QProcess tool;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), display->display());
        tool.setProcessEnvironment(env);
        tool.start(QStringLiteral("xdotool"), arguments);
        if (!tool.waitForFinished(10000))
            ADD_FAILURE() << "xdotool " << arguments.join(' ').toStdString() << " did not finish";
        return tool.readAllStandardOutput();
    }
    // The program's shown top-level windows (its window class is "ombrelay").
    int visibleWindowCount() const
    {
        const QByteArray ids = xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--class"),
                                        QStringLiteral("^ombrelay$")})
                                   .trimmed();
        return ids.isEmpty() ? 0 : int(ids.split('\n').size());
    }
    bool windowIsShown() const { return visibleWindowCount() > 0; }

    QTemporaryDir root;
    std::unique_ptr<PrivateDisplay> display;
};

}  // namespace ombrelay::test
