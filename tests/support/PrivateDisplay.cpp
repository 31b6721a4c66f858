#include "support/PrivateDisplay.h"

#include <QElapsedTimer>
#include <QFileInfo>

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

}  // namespace ombrelay::test
