// Binary property lists from stored files: bytes to values, and whatever reads back is written and read
// again to the same value.
#include "kit/PropertyList.h"

#include <QtGlobal>
#include <cstdint>
#include <cstdlib>

using namespace ombrelay;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool quiet = [] {
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
        return true;
    }();
    (void)quiet;

    const QVariant value = PropertyList::fromBinary(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (!value.isValid())
        return 0;
    const QByteArray written = PropertyList::toBinary(value);
    // Dates outside the writable range are the one thing a reader accepts and a writer refuses.
    if (!written.isEmpty() && PropertyList::toBinary(PropertyList::fromBinary(written)) != written)
        std::abort();
    return 0;
}
