#include "engine/torrent/MagnetURL.h"
#include "kit/TextHelpers.h"

#include <gtest/gtest.h>

using namespace ombrelay;

TEST(MagnetURL, ParsesHashNameAndTrackers)
{
    struct Case
    {
        const char* address;
        const char* hash;  // hex, empty for none
        const char* name;
        QStringList trackers;
    };
    const Case cases[] = {
        {"magnet:?xt=urn:btih:de3edc1dfa1958affac1dbdc8f34d4d6dac43f00&dn=Some%20Name&tr=x&tr=y",
         "de3edc1dfa1958affac1dbdc8f34d4d6dac43f00", "Some Name", {"x", "y"}},
        {"magnet:?xt=urn:btih:DE3EDC1DFA1958AFFAC1DBDC8F34D4D6DAC43F00",
         "de3edc1dfa1958affac1dbdc8f34d4d6dac43f00", "", {}},
        // Base32 of the same 20 bytes.
        {"magnet:?xt=urn:btih:3Y7NYHP2DFMK76WB3POI6NGU23NMIPYA", "de3edc1dfa1958affac1dbdc8f34d4d6dac43f00", "", {}},
        {"magnet:?xt=urn:btih:3y7nyhp2dfmk76wb3poi6ngu23nmipya", "de3edc1dfa1958affac1dbdc8f34d4d6dac43f00", "", {}},
        {"magnet:?tr=http%3A%2F%2F127.0.0.1%3A6969%2Fannounce%3Fkey%3D1&dn=a%26b",
         "", "a&b", {"http://127.0.0.1:6969/announce?key=1"}},
        {"magnet:?tr=http://t/announce?passkey=abc", "", "", {"http://t/announce?passkey=abc"}},
        {"magnet:xt=urn:btih:de3edc1dfa1958affac1dbdc8f34d4d6dac43f00", "", "", {}},  // no "?"
        {"magnet:?xt=urn:btih:de3edc1dfa1958affac1dbdc8f34d4d6dac43f0", "", "", {}},    // 39 digits
        {"magnet:?xt=urn:btih:ze3edc1dfa1958affac1dbdc8f34d4d6dac43f00", "", "", {}},   // not hex
        {"magnet:?xt=urn:btih:3Y7NYHP2DFMK76WB3POI6NGU23NMIPY1", "", "", {}},           // not base32
        {"magnet:?xt=urn:sha1:de3edc1dfa1958affac1dbdc8f34d4d6dac43f00", "", "", {}},
        {"magnet:?xt=de3edc1dfa1958affac1dbdc8f34d4d6dac43f00", "", "", {}},
        {"magnet:?dn=first&dn=second&noise&=x&x=", "", "second", {}},
        // A v2 "xt" after the v1 hash leaves it alone.
        {"magnet:?xt=urn:btih:de3edc1dfa1958affac1dbdc8f34d4d6dac43f00&xt=urn:btmh:1220abcd",
         "de3edc1dfa1958affac1dbdc8f34d4d6dac43f00", "", {}},
    };
    for (const Case& c : cases) {
        const MagnetURL magnet(QString::fromLatin1(c.address));
        EXPECT_EQ(hexString(magnet.infoHash()), c.hash) << c.address;
        EXPECT_EQ(magnet.displayName(), c.name) << c.address;
        EXPECT_EQ(magnet.trackers(), c.trackers) << c.address;
    }
}
