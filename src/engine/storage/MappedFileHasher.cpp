#include "engine/storage/MappedFileHasher.h"

#include "engine/storage/OpenFile.h"
#include "kit/PZCrypto.h"

#include <QByteArray>
#include <csetjmp>
#include <csignal>
#include <mutex>
#include <sys/mman.h>

namespace ombrelay {

namespace {

constexpr qint64 kWindow = 8 * 1024 * 1024;  // a multiple of the page size
constexpr qint64 kReadChunk = 256 * 1024;

// Where a bus error on this thread jumps to while a mapped range is hashed; null elsewhere.
thread_local sigjmp_buf* t_busErrorJump = nullptr;
struct sigaction g_previousBusError;

void onBusError(int, siginfo_t*, void*)
{
    if (t_busErrorJump)
        siglongjmp(*t_busErrorJump, 1);
    // Not ours: restore the previous disposition; the faulting access runs again and raises it.
    ::sigaction(SIGBUS, &g_previousBusError, nullptr);
}

void catchBusErrors()
{
    static std::once_flag installed;
    std::call_once(installed, [] {
        struct sigaction action = {};
        action.sa_sigaction = onBusError;
        action.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGBUS, &action, &g_previousBusError);
    });
}

// Hashes mapped bytes; false when the mapping faulted (its file shrank under it). Only C code runs
// between the jump point and a fault, so the jump skips no destructor.
bool hashMapped(Sha1Hasher& hasher, const char* data, size_t length)
{
    sigjmp_buf jump;
    if (sigsetjmp(jump, 0) != 0) {  // the handler runs unblocked: no mask to restore
        t_busErrorJump = nullptr;
        return false;
    }
    t_busErrorJump = &jump;
    hasher.update(data, length);
    t_busErrorJump = nullptr;
    return true;
}

bool hashRead(Sha1Hasher& hasher, const OpenFile& file, qint64 offset, qint64 length)
{
    QByteArray chunk;
    for (qint64 at = offset; at < offset + length; at += kReadChunk) {
        const qint64 size = std::min(kReadChunk, offset + length - at);
        chunk.resize(size);
        if (file.readAt(chunk.data(), size, at) != size)
            return false;
        hasher.update(chunk.constData(), size_t(size));
    }
    return true;
}

}  // namespace

MappedFileHasher::MappedFileHasher()
{
    catchBusErrors();
}

MappedFileHasher::~MappedFileHasher()
{
    unmap();
}

bool MappedFileHasher::update(Sha1Hasher& hasher, const std::shared_ptr<OpenFile>& file, qint64 offset,
                              qint64 length)
{
    if (length <= 0)
        return length == 0;
    if (file != m_file || offset < m_start || offset + length > m_start + m_length) {
        unmap();
        const qint64 size = file->size();
        if (offset < 0 || size < offset + length)
            return false;
        if (!map(file, offset, length, size))
            return hashRead(hasher, *file, offset, length);
    }
    return hashMapped(hasher, m_base + (offset - m_start), size_t(length));
}

bool MappedFileHasher::map(const std::shared_ptr<OpenFile>& file, qint64 offset, qint64 length, qint64 size)
{
    const qint64 start = offset - offset % kWindow;
    const qint64 end = std::min(size, std::max(start + kWindow, offset + length));
    void* base = ::mmap(nullptr, size_t(end - start), PROT_READ, MAP_SHARED, file->descriptor(), start);
    if (base == MAP_FAILED)
        return false;
    m_file = file;
    m_base = static_cast<const char*>(base);
    m_start = start;
    m_length = end - start;
    return true;
}

void MappedFileHasher::unmap()
{
    if (m_base)
        ::munmap(const_cast<char*>(m_base), size_t(m_length));
    m_file.reset();
    m_base = nullptr;
    m_start = m_length = 0;
}

}  // namespace ombrelay
