#pragma once

#include <QtGlobal>

namespace ombrelay::test {

// A socket of the given type (SOCK_STREAM listening, or SOCK_DGRAM) bound on 127.0.0.1 to `port`
// (0: any); -1 when the port is taken. The caller closes it.
int boundSocket(int type, quint16 port);
quint16 localPort(int fd);
bool portFree(quint16 port);  // for both TCP and UDP
// The port of the one IPv4 TCP socket that process `pid` listens on, once it listens; 0 when it has none
// (or more than one) after `timeoutMs`. For programs that cannot report the port they bound.
quint16 listeningPortOf(qint64 pid, int timeoutMs);
// A blocking TCP connection to 127.0.0.1:`port`, retried while nothing listens yet; -1 after `timeoutMs`.
int dialLoopback(quint16 port, int timeoutMs = 15000);
// The next connection on the listening `listener`, blocking; -1 when none came within `timeoutMs`.
int acceptWithin(int listener, int timeoutMs);

}  // namespace ombrelay::test
