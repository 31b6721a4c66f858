#pragma once

#include "engine/core/EngineHost.h"

#include <QObject>
#include <QStringList>
#include <functional>

class QWidget;

namespace ombrelay {

class KoDownloadsController;
class SessionLifecycle;
struct PZAlert;

// Follows "kUseIncompleteFolder" and "kIncompleteFolder" whatever changed them: switched on or moved, it
// offers to move the unfinished torrents there (one prompt at a time), or says that it cannot while the
// folder's disk is away; switched off, it removes the incomplete folder when it is empty and is none of
// the folders a user keeps.
class IncompleteFolderMover : public QObject
{
    Q_OBJECT
public:
    enum class Change { Enabled, NewFolder };

    IncompleteFolderMover(KoDownloadsController& downloads, SessionLifecycle* session,
                          std::function<QWidget*()> window, QObject* parent = nullptr);

    // Unfinished torrents outside the incomplete folder that are neither halted nor moving already, in
    // list order.
    TorrentLineList torrentsToRelocate() const;
    void settingChanged(const QString& key);
    void offerMove(Change change);
    void moveTorrents();
    bool isPrompting() const { return m_prompting; }
    int movesRunning() const { return m_movesRunning; }

    static QString normalizedPath(const QString& path);
    // Folders never removed for being empty: the download folder, home, the XDG folders and the roots.
    static bool isKeptFolder(const QString& path);
    // Deletes the folder when it holds nothing but a ".DS_Store" and is not a kept folder.
    static bool removeFolderIfEmpty(const QString& path);

signals:
    void movesFinished();

private:
    // One question at a time; a change while it is up asks again once it is answered.
    void prompt(const PZAlert& alert, std::function<void()> firstButton);

    KoDownloadsController& m_downloads;
    SessionLifecycle* m_session;
    std::function<QWidget*()> m_window;
    bool m_prompting = false;
    bool m_promptAgain = false;
    int m_movesRunning = 0;
};

}  // namespace ombrelay
