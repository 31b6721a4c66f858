# Three DHT sessions on loopback that know each other; the first seeds a small torrent and announces it.
# Prints "READY <info hash> <seeder port> <node port> <node port> <node port>" once the announce has been
# stored by another node, then serves until its standard input closes. It gives up after 300 s, well past
# the waits of any test that runs it, so that a slow announce never ends the swarm under a download.
# Every node here and every client a test runs share the address 127.0.0.1, so the nodes' flood guard
# (fifty packets from one address within ten seconds bans it for five minutes) is lifted: a slow announce
# would otherwise have the swarm ban itself.
import libtorrent as lt
import os
import select
import sys
import tempfile
import time


SETTINGS = {
    'listen_interfaces': '127.0.0.1:0',
    'enable_dht': True, 'enable_lsd': False, 'enable_upnp': False, 'enable_natpmp': False,
    'dht_bootstrap_nodes': '',
    'dht_restrict_routing_ips': False, 'dht_restrict_search_ips': False,
    'dht_prefer_verified_node_ids': False, 'dht_ignore_dark_internet': False,
    'dht_block_ratelimit': 100000,
    'alert_mask': lt.alert.category_t.dht_notification | lt.alert.category_t.status_notification,
}


def listening_ports(s):
    # The ports the session's TCP and UDP sockets were bound to, by their socket types.
    ports = {}
    deadline = time.time() + 30
    while len(ports) < 2 and time.time() < deadline:
        s.wait_for_alert(1000)
        for alert in s.pop_alerts():
            if isinstance(alert, lt.listen_succeeded_alert):
                ports[alert.socket_type] = alert.port
    return ports.get(lt.socket_type_t.tcp), ports.get(lt.socket_type_t.udp)


def session():
    # A session whose node listens on its TCP port. Where another program holds that port's UDP twin, the
    # session takes the next port for UDP and announces that one, where no TCP peer reaches it: such a
    # session is dropped for a new one.
    for _ in range(20):
        s = lt.session(SETTINGS)
        tcp, udp = listening_ports(s)
        if tcp and tcp == udp:
            return s, tcp
        del s
    sys.exit('no session got a TCP and a UDP port alike')


sessions, ports = zip(*(session() for _ in range(3)))
for s in sessions:
    for p in ports:
        s.add_dht_node(('127.0.0.1', p))

folder = sys.argv[1] if len(sys.argv) > 1 else tempfile.mkdtemp()
os.makedirs(folder, exist_ok=True)
with open(os.path.join(folder, 'content.bin'), 'wb') as f:
    f.write(os.urandom(65536))
files = lt.file_storage()
lt.add_files(files, os.path.join(folder, 'content.bin'))
maker = lt.create_torrent(files, flags=lt.create_torrent.v1_only)
maker.add_node('127.0.0.1', ports[-1])
lt.set_piece_hashes(maker, folder)
metainfo = maker.generate()
with open(os.path.join(folder, 'content.torrent'), 'wb') as f:
    f.write(lt.bencode(metainfo))
info = lt.torrent_info(metainfo)
seeder = sessions[0].add_torrent({'ti': info, 'save_path': folder})
info_hash = str(info.info_hash())

ready = False
deadline = time.time() + 300
next_announce = 0
while time.time() < deadline:
    if not ready and time.time() >= next_announce:
        seeder.force_dht_announce()
        next_announce = time.time() + 1
    for s in sessions[1:]:
        for alert in s.pop_alerts():
            if isinstance(alert, lt.dht_announce_alert) and str(alert.info_hash) == info_hash and not ready:
                ready = True
                print('READY', info_hash, ports[0], *ports, flush=True)
    sessions[0].pop_alerts()
    if select.select([sys.stdin], [], [], 0.2)[0] and not sys.stdin.read(1):
        break
