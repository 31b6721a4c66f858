#!/usr/bin/python3
"""Peers that a swarm knows but that never stay: each listener takes a plain BitTorrent handshake, answers
it for the info hash it was given, and closes the connection a moment later. Encrypted attempts are
closed at once (the dialler then tries in plain). A torrent's peers database keeps such peers as known
and not connected, as in any large swarm.

  idle_peers.py --count N [--seconds S]
      prints "ready <port> <port> ..." once listening on 127.0.0.1, and runs for S seconds.
"""
import argparse
import os
import socket
import sys
import threading
import time

from scripted_wire import handshake, read_exactly


def serve(conn):
    with conn:
        conn.settimeout(5)
        try:
            theirs = read_exactly(conn, 68)
            if not theirs.startswith(b'\x13BitTorrent protocol'):
                return
            conn.sendall(handshake(theirs[28:48], b'-ID0001-' + os.urandom(6).hex().encode()))
            time.sleep(0.3)
        except OSError:
            pass


def listen(server):
    while True:
        conn, _ = server.accept()
        threading.Thread(target=serve, args=(conn,), daemon=True).start()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--count', type=int, required=True)
    parser.add_argument('--seconds', type=float, default=60)
    args = parser.parse_args()
    ports = []
    for _ in range(args.count):
        server = socket.socket()
        server.bind(('127.0.0.1', 0))
        server.listen(16)
        ports.append(server.getsockname()[1])
        threading.Thread(target=listen, args=(server,), daemon=True).start()
    print('ready ' + ' '.join(str(p) for p in ports), flush=True)
    time.sleep(args.seconds)
    return 0


if __name__ == '__main__':
    sys.exit(main())
