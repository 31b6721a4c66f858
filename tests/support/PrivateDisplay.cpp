#include "support/PrivateDisplay.h"

#include "support/WaitUntil.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStandardPaths>

#include <csignal>
#include <cstdio>

namespace ombrelay::test {
namespace {

const QString kXvfb = QStringLiteral("/usr/bin/Xvfb");

// Every thread's stack in a running process, by the debugger where one is installed: the sanitizer's
// report on an abort shows only the thread that took the signal.
QByteArray threadStacks(qint64 pid)
{
    const QString debugger = QStandardPaths::findExecutable(QStringLiteral("gdb"));
    if (debugger.isEmpty())
        return {};
    QProcess gdb;
    gdb.setProcessChannelMode(QProcess::MergedChannels);
    gdb.start(debugger, {"-batch", "-p", QString::number(pid), "-ex", "thread apply all bt 30"});
    if (!gdb.waitForFinished(60000))
        gdb.kill();
    return gdb.readAll();
}

}  // namespace

bool PrivateDisplay::isInstalled()
{
    return QFileInfo(kXvfb).isExecutable();
}

PrivateDisplay::PrivateDisplay()
{
    // A random number in a wide range, not the lowest free one: a server of another test that is just
    // going away may still unlink the socket of a number handed on at once. A number in use makes the
    // server exit, and another is tried.
    for (int attempt = 0; attempt < 10 && m_display.isEmpty(); ++attempt) {
        const QString number = QString::number(QRandomGenerator::global()->bounded(100, 30000));
        // The server writes its display number once it accepts clients.
        // -noreset: the server would otherwise reset when its last client leaves, turning away whoever
        // connects in that moment (a program launched just after a probe of the display).
        m_server.start(kXvfb, {":" + number, "-displayfd", "1", "-noreset", "-nolisten", "tcp", "-screen", "0",
                               "1280x800x24"});
        QElapsedTimer timer;
        timer.start();
        while (!m_server.canReadLine() && timer.elapsed() < 10000 && m_server.state() != QProcess::NotRunning)
            m_server.waitForReadyRead(100);
        if (m_server.readLine().trimmed() == number.toLatin1()) {
            m_display = QStringLiteral(":") + number;
        } else if (m_server.state() != QProcess::NotRunning) {
            m_server.kill();
            m_server.waitForFinished(1000);
        }
    }
}

PrivateDisplay::~PrivateDisplay()
{
    if (m_server.state() == QProcess::NotRunning)
        return;
    m_server.terminate();
    if (!m_server.waitForFinished(3000))
        m_server.kill();
    m_server.waitForFinished(1000);
}

DisplayChild::DisplayChild(const PrivateDisplay& display, const QString& filter, QProcessEnvironment environment)
{
    environment.insert("DISPLAY", display.display());
    environment.insert("QT_QPA_PLATFORM", "xcb");
    // A child that overstays is aborted; under the sanitizer it prints where it was.
    const QString sanitizer = environment.value("ASAN_OPTIONS");
    environment.insert("ASAN_OPTIONS", sanitizer + (sanitizer.isEmpty() ? "" : ":") + "handle_abort=1");
    m_process.setProcessEnvironment(environment);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(QCoreApplication::applicationFilePath(),
                    {"--gtest_also_run_disabled_tests", "--gtest_filter=" + filter});
    m_process.waitForStarted(5000);
}

DisplayChild::~DisplayChild()
{
    if (isRunning()) {
        m_process.kill();
        m_process.waitForFinished(1000);
    }
}

bool DisplayChild::passes(int timeoutMs)
{
    QByteArray output;
    const auto ended = [&] {
        output += m_process.readAll();
        return !isRunning();
    };
    if (!waitUntil(ended, timeoutMs) && m_process.processId() > 0) {
        output += QByteArrayLiteral("*** the child did not end in time: aborted\n") + threadStacks(m_process.processId());
        ::kill(pid_t(m_process.processId()), SIGABRT);
        waitUntil(ended, 10000);
    }
    output += m_process.readAll();
    std::fwrite(output.constData(), 1, size_t(output.size()), stderr);
    return !isRunning() && m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0
        && output.contains("[  PASSED  ]") && !output.contains("[  PASSED  ] 0 tests")
        && !output.contains("[  SKIPPED ]");
}

void expectPassOnPrivateDisplay(const QString& filter, const QProcessEnvironment& environment, int timeoutMs)
{
    if (!PrivateDisplay::isInstalled())
        GTEST_SKIP() << "needs Xvfb";
    PrivateDisplay display;
    ASSERT_TRUE(display.isRunning());
    DisplayChild child(display, filter, environment);
    EXPECT_TRUE(child.passes(timeoutMs));
}

}  // namespace ombrelay::test
