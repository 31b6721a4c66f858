#pragma once

#include "kit/PZRange.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QUrl>
#include <memory>
#include <vector>

namespace ombrelay {

// A list row that stands for torrent content: a torrent, a folder or file inside it, a feed entry.
// A tree node with a name, a location on disk, a byte range within the torrent's concatenated data, a
// wanted/skipped checkbox state and the swarm counts reported for search results. Lines are identity
// objects: they are neither copied nor moved. Built and changed on the main thread; the storage thread
// only reads byteRange() and fullPath() of file lines once the tree is built.
class OBLine
{
public:
    static constexpr quint32 kNoFileIndex = 0xFFFFFFFFu;
    enum CheckboxState { Wanted = 0, Skipped = 1, Mixed = 2, NoCheckbox = -1 };

    OBLine() = default;
    virtual ~OBLine();
    OBLine(const OBLine&) = delete;
    OBLine& operator=(const OBLine&) = delete;

    // Children, owned; none for a leaf.
    const std::vector<std::unique_ptr<OBLine>>& children() const { return m_children; }
    OBLine* appendChild(std::unique_ptr<OBLine> child);
    bool isLeaf() const { return m_children.empty(); }
    OBLine* childWithPath(const QString& name) const;  // exact match, first one

    virtual QString path() const { return m_path; }  // one path component
    void setPath(const QString& path) { m_path = path; }
    virtual QString fullPath() const { return m_fullPath; }
    void setFullPath(const QString& fullPath) { m_fullPath = fullPath; }
    virtual QString torrentAddress() const { return m_torrentAddress; }
    void setTorrentAddress(const QString& address) { m_torrentAddress = address; }

    qint32 seeds() const { return m_seeds; }
    void setSeeds(qint32 seeds) { m_seeds = seeds; }
    qint32 leeches() const { return m_leeches; }
    void setLeeches(qint32 leeches) { m_leeches = leeches; }
    qint64 swarmSize() const { return qint64(m_seeds) + m_leeches; }

    quint32 fileIndex() const { return m_fileIndex; }
    void setFileIndex(quint32 index) { m_fileIndex = index; }
    virtual PZRange byteRange() const { return m_byteRange; }
    void setByteRange(PZRange range) { m_byteRange = range; }

    virtual int checkboxState() const { return m_checkboxState; }
    virtual void setCheckboxState(int state) { m_checkboxState = state; }

    virtual float fractionLoaded() const { return 0.0f; }
    virtual bool isComplete() const { return false; }
    virtual bool isNew() const { return false; }
    virtual bool isRSSArticleLine() const { return false; }
    virtual QDateTime date() const { return {}; }

    quint64 fileLength() const;  // a leaf's range length, else the sum over the children
    virtual quint64 length() const { return fileLength(); }
    QString pathExtension() const;  // lower-cased, without the dot
    qint64 fileCount() const;
    // A leaf: the leaf itself; else the children's flat lists in order, depth first.
    virtual QList<OBLine*> childrenFlat() const;

    // "1 file", "%i files".
    QString filesTextShort() const;
    // '10 MP3 files, 2 others': the largest group of files by extension, then the count of the rest.
    QString filesText() const;

    // What the preview shows: for a song not yet complete a copy of what has arrived, in the temporary
    // folder under the line's name, which makePreviewCopy writes; else the content itself. An empty
    // address when no copy can be named there.
    QUrl previewItemURL() const;
    // The file that previewItemURL is a copy of; empty when it is the content itself.
    QString previewCopySource() const;
    // Writes the copy, replacing an earlier one so that each look shows what has arrived by then. Reads
    // the whole file: call it off the main thread.
    static bool makePreviewCopy(const QString& source, const QUrl& copy);

    // Column comparisons: negative when this sorts before other, 0 equal, positive after.
    virtual int compareTransferColumn(const OBLine& other) const;
    virtual int compareProgressColumn(const OBLine& other) const;
    virtual int compareTimeColumn(const OBLine& other) const;

protected:
    std::vector<std::unique_ptr<OBLine>>& mutableChildren() { return m_children; }

private:
    std::vector<std::unique_ptr<OBLine>> m_children;
    QString m_path;
    QString m_fullPath;
    qint32 m_seeds = 0;
    qint32 m_leeches = 0;
    quint32 m_fileIndex = kNoFileIndex;
    PZRange m_byteRange;
    int m_checkboxState = Wanted;
    QString m_torrentAddress;
    mutable QString m_filesText;
    mutable QString m_filesTextShort;
};

}  // namespace ombrelay
