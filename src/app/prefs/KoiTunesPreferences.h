#pragma once

#include <QStringList>
#include <QWidget>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QStackedWidget;

namespace ombrelay {

class PlaylistsButton;

// The media pane: which finished files go to the Music Library, into which playlist, and what the media
// player does with them. Only writes the settings; the hand-over reads them.
class KoiTunesPreferences : public QWidget
{
    Q_OBJECT
public:
    explicit KoiTunesPreferences(QWidget* parent = nullptr);
    ~KoiTunesPreferences() override;

    // The playlists found in the library (names of ".m3u8" files); fills the pop-up, where the default
    // playlist stays first and is listed once.
    void setPlaylists(const QStringList& playlists);
    void loadDefaults();
    // A playlist name becomes a file name: no "/", no NUL, not "." or "..", at most 255 bytes.
    static bool isValidPlaylistName(const QString& name);
    // Why a name cannot be a playlist's, as the pane says it; empty for a valid name.
    static QString refusalOf(const QString& name);
    void playlistTextField();

    QComboBox* playlistMenu() const;
    QLineEdit* playlistTextEdit() const { return m_playlistText; }
    QStackedWidget* playlistTab() const { return m_playlistTab; }
    QLabel* playlistRefusal() const { return m_playlistRefusal; }

private:
    void fillPlaylistMenu();
    void playlistChosen(int index);
    void switchToMenu();
    void switchToTextField();

    QCheckBox* m_addSong;
    QCheckBox* m_addVideo;
    QCheckBox* m_addToPlaylist;
    QButtonGroup* m_playSong;
    QStackedWidget* m_playlistTab;
    PlaylistsButton* m_playlistMenu;
    QLineEdit* m_playlistText;
    QLabel* m_playlistRefusal;
    QList<QWidget*> m_playControls;
    QStringList m_playlists;
    bool m_playlistsHaveLoaded = false;
};

}  // namespace ombrelay
