#!/usr/bin/python3
"""A scripted DHT node on 127.0.0.1 for black-box engine tests.

  krpc_node.py [--peer PORT] [--fresh N] [--seconds S]
      prints "ready <udp port>"; answers ping and find_node with its id (no nodes) and get_peers:
      - with --peer, with "values" naming 127.0.0.1:PEER and a witness listener of its own;
      - each get_peers query is first met by two forged replies naming a decoy listener of its own: one
        with a made-up transaction id from this node, one echoing the query's transaction id from another
        socket;
      - with --fresh N, N more nodes on other ports answer too, and every get_peers reply also names up to
        2 nodes not named before, each closer to the info hash than any before.
      When standard input closes or S seconds pass, prints "askers" followed by "<address> <get_peers
      queries>" for each address that asked, then "counts <get_peers queries> <decoy connections> <witness
      connections>".
"""
import argparse
import collections
import os
import selectors
import socket
import struct
import sys
import time

import libtorrent as lt

LOOPBACK = '127.0.0.1'
FRESH_PER_REPLY = 2


def compact(port):
    return socket.inet_aton(LOOPBACK) + struct.pack('>H', port)


def xor_id(info_hash, distance):
    return (int.from_bytes(info_hash, 'big') ^ distance).to_bytes(20, 'big')


class Network:
    def __init__(self, args):
        self.peer = args.peer
        self.selector = selectors.DefaultSelector()
        self.main = self.udp()
        self.forger = self.udp()
        self.fresh = [self.udp() for _ in range(args.fresh)]
        self.named = 0      # fresh nodes named so far
        self.ids = {}       # socket -> node id, once known
        self.get_peers = 0
        self.askers = collections.Counter()  # "ip:port" -> get_peers queries
        self.connections = {}
        self.decoy = self.listener('decoy')
        self.witness = self.listener('witness')

    def udp(self):
        s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        s.bind((LOOPBACK, 0))
        self.selector.register(s, selectors.EVENT_READ, self.on_datagram)
        return s

    def listener(self, name):
        s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        s.bind((LOOPBACK, 0))
        s.listen(8)
        self.connections[name] = 0
        self.selector.register(s, selectors.EVENT_READ, lambda s: self.on_connection(s, name))
        return s

    def on_connection(self, listener, name):
        conn, _ = listener.accept()
        self.connections[name] += 1
        conn.close()

    def node_id(self, s, info_hash):
        # The first node is far from the hash; each fresh node named is closer than all before it.
        if s not in self.ids:
            self.ids[s] = xor_id(info_hash, 1 << 159)
        return self.ids[s]

    def reply(self, s, to, t, body):
        s.sendto(lt.bencode({b't': t, b'y': b'r', b'r': body}), to)

    def on_datagram(self, s):
        data, sender = s.recvfrom(65536)
        message = lt.bdecode(data)
        if not isinstance(message, dict) or message.get(b'y') != b'q':
            return
        t = message.get(b't', b'')
        query = message.get(b'q')
        arguments = message.get(b'a', {})
        info_hash = arguments.get(b'info_hash', b'\0' * 20)
        body = {b'id': self.node_id(s, info_hash)}
        if query != b'get_peers':
            if query in (b'ping', b'find_node'):
                self.reply(s, sender, t, body)
            return
        self.get_peers += 1
        self.askers['%s:%d' % sender] += 1
        forged = {b'id': body[b'id'], b'token': b'tk', b'values': [compact(self.decoy.getsockname()[1])]}
        self.reply(s, sender, info_hash + os.urandom(4), forged)
        self.reply(self.forger, sender, t, forged)
        body[b'token'] = b'tk'
        if self.peer:
            body[b'values'] = [compact(self.peer), compact(self.witness.getsockname()[1])]
        nodes = b''
        for node in self.fresh[self.named:self.named + FRESH_PER_REPLY]:
            self.named += 1
            self.ids[node] = xor_id(info_hash, (1 << 158) - self.named)
            nodes += self.ids[node] + compact(node.getsockname()[1])
        if nodes:
            body[b'nodes'] = nodes
        self.reply(s, sender, t, body)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--peer', type=int, default=0)
    parser.add_argument('--fresh', type=int, default=0)
    parser.add_argument('--seconds', type=float, default=120)
    args = parser.parse_args()
    network = Network(args)
    network.selector.register(sys.stdin, selectors.EVENT_READ, None)
    print('ready %d' % network.main.getsockname()[1], flush=True)
    deadline = time.monotonic() + args.seconds
    while time.monotonic() < deadline:
        events = network.selector.select(0.2)
        for key, _ in events:
            if key.data:
                key.data(key.fileobj)
        if any(key.fileobj is sys.stdin and not sys.stdin.read(1) for key, _ in events):
            break
    print(' '.join(['askers'] + ['%s %d' % asker for asker in network.askers.items()]), flush=True)
    print('counts %d %d %d' % (network.get_peers, network.connections['decoy'], network.connections['witness']),
          flush=True)
    return 0


if __name__ == '__main__':
    sys.exit(main())
