#pragma once

#include "engine/torrent/TorrentLine.h"

#include <QByteArray>
#include <QDialog>
#include <QPointer>
#include <QSet>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPropertyAnimation;
class QPushButton;

namespace ombrelay {

class MagnetResolver;
class PZHTTPLoader;
class SessionLifecycle;

// The sheet that opens a torrent by its address: an http(s) address of a torrent file is fetched, a
// magnet link is looked up by its info hash; a valid torrent expands the panel with its icon, name and
// size, and Download adds it (or selects it when it is listed already). A status line says what failed.
class OpenTorrentURLPanel : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kWidth = 457;
    static constexpr int kCollapsedHeight = 199;
    static constexpr int kExpandedHeight = 267;
    static constexpr int kTypingPauseMs = 500;
    static constexpr qsizetype kMaxPastedBytes = 64 << 10;
    static constexpr int kFetchStallMs = 15000;
    static constexpr int kFetchTotalMs = 30 * 60 * 1000;

    OpenTorrentURLPanel(QWidget* mainWindow, SessionLifecycle& lifecycle);
    ~OpenTorrentURLPanel() override;

    // From the menu, a magnet event or a web pane: while the sheet is up only the address is replaced.
    void openPanelWithAddress(const QString& address);
    void resetState();
    void setInitialAddress(const QString& address);

    TorrentLinePtr torrent() const { return m_torrent; }
    bool isExpanded() const { return m_expanded; }
    QLineEdit* urlField() const { return m_urlField; }
    QPushButton* downloadButton() const { return m_downloadButton; }
    QLabel* statusLine() const { return m_status; }
    QLabel* torrentPathField() const { return m_torrentPath; }
    QLabel* torrentDetailsField() const { return m_torrentDetails; }
    bool isFetching() const;
    // How long a server may fall silent during a fetch; tests shorten it.
    void setFetchStallMs(int ms) { m_fetchStallMs = ms; }

    void download();
    void reject() override;

private:
    void addressEdited();
    void textDidChange();
    void killDownloads();
    void dropMagnetResolver();
    void fetch(const QString& address);
    void fetched(PZHTTPLoader* loader);
    void fetchFailed(PZHTTPLoader* loader);
    void candidateArrived(const QByteArray& data);
    void candidateRead(const TorrentLinePtr& line);
    void accept(const TorrentLinePtr& line);
    void fetchingEnded(const QString& status);
    void expand();
    void collapse();
    void setFrameAnimated(int height);
    void endSheet();

    SessionLifecycle& m_lifecycle;
    QLineEdit* m_urlField;
    QProgressBar* m_progressIndicator;
    QPushButton* m_cancelButton;
    QPushButton* m_downloadButton;
    QLabel* m_iconView;
    QLabel* m_torrentPath;
    QLabel* m_torrentDetails;
    QLabel* m_status;
    QWidget* m_details;
    QString m_lastString;
    QSet<PZHTTPLoader*> m_downloads;
    QPointer<MagnetResolver> m_magnetResolver;
    QByteArray m_magnetHash;
    int m_pendingReads = 0;
    quint64 m_generation = 0;
    TorrentLinePtr m_torrent;
    QPropertyAnimation* m_animation;
    bool m_expanded = false;
    int m_fetchStallMs = kFetchStallMs;
};

}  // namespace ombrelay
