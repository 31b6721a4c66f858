#pragma once

#include <QMainWindow>

namespace ombrelay {

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
    void saveFrame();

    // File > Open: ".torrent" and ".tstream" files.
    static QString openPanelFilter();

signals:
    void openFilesChosen(const QStringList& paths);
    // File > Quit or the window's close button.
    void quitRequested();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();
    void showOpenPanel();

    KoDownloadsController& m_downloads;
    KoContentView* m_contentView;
};

}  // namespace ombrelay
