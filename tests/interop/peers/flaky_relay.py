#!/usr/bin/python3
"""A peer behind a flaky link: its first connections fail, the later ones reach the real peer.

  flaky_relay.py --target PORT [--fail WORD[,WORD...]] [--spoil-last TORRENT] [--seconds S]
      prints "ready <port>" once listening on 127.0.0.1. Connection n (from 1) follows the n-th word:
      "stall" answers the encryption handshake with a public key and then sends nothing (as a loaded
      peer would), "reset" resets the connection once the first bytes came. Connections past the words
      are relayed to 127.0.0.1:PORT. For each connection prints "connection <n> <plain|encrypted> <what>".
      Exits after S seconds.
      --spoil-last adds a second link, on 127.0.0.2 ("ready <port> <port>"), and relays plain connections
      only (the dialler then tries in plain). The relay follows the blocks of TORRENT that either link
      brings and spoils, once, the one that would complete the download: the first link holds it back,
      the second flips its bytes and sends it once both links were quiet for half a second, so that the
      downloader has nothing else on the way, and prints "spoiled <piece>". The second link shows each
      side a peer id of its own, so that both links count as peers.
"""
import argparse
import os
import selectors
import socket
import struct
import sys
import threading
import time

import libtorrent as lt

from scripted_wire import read_exactly

PLAIN_HEADER = b'\x13BitTorrent protocol'
BLOCK = 16384


class Spoiler:
    """The blocks brought over both links, when either last carried traffic, and whether the block that
    completes the download went out spoiled."""

    def __init__(self, torrent):
        info = lt.torrent_info(torrent)
        self.left = sum((info.piece_size(p) + BLOCK - 1) // BLOCK for p in range(info.num_pieces()))
        self.brought = set()
        self.done = False
        self.last_traffic = time.monotonic()
        self.lock = threading.Lock()

    def quiet(self):
        return time.monotonic() - self.last_traffic >= 0.5

    def sift(self, buffer):
        """The whole messages at the start of `buffer` that go on, the rest of it, and the block that would
        complete the download when it came."""
        out, held = b'', None
        while len(buffer) >= 4 and len(buffer) >= 4 + struct.unpack('>I', buffer[:4])[0]:
            end = 4 + struct.unpack('>I', buffer[:4])[0]
            message, buffer = buffer[:end], buffer[end:]
            block = struct.unpack('>II', message[5:13]) if end > 13 and message[4] == 7 else None
            with self.lock:
                if block and not self.done and block not in self.brought and len(self.brought) + 1 >= self.left:
                    held = message
                    continue
                if block:
                    self.brought.add(block)
            out += message
        return out, buffer, held


def read_at_least(conn, count, timeout):
    conn.settimeout(timeout)
    data = b''
    try:
        while len(data) < count:
            chunk = conn.recv(4096)
            if not chunk:
                break
            data += chunk
    except socket.timeout:
        pass
    return data


def stall(conn, deadline):
    read_at_least(conn, 96, 5)  # Ya: the dialler's key and its padding
    conn.sendall(bytes([0x40]) + os.urandom(95))  # a public key well inside 2 .. P - 2
    conn.settimeout(1)
    while time.monotonic() < deadline:  # swallow what comes until the dialler gives up
        try:
            if not conn.recv(4096):
                return
        except socket.timeout:
            continue


def reset(conn):
    conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack('ii', 1, 0))


def relay(conn, first, target, deadline, spoiler, tampering):
    # From the address the connection came to: the peer tells its peers apart by address.
    upstream = socket.create_connection(('127.0.0.1', target), timeout=5, source_address=(conn.getsockname()[0], 0))
    rename = (lambda handshake: handshake[:48] + b'-TR0001-tampering123' + handshake[68:]) if tampering \
        else (lambda handshake: handshake)
    upstream.sendall(rename(first))
    if spoiler:  # the peer's messages are read one by one after its handshake
        conn.sendall(rename(read_exactly(upstream, 68)))
    selector = selectors.DefaultSelector()
    selector.register(conn, selectors.EVENT_READ, upstream)
    selector.register(upstream, selectors.EVENT_READ, conn)
    conn.setblocking(True)
    upstream.setblocking(True)
    buffer, spoiled = b'', None
    try:
        while time.monotonic() < deadline:
            if spoiled and spoiler.quiet():
                conn.sendall(spoiled)
                spoiler.done = True
                print('spoiled %d' % struct.unpack('>I', spoiled[5:9]), flush=True)
                spoiled = None
            for key, _ in selector.select(timeout=0.1):
                data = key.fileobj.recv(65536)
                if not data:
                    return
                if spoiler:
                    spoiler.last_traffic = time.monotonic()
                if spoiler and key.fileobj is upstream:
                    data, buffer, held = spoiler.sift(buffer + data)
                    if held and tampering:
                        spoiled = held[:13] + bytes(b ^ 0xFF for b in held[13:])
                key.data.sendall(data)
    finally:
        upstream.close()


def serve(conn, number, plan, target, deadline, spoiler, tampering):
    try:
        first = read_at_least(conn, len(PLAIN_HEADER), 5)
        kind = 'plain' if first.startswith(PLAIN_HEADER) else 'encrypted'
        what = plan[number - 1] if number <= len(plan) else 'relay'
        print('connection %d %s %s' % (number, kind, what), flush=True)
        if what == 'stall':
            stall(conn, deadline)
        elif what == 'reset':
            reset(conn)
        elif not spoiler:
            relay(conn, first, target, deadline, None, False)
        elif kind == 'plain':
            relay(conn, first + read_exactly(conn, max(0, 68 - len(first))), target, deadline, spoiler, tampering)
    except OSError as error:
        print('flaky_relay: connection %d: %s' % (number, error), file=sys.stderr, flush=True)
    finally:
        conn.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--target', type=int, required=True)
    parser.add_argument('--fail', default='')
    parser.add_argument('--spoil-last', metavar='TORRENT')
    parser.add_argument('--seconds', type=float, default=60)
    args = parser.parse_args()
    plan = [word for word in args.fail.split(',') if word]
    if any(word not in ('stall', 'reset') for word in plan):
        parser.error('--fail takes stall and reset')
    spoiler = Spoiler(args.spoil_last) if args.spoil_last else None
    selector = selectors.DefaultSelector()
    ports = []
    for host in ('127.0.0.1', '127.0.0.2')[:2 if spoiler else 1]:
        server = socket.socket()
        server.bind((host, 0))
        server.listen(4)
        selector.register(server, selectors.EVENT_READ, bool(ports))  # the second link tampers
        ports.append(str(server.getsockname()[1]))
    print('ready ' + ' '.join(ports), flush=True)
    deadline = time.monotonic() + args.seconds
    number = 0
    while time.monotonic() < deadline and number < 100:
        for key, _ in selector.select(timeout=0.5):
            conn, _ = key.fileobj.accept()
            number += 1
            threading.Thread(target=serve, args=(conn, number, plan, args.target, deadline, spoiler, key.data),
                             daemon=True).start()
    return 0


if __name__ == '__main__':
    sys.exit(main())
