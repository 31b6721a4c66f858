#!/usr/bin/python3
"""A peer behind a flaky link: its first connections fail, the later ones reach the real peer.

  flaky_relay.py --target PORT --fail WORD[,WORD...] [--seconds S]
      prints "ready <port>" once listening on 127.0.0.1. Connection n (from 1) follows the n-th word:
      "stall" answers the encryption handshake with a public key and then sends nothing (as a loaded
      peer would), "reset" resets the connection once the first bytes came. Connections past the words
      are relayed to 127.0.0.1:PORT. For each connection prints "connection <n> <plain|encrypted> <what>".
      Exits after S seconds.
"""
import argparse
import os
import selectors
import socket
import struct
import sys
import threading
import time

from scripted_wire import listen_on_loopback

PLAIN_HEADER = b'\x13BitTorrent protocol'


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


def relay(conn, first, target, deadline):
    upstream = socket.create_connection(('127.0.0.1', target), timeout=5)
    upstream.sendall(first)
    selector = selectors.DefaultSelector()
    selector.register(conn, selectors.EVENT_READ, upstream)
    selector.register(upstream, selectors.EVENT_READ, conn)
    conn.setblocking(True)
    upstream.setblocking(True)
    try:
        while time.monotonic() < deadline:
            for key, _ in selector.select(timeout=1):
                data = key.fileobj.recv(65536)
                if not data:
                    return
                key.data.sendall(data)
    finally:
        upstream.close()


def serve(conn, number, plan, target, deadline):
    try:
        first = read_at_least(conn, len(PLAIN_HEADER), 5)
        kind = 'plain' if first.startswith(PLAIN_HEADER) else 'encrypted'
        what = plan[number - 1] if number <= len(plan) else 'relay'
        print('connection %d %s %s' % (number, kind, what), flush=True)
        if what == 'stall':
            stall(conn, deadline)
        elif what == 'reset':
            reset(conn)
        else:
            relay(conn, first, target, deadline)
    except OSError as error:
        print('flaky_relay: connection %d: %s' % (number, error), file=sys.stderr, flush=True)
    finally:
        conn.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--target', type=int, required=True)
    parser.add_argument('--fail', default='')
    parser.add_argument('--seconds', type=float, default=60)
    args = parser.parse_args()
    plan = [word for word in args.fail.split(',') if word]
    if any(word not in ('stall', 'reset') for word in plan):
        parser.error('--fail takes stall and reset')
    server = listen_on_loopback(4, 0.5)
    deadline = time.monotonic() + args.seconds
    number = 0
    while time.monotonic() < deadline and number < 100:
        try:
            conn, _ = server.accept()
        except socket.timeout:
            continue
        number += 1
        threading.Thread(target=serve, args=(conn, number, plan, args.target, deadline), daemon=True).start()
    return 0


if __name__ == '__main__':
    sys.exit(main())
