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

    // Waits for the process to exit by itself; false when it still runs after `timeoutMs`.
    bool waitForExit(int timeoutMs)
    {
        return m_process.state() == QProcess::NotRunning || m_process.waitForFinished(timeoutMs);
    }
    // Closes the process's standard input: a helper reading it sees its end.
    void closeInput() { m_process.closeWriteChannel(); }
    qint64 processId() const { return m_process.processId(); }
    int exitCode() const { return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1; }
    // SIGKILL, as a crash or a power cut would end it.
    void killNow()
    {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
    QByteArray standardError() { return m_process.readAllStandardError(); }

private:
    QProcess m_process;
};

}  // namespace ombrelay::test
