#include "support/PrivateDisplay.h"

#include "support/WaitUntil.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>

#include <cstdio>

namespace ombrelay::test {
namespace {
const QString kXvfb = QStringLiteral("/usr/bin/Xvfb");
}

bool PrivateDisplay::isInstalled()
{
    return QFileInfo(kXvfb).isExecutable();
}

PrivateDisplay::PrivateDisplay()
{
    // The server writes its display number once it accepts clients.
    m_server.start(kXvfb, {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1280x800x24"});
    QElapsedTimer timer;
    timer.start();
    while (!m_server.canReadLine() && timer.elapsed() < 10000 && m_server.state() != QProcess::NotRunning)
        m_server.waitForReadyRead(100);
    const QByteArray number = m_server.readLine().trimmed();
    if (!number.isEmpty())
        m_display = QStringLiteral(":") + QString::fromLatin1(number);
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
    waitUntil([&] {
        output += m_process.readAll();
        return !isRunning();
    }, timeoutMs);
    output += m_process.readAll();
    std::fwrite(output.constData(), 1, size_t(output.size()), stderr);
    return !isRunning() && m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0
        && output.contains("[  PASSED  ]") && !output.contains("[  PASSED  ] 0 tests")
        && !output.contains("[  SKIPPED ]");
}

}  // namespace ombrelay::test
