#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QStringList>
#include <functional>

namespace ombrelay {

// What the desktop's media player is playing, read from the MPRIS "Metadata" of the first player whose
// status is "Playing". Asked without waiting; the answer is empty when nothing plays.
class MprisNowPlaying : public QObject
{
    Q_OBJECT
public:
    enum class Field { Artist, Title };
    using Answer = std::function<void(const QString& text)>;

    explicit MprisNowPlaying(const QDBusConnection& bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);

    void query(Field field, Answer answer);

private:
    void askPlayers(QStringList players, Field field, Answer answer);

    QDBusConnection m_bus;
};

}  // namespace ombrelay
