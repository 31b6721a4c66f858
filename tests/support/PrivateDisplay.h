#pragma once

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QString>

namespace ombrelay::test {

// An Xvfb display of the test's own, on a number the server picks; gone with this object.
class PrivateDisplay
{
public:
    static bool isAvailable() { return QFileInfo(QStringLiteral("/usr/bin/Xvfb")).isExecutable(); }

    // ":N", or empty when the server did not start.
    QString start(const QString& screen = QStringLiteral("1200x800x24"))
    {
        m_server.start(QStringLiteral("/usr/bin/Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"),
                                                         QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                                                         QStringLiteral("-screen"), QStringLiteral("0"), screen});
        QElapsedTimer timer;
        timer.start();
        while (!m_server.canReadLine() && timer.elapsed() < 10000 && m_server.state() != QProcess::NotRunning)
            m_server.waitForReadyRead(100);
        const QByteArray number = m_server.readLine().trimmed();
        return number.isEmpty() ? QString() : QStringLiteral(":") + QString::fromLatin1(number);
    }
    ~PrivateDisplay()
    {
        m_server.kill();
        m_server.waitForFinished(5000);
    }

private:
    QProcess m_server;
};

}  // namespace ombrelay::test
