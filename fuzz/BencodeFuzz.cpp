// Decodes arbitrary bytes, then checks that what was accepted encodes, decodes back to the same value
// and re-encodes to the same bytes, and that the info hash and residual bytes are consistent.
#include "engine/bencode/Bdecoder.h"
#include "engine/bencode/Bencoder.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace ombrelay;

namespace {

void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "*** bencode fuzz: %s\n", what);
        std::abort();
    }
}

// Reads every byte string as text, as callers do, without recursing.
void readAllText(const BValue& root)
{
    std::vector<const BValue*> pending{&root};
    while (!pending.empty()) {
        const BValue* value = pending.back();
        pending.pop_back();
        if (value->isBytes())
            check(value->asText().size() <= value->size(), "text longer than its bytes");
        for (const BValue& element : value->asList())
            pending.push_back(&element);
        for (const auto& entry : value->asDict())
            pending.push_back(&entry.second);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    Bdecoder decoder(input, Bdecoder::kMetainfoLimit);
    const BValue& value = decoder.object();
    if (value.isNull()) {
        check(decoder.infoHash().isEmpty() && decoder.residualData().isEmpty(), "refused input with results");
        return 0;
    }
    check(input.endsWith(decoder.residualData()), "residual data is not the input's tail");
    check(decoder.infoHash().isEmpty() == !value.find("info"), "info hash without a top-level info");
    check(decoder.infoHash().isEmpty() || decoder.infoHash().size() == 20, "info hash of the wrong size");
    readAllText(value);

    const QByteArray encoded = Bencoder::bencodingForObject(value);
    check(!encoded.isNull(), "an accepted value does not encode");
    check(encoded.size() <= input.size(), "the encoding is longer than the input");
    const Bdecoder again(encoded, Bdecoder::kMetainfoLimit);
    check(again.object() == value, "decode(encode(x)) != x");
    check(again.residualData().isEmpty(), "the encoding leaves residual data");
    check(Bencoder::bencodingForObject(again.object()) == encoded, "the encoding is not canonical");
    return 0;
}
