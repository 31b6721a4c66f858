#pragma once

#include <QUrl>
#include <QWidget>
#include <memory>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace ombrelay {

class Blocklist;
class PZHTTPLoader;
class SerialQueue;

// Downloads the blocklist archive from the provider the user names ("kBlocklistProvider": a host, or a
// whole http or https address), has the blocklist import it in-process, and shows the progress; idle,
// the time of the last import and the number of ranges, or why the last attempt failed. A failure at
// any step leaves the old list as it was.
class BlocklistView : public QWidget
{
    Q_OBJECT
public:
    static constexpr qint64 kMaxArchiveBytes = qint64(32) << 20;
    static constexpr int kStallTimeoutMs = 30000;
    static constexpr int kTotalTimeoutMs = 15 * 60 * 1000;

    explicit BlocklistView(Blocklist& blocklist, QWidget* parent = nullptr);
    ~BlocklistView() override;

    void downloadBlocklist();
    void updateBlocklistInfo();
    // Quit: the download and the import are stopped and awaited, the archive deleted.
    void cancelAndWait();
    bool isBusy() const { return m_busy; }
    void setStallTimeoutMs(int ms) { m_stallTimeoutMs = ms; }
    static const QString kProviderKey;
    // The archive of a provider as typed: a host (with a port, maybe) serves "/config/level1.zip" over
    // http; an http or https address is taken whole. Empty for an empty or unusable text.
    static QUrl archiveAddressFor(const QString& provider);
    // Types the provider into the pane's field, as a user does; stored when editing ends or on download.
    void setArchiveAddress(const QUrl& address);
    // Bytes received of those announced: a determinate bar and "x of y"; unknown (-1): a busy bar and
    // the amount alone.
    void received(qint64 received, qint64 expected);

    QLineEdit* providerField() const { return m_providerField; }
    QPushButton* downloadButton() const { return m_downloadButton; }
    QLabel* lastDownload() const { return m_lastDownload; }
    QLabel* numberOfEntries() const { return m_numberOfEntries; }
    QLabel* downloadText() const { return m_downloadText; }
    QLabel* failureText() const { return m_failureText; }
    QProgressBar* updateProgress() const { return m_updateProgress; }

    static SerialQueue& operationQueue();

signals:
    void becameIdle();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void downloaded(const QByteArray data, int status);
    void dropLoader();
    void archiveWritten(const QString& path, const QString& error);
    void setInitializationProgress(double fraction);
    // Back to idle; a failure is shown as one of the download unless told otherwise.
    void setInitializationComplete(const QString& failure = {}, bool downloadFailed = true);
    void showBusy(const QString& text);
    void removeArchive();
    void storeProvider();

    Blocklist& m_blocklist;
    std::unique_ptr<PZHTTPLoader> m_loader;
    QString m_archivePath;
    bool m_busy = false;
    bool m_importing = false;
    int m_stallTimeoutMs = kStallTimeoutMs;
    QLineEdit* m_providerField;
    QPushButton* m_downloadButton;
    QLabel* m_lastDownloadLabel;
    QLabel* m_numberOfEntriesLabel;
    QLabel* m_lastDownload;
    QLabel* m_numberOfEntries;
    QLabel* m_downloadText;
    QLabel* m_failureText;
    QProgressBar* m_updateProgress;
};

}  // namespace ombrelay
