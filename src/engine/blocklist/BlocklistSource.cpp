#include "engine/blocklist/BlocklistSource.h"

#include "engine/blocklist/BlocklistText.h"

#include <QFile>
#include <cstring>
#include <memory>
#include <zip.h>

namespace ombrelay {
namespace {

constexpr qint64 kMaxBytes = BlocklistText::kMaxTextBytes;

std::optional<QByteArray> fail(QString* error, const QString& why)
{
    if (error)
        *error = why;
    return std::nullopt;
}

struct ArchiveCloser
{
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
struct EntryCloser
{
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};

bool isDirectory(const char* name)
{
    const size_t length = strlen(name);
    return length == 0 || name[length - 1] == '/';
}

// A name that would unpack outside the archive's folder marks an archive made to harm: none of it is read.
bool escapesFolder(const char* name)
{
    const QByteArray path(name);
    if (path.startsWith('/') || path.startsWith('\\'))
        return true;
    for (const QByteArray& part : path.split('/'))
        if (part == ".." || part.split('\\').contains(".."))
            return true;
    return false;
}

std::optional<zip_uint64_t> chooseEntry(zip_t* archive)
{
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    std::optional<zip_uint64_t> firstFile;
    for (zip_int64_t i = 0; i < count && i < BlocklistSource::kMaxArchiveEntriesScanned; ++i) {
        const char* name = zip_get_name(archive, zip_uint64_t(i), 0);
        if (name && escapesFolder(name))
            return std::nullopt;
        if (!name || isDirectory(name))
            continue;
        if (QByteArrayView(name).toByteArray().toLower().endsWith(".txt"))
            return zip_uint64_t(i);
        if (!firstFile)
            firstFile = zip_uint64_t(i);
    }
    return firstFile;
}

}  // namespace

std::optional<QByteArray> BlocklistSource::readTextFile(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(error, QStringLiteral("cannot open %1: %2").arg(path, file.errorString()));
    if (file.size() > kMaxBytes)
        return fail(error, QStringLiteral("%1 is larger than %2 bytes").arg(path).arg(kMaxBytes));
    // Read one byte past the cap, so a file that grew after its size was taken is still refused.
    QByteArray bytes = file.read(kMaxBytes + 1);
    if (bytes.size() > kMaxBytes)
        return fail(error, QStringLiteral("%1 is larger than %2 bytes").arg(path).arg(kMaxBytes));
    if (file.error() != QFileDevice::NoError)
        return fail(error, QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
    return bytes;
}

std::optional<QByteArray> BlocklistSource::readArchive(const QString& path, QString* error)
{
    int code = 0;
    std::unique_ptr<zip_t, ArchiveCloser> archive(zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &code));
    if (!archive) {
        zip_error_t zipError;
        zip_error_init_with_code(&zipError, code);
        const QString why = QStringLiteral("cannot open archive %1: %2").arg(path, zip_error_strerror(&zipError));
        zip_error_fini(&zipError);
        return fail(error, why);
    }
    const std::optional<zip_uint64_t> index = chooseEntry(archive.get());
    if (!index)
        return fail(error, QStringLiteral("no file in archive %1").arg(path));

    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive.get(), *index, 0, &stat) == 0 && (stat.valid & ZIP_STAT_SIZE) &&
        stat.size > zip_uint64_t(kMaxBytes))
        return fail(error, QStringLiteral("archive entry is larger than %1 bytes").arg(kMaxBytes));

    std::unique_ptr<zip_file_t, EntryCloser> entry(zip_fopen_index(archive.get(), *index, 0));
    if (!entry)
        return fail(error, QStringLiteral("cannot open archive entry: %1").arg(zip_strerror(archive.get())));

    // The stated size is not trusted: the read stops one byte past the cap.
    QByteArray bytes;
    char buffer[65536];
    for (;;) {
        const zip_int64_t count = zip_fread(entry.get(), buffer, sizeof buffer);
        if (count < 0)
            return fail(error, QStringLiteral("cannot read archive entry: %1").arg(zip_file_strerror(entry.get())));
        if (count == 0)
            break;
        if (bytes.size() + count > kMaxBytes)
            return fail(error, QStringLiteral("archive entry is larger than %1 bytes").arg(kMaxBytes));
        bytes.append(buffer, qsizetype(count));
    }
    return bytes;
}

std::optional<QByteArray> BlocklistSource::read(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(error, QStringLiteral("cannot open %1: %2").arg(path, file.errorString()));
    const bool isArchive = file.read(4) == QByteArrayView("PK\x03\x04", 4);
    file.close();
    return isArchive ? readArchive(path, error) : readTextFile(path, error);
}

}  // namespace ombrelay
