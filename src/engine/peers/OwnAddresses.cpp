#include "engine/peers/OwnAddresses.h"

namespace ombrelay {

OwnAddresses& OwnAddresses::instance()
{
    static auto* addresses = new OwnAddresses;  // lives as long as the process
    return *addresses;
}

}  // namespace ombrelay
