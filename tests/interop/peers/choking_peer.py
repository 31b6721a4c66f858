#!/usr/bin/python3
"""A peer that has every piece and never unchokes: the connection carries keep-alives only. With --unchoke it
unchokes at once and takes requests, answering none.

  choking_peer.py --torrent T --seconds S [--keep-alive K] [--unchoke]
      prints "ready <port>" once listening on 127.0.0.1, takes one plain connection (closing others), sends a keep-alive
      every K seconds (60 by default), prints "requested" when the first request comes, and after S seconds prints
      "open <keep-alives received>" if the connection is still up, else "closed after <seconds>".
"""
import argparse
import socket
import struct
import sys
import time

import libtorrent as lt

from scripted_wire import full_bitfield, handshake, is_plain_handshake, listen_on_loopback


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--torrent', required=True)
    parser.add_argument('--seconds', type=float, required=True)
    parser.add_argument('--keep-alive', type=float, default=60)
    parser.add_argument('--unchoke', action='store_true')
    args = parser.parse_args()
    info = lt.torrent_info(args.torrent)
    info_hash = bytes.fromhex(str(info.info_hash()))
    server = listen_on_loopback(1, 30)
    # An encrypted attempt comes first: closing it brings the plain handshake.
    for _ in range(3):
        conn, _ = server.accept()
        conn.settimeout(10)
        received = b''
        while len(received) < 68:
            chunk = conn.recv(68 - len(received))
            if not chunk:
                break
            received += chunk
        if is_plain_handshake(received, info_hash):
            break
        conn.close()
    else:
        print('closed after 0 (no plain handshake)', flush=True)
        return 1
    start = time.monotonic()
    conn.settimeout(1)
    conn.sendall(handshake(info_hash, b'-XX0000-chokechoke00'))
    conn.sendall(full_bitfield(info.num_pieces()))
    if args.unchoke:
        conn.sendall(struct.pack('>IB', 1, 1))
    keep_alives = 0
    requested = False
    buffer = b''
    last_sent = time.monotonic()
    while time.monotonic() - start < args.seconds:
        if time.monotonic() - last_sent >= args.keep_alive:
            conn.sendall(bytes(4))
            last_sent = time.monotonic()
        try:
            chunk = conn.recv(65536)
        except socket.timeout:
            continue
        if not chunk:
            print('closed after %d' % (time.monotonic() - start), flush=True)
            return 0
        buffer += chunk
        while len(buffer) >= 4:
            length = struct.unpack('>I', buffer[:4])[0]
            if len(buffer) < 4 + length:
                break
            keep_alives += length == 0
            if not requested and length == 13 and buffer[4] == 6:
                requested = True
                print('requested', flush=True)
            buffer = buffer[4 + length:]
    print('open %d' % keep_alives, flush=True)
    return 0


if __name__ == '__main__':
    sys.exit(main())
