"""What the scripted test peers share: their loopback listener and plain peer wire messages."""
import socket
import struct


def listen_on_loopback(backlog, timeout, host='127.0.0.1'):
    """A listening socket on `host` (a loopback address) at a free port, announced as "ready <port>" on stdout."""
    server = socket.socket()
    server.bind((host, 0))
    server.listen(backlog)
    server.settimeout(timeout)
    print('ready %d' % server.getsockname()[1], flush=True)
    return server


def read_exactly(conn, count):
    """`count` bytes from `conn`; ConnectionError when it closes first."""
    data = b''
    while len(data) < count:
        chunk = conn.recv(count - len(data))
        if not chunk:
            raise ConnectionError('closed')
        data += chunk
    return data


def handshake(info_hash, peer_id):
    return b'\x13BitTorrent protocol' + bytes(8) + info_hash + peer_id


def is_plain_handshake(data, info_hash):
    return data[:20] == b'\x13BitTorrent protocol' and data[28:48] == info_hash


def full_bitfield(pieces):
    bitfield = bytearray((pieces + 7) // 8)
    for i in range(pieces):
        bitfield[i // 8] |= 0x80 >> (i % 8)
    return struct.pack('>IB', 1 + len(bitfield), 5) + bytes(bitfield)
