#include "app/web/WebProxy.h"

#include <QStringList>
#include <QUrl>

namespace ombrelay {

namespace {

QString variable(const QProcessEnvironment& environment, const QString& name)
{
    const QString lower = environment.value(name).trimmed();
    return lower.isEmpty() ? environment.value(name.toUpper()).trimmed() : lower;
}

// "host:port" of a proxy variable; a value without scheme is an http proxy, as curl reads it.
QString proxyServer(const QString& value)
{
    if (value.isEmpty())
        return {};
    const QUrl url(value.contains(QLatin1String("://")) ? value : QStringLiteral("http://") + value, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty() || url.host().contains(QLatin1Char(';')))
        return {};
    return QStringLiteral("%1:%2").arg(url.host()).arg(url.port(url.scheme() == QLatin1String("https") ? 443 : 80));
}

}  // namespace

QByteArray WebProxy::chromiumFlags(const QProcessEnvironment& environment)
{
    const QString http = proxyServer(variable(environment, QStringLiteral("http_proxy")));
    const QString https = proxyServer(variable(environment, QStringLiteral("https_proxy")));
    const QString noProxy = variable(environment, QStringLiteral("no_proxy"));
    if ((http.isEmpty() && https.isEmpty()) || noProxy == QLatin1String("*"))
        return {};
    QStringList servers;
    if (!http.isEmpty())
        servers << QStringLiteral("http=") + http;
    if (!https.isEmpty())
        servers << QStringLiteral("https=") + https;
    // curl's "example.org" also covers its subdomains; Chromium needs both patterns.
    QStringList bypass;
    for (QString host : noProxy.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        host = host.trimmed();
        while (host.startsWith(QLatin1Char('.')))
            host.remove(0, 1);
        if (host.isEmpty() || host.contains(QLatin1Char(' ')) || host.contains(QLatin1Char(';')))
            continue;
        bypass << host << QStringLiteral("*.") + host;
    }
    QByteArray flags = "--proxy-server=" + servers.join(QLatin1Char(';')).toUtf8();
    if (!bypass.isEmpty())
        flags += " --proxy-bypass-list=" + bypass.join(QLatin1Char(',')).toUtf8();
    return flags;
}

void WebProxy::apply()
{
    static const bool applied = [] {
        const QByteArray flags = chromiumFlags(QProcessEnvironment::systemEnvironment());
        if (!flags.isEmpty()) {
            const QByteArray existing = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
            qputenv("QTWEBENGINE_CHROMIUM_FLAGS", existing.isEmpty() ? flags : existing + ' ' + flags);
        }
        return true;
    }();
    (void)applied;
}

}  // namespace ombrelay
