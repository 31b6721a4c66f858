#pragma once

namespace ombrelay::test {

// Moves the calling thread into a network namespace of its own whose loopback is up, and back when
// destroyed: no other process can hold or take a port there, so a test may name its ports. Sockets made
// meanwhile stay in that namespace. Needs CAP_SYS_ADMIN; entered() says whether it worked.
class PrivateNetwork
{
public:
    PrivateNetwork();
    ~PrivateNetwork();
    PrivateNetwork(const PrivateNetwork&) = delete;
    PrivateNetwork& operator=(const PrivateNetwork&) = delete;

    bool entered() const { return m_entered; }

private:
    int m_home = -1;  // the namespace left
    bool m_entered = false;
};

}  // namespace ombrelay::test
