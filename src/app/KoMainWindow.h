#pragma once

#include <QMainWindow>

namespace ombrelay {

class DragOverlayView;
class KoContentView;
class KoDownloadsController;

// The main window: the menu bar and the content switcher, whose first pane is the transfers list. Its
// frame is kept in the settings ("kKoMainWindow").
class KoMainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit KoMainWindow(KoDownloadsController& downloads, QWidget* parent = nullptr);

    KoContentView* contentView() const { return m_contentView; }
    DragOverlayView* dragOverlay() const { return m_dragOverlay; }
    void saveFrame();

    // File > Open: ".torrent" and ".tstream" files.
    static QString openPanelFilter();

signals:
    void openFilesChosen(const QStringList& paths);
    // File > Quit or the window's close button.
    void quitRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
    // Dragged torrent files go to the overlay.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void buildMenus();
    void showOpenPanel();

    KoDownloadsController& m_downloads;
    KoContentView* m_contentView;
    DragOverlayView* m_dragOverlay;
};

}  // namespace ombrelay
