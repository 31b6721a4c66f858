#include "platform/DesktopIdleTime.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QPointer>
#include <dlfcn.h>

#if __has_include(<X11/Xlib.h>) && __has_include(<X11/extensions/scrnsaver.h>)
#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>
#define OMBRELAY_HAVE_XSS_HEADERS 1
#endif

namespace ombrelay {
namespace {

constexpr int kDBusTimeoutMs = 1000;

// Calls `method` asynchronously; `answer` gets the reply, or an error reply when nobody answers.
void callAsync(const QDBusConnection& bus, const QDBusMessage& call, QObject* context,
               std::function<void(const QDBusMessage&)> answer)
{
    if (!bus.isConnected()) {
        answer(QDBusMessage::createError(QStringLiteral("org.freedesktop.DBus.Error.NoServer"), QString()));
        return;
    }
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kDBusTimeoutMs), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                     [watcher, answer = std::move(answer)] {
                         watcher->deleteLater();
                         answer(watcher->reply());
                     });
}

}  // namespace

DesktopIdleTime::DesktopIdleTime(QObject* parent) : DesktopIdleTime(QDBusConnection::sessionBus(), true, parent) {}

DesktopIdleTime::DesktopIdleTime(const QDBusConnection& bus, bool useX11, QObject* parent)
    : QObject(parent), m_bus(bus), m_useX11(useX11)
{
}

void DesktopIdleTime::querySecondsSinceInput(QObject* context, std::function<void(qint64 seconds)> done)
{
    askMutter(context, std::move(done));
}

void DesktopIdleTime::askMutter(QObject* context, Done done)
{
    const auto call = QDBusMessage::createMethodCall(
        QStringLiteral("org.gnome.Mutter.IdleMonitor"), QStringLiteral("/org/gnome/Mutter/IdleMonitor/Core"),
        QStringLiteral("org.gnome.Mutter.IdleMonitor"), QStringLiteral("GetIdletime"));
    QPointer<DesktopIdleTime> self(this);
    callAsync(m_bus, call, context, [self, context, done](const QDBusMessage& reply) {
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
            done(qint64(reply.arguments().first().toULongLong() / 1000));
            return;
        }
        if (self)
            self->askScreenSaver(context, done);
        else
            done(0);
    });
}

void DesktopIdleTime::askScreenSaver(QObject* context, Done done)
{
    const auto call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("/org/freedesktop/ScreenSaver"),
        QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("GetSessionIdleTime"));
    QPointer<DesktopIdleTime> self(this);
    callAsync(m_bus, call, context, [self, done](const QDBusMessage& reply) {
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
            done(qint64(reply.arguments().first().toUInt()));
            return;
        }
        if (self)
            self->askX11(done);
        else
            done(0);
    });
}

void DesktopIdleTime::askX11(Done done)
{
    const qint64 ms = m_useX11 ? x11IdleMilliseconds() : -1;
    done(ms > 0 ? ms / 1000 : 0);
}

qint64 DesktopIdleTime::x11IdleMilliseconds()
{
#ifdef OMBRELAY_HAVE_XSS_HEADERS
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        return -1;
    // Loaded at run time, so neither library is needed to build or run without an X server.
    static void* x11 = ::dlopen("libX11.so.6", RTLD_LAZY | RTLD_LOCAL);
    static void* xss = ::dlopen("libXss.so.1", RTLD_LAZY | RTLD_LOCAL);
    if (!x11 || !xss)
        return -1;
    using OpenDisplay = Display* (*)(const char*);
    using CloseDisplay = int (*)(Display*);
    using RootWindow = Window (*)(Display*);
    using Free = int (*)(void*);
    using QueryExtension = Bool (*)(Display*, int*, int*);
    using AllocInfo = XScreenSaverInfo* (*)();
    using QueryInfo = Status (*)(Display*, Drawable, XScreenSaverInfo*);
    const auto openDisplay = reinterpret_cast<OpenDisplay>(::dlsym(x11, "XOpenDisplay"));
    const auto closeDisplay = reinterpret_cast<CloseDisplay>(::dlsym(x11, "XCloseDisplay"));
    const auto rootWindow = reinterpret_cast<RootWindow>(::dlsym(x11, "XDefaultRootWindow"));
    const auto xfree = reinterpret_cast<Free>(::dlsym(x11, "XFree"));
    const auto queryExtension = reinterpret_cast<QueryExtension>(::dlsym(xss, "XScreenSaverQueryExtension"));
    const auto allocInfo = reinterpret_cast<AllocInfo>(::dlsym(xss, "XScreenSaverAllocInfo"));
    const auto queryInfo = reinterpret_cast<QueryInfo>(::dlsym(xss, "XScreenSaverQueryInfo"));
    if (!openDisplay || !closeDisplay || !rootWindow || !xfree || !queryExtension || !allocInfo || !queryInfo)
        return -1;
    Display* display = openDisplay(nullptr);
    if (!display)
        return -1;
    qint64 idle = -1;
    int eventBase = 0;
    int errorBase = 0;
    if (queryExtension(display, &eventBase, &errorBase)) {
        if (XScreenSaverInfo* info = allocInfo()) {
            if (queryInfo(display, rootWindow(display), info))
                idle = qint64(info->idle);
            xfree(info);
        }
    }
    closeDisplay(display);
    return idle;
#else
    return -1;
#endif
}

}  // namespace ombrelay
