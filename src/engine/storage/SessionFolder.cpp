#include "engine/storage/SessionFolder.h"

#include "kit/AppPaths.h"
#include "kit/AtomicFile.h"
#include "kit/PropertyList.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <cmath>

namespace ombrelay {

namespace {

constexpr qint64 kMaxPropertyListBytes = 16 * 1024 * 1024;
constexpr qint64 kMaxBitfieldBytes = 64 * 1024 * 1024;

const QString kTorrentFile = QStringLiteral("torrent");
const QString kTorrentPlist = QStringLiteral("torrent.plist");
const QString kStatePlist = QStringLiteral("state.plist");
const QString kBlocksBitfield = QStringLiteral("downloadedBlocks.bitfield");
const QString kPiecesBitfield = QStringLiteral("downloadedPieces.bitfield");
const QString kLegacyPeers = QStringLiteral("peers.bitfield");

std::optional<QByteArray> readBounded(const QString& path, qint64 maxBytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > maxBytes)
        return std::nullopt;
    return file.readAll();
}

}  // namespace

QString SessionFolder::storageDirectory()
{
    return QDir(AppPaths::applicationSupportPath()).filePath(QStringLiteral("Torrents"));
}

QString SessionFolder::folderName(const QDateTime& creationDate, const QByteArray& infoHash)
{
    Q_ASSERT(creationDate.isValid() && infoHash.size() == 20);
    const qint64 micros = creationDate.toMSecsSinceEpoch() * 1000;
    const QString seconds = QStringLiteral("%1.%2").arg(micros / 1000000).arg(micros % 1000000, 6, 10, QLatin1Char('0'));
    return seconds + QLatin1Char('-') + QString::fromLatin1(infoHash.toHex()) + QStringLiteral(".ombrelay");
}

namespace {

// "<seconds>.<microseconds>-<info hash in hex>.ombrelay"
QRegularExpressionMatch matchFolderName(const QString& name)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d{1,12})\\.(\\d{6})-([0-9a-f]{40})\\.ombrelay$"));
    return pattern.match(name);
}

}  // namespace

QDateTime SessionFolder::creationDateFromName(const QString& name)
{
    const auto match = matchFolderName(name);
    if (!match.hasMatch())
        return {};
    const qint64 msecs = match.captured(1).toLongLong() * 1000 + match.captured(2).toLongLong() / 1000;
    return QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC);
}

QByteArray SessionFolder::infoHashFromName(const QString& name)
{
    const auto match = matchFolderName(name);
    return match.hasMatch() ? QByteArray::fromHex(match.captured(3).toLatin1()) : QByteArray();
}

QStringList SessionFolder::storedFolderNames()
{
    QStringList names = QDir(storageDirectory()).entryList({QStringLiteral("*.ombrelay")}, QDir::Dirs | QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

SessionFolder::SessionFolder(const QDateTime& creationDate, const QByteArray& infoHash)
    : m_path(QDir(storageDirectory()).filePath(folderName(creationDate, infoHash)))
{
}

QString SessionFolder::filePath(const QString& name) const
{
    return QDir(m_path).filePath(name);
}

bool SessionFolder::create(QString* error) const
{
    if (QDir().mkpath(m_path))
        return true;
    if (error)
        *error = QStringLiteral("cannot create %1").arg(m_path);
    return false;
}

bool SessionFolder::writeMetainfo(const QByteArray& metainfo, QString* error) const
{
    if (QFileInfo::exists(filePath(kTorrentFile)))
        return true;
    return AtomicFile::write(filePath(kTorrentFile), metainfo, error);
}

bool SessionFolder::writeTorrentPlist(const SessionRecord& record, QString* error) const
{
    QVariantMap plist;
    plist.insert(QStringLiteral("creationDate"), record.creationDate);
    plist.insert(QStringLiteral("downloadPath"), record.downloadPath);
    if (!record.downloadMountPoint.isEmpty())
        plist.insert(QStringLiteral("downloadMountPoint"), record.downloadMountPoint);
    plist.insert(QStringLiteral("shouldRelocateOnCompletion"),
                 record.shouldRelocateOnCompletion ? QStringLiteral("1") : QStringLiteral("0"));
    return PropertyList::write(filePath(kTorrentPlist), plist, error);
}

QString SessionFolder::statePlistPath() const
{
    return filePath(kStatePlist);
}

QByteArray SessionFolder::statePlist(const SessionRecord& record)
{
    QVariantMap plist;
    plist.insert(QStringLiteral("downloadState"), qint64(record.downloadState));
    plist.insert(QStringLiteral("exportedIndices"), record.exportedIndices);
    plist.insert(QStringLiteral("bytesUploaded"), qint64(std::min<quint64>(record.bytesUploaded, INT64_MAX)));
    plist.insert(QStringLiteral("customDownloadLimit"), record.customDownloadLimit);
    plist.insert(QStringLiteral("customUploadLimit"), record.customUploadLimit);
    if (record.checkboxStates) {
        QVariantList states;
        for (bool wanted : *record.checkboxStates)
            states.append(wanted);
        plist.insert(QStringLiteral("checkboxStates"), states);
    }
    if (!record.errorText.isEmpty())
        plist.insert(QStringLiteral("errorText"), record.errorText);
    if (record.stateAfterCheck != 0)
        plist.insert(QStringLiteral("stateAfterCheck"), qint64(record.stateAfterCheck));
    return PropertyList::toBinary(plist);
}

bool SessionFolder::writeStatePlist(const SessionRecord& record, QString* error) const
{
    return AtomicFile::write(statePlistPath(), statePlist(record), error);
}

std::optional<SessionRecord> SessionFolder::read(qint64 maxMetainfoBytes) const
{
    SessionRecord record;
    const QVariantMap torrent = PropertyList::read(filePath(kTorrentPlist), kMaxPropertyListBytes).toMap();
    record.creationDate = torrent.value(QStringLiteral("creationDate")).toDateTime();
    if (!record.creationDate.isValid())
        record.creationDate = creationDateFromName(QFileInfo(m_path).fileName());
    record.downloadPath = torrent.value(QStringLiteral("downloadPath")).toString();
    record.downloadMountPoint = torrent.value(QStringLiteral("downloadMountPoint")).toString();
    const QString relocate = torrent.value(QStringLiteral("shouldRelocateOnCompletion")).toString();
    record.shouldRelocateOnCompletion = relocate == QLatin1String("1") || relocate.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;

    const QByteArray legacy = torrent.value(QStringLiteral("torrentData")).toByteArray();
    if (!legacy.isEmpty() && legacy.size() <= maxMetainfoBytes) {
        record.metainfo = legacy;
        record.hadLegacyMetainfo = true;
    } else if (auto bytes = readBounded(filePath(kTorrentFile), maxMetainfoBytes)) {
        record.metainfo = *bytes;
    }
    if (record.metainfo.isEmpty())
        return std::nullopt;

    const QVariantMap state = PropertyList::read(filePath(kStatePlist), kMaxPropertyListBytes).toMap();
    record.hasState = !state.isEmpty();
    record.downloadState = int(std::clamp<qint64>(state.value(QStringLiteral("downloadState")).toLongLong(), 0, 5));
    record.exportedIndices = state.value(QStringLiteral("exportedIndices")).toByteArray();
    record.bytesUploaded = quint64(std::max<qint64>(0, state.value(QStringLiteral("bytesUploaded")).toLongLong()));
    record.customDownloadLimit = state.value(QStringLiteral("customDownloadLimit")).toLongLong();
    record.customUploadLimit = state.value(QStringLiteral("customUploadLimit")).toLongLong();
    if (state.contains(QStringLiteral("checkboxStates"))) {
        QVector<bool> states;
        for (const QVariant& v : state.value(QStringLiteral("checkboxStates")).toList())
            states.append(v.toBool());
        record.checkboxStates = states;
    }
    record.errorText = state.value(QStringLiteral("errorText")).toString();
    record.stateAfterCheck = int(std::clamp<qint64>(state.value(QStringLiteral("stateAfterCheck")).toLongLong(), 0, 5));
    if (state.contains(QStringLiteral("downloadedBlocks"))) {
        record.storedBlocks = state.value(QStringLiteral("downloadedBlocks")).toByteArray();
        record.verifiedPieces = state.value(QStringLiteral("downloadedPieces")).toByteArray();
    } else {
        record.storedBlocks = readBounded(filePath(kBlocksBitfield), kMaxBitfieldBytes).value_or(QByteArray());
        record.verifiedPieces = readBounded(filePath(kPiecesBitfield), kMaxBitfieldBytes).value_or(QByteArray());
    }
    record.legacyCompactPeers = readBounded(filePath(kLegacyPeers), kMaxBitfieldBytes).value_or(QByteArray());
    return record;
}

void SessionFolder::removeLegacyPeers() const
{
    QFile::remove(filePath(kLegacyPeers));
}

void SessionFolder::removeBitfields() const
{
    QFile::remove(filePath(kBlocksBitfield));
    QFile::remove(filePath(kPiecesBitfield));
}

bool SessionFolder::remove() const
{
    return QDir(m_path).removeRecursively();
}

}  // namespace ombrelay
