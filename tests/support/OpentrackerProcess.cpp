#include "support/OpentrackerProcess.h"

#include "support/LoopbackPorts.h"

#include <QFile>
#include <QFileInfo>
#include <QTcpSocket>
#include <QThread>

namespace ombrelay::test {
namespace {

const QString kProgram = QStringLiteral("/usr/bin/opentracker");

bool accepts(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(200);
}

// The tracker's reply to an announce from 127.0.0.1 with the query's own parameters.
QByteArray announce(quint16 trackerPort, const QByteArray& infoHash, const QByteArray& parameters)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, trackerPort);
    if (!socket.waitForConnected(200))
        return {};
    const QByteArray query = "/announce?info_hash=" + infoHash.toPercentEncoding() + '&' + parameters;
    socket.write("GET " + query + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
    QByteArray reply;
    while (socket.waitForReadyRead(500))
        reply += socket.readAll();
    return reply + socket.readAll();
}

// True once the tracker takes an announce for the hash: it listens before its whitelist is loaded, and
// refuses every hash until then. Only a "started" announce is checked against the list; a "stopped" one
// follows, so no peer stays behind.
bool servesHash(quint16 port, const QByteArray& infoHash)
{
    const QByteArray peer = "peer_id=-XX0000-000000000000&port=1&uploaded=0&downloaded=0&left=0&event=";
    const QByteArray reply = announce(port, infoHash, peer + "started");
    const QByteArray statusLine = reply.left(reply.indexOf('\r'));
    if (!statusLine.startsWith("HTTP/1.") || !statusLine.contains(" 200 ")
        || reply.contains("failure reason"))
        return false;
    announce(port, infoHash, peer + "stopped");
    return true;
}

}  // namespace

OpentrackerProcess::~OpentrackerProcess()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}

bool OpentrackerProcess::isInstalled()
{
    return QFileInfo(kProgram).isExecutable();
}

bool OpentrackerProcess::start(const QList<QByteArray>& infoHashes)
{
    if (!isInstalled() || !m_root.isValid())
        return false;
    QFile whitelist(m_root.filePath("whitelist.txt"));
    if (!whitelist.open(QIODevice::WriteOnly))
        return false;
    for (const QByteArray& hash : infoHashes)
        whitelist.write(hash.toHex() + '\n');
    whitelist.close();
    // It drops to an unprivileged user, which must still read the folder and the list.
    QFile::setPermissions(m_root.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                                             | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
    whitelist.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    // It changes root into the folder, so the list is named relative to it. It binds a TCP port the system
    // picks, and no UDP port: the tests announce over HTTP only.
    m_process.setWorkingDirectory(m_root.path());
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.start(kProgram, {"-i", "127.0.0.1", "-p", "0", "-d", m_root.path(), "-w", "whitelist.txt"});
    if (!m_process.waitForStarted(5000))
        return false;
    m_port = listeningPortOf(m_process.processId(), 5000);
    for (int i = 0; m_port != 0 && i < 50 && m_process.state() == QProcess::Running; ++i) {
        if (infoHashes.isEmpty() ? accepts(m_port) : servesHash(m_port, infoHashes.first()))
            return true;
        QThread::msleep(100);
    }
    m_process.kill();
    m_process.waitForFinished(3000);
    m_port = 0;
    return false;
}

bool OpentrackerProcess::announceSeed(const QByteArray& infoHash, quint16 port) const
{
    const QByteArray parameters = "peer_id=-XX0000-announced000&port=" + QByteArray::number(port)
        + "&uploaded=0&downloaded=0&left=0&compact=1&event=started";
    // The whitelist may still be loading: it refuses the hash until then.
    for (int attempt = 0; attempt < 50; ++attempt) {
        const QByteArray reply = announce(m_port, infoHash, parameters);
        if (reply.contains("interval") && !reply.contains("failure reason"))
            return true;
        QThread::msleep(100);
    }
    return false;
}

QString OpentrackerProcess::announceAddress() const
{
    return QStringLiteral("http://127.0.0.1:%1/announce").arg(m_port);
}

}  // namespace ombrelay::test
