#include "app/desktop/StatusTray.h"

#include "transfers/KoDownloadsController.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

namespace ombrelay {

StatusTray::StatusTray(KoDownloadsController& downloads, QWidget* window, const QDBusConnection& bus, QObject* parent)
    : QObject(parent),
      m_downloads(downloads),
      m_window(window),
      m_launcher(bus, QStringLiteral("application://ombrelay.desktop"))
{
    connect(&m_downloads, &KoDownloadsController::countsChanged, this, &StatusTray::redisplay);
    connect(&m_downloads, &KoDownloadsController::bindingsTextChanged, this, &StatusTray::redisplay);
    connect(&m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
            emit clicked();
    });
    if (m_window)
        m_window->installEventFilter(this);
    redisplay();
    m_tray.show();
}

void StatusTray::setMenu(QMenu* menu)
{
    m_tray.setContextMenu(menu);
}

void StatusTray::redisplay()
{
    const int complete = m_downloads.numberOfComplete();
    const double rate = m_downloads.downstreamBandwidthUsage();
    const QString rateText = m_view.bandwidthText(rate);
    if (complete != m_shownComplete || rateText != m_shownRate) {
        m_shownComplete = complete;
        m_shownRate = rateText;
        m_tile = m_view.render(complete, rate);
        m_tray.setIcon(QIcon(QPixmap::fromImage(m_tile)));
        updateLauncher();
    }
    // A rate shows while there is one: an idle tooltip reads only the program's name.
    QString tip = QStringLiteral("Ombrelay");
    if (!m_downloads.downloadsRateText().isEmpty())
        tip += QLatin1Char('\n') + tr("Download: %1").arg(m_downloads.downloadsRateText());
    if (!m_downloads.uploadsRateText().isEmpty())
        tip += QLatin1Char('\n') + tr("Upload: %1").arg(m_downloads.uploadsRateText());
    if (tip != m_tray.toolTip())
        m_tray.setToolTip(tip);
}

void StatusTray::requestAttention()
{
    if (m_window && m_window->isActiveWindow())
        return;
    m_urgent = true;
    updateLauncher();
    if (m_window)
        QApplication::alert(m_window);
}

void StatusTray::updateLauncher()
{
    m_launcher.update(std::max(m_shownComplete, 0), m_urgent);
}

bool StatusTray::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_window && event->type() == QEvent::WindowActivate && m_urgent) {
        m_urgent = false;
        updateLauncher();
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace ombrelay
