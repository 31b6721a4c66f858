#!/usr/bin/python3
"""Two links to one real peer, one of them tampering: plain connections to 127.0.0.1:<honest> and to
127.0.0.2:<tampering> are both relayed to 127.0.0.1:PORT. The relay follows the blocks that either link brings
and spoils, once, the one that would complete the download: the honest link holds it back, the tampering link
flips its bytes and sends it only when both links have been quiet for half a second, so that the downloader
has nothing else on the way. Afterwards both links relay faithfully. The tampering link shows each side a peer
id of its own, so that both links count as peers.

  tampering_relay.py --target PORT --torrent T [--seconds S]
      prints "ready <honest port> <tampering port>" once listening, "spoiled <piece>" when the flipped block
      went out; closes encrypted attempts (the downloader then dials in plain) and exits after S seconds.
"""
import argparse
import selectors
import socket
import struct
import sys
import threading
import time

import libtorrent as lt

from scripted_wire import is_plain_handshake, read_exactly

BLOCK = 16384
QUIET = 0.5


class Blocks:
    """The blocks brought over both links, the last traffic on either, and whether the last block was
    spoiled yet."""

    def __init__(self, info):
        self.total = sum((info.piece_size(p) + BLOCK - 1) // BLOCK for p in range(info.num_pieces()))
        self.brought = set()
        self.spoiled = False
        self.last_traffic = time.monotonic()
        self.lock = threading.Lock()

    def traffic(self):
        with self.lock:
            self.last_traffic = time.monotonic()

    def quiet(self):
        with self.lock:
            return time.monotonic() - self.last_traffic >= QUIET

    def pass_on(self, index, begin):
        """'relay' the block, 'hold' it, or 'spoil' it."""
        with self.lock:
            if self.spoiled or (index, begin) in self.brought:
                return 'relay'
            if len(self.brought) + 1 < self.total:
                self.brought.add((index, begin))
                return 'relay'
            return 'spoil'

    def mark_spoiled(self):
        with self.lock:
            self.spoiled = True


def relay(conn, target, info_hash, blocks, tampering, deadline):
    conn.settimeout(5)
    first = read_exactly(conn, 68)
    if not is_plain_handshake(first, info_hash):
        return
    renamed = (lambda handshake: handshake[:48] + b'-TR0001-tampering123') if tampering else (lambda h: h)
    # From the link's own address: the peer tells its peers apart by address and listening port.
    upstream = socket.create_connection(('127.0.0.1', target), timeout=5,
                                        source_address=(conn.getsockname()[0], 0))
    with upstream:
        upstream.sendall(renamed(first))
        conn.sendall(renamed(read_exactly(upstream, 68)))
        conn.setblocking(True)
        upstream.setblocking(True)
        selector = selectors.DefaultSelector()
        selector.register(conn, selectors.EVENT_READ)
        selector.register(upstream, selectors.EVENT_READ)
        buffer = b''
        spoil = None  # the flipped piece message, until the links are quiet
        while time.monotonic() < deadline:
            if spoil and blocks.quiet():
                conn.sendall(spoil)
                blocks.mark_spoiled()
                print('spoiled %d' % struct.unpack('>I', spoil[5:9]), flush=True)
                spoil = None
            for key, _ in selector.select(timeout=0.1):
                data = key.fileobj.recv(65536)
                if not data:
                    return
                blocks.traffic()
                if key.fileobj is conn:
                    upstream.sendall(data)
                    continue
                buffer += data
                out = b''
                while len(buffer) >= 4 and len(buffer) >= 4 + struct.unpack('>I', buffer[:4])[0]:
                    length = struct.unpack('>I', buffer[:4])[0]
                    message, buffer = buffer[:4 + length], buffer[4 + length:]
                    fate = blocks.pass_on(*struct.unpack('>II', message[5:13])) if length > 9 and message[4] == 7 \
                        else 'relay'
                    if fate == 'relay':
                        out += message
                    elif fate == 'spoil' and tampering:
                        spoil = message[:13] + bytes(b ^ 0xFF for b in message[13:])
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
