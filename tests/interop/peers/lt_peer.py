#!/usr/bin/python3
"""A libtorrent peer on loopback for interop tests.

  lt_peer.py make --dir D --size N [--files F] [--piece-length L] [--announce URL] [--node HOST:PORT] [--padded]
      writes D/payload.bin (N deterministic bytes) and D/payload.torrent (with the tracker, the DHT node);
      prints the info hash in hex.
      With F > 1 the payload is the folder D/payload of F files of uneven sizes, N bytes in all.
      --padded makes the torrent as libtorrent does by default (v1 and v2 in one), which pads every file
      to a piece boundary with padding entries (".pad/<length>"); its F files are of one size, so their
      padding entries share a path.
  lt_peer.py seed|fetch --torrent T --save D [--encryption required|disabled|enabled] [--connect HOST:PORT]
                        [--seconds S] [--upload-rate BYTES] [--download-rate BYTES] [--host 127.0.0.N]
      seeds the data in D (at most BYTES a second when given), or downloads it into D (likewise); prints "ready <listen port>" once listening (a seed
      once its data is checked), "received" once a download got its first payload bytes, "disconnects N"
      (connections that ended after those bytes) then "complete" when a download has all pieces, and exits 0 then
      (fetch) or after S seconds (seed). A fetch that does not complete in S seconds exits 1.
Listens and dials on --host (default 127.0.0.1) only, over TCP; no DHT, local discovery or port mapping.
"""
import argparse
import os
import random
import sys
import time

import libtorrent as lt


def make(args):
    os.makedirs(args.dir, exist_ok=True)
    rng = random.Random(args.size)
    data = b''.join(rng.randbytes(min(1 << 20, args.size - at)) for at in range(0, args.size, 1 << 20))
    if args.files > 1:
        # Uneven sizes, so blocks and pieces straddle file boundaries.
        path = os.path.join(args.dir, 'payload')
        os.makedirs(path, exist_ok=True)
        weights = [1 if args.padded else k * k + 1 for k in range(1, args.files + 1)]
        start = 0
        for k, weight in enumerate(weights):
            end = args.size if k == args.files - 1 else start + args.size * weight // sum(weights)
            with open(os.path.join(path, 'file%d.bin' % k), 'wb') as f:
                f.write(data[start:end])
            start = end
    else:
        path = os.path.join(args.dir, 'payload.bin')
        with open(path, 'wb') as f:
            f.write(data)
    files = lt.file_storage()
    lt.add_files(files, path)
    torrent = lt.create_torrent(files, args.piece_length, flags=0 if args.padded else lt.create_torrent.v1_only)
    if args.announce:
        torrent.add_tracker(args.announce)
    if args.node:
        host, port = args.node.rsplit(':', 1)
        torrent.add_node(host, int(port))
    lt.set_piece_hashes(torrent, args.dir)
    data = lt.bencode(torrent.generate())
    with open(os.path.join(args.dir, 'payload.torrent'), 'wb') as f:
        f.write(data)
    # The SHA-1 of the info dictionary (a torrent of v1 and v2 in one is known by the truncated v2 hash else).
    print(lt.torrent_info(lt.bdecode(data)).info_hashes().v1, flush=True)


def session(encryption, host):
    policy = {'required': lt.enc_policy.forced, 'enabled': lt.enc_policy.enabled,
              'disabled': lt.enc_policy.disabled}[encryption]
    return lt.session({
        'listen_interfaces': host + ':0', 'outgoing_interfaces': host,
        'enable_dht': False, 'enable_lsd': False, 'enable_upnp': False, 'enable_natpmp': False,
        'enable_outgoing_utp': False, 'enable_incoming_utp': False,
        'out_enc_policy': int(policy), 'in_enc_policy': int(policy),
        'allowed_enc_level': int(lt.enc_level.rc4), 'prefer_rc4': True,
        'allow_multiple_connections_per_ip': True,
        'alert_mask': int(lt.alert.category_t.error_notification | lt.alert.category_t.peer_notification
                          | lt.alert.category_t.connect_notification),
    })


def log_alerts(ses):
    """Logs the pending alerts; answers how many were ended connections."""
    disconnects = 0
    for alert in ses.pop_alerts():
        print('lt: ' + alert.message(), file=sys.stderr, flush=True)
        disconnects += isinstance(alert, lt.peer_disconnected_alert)
    return disconnects


def run(args):
    ses = session(args.encryption, args.host)
    params = lt.add_torrent_params()
    params.ti = lt.torrent_info(args.torrent)
    params.save_path = args.save
    # Started at once: an auto-managed torrent stays paused, turning peers away, until the queue runs.
    params.flags &= ~(lt.torrent_flags.auto_managed | lt.torrent_flags.paused)
    if args.role == 'seed':
        params.flags |= lt.torrent_flags.seed_mode
    handle = ses.add_torrent(params)
    if args.upload_rate:
        handle.set_upload_limit(args.upload_rate)  # a session limit would spare loopback peers
    if args.download_rate:
        handle.set_download_limit(args.download_rate)
    deadline = time.monotonic() + args.seconds
    wanted = lt.torrent_status.seeding if args.role == 'seed' else lt.torrent_status.downloading
    while handle.status().state != wanted and time.monotonic() < deadline:
        time.sleep(0.05)
    print('ready %d' % ses.listen_port(), flush=True)
    if args.connect:
        host, port = args.connect.rsplit(':', 1)
        handle.connect_peer((host, int(port)))
    disconnects = 0
    received = False
    while time.monotonic() < deadline:
        if args.role == 'fetch' and not received and handle.status().total_payload_download > 0:
            received = True
            print('received', flush=True)
        # Checked before the alerts: finishing ends the connection to a seed, which is not counted.
        if args.role == 'fetch' and handle.status().is_seeding:
            print('disconnects %d' % disconnects, flush=True)
            print('complete', flush=True)
            log_alerts(ses)
            return 0
        # A connection lost before any payload (a handshake cut short on a busy machine) is not counted.
        ended = log_alerts(ses)
        disconnects += ended if received else 0
        time.sleep(0.05)
    log_alerts(ses)
    return 0 if args.role == 'seed' else 1


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('role', choices=['make', 'seed', 'fetch'])
    parser.add_argument('--dir')
    parser.add_argument('--size', type=int, default=100000)
    parser.add_argument('--files', type=int, default=1)
    parser.add_argument('--piece-length', type=int, default=16384)
    parser.add_argument('--announce')
    parser.add_argument('--node')
    parser.add_argument('--padded', action='store_true')
    parser.add_argument('--torrent')
    parser.add_argument('--save')
    parser.add_argument('--encryption', choices=['required', 'disabled', 'enabled'], default='required')
    parser.add_argument('--connect')
    parser.add_argument('--seconds', type=float, default=30)
    parser.add_argument('--upload-rate', type=int, default=0)
    parser.add_argument('--download-rate', type=int, default=0)
    parser.add_argument('--host', default='127.0.0.1')
    args = parser.parse_args()
    if args.role == 'make':
        make(args)
        return 0
    return run(args)


if __name__ == '__main__':
    sys.exit(main())
