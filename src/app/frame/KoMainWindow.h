#pragma once

#include "app/tabs/MainPaneFactory.h"

#include <QMainWindow>
#include <functional>

class QMimeData;

namespace ombrelay {

class DragOverlayView;
class KoContentView;
class KoDownloadsController;
class MainSplitView;
class QueryToolbarDelegate;
class ResultsPane;
class SelectionController;
class SideStatusView;
class SourceView;

// The main window: side by side in a split view, the sidebar (source list, transfers
// entry, status strip) and the content switcher. Its frame is kept in the settings ("kKoMainWindow");
// without one it opens centred on the screen. It is never narrower than the sidebar plus 510 nor shorter
// than 99 below its bars.
class KoMainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit KoMainWindow(KoDownloadsController& downloads, QWidget* parent = nullptr);
    ~KoMainWindow() override;

    KoContentView* contentView() const { return m_contentView; }
    // Dropped torrent files go through the overlay over the content.
    DragOverlayView* dragOverlay() const { return m_dragOverlay; }
    MainSplitView* splitView() const { return m_splitView; }
    SourceView* sourceView() const { return m_sourceView; }
    SelectionController* selectionController() const { return m_selection; }
    SideStatusView* statusView() const { return m_statusView; }
    QueryToolbarDelegate* queryToolbarDelegate() const { return m_queryToolbar; }
    // Where Tab (next) and Shift+Tab go from the toolbar's search field: the transfers row while the
    // transfers show, else the sidebar; back, the shown list with its first row selected.
    QWidget* searchFieldKeyView(bool next) const;
    // The results or feed controller of the selected source-list item's pane, when it is built.
    ResultsPane* selectedResultsPane() const;
    void saveFrame();
    void centerOnScreen();
    void updateMinimumSize();

    // File > Open: ".torrent" and ".tstream" files, chosen in a sheet.
    static QString openPanelFilter();
    void showOpenPanel();

signals:
    void openFilesChosen(const QStringList& paths);
    // The window's close button: the application hides the window or quits.
    void closeRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    // Dragged torrent files go to the overlay.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void makeNativeWindowAnew();
    void buildFrame();
    void flagsChanged(QKeyEvent* event);

    KoDownloadsController& m_downloads;
    KoContentView* m_contentView;
    DragOverlayView* m_dragOverlay = nullptr;
    MainSplitView* m_splitView = nullptr;
    SourceView* m_sourceView = nullptr;
    SelectionController* m_selection = nullptr;
    SideStatusView* m_statusView = nullptr;
    QueryToolbarDelegate* m_queryToolbar = nullptr;
    MainPaneFactory m_paneFactory;
};

}  // namespace ombrelay
