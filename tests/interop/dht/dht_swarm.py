# Three DHT sessions on loopback that know each other; the first seeds a small torrent and announces it.
# Prints "READY <info hash> <seeder port> <node port> <node port> <node port>" once the announce has been
# stored by another node, then serves until its standard input closes. It gives up after 300 s, well past
# the waits of any test that runs it, so that a slow announce never ends the swarm under a download.
import libtorrent as lt
import os
import select
import sys
import tempfile
import time


def session():
    return lt.session({
        'listen_interfaces': '127.0.0.1:0',
        'enable_dht': True, 'enable_lsd': False, 'enable_upnp': False, 'enable_natpmp': False,
        'dht_bootstrap_nodes': '',
        'dht_restrict_routing_ips': False, 'dht_restrict_search_ips': False,
        'dht_prefer_verified_node_ids': False, 'dht_ignore_dark_internet': False,
        'alert_mask': lt.alert.category_t.dht_notification,
    })


sessions = [session() for _ in range(3)]
ports = [s.listen_port() for s in sessions]
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
while time.time() < deadline:
    if not ready:
        seeder.force_dht_announce()
    for s in sessions[1:]:
        for alert in s.pop_alerts():
            if isinstance(alert, lt.dht_announce_alert) and str(alert.info_hash) == info_hash and not ready:
                ready = True
                print('READY', info_hash, ports[0], *ports, flush=True)
    sessions[0].pop_alerts()
    if select.select([sys.stdin], [], [], 0.2)[0] and not sys.stdin.read(1):
        break
