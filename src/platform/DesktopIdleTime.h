#pragma once

#include "platform/IdleTime.h"

#include <QDBusConnection>

namespace ombrelay {

// Idle time from the desktop: GNOME's Mutter idle monitor, then the freedesktop screen saver, both on the
// session bus, then the X11 screen-saver extension when libXss can be loaded at run time; "not idle" when
// none answers.
class DesktopIdleTime : public QObject, public IdleTime
{
    Q_OBJECT
public:
    explicit DesktopIdleTime(QObject* parent = nullptr);
    // Asks on the given bus instead of the session bus (tests run a private bus).
    explicit DesktopIdleTime(const QDBusConnection& bus, bool useX11, QObject* parent = nullptr);

    void querySecondsSinceInput(QObject* context, std::function<void(qint64 seconds)> done) override;

    // Milliseconds since the last input from the X server's screen-saver extension; -1 when unavailable.
    static qint64 x11IdleMilliseconds();

private:
    using Done = std::function<void(qint64)>;
    void askMutter(QObject* context, Done done);
    void askScreenSaver(QObject* context, Done done);
    void askX11(Done done);

    QDBusConnection m_bus;
    bool m_useX11;
};

}  // namespace ombrelay
