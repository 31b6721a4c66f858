#pragma once

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace ombrelay::test {

// An opentracker on 127.0.0.1 and a TCP port the system picks, for as long as this object lives. Debian
// builds it with a whitelist, so it serves the info hashes given to start() only.
class OpentrackerProcess
{
public:
    OpentrackerProcess() = default;
    ~OpentrackerProcess();

    static bool isInstalled();
    // False when it is not installed or does not accept connections within a few seconds.
    bool start(const QList<QByteArray>& infoHashes);
    quint16 port() const { return m_port; }
    QString announceAddress() const;  // "http://127.0.0.1:<port>/announce"
    // Registers a seed of `infoHash` listening on 127.0.0.1:`port`; true when the tracker took it.
    bool announceSeed(const QByteArray& infoHash, quint16 port) const;

private:
    QTemporaryDir m_root;
    QProcess m_process;
    quint16 m_port = 0;
};

}  // namespace ombrelay::test
