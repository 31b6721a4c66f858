#include "app/shell/SingleInstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QUrl>
#include <unistd.h>

namespace ombrelay {

SingleInstance::SingleInstance(const QString& serverName, QObject* parent)
    : QObject(parent),
      m_serverName(serverName.isEmpty() ? QStringLiteral("ombrelay-%1").arg(::getuid()) : serverName)
{
}

SingleInstance::~SingleInstance() = default;

QStringList SingleInstance::normalizedArguments(const QStringList& arguments, const QString& workingFolder)
{
    QStringList normalized;
    for (const QString& argument : arguments) {
        if (argument.isEmpty())
            continue;
        const QUrl url(argument);
        if (url.isLocalFile())
            normalized.append(url.toLocalFile());
        else if (!url.scheme().isEmpty() && url.scheme().size() > 1)
            normalized.append(argument);
        else
            normalized.append(QDir::cleanPath(QDir(workingFolder).absoluteFilePath(argument)));
    }
    return normalized;
}

bool SingleInstance::handOver(const QStringList& arguments, int timeoutMs) const
{
    QLocalSocket socket;
    socket.connectToServer(m_serverName);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    QByteArray message;
    for (const QString& argument : arguments)
        message += argument.toUtf8().replace('\n', ' ') + '\n';
    message += '\n';  // the end, also for a launch without arguments (raises the window)
    socket.write(message);
    if (!socket.waitForBytesWritten(timeoutMs))
        return false;
    // The running instance closes once it has read everything.
    socket.waitForDisconnected(timeoutMs);
    return true;
}

bool SingleInstance::listen()
{
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_serverName)) {
        QLocalServer::removeServer(m_serverName);
        if (!m_server->listen(m_serverName)) {
            fprintf(stderr, "*** cannot listen for later launches on %s: %s\n", qPrintable(m_serverName),
                    qPrintable(m_server->errorString()));
            return false;
        }
    }
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::acceptConnection);
    return true;
}

void SingleInstance::acceptConnection()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        auto buffer = std::make_shared<QByteArray>();
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, buffer] {
            *buffer += socket->readAll();
            if (buffer->size() > kMaxMessage) {
                fprintf(stderr, "*** hand-over from a later launch too long; dropped\n");
                socket->abort();
                return;
            }
            if (!buffer->endsWith("\n\n") && *buffer != "\n")
                return;
            QStringList arguments;
            for (const QByteArray& line : buffer->split('\n'))
                if (!line.isEmpty())
                    arguments.append(QString::fromUtf8(line));
            buffer->clear();
            socket->disconnectFromServer();
            emit argumentsReceived(arguments);
        });
    }
}

}  // namespace ombrelay
