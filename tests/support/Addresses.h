#pragma once

#include <QtGlobal>
#include <arpa/inet.h>

namespace ombrelay::test {

// A dotted IPv4 address in network byte order; 0 when it does not parse.
inline quint32 ipv4(const char* dotted)
{
    in_addr address{};
    inet_pton(AF_INET, dotted, &address);
    return address.s_addr;
}

}  // namespace ombrelay::test
