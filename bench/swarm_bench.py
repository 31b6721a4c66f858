#!/usr/bin/python3
"""Times Ombrelay's engine (the headless driver) in a crowd of libtorrent peers, in a network namespace
of its own.

  bench/swarm_bench.py [--rounds N] [--leechers N] [--size MiB] [--piece-length KiB] [--seed-rate KiB/s]
                       [--leecher-upload KiB/s] [--join-after S] [--build DIR] [--work DIR] [--limit S]

Each round: opentracker, one libtorrent seeder held to --seed-rate, and --leechers libtorrent leechers that
upload at most --leecher-upload each (downloads unlimited), every peer on an address of its own in
127.0.0.0/8; --join-after seconds after the leechers, the engine driver joins with its upload unlimited.
Leechers go on seeding once complete, as a user's client does. A round ends when the driver has the whole
payload, or after --limit seconds. Printed per round: our completion time from our start and on the
leechers' clock, the leechers' min, median and max, what we uploaded by then, and every 10 s our peer
counts and how the leechers see us (how many are connected to us, unchoke us, and we unchoke). At the end:
the medians over the rounds. Runs by hand only; needs root for the namespace (it re-runs itself inside
one) and /usr/bin/python3 with libtorrent.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, 'bench'))
from transfer_bench import Workspace, listening_port_of, peak_rss_mib  # noqa: E402
MAKE = ['/usr/bin/python3', os.path.join(ROOT, 'tests/interop/peers/lt_peer.py'), 'make']
INSIDE = 'OMBRELAY_SWARM_BENCH_NAMESPACE'
TRACKER_HOST = '127.0.0.1'
SEEDER_HOST = '127.0.0.2'
OUR_ID = b'-OC2168-'


def leecher_host(i):
    return '127.0.1.%d' % (i + 1)


def enter_namespace():
    """Re-runs this script in a network namespace of its own, its loopback up: no traffic leaves it."""
    if os.environ.get(INSIDE):
        subprocess.check_call(['ip', 'link', 'set', 'lo', 'up'])
        return
    env = dict(os.environ, **{INSIDE: '1'})
    os.execvpe('unshare', ['unshare', '--net', '/usr/bin/python3', os.path.abspath(__file__)] + sys.argv[1:], env)


class Swarm:
    """The libtorrent side of one round: a seeder and the leechers, each a session of its own."""

    def __init__(self, lt, args, torrent, payload_dir, work):
        self.lt = lt
        self.args = args
        self.info = lt.torrent_info(torrent)
        self.work = work
        self.sessions = []
        self.handles = []
        self.completed = {}
        self.seeder = self.add(SEEDER_HOST, payload_dir, args.seed_rate * 1024, seed=True)

    def session(self, host):
        lt = self.lt
        return lt.session({
            'listen_interfaces': '%s:0' % host, 'outgoing_interfaces': host,
            'enable_dht': False, 'enable_lsd': False, 'enable_upnp': False, 'enable_natpmp': False,
            'enable_outgoing_utp': False, 'enable_incoming_utp': False,
            'out_enc_policy': int(lt.enc_policy.enabled), 'in_enc_policy': int(lt.enc_policy.enabled),
            'allowed_enc_level': int(lt.enc_level.both),
            'aio_threads': 2, 'hashing_threads': 1,
            'alert_mask': int(lt.alert.category_t.error_notification),
        })

    def add(self, host, save, upload_rate, seed=False):
        lt = self.lt
        ses = self.session(host)
        params = lt.add_torrent_params()
        params.ti = self.info
        params.save_path = save
        params.flags &= ~(lt.torrent_flags.auto_managed | lt.torrent_flags.paused)
        if seed:
            params.flags |= lt.torrent_flags.seed_mode
        handle = ses.add_torrent(params)
        handle.set_upload_limit(upload_rate)  # per torrent: a session limit would spare loopback peers
        self.sessions.append(ses)
        self.handles.append(handle)
        return handle

    def wait_seeding(self, seconds=120):
        deadline = time.monotonic() + seconds
        while self.seeder.status().state != self.lt.torrent_status.seeding:
            if time.monotonic() > deadline:
                raise RuntimeError('the seeder never started seeding')
            time.sleep(0.05)

    def start_leechers(self):
        self.leechers = []
        for i in range(self.args.leechers):
            folder = os.path.join(self.work, 'leecher%d' % i)
            os.makedirs(folder)
            self.leechers.append(self.add(leecher_host(i), folder, self.args.leecher_upload * 1024))

    def poll(self, now):
        """Records leechers that completed since the last poll; drains the alerts."""
        for i, handle in enumerate(self.leechers):
            if i not in self.completed and handle.status().is_seeding:
                self.completed[i] = now
        for ses in self.sessions:
            ses.pop_alerts()

    def view_of_us(self):
        """How the peers see the driver: leechers connected to it, unchoking it, unchoked by it, and the
        payload bytes every peer sent it (duplicates included)."""
        connected = unchoking = unchoked = sent = 0
        for handle in self.handles:
            for peer in handle.get_peer_info():
                if not peer.pid.to_bytes().startswith(OUR_ID):
                    continue
                sent += peer.total_upload
                if handle == self.seeder:
                    continue
                connected += 1
                unchoking += not peer.flags & peer.choked
                unchoked += not peer.flags & peer.remote_choked
        return connected, unchoking, unchoked, sent

    def close(self):
        for ses in self.sessions:
            ses.pause()
        self.handles.clear()
        self.sessions.clear()


class Bench(Workspace):
    def __init__(self, args):
        import libtorrent
        super().__init__('ombrelay-swarm-', args.work)
        self.lt = libtorrent
        self.args = args
        self.results = []

    def prepare(self):
        self.tracker_dir = self.path('tracker')
        os.makedirs(self.tracker_dir)
        # The tracker's port is fixed before the torrent is made: the namespace is ours alone.
        self.announce = 'http://%s:6969/announce' % TRACKER_HOST
        info_hash = subprocess.check_output(
            MAKE + ['--dir', self.path('seed'), '--size', str(self.args.size * 1048576), '--piece-length',
                    str(self.args.piece_length * 1024), '--announce', self.announce], text=True).strip()
        with open(self.path('tracker', 'whitelist.txt'), 'w') as f:
            f.write(info_hash + '\n')
        self.torrent = self.path('seed', 'payload.torrent')
        self.payload = self.path('seed', 'payload.bin')

    def start_tracker(self):
        tracker = self.spawn(['opentracker', '-i', TRACKER_HOST, '-p', '6969', '-d', self.tracker_dir,
                              '-w', 'whitelist.txt'], 'tracker.log')
        listening_port_of(tracker.pid)
        time.sleep(0.5)  # the whitelist loads after the port opens; peers re-announce anyway
        return tracker

    def driver(self, name):
        data = self.path(name + '-data')
        os.makedirs(data)
        with open(os.path.join(data, 'Ombrelay.conf'), 'w') as f:
            f.write('[General]\nkUploadLimitEnabled=0\n')
        return [self.args.driver, '--data', data, '--download', self.path(name), '--port', '0',
                '--timeout', str(self.args.limit), self.torrent]

    def round(self, number):
        name = 'ombrelay%d' % number
        tracker = self.start_tracker()
        swarm = Swarm(self.lt, self.args, self.torrent, self.path('seed'), self.path('round%d' % number))
        try:
            return self.run_round(name, swarm)
        finally:
            swarm.close()
            tracker.kill()
            tracker.wait()
            shutil.rmtree(self.path('round%d' % number), ignore_errors=True)
            shutil.rmtree(self.path(name), ignore_errors=True)

    def run_round(self, name, swarm):
        swarm.wait_seeding()
        swarm.start_leechers()
        t0 = time.monotonic()
        driver = None
        ours_start = ours_done = None
        uploaded = 0
        rss = 0.0
        counts = '-'
        next_sample = t0
        log = self.path(name + '.log')
        while time.monotonic() - t0 < self.args.limit:
            now = time.monotonic() - t0
            swarm.poll(now)
            if driver is None and now >= self.args.join_after:
                driver = self.spawn(self.driver(name), name + '.log')
                ours_start = now
            if driver is not None and ours_done is None:
                rss = max(rss, peak_rss_mib(driver.pid))
                uploaded, counts = self.last_progress(log, uploaded, counts)
                if driver.poll() is not None:
                    if driver.returncode != 0:
                        raise RuntimeError('the driver exited %d (see %s)' % (driver.returncode, log))
                    ours_done = now
                    uploaded, counts = self.last_progress(log, uploaded, counts)
            if time.monotonic() >= next_sample:
                next_sample += 10
                connected, unchoking, unchoked, sent = swarm.view_of_us()
                print('  %5.0f s  leechers done %2d  ours: %s, uploaded %5.1f MiB | leechers connected to us %2d, '
                      'unchoking us %2d, unchoked by us %2d; peers sent us %5.1f MiB'
                      % (now, len(swarm.completed), counts, uploaded / 1048576, connected, unchoking, unchoked,
                         sent / 1048576), flush=True)
            if ours_done is not None and len(swarm.completed) == len(swarm.leechers):
                break
            time.sleep(0.1)
        if ours_done is None:
            raise RuntimeError('the driver did not complete within %d s (see %s)' % (self.args.limit, log))
        if subprocess.call(['cmp', '-s', self.payload, os.path.join(self.path(name), 'payload.bin')]) != 0:
            raise RuntimeError('our download differs from the payload')
        times = sorted(swarm.completed.values())
        if not times:
            raise RuntimeError('no leecher completed')
        result = {'ours': ours_done - ours_start, 'ours_clock': ours_done, 'min': times[0],
                  'median': statistics.median(times), 'max': times[-1], 'uploaded': uploaded / 1048576,
                  'done': len(times)}
        print('ours %.1f s (%.1f s on the leechers\' clock), leechers min %.1f median %.1f max %.1f s (%d done), '
              'uploaded %.1f MiB, peak RSS %.1f MiB' % (result['ours'], result['ours_clock'], result['min'],
                                                        result['median'], result['max'], result['done'],
                                                        result['uploaded'], rss), flush=True)
        return result

    @staticmethod
    def last_progress(log, uploaded, counts):
        """The driver's last progress line: its upload and its peer counts."""
        try:
            with open(log) as f:
                lines = [line.split() for line in f if line.startswith('progress ')]
        except OSError:
            return uploaded, counts
        if not lines:
            return uploaded, counts
        words = lines[-1]
        fields = {words[i]: words[i + 1] for i in range(len(words) - 1)}
        uploaded = int(fields.get('uploaded', uploaded))
        counts = 'peers %s (seeds %s) connecting %s, %.1f%%' % (
            fields.get('peers', '?'), fields.get('seeds', '?'), fields.get('connecting', '?'), float(words[2]) * 100)
        return uploaded, counts

    def summary(self):
        if not self.results:
            return
        med = {key: statistics.median(r[key] for r in self.results) for key in self.results[0]}
        print('median of %d: ours %.1f s (%.1f s on the leechers\' clock), leechers min %.1f median %.1f max %.1f s, '
              'uploaded %.1f MiB; ours on the leechers\' clock / their median %.2f'
              % (len(self.results), med['ours'], med['ours_clock'], med['min'], med['median'], med['max'],
                 med['uploaded'], med['ours_clock'] / med['median']))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--rounds', type=int, default=3)
    parser.add_argument('--leechers', type=int, default=48)
    parser.add_argument('--size', type=int, default=64, help='MiB')
    parser.add_argument('--piece-length', type=int, default=256, help='KiB')
    parser.add_argument('--seed-rate', type=int, default=2048, help='KiB/s')
    parser.add_argument('--leecher-upload', type=int, default=512, help='KiB/s')
    parser.add_argument('--join-after', type=float, default=5)
    parser.add_argument('--build', default=os.path.join(ROOT, 'build-bench'))
    parser.add_argument('--work', default='/tmp')
    parser.add_argument('--limit', type=int, default=600, help='seconds a round may last')
    args = parser.parse_args()
    args.driver = os.path.join(args.build, 'tests/tools/ombrelay-engine-driver')
    if not os.access(args.driver, os.X_OK):
        sys.exit('no driver at %s: build the target ombrelay-engine-driver' % args.driver)
    enter_namespace()
    bench = Bench(args)
    try:
        bench.prepare()
        print('swarm: %d leechers at most %d KiB/s up, seeder %d KiB/s, %d MiB in %d KiB pieces; we join after '
              '%.0f s; load %s' % (args.leechers, args.leecher_upload, args.seed_rate, args.size, args.piece_length,
                                   args.join_after, ' '.join('%.2f' % x for x in os.getloadavg())), flush=True)
        for number in range(1, args.rounds + 1):
            print('round %d' % number, flush=True)
            bench.results.append(bench.round(number))
        bench.summary()
    finally:
        bench.close()


if __name__ == '__main__':
    main()
