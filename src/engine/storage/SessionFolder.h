#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVector>
#include <optional>

namespace ombrelay {

// What a torrent keeps across restarts, as its session folder stores it.
struct SessionRecord
{
    // "torrent.plist" and the metainfo
    QDateTime creationDate;
    QString downloadPath;
    bool shouldRelocateOnCompletion = false;
    // The mount point the download folder was on when the torrent was added ("downloadMountPoint");
    // empty in folders written before it was kept.
    QString downloadMountPoint;
    QByteArray metainfo;  // "torrent", or the older "torrentData" key

    // "state.plist"
    int downloadState = 0;  // a halted torrent stores the state it returns to
    QByteArray exportedIndices;
    quint64 bytesUploaded = 0;
    qint64 customDownloadLimit = 0;
    qint64 customUploadLimit = 0;
    std::optional<QVector<bool>> checkboxStates;  // only for torrents with a file list
    QString errorText;         // "errorText": why a paused torrent stopped itself
    int stateAfterCheck = 0;   // "stateAfterCheck": the state a torrent goes to once its files are checked
    bool hasState = false;     // read: "state.plist" was there and whole

    // The two bitfield files (or the older keys of "state.plist")
    QByteArray storedBlocks;
    QByteArray verifiedPieces;

    // Known peers in the older "peers.bitfield" form (compact 6-byte entries); the file is gone once read.
    QByteArray legacyCompactPeers;
    // The folder was in the older form: its metainfo must be written to "torrent".
    bool hadLegacyMetainfo = false;
};

// A torrent's folder "Torrents/<seconds since 1970>.<microseconds>-<info hash>.ombrelay" inside the
// application-support folder, and its files: "torrent", "torrent.plist", "state.plist",
// "downloadedBlocks.bitfield", "downloadedPieces.bitfield" and "peers.db". Every file is written
// atomically, so a crash leaves either the old or the new one.
class SessionFolder
{
public:
    static QString storageDirectory();  // "<application support>/Torrents"
    // The folder's name; the date is rounded to whole microseconds, printed in the C locale.
    static QString folderName(const QDateTime& creationDate, const QByteArray& infoHash);
    // The creation date a folder name carries; invalid when the name is not of that form.
    static QDateTime creationDateFromName(const QString& name);
    // The info hash a folder name carries; empty when the name is not of that form.
    static QByteArray infoHashFromName(const QString& name);
    // The session folders in the storage directory, sorted by name.
    static QStringList storedFolderNames();

    explicit SessionFolder(QString path) : m_path(std::move(path)) {}
    SessionFolder(const QDateTime& creationDate, const QByteArray& infoHash);
    const QString& path() const { return m_path; }
    QString filePath(const QString& name) const;

    // Each write opens, writes and closes its file; on failure `error` says why and the file stored
    // before is left as it was.
    bool create(QString* error = nullptr) const;
    // Writes "torrent" only when it does not exist yet.
    bool writeMetainfo(const QByteArray& metainfo, QString* error = nullptr) const;
    bool writeTorrentPlist(const SessionRecord& record, QString* error = nullptr) const;
    bool writeStatePlist(const SessionRecord& record, QString* error = nullptr) const;
    QString statePlistPath() const;
    // The bytes "state.plist" holds for the record.
    static QByteArray statePlist(const SessionRecord& record);
    // Everything the folder holds. Nothing when the metainfo is missing; a missing or damaged
    // "torrent.plist" falls back to the creation date of the folder's name and an empty download path.
    std::optional<SessionRecord> read(qint64 maxMetainfoBytes) const;
    // Deletes the older "peers.bitfield" once its peers were taken over.
    void removeLegacyPeers() const;
    // Forgets the stored blocks and verified pieces (missing bitfield files read as empty sets).
    void removeBitfields() const;
    bool remove() const;

private:
    QString m_path;
};

}  // namespace ombrelay
