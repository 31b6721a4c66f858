#pragma once

#include <QtGlobal>

namespace ombrelay::test {

// A socket of the given type (SOCK_STREAM listening, or SOCK_DGRAM) bound on 127.0.0.1 to `port`
// (0: any); -1 when the port is taken. The caller closes it.
int boundSocket(int type, quint16 port);
quint16 localPort(int fd);
bool portFree(quint16 port);  // for both TCP and UDP
// A port free on loopback for both TCP and UDP (the engine binds both); 0 when none was found.
quint16 freePort();
// A port p below 65000 with p and p + 1 free for TCP and UDP; 0 when none was found.
quint16 freePortPair();
// A blocking TCP connection to 127.0.0.1:`port`, retried while nothing listens yet; -1 after `timeoutMs`.
int dialLoopback(quint16 port, int timeoutMs = 15000);
// The next connection on the listening `listener`, blocking; -1 when none came within `timeoutMs`.
int acceptWithin(int listener, int timeoutMs);

}  // namespace ombrelay::test
