#pragma once

#include <QObject>
#include <QStringList>

class QLocalServer;

namespace ombrelay {

// One running instance per user: the first launch listens on a local socket; a later launch hands its
// files and addresses to it and exits. Each hand-over is one connection carrying UTF-8 lines.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    static constexpr qint64 kMaxMessage = 1 << 20;

    // The socket name for this user, unless given (tests).
    explicit SingleInstance(const QString& serverName = {}, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Sends the arguments to a running instance; true when one took them.
    bool handOver(const QStringList& arguments, int timeoutMs = 3000) const;
    // Starts listening (replacing a socket left by a crashed instance); false when that failed.
    bool listen();
    QString serverName() const { return m_serverName; }

    // Relative paths of a launch made absolute; addresses kept as they are.
    static QStringList normalizedArguments(const QStringList& arguments, const QString& workingFolder);

signals:
    void argumentsReceived(const QStringList& arguments);

private:
    void acceptConnection();

    QString m_serverName;
    QLocalServer* m_server = nullptr;
};

}  // namespace ombrelay
