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
                      << standardError().right(2000).constData();
        return {};
    }
    // Waits until standard error holds `text`; false after `timeoutMs` or once the process ended without it.
    bool waitForError(const QByteArray& text, int timeoutMs)
    {
        return waitForText([this] { return standardError(); }, text, timeoutMs);
    }
    // Waits until standard output holds `text`, reading it whole (not for a process read with waitForLine);
    // false after `timeoutMs` or once the process ended without it.
    bool waitForOutput(const QByteArray& text, int timeoutMs)
    {
        return waitForText([this] { return m_output += m_process.readAllStandardOutput(); }, text, timeoutMs);
    }

    // Waits for the process to exit by itself; false when it still runs after `timeoutMs`.
    bool waitForExit(int timeoutMs)
    {
        return m_process.state() == QProcess::NotRunning || m_process.waitForFinished(timeoutMs);
    }
    // Closes the process's standard input: a helper reading it sees its end.
    void closeInput() { m_process.closeWriteChannel(); }
    // Writes a line to the process's standard input.
    void writeLine(const QByteArray& line)
    {
        m_process.write(line + '\n');
        m_process.waitForBytesWritten(5000);
    }
    // SIGTERM, as a desktop session or the user's quit would end it.
    void terminate() { m_process.terminate(); }
    qint64 processId() const { return m_process.processId(); }
    int exitCode() const { return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1; }
    // SIGKILL, as a crash or a power cut would end it.
    void killNow()
    {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
    // Everything the process wrote to standard error so far.
    QByteArray standardError()
    {
        m_error += m_process.readAllStandardError();
        return m_error;
    }

private:
    template <typename Collected> bool waitForText(Collected collected, const QByteArray& text, int timeoutMs)
    {
        QElapsedTimer timer;
        timer.start();
        while (!collected().contains(text)) {
            if (timer.elapsed() >= timeoutMs || m_process.state() == QProcess::NotRunning)
                return collected().contains(text);
            m_process.waitForReadyRead(100);
        }
        return true;
    }

    QProcess m_process;
    QByteArray m_error;
    QByteArray m_output;
};

}  // namespace ombrelay::test
