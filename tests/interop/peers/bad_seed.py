#!/usr/bin/python3
"""A peer that claims every piece and answers every request with wrong bytes.

  bad_seed.py --torrent T [--seconds S] [--host 127.0.0.N]
      prints "ready <port>" once listening on --host (default 127.0.0.1), serves plain connections one at
      a time, and exits after S seconds.
"""
import argparse
import socket
import struct
import sys
import time

import libtorrent as lt

from scripted_wire import full_bitfield, handshake, is_plain_handshake, listen_on_loopback, read_exactly


def serve(conn, info_hash, pieces):
    conn.settimeout(5)
    if not is_plain_handshake(read_exactly(conn, 68), info_hash):
        return
    conn.sendall(handshake(info_hash, b'-XX0000-badbadbadbad'))
    conn.sendall(full_bitfield(pieces))
    conn.sendall(struct.pack('>IB', 1, 1))  # unchoke
    while True:
        length = struct.unpack('>I', read_exactly(conn, 4))[0]
        if length == 0:
            continue
        if length > 1 << 20:
            return
        message = read_exactly(conn, length)
        if message[0] == 6 and length == 13:  # request
            index, begin, size = struct.unpack('>III', message[1:])
            conn.sendall(struct.pack('>IBII', 9 + size, 7, index, begin) + b'\xa5' * size)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--torrent', required=True)
    parser.add_argument('--seconds', type=float, default=30)
    parser.add_argument('--host', default='127.0.0.1')
    args = parser.parse_args()
    info = lt.torrent_info(args.torrent)
    info_hash = bytes.fromhex(str(info.info_hash()))
    server = listen_on_loopback(4, 0.5, args.host)
    deadline = time.monotonic() + args.seconds
    while time.monotonic() < deadline:
        try:
            conn, _ = server.accept()
        except socket.timeout:
            continue
        try:
            serve(conn, info_hash, info.num_pieces())
        except (ConnectionError, OSError) as error:
            print('bad_seed: %s' % error, file=sys.stderr, flush=True)
        finally:
            conn.close()
    return 0


if __name__ == '__main__':
    sys.exit(main())
