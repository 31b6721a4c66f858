#pragma once

#include "app/desktop/DockTileView.h"
#include "platform/LauncherEntry.h"

#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>

class QMenu;
class QWidget;

namespace ombrelay {

class KoDownloadsController;

// The application in the tray and the launcher: the tray icon shows the tile (its tooltip the rates) and
// reports clicks, and the launcher entry carries the completed count and the attention request, which
// lasts until the window is activated. Each is re-sent only when it changed.
class StatusTray : public QObject
{
    Q_OBJECT
public:
    StatusTray(KoDownloadsController& downloads, QWidget* window, const QDBusConnection& bus,
               QObject* parent = nullptr);

    void setMenu(QMenu* menu);
    // Redraws from the controller's counts and rates.
    void redisplay();
    // Through the launcher entry and the window itself, since many desktops heed only one of them.
    void requestAttention();

    QSystemTrayIcon& trayIcon() { return m_tray; }
    // The icon is shown by a tray host that runs now.
    bool isInTray() const { return m_tray.isVisible() && QSystemTrayIcon::isSystemTrayAvailable(); }
    const QImage& tile() const { return m_tile; }

signals:
    // A click on the tray icon: the application brings its window when nothing holds it back.
    void clicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void updateLauncher();

    KoDownloadsController& m_downloads;
    QPointer<QWidget> m_window;
    DockTileView m_view;
    LauncherEntry m_launcher;
    QSystemTrayIcon m_tray;
    QImage m_tile;
    int m_shownComplete = -1;
    QString m_shownRate;
    bool m_urgent = false;
};

}  // namespace ombrelay
