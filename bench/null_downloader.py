#!/usr/bin/python3
"""The least a downloader can do: finds a seeder through the torrent's tracker, asks it for every block
on a plain stream (pieces in random order, 250 requests out, as Ombrelay keeps them) and throws the bytes
away: no disk, no hashing. Its time is the seeder's own ceiling in the transfer bench.

  bench/null_downloader.py TORRENT [--seconds N]

Exits 0 once every block arrived, 1 on a timeout, a closed connection or a message that breaks the
protocol. Loopback only; every read is bounded by the deadline.
"""
import argparse
import itertools
import os
import random
import socket
import struct
import sys
import time
import urllib.parse
import urllib.request

import libtorrent as lt

BLOCK = 16384
QUEUE = 250
MAX_MESSAGE = BLOCK + 13  # a piece message is the largest a seeder sends besides its bitfield


def peers_from_tracker(info, peer_id):
    query = urllib.parse.urlencode({'info_hash': info.info_hash().to_bytes(), 'peer_id': peer_id, 'port': 1,
                                    'uploaded': 0, 'downloaded': 0, 'left': info.total_size(), 'compact': 1})
    with urllib.request.urlopen(next(iter(info.trackers())).url + '?' + query, timeout=10) as reply:
        peers = lt.bdecode(reply.read()).get(b'peers', b'')
    return [(socket.inet_ntoa(peers[i:i + 4]), struct.unpack('>H', peers[i + 4:i + 6])[0])
            for i in range(0, len(peers) - 5, 6)]


def blocks_in_random_piece_order(info):
    pieces = list(range(info.num_pieces()))
    random.shuffle(pieces)
    for piece in pieces:
        size = info.piece_size(piece)
        for offset in range(0, size, BLOCK):
            yield piece, offset, min(BLOCK, size - offset)


def connect(info, peer_id, deadline):
    """The first peer of the tracker's list that answers the handshake for this torrent."""
    for address in peers_from_tracker(info, peer_id):
        try:
            s = socket.create_connection(address, timeout=max(0.1, deadline - time.monotonic()))
            s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            s.sendall(b'\x13BitTorrent protocol' + bytes(8) + info.info_hash().to_bytes() + peer_id)
            handshake = b''
            while len(handshake) < 68:
                chunk = s.recv(68 - len(handshake))
                if not chunk:
                    raise OSError('closed in the handshake')
                handshake += chunk
            if handshake[28:48] == info.info_hash().to_bytes():
                return s
            s.close()
        except OSError:
            continue
    sys.exit('no seeder answered')


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('torrent')
    parser.add_argument('--seconds', type=float, default=900)
    args = parser.parse_args()
    deadline = time.monotonic() + args.seconds
    info = lt.torrent_info(args.torrent)
    peer_id = b'-XX0000-' + os.urandom(6).hex().encode()
    s = connect(info, peer_id, deadline)
    s.sendall(struct.pack('>IB', 1, 2))  # interested
    blocks = blocks_in_random_piece_order(info)
    remaining = info.total_size()
    out = 0
    unchoked = False
    buffer = bytearray()
    while remaining > 0:
        if time.monotonic() > deadline:
            sys.exit('timed out')
        s.settimeout(max(0.1, deadline - time.monotonic()))
        try:
            chunk = s.recv(1 << 20)
        except socket.timeout:
            sys.exit('timed out')
        if not chunk:
            sys.exit('the seeder closed the connection')
        buffer += chunk
        at = 0
        while len(buffer) - at >= 4:
            length = struct.unpack_from('>I', buffer, at)[0]
            if length > max(MAX_MESSAGE, info.num_pieces() // 8 + 2):
                sys.exit('a message of %d bytes' % length)
            if len(buffer) - at - 4 < length:
                break
            kind = buffer[at + 4] if length else None
            if kind == 0:
                unchoked = False
            elif kind == 1:
                unchoked = True
            elif kind == 7:
                remaining -= length - 9
                out -= 1
            at += 4 + length
        del buffer[:at]
        if unchoked and out <= QUEUE - QUEUE // 16:
            batch = [struct.pack('>IBIII', 13, 6, *block) for block in itertools.islice(blocks, QUEUE - out)]
            out += len(batch)
            if batch:
                s.sendall(b''.join(batch))
    print('complete', flush=True)


if __name__ == '__main__':
    main()
