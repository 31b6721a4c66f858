#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>
#include <gtest/gtest.h>

namespace ombrelay::test {

// A helper process, killed when the test ends.
class HelperProcess
{
public:
    HelperProcess(const QString& program, const QStringList& arguments)
    {
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        m_process.start(program, arguments);
    }
    ~HelperProcess()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }

    // The first stdout line starting with `prefix`, without it; empty after `timeoutMs`.
    QByteArray waitForLine(const QByteArray& prefix, int timeoutMs)
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < timeoutMs) {
            while (m_process.canReadLine()) {
                const QByteArray line = m_process.readLine().trimmed();
                if (line.startsWith(prefix))
                    return line.mid(prefix.size()).trimmed();
            }
            if (m_process.state() == QProcess::NotRunning)
                break;
            m_process.waitForReadyRead(100);
        }
        ADD_FAILURE() << "no \"" << prefix.constData() << "\" line; stderr: "
                      << m_process.readAllStandardError().right(2000).constData();
        return {};
    }

private:
    QProcess m_process;
};

}  // namespace ombrelay::test
