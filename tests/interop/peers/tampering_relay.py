#!/usr/bin/python3
"""Two links to one real peer, one of them tampering: plain connections to 127.0.0.1:<honest> and to
127.0.0.2:<tampering> are both relayed to 127.0.0.1:PORT. The relay follows the blocks that either link brings
and spoils the one that would complete the download, once: on the tampering link its bytes are flipped; on the
honest link it is held back, so that only the tampering link brings it. Afterwards both links relay faithfully.
The tampering link shows the downloader its own peer id (and the peer its own), so both links count as peers.

  tampering_relay.py --target PORT --torrent T [--seconds S]
      prints "ready <honest port> <tampering port>" once listening, "spoiled <piece>" when it flipped the
      block; closes encrypted attempts (the downloader then dials in plain) and exits after S seconds.
"""
import argparse
import selectors
import socket
import struct
import sys
import threading
import time

import libtorrent as lt

from scripted_wire import is_plain_handshake

BLOCK = 16384


class Blocks:
    """The blocks brought over both links, and whether the last one was spoiled yet."""

    def __init__(self, info):
        self.total = sum((info.piece_size(p) + BLOCK - 1) // BLOCK for p in range(info.num_pieces()))
        self.brought = set()
        self.spoiled = False
        self.lock = threading.Lock()

    def pass_on(self, index, begin, data, tampering):
        """The block's bytes to relay, or None to hold it back."""
        with self.lock:
            if self.spoiled or (index, begin) in self.brought:
                return data
            if len(self.brought) + 1 < self.total:
                self.brought.add((index, begin))
                return data
            if not tampering:
                return None
            self.spoiled = True
        print('spoiled %d' % index, flush=True)
        return bytes(b ^ 0xFF for b in data)


def read_exactly(conn, count):
    data = b''
    while len(data) < count:
        chunk = conn.recv(count - len(data))
        if not chunk:
            raise ConnectionError('closed during the handshake')
        data += chunk
    return data


def relay(conn, target, info_hash, blocks, tampering, deadline):
    conn.settimeout(5)
    first = read_exactly(conn, 68)
    if not is_plain_handshake(first, info_hash):
        return
    renamed = (lambda handshake: handshake[:48] + b'-TR0001-' + handshake[56:]) if tampering else (lambda h: h)
    upstream = socket.create_connection(('127.0.0.1', target), timeout=5)
    with upstream:
        upstream.sendall(renamed(first))
        conn.sendall(renamed(read_exactly(upstream, 68)))
        conn.setblocking(True)
        upstream.setblocking(True)
        selector = selectors.DefaultSelector()
        selector.register(conn, selectors.EVENT_READ)
        selector.register(upstream, selectors.EVENT_READ)
        buffer = b''
        while time.monotonic() < deadline:
            for key, _ in selector.select(timeout=1):
                data = key.fileobj.recv(65536)
                if not data:
                    return
                if key.fileobj is conn:
                    upstream.sendall(data)
                    continue
                buffer += data
                out = b''
                while len(buffer) >= 4 and len(buffer) >= 4 + struct.unpack('>I', buffer[:4])[0]:
                    length = struct.unpack('>I', buffer[:4])[0]
                    message, buffer = buffer[:4 + length], buffer[4 + length:]
                    if length > 9 and message[4] == 7:
                        index, begin = struct.unpack('>II', message[5:13])
                        data = blocks.pass_on(index, begin, message[13:], tampering)
                        if data is None:
                            continue
                        message = message[:13] + data
                    out += message
                conn.sendall(out)


def serve(conn, target, info_hash, blocks, tampering, deadline):
    try:
        relay(conn, target, info_hash, blocks, tampering, deadline)
    except OSError as error:
        print('tampering_relay: %s' % error, file=sys.stderr, flush=True)
    finally:
        conn.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--target', type=int, required=True)
    parser.add_argument('--torrent', required=True)
    parser.add_argument('--seconds', type=float, default=60)
    args = parser.parse_args()
    info = lt.torrent_info(args.torrent)
    info_hash = bytes.fromhex(str(info.info_hash()))
    blocks = Blocks(info)
    deadline = time.monotonic() + args.seconds
    listeners = []
    for host in ('127.0.0.1', '127.0.0.2'):
        server = socket.socket()
        server.bind((host, 0))
        server.listen(4)
        listeners.append(server)
    print('ready %d %d' % tuple(s.getsockname()[1] for s in listeners), flush=True)
    selector = selectors.DefaultSelector()
    for tampering, server in enumerate(listeners):
        selector.register(server, selectors.EVENT_READ, bool(tampering))
    while time.monotonic() < deadline:
        for key, _ in selector.select(timeout=0.5):
            conn, _ = key.fileobj.accept()
            threading.Thread(target=serve, args=(conn, args.target, info_hash, blocks, key.data, deadline),
                             daemon=True).start()
    return 0


if __name__ == '__main__':
    sys.exit(main())
