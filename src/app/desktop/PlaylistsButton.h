#pragma once

#include <QComboBox>

namespace ombrelay {

// The playlist pop-up of the media pane. A second after it first shows, the playlist files of the music
// folder are listed off the main thread and handed on to the pane, which rebuilds the pop-up.
class PlaylistsButton : public QComboBox
{
    Q_OBJECT
public:
    using QComboBox::QComboBox;

    // The folder of the playlist files; empty when there is none yet.
    static QString iTunesLibraryPath();
    void traverseiTunesLibrary();
    bool hasTraversed() const { return m_hasTraversed; }

signals:
    void playlistsRead(const QStringList& names);

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool m_hasTraversed = false;
};

}  // namespace ombrelay
