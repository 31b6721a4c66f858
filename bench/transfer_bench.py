#!/usr/bin/python3
"""Times Ombrelay's engine (the headless driver, Release build) against libtorrent and aria2 over loopback.

  bench/transfer_bench.py [--case download|swarm|seed] [--size MiB] [--piece-length KiB] [--rounds N]
                          [--encryption enabled|required|disabled] [--only NAME,...] [--build DIR]
                          [--baseline DIR] [--work DIR] [--wrap CMD]

download: one libtorrent seeder found through opentracker; each downloader takes the payload from it in
          turn, a fresh session every round: Ombrelay, libtorrent with the seeder's policy (as it comes),
          libtorrent offering RC4 only as Ombrelay does when it dials ("libtorrent-rc4", the rival doing
          equal work while the seeder merely allows encryption), and aria2. With --encryption disabled
          the seeder refuses encryption and every downloader is on plain streams: the engines' own race.
          There "null" (bench/null_downloader.py) also runs: it asks for every block and throws the bytes
          away, so its time is the seeder's ceiling, what no downloader can beat.
swarm:    four seeders at once (two libtorrent, one aria2, one Transmission); Ombrelay and libtorrent
          download in turn.
seed:     Ombrelay seeds as a user's client does: it first downloads the payload itself (from a libtorrent
          seeder that then leaves), and every round it is started again on that session, announces, and a
          libtorrent downloader with the --encryption policy finds it through the tracker (started afresh
          each run, so it knows only that seeder). The rival is a libtorrent seeder with the same policy,
          so both do equal work: a downloader as it comes ("enabled") dials in plain first and both
          seeders take that; with "required" it offers RC4 only, Ombrelay selects it and the libtorrent
          seeder requires it.
--encryption is the seeders' policy (and the libtorrent downloader's; aria2 requires RC4 when it is
"required"). Each run prints wall time, CPU seconds, CPU seconds per GiB and peak RSS of the downloader
(of the seeder in the seed case, counted over the download only), and the seeder's CPU seconds per GiB;
at the end the medians and Ombrelay's ratio to each rival. --only keeps the named runners. Each round a
different runner goes first: a multiple of their number of rounds gives each the same places.
--baseline adds the driver of another build (say, of main) as the rival "baseline", in the same rounds.
Data lives under --work (default /tmp) and is removed at exit. Runs by hand only; loopback only.
"""
import argparse
import os
import re
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse
import urllib.request

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PEER = [sys.executable, os.path.join(ROOT, 'tests/interop/peers/lt_peer.py')]
NULL_DOWNLOADER = [sys.executable, os.path.join(ROOT, 'bench/null_downloader.py')]
TICKS = os.sysconf('SC_CLK_TCK')


def system_picked_ports():
    """The ports the system hands out for port 0, as aria2 takes them ("32768-60999"): aria2 refuses port 0,
    and no one binds one of these by number."""
    with open('/proc/sys/net/ipv4/ip_local_port_range') as f:
        low, high = f.read().split()
    return '%d-%s' % (max(int(low), 1024), high)


def listening_port_of(pid, seconds=60):
    """The port of the one IPv4 TCP socket that process `pid` listens on, once it listens."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        inodes = set()
        for fd in os.listdir('/proc/%d/fd' % pid):
            try:
                link = os.readlink('/proc/%d/fd/%s' % (pid, fd))
            except OSError:  # closed meanwhile
                continue
            if link.startswith('socket:['):
                inodes.add(link[len('socket:['):-1])
        with open('/proc/%d/net/tcp' % pid) as f:
            # sl local_address rem_address st ... inode: 0A is the listening state
            rows = [line.split() for line in f.readlines()[1:]]
        ports = [int(row[1].split(':')[1], 16) for row in rows if row[3] == '0A' and row[9] in inodes]
        if len(ports) == 1:
            return ports[0]
        time.sleep(0.1)
    raise RuntimeError('process %d listens on no single port' % pid)


class TrackerRelay:
    """The torrent's tracker address: a port the system picks, held for the whole run, relaying each
    connection to the opentracker of the moment, which starts afresh on a port of its own."""

    def __init__(self):
        self.listener = socket.create_server(('127.0.0.1', 0))
        self.port = self.listener.getsockname()[1]
        self.target = None
        threading.Thread(target=self.accept, daemon=True).start()

    def accept(self):
        while True:
            client, _ = self.listener.accept()
            threading.Thread(target=self.relay, args=(client,), daemon=True).start()

    def relay(self, client):
        with client:
            try:
                tracker = socket.create_connection(('127.0.0.1', self.target), timeout=30)
            except OSError:
                return
            with tracker:
                client.settimeout(30)
                upstream = threading.Thread(target=self.pump, args=(client, tracker), daemon=True)
                upstream.start()
                self.pump(tracker, client)
                upstream.join()

    @staticmethod
    def pump(source, sink):
        try:
            while data := source.recv(65536):
                sink.sendall(data)
            sink.shutdown(socket.SHUT_WR)
        except OSError:
            pass


def cpu_seconds(pid):
    """User and system CPU seconds of a running process."""
    with open('/proc/%d/stat' % pid) as f:
        fields = f.read().rsplit(')', 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS


def peak_rss_mib(pid):
    with open('/proc/%d/status' % pid) as f:
        for line in f:
            if line.startswith('VmHWM:'):
                return int(line.split()[1]) / 1024
    return 0.0


class Workspace:
    """A temporary folder for a bench's data and logs, and the processes it started; both go at close."""

    def __init__(self, prefix, parent):
        self.work = tempfile.mkdtemp(prefix=prefix, dir=parent)
        self.procs = []

    def close(self):
        for p in self.procs:
            if p.poll() is None:
                p.kill()
                p.wait()
        if not os.environ.get("BENCH_KEEP"):
            shutil.rmtree(self.work, ignore_errors=True)

    def path(self, *parts):
        return os.path.join(self.work, *parts)

    def spawn(self, command, log, **kwargs):
        p = subprocess.Popen(command, stdout=open(self.path(log), 'w'), stderr=subprocess.STDOUT, **kwargs)
        self.procs.append(p)
        return p


class Bench(Workspace):
    def __init__(self, args):
        super().__init__('ombrelay-bench-', args.work)
        self.args = args
        self.size = args.size * 1048576
        self.seeders = []
        self.results = {}
        self.tracker_process = None

    def wait_for_line(self, log, prefix, seconds=120):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            with open(self.path(log)) as f:
                for line in f:
                    if line.startswith(prefix):
                        return line.split()
            time.sleep(0.05)
        raise RuntimeError('%s never said "%s"' % (log, prefix))

    def prepare(self):
        self.tracker = TrackerRelay()
        os.makedirs(self.path('tracker'))
        announce = 'http://127.0.0.1:%d/announce' % self.tracker.port
        info_hash = subprocess.check_output(
            PEER + ['make', '--dir', self.path('seed'), '--size', str(self.size), '--piece-length',
                    str(self.args.piece_length * 1024), '--announce', announce], text=True).strip()
        self.info_hash = bytes.fromhex(info_hash)
        with open(self.path('tracker', 'whitelist.txt'), 'w') as f:
            f.write(info_hash + '\n')
        self.start_tracker()
        self.torrent = self.path('seed', 'payload.torrent')
        self.payload = self.path('seed', 'payload.bin')

    def start_tracker(self):
        """Starts opentracker afresh (it keeps peers in memory only, so it forgets every earlier one)."""
        if self.tracker_process:
            self.tracker_process.kill()
            self.tracker_process.wait()
        self.tracker_process = self.spawn(['opentracker', '-i', '127.0.0.1', '-p', '0', '-d', self.path('tracker'),
                                           '-w', 'whitelist.txt'], 'tracker.log')
        self.tracker.target = listening_port_of(self.tracker_process.pid)
        self.wait_for_whitelist()

    def wait_for_whitelist(self, seconds=60):
        """Waits until the tracker takes an announce for the torrent: it listens before its whitelist is
        loaded, and refuses every hash until then. Only a "started" announce is checked against the list;
        a "stopped" one follows, so no peer stays behind."""
        url = ('http://127.0.0.1:%d/announce?info_hash=%s&peer_id=-XX0000-000000000000&port=1&uploaded=0'
               '&downloaded=0&left=0&event=' % (self.tracker.port, urllib.parse.quote(self.info_hash)))
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            with urllib.request.urlopen(url + 'started', timeout=5) as reply:
                if b'failure reason' not in reply.read():
                    urllib.request.urlopen(url + 'stopped', timeout=5).close()
                    return
            time.sleep(0.1)
        raise RuntimeError('the tracker never took the torrent')

    def wait_for_announce(self, seconds=120):
        """Waits until the tracker knows a peer of the torrent."""
        url = 'http://127.0.0.1:%d/scrape?info_hash=%s' % (self.tracker.port, urllib.parse.quote(self.info_hash))
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            with urllib.request.urlopen(url, timeout=5) as reply:
                body = reply.read()
            if sum(int(n) for n in re.findall(rb'completei(\d+)e', body)) > 0:  # seeds and leeches
                return
            time.sleep(0.1)
        raise RuntimeError('no peer announced itself')

    # Seeders -------------------------------------------------------------------------------------

    def libtorrent_seeder(self, name, encryption=None):
        process = self.spawn(PEER + ['seed', '--torrent', self.torrent, '--save', self.path('seed'), '--encryption',
                                     encryption or self.args.encryption, '--seconds', '3600'], name + '.log')
        self.seeders.append(process)
        return process, int(self.wait_for_line(name + '.log', 'ready', 600)[1])

    def aria2_seeder(self):
        process = self.spawn(['aria2c', '--dir=' + self.path('seed'), '--check-integrity=true', '--seed-ratio=0.0',
                    '--enable-dht=false', '--bt-enable-lpd=false', '--enable-peer-exchange=false',
                    '--listen-port=' + system_picked_ports(), '--console-log-level=warn', '--summary-interval=0']
                   + self.aria2_crypto() + [self.torrent], 'aria2-seed.log')
        self.seeders.append(process)
        return listening_port_of(process.pid, 600)

    def transmission_seeder(self):
        config = self.path('transmission')
        os.makedirs(config)
        encryption = {'required': 2, 'enabled': 1, 'disabled': 0}[self.args.encryption]
        with open(os.path.join(config, 'settings.json'), 'w') as f:
            f.write('{"dht-enabled": false, "lpd-enabled": false, "pex-enabled": false, "utp-enabled": false, '
                    '"port-forwarding-enabled": false, "bind-address-ipv4": "127.0.0.1", "bind-address-ipv6": "::1", '
                    '"peer-port": 0, "encryption": %d, "blocklist-enabled": false, '
                    '"speed-limit-up-enabled": false, "speed-limit-down-enabled": false}' % encryption)
        process = self.spawn(['transmission-cli', '-g', config, '-w', self.path('seed'), '-p', '0', '-M',
                              self.torrent], 'transmission.log')
        self.seeders.append(process)
        return listening_port_of(process.pid, 600)

    def aria2_crypto(self):
        if self.args.encryption == 'required':
            return ['--bt-require-crypto=true', '--bt-min-crypto-level=arc4']
        return []

    # Downloaders ---------------------------------------------------------------------------------

    def driver(self, name, download, extra=(), settings='', program=None):
        data = self.path(name + '-data')
        os.makedirs(data, exist_ok=True)
        with open(os.path.join(data, 'Ombrelay.conf'), 'w') as f:
            f.write('[General]\n' + settings)
        return self.args.wrap.split() + [program or self.args.driver, '--data', data, '--download', download, '--timeout', '900', *extra, self.torrent]

    def downloader(self, name, folder):
        if name == 'ombrelay':
            return self.driver('ombrelay', folder)
        if name == 'baseline':
            return self.driver('baseline', folder, program=self.args.baseline_driver)
        if name == 'null':
            return NULL_DOWNLOADER + [self.torrent, '--seconds', '900']
        if name.startswith('libtorrent'):
            return PEER + ['fetch', '--torrent', self.torrent, '--save', folder, '--encryption',
                           'required' if name == 'libtorrent-rc4' else self.args.encryption, '--seconds', '900']
        return ['aria2c', '--dir=' + folder, '--enable-dht=false', '--bt-enable-lpd=false',
                '--enable-peer-exchange=false', '--seed-time=0', '--file-allocation=none',
                '--console-log-level=warn', '--summary-interval=0', '--listen-port=' + system_picked_ports()] \
            + self.aria2_crypto() + [self.torrent]

    def measure(self, name, command, check_folder):
        """Runs a download to its end; wall seconds, CPU seconds and peak RSS of the downloader."""
        start = time.monotonic()
        p = subprocess.Popen(command, stdout=open(self.path(name + '.log'), 'w'), stderr=subprocess.STDOUT)
        _, status, usage = os.wait4(p.pid, 0)
        wall = time.monotonic() - start
        p.returncode = os.waitstatus_to_exitcode(status)
        if p.returncode != 0:
            raise RuntimeError('%s exited %d (see %s)' % (name, p.returncode, self.path(name + '.log')))
        if name != 'null':  # it keeps nothing
            self.check(name, check_folder)
        return wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss / 1024

    def check(self, name, folder):
        if subprocess.call(['cmp', '-s', self.payload, os.path.join(folder, 'payload.bin')]) != 0:
            raise RuntimeError('%s: bytes differ' % name)

    def record(self, name, wall, cpu, rss, seeder_cpu):
        """One run: the downloader's (or in the seed case the seeder's) CPU and RSS, the seeders' CPU."""
        gib = self.args.size / 1024
        print('%-15s %7.2f s %8.1f MiB/s  CPU %6.2f s = %5.2f s/GiB  peak RSS %7.1f MiB  seeder CPU %5.2f s/GiB'
              % (name, wall, self.args.size / wall, cpu, cpu / gib, rss, seeder_cpu / gib), flush=True)
        self.results.setdefault(name, []).append((wall, cpu / gib, rss, seeder_cpu / gib))

    @staticmethod
    def in_turn(names, round_):
        """The runners of a round, a different one first each round. A run depends on the one before it:
        the libtorrent seeder starts slower for whoever follows an Ombrelay run (by about 0.25 s, still
        after a pause of 3 s), so a fixed order would hand the same runners that cost every round."""
        start = round_ % len(names)
        return names[start:] + names[:start]

    def download_rounds(self, names):
        for round_ in range(self.args.rounds):
            print('round %d' % (round_ + 1), flush=True)
            for name in self.in_turn(names, round_):
                folder = self.path(name)
                shutil.rmtree(folder, ignore_errors=True)
                shutil.rmtree(self.path(name + '-data'), ignore_errors=True)
                before = sum(cpu_seconds(p.pid) for p in self.seeders)
                result = self.measure(name, self.downloader(name, folder), folder)
                self.record(name, *result, seeder_cpu=sum(cpu_seconds(p.pid) for p in self.seeders) - before)
                shutil.rmtree(folder, ignore_errors=True)

    def seed_rounds(self, names):
        for name in names:
            if name in ('ombrelay', 'baseline'):
                self.download_to_seed(name)
        for round_ in range(self.args.rounds):
            print('round %d' % (round_ + 1), flush=True)
            for name in self.in_turn(names, round_):
                self.start_tracker()
                if name in ('ombrelay', 'baseline'):
                    process = self.restart_to_seed(name)
                else:
                    process, _ = self.libtorrent_seeder(name + '-seed')
                self.wait_for_announce()
                folder = self.path('fetch')
                shutil.rmtree(folder, ignore_errors=True)
                cpu_before = cpu_seconds(process.pid)
                t0 = time.monotonic()
                with open(self.path('fetch-from-%s.log' % name), 'w') as log:
                    subprocess.check_call(PEER + ['fetch', '--torrent', self.torrent, '--save', folder, '--encryption',
                                                  self.args.encryption, '--seconds', '900'], stdout=log, stderr=log)
                wall = time.monotonic() - t0
                self.check(name + ' seeding', folder)
                cpu = cpu_seconds(process.pid) - cpu_before
                self.record(name, wall, cpu, peak_rss_mib(process.pid), cpu)
                process.kill()
                process.wait()
                if process in self.seeders:
                    self.seeders.remove(process)
                shutil.rmtree(folder, ignore_errors=True)

    def driver_program(self, name):
        return self.args.baseline_driver if name == 'baseline' else self.args.driver

    def download_to_seed(self, name):
        """The client downloads the payload from a libtorrent seeder found through the tracker, then stops."""
        print('%s downloads the payload it will seed' % name, flush=True)
        self.start_tracker()
        seeder, _ = self.libtorrent_seeder(name + '-source')
        folder = self.path(name + '-seed')
        self.measure(name + '-first', self.driver(name + '-seed', folder, program=self.driver_program(name)), folder)
        seeder.kill()
        seeder.wait()
        self.seeders.remove(seeder)

    def restart_to_seed(self, name):
        """The client starts again on its session and seeds (upload limit off) what it downloaded."""
        with open(self.path(name + '-seed-data', 'Ombrelay.conf'), 'w') as f:
            f.write('[General]\nkUploadLimitEnabled=0\n')
        command = self.args.wrap.split() + [
            self.driver_program(name), '--data', self.path(name + '-seed-data'), '--download',
            self.path(name + '-seed'), '--port', '0', '--seed-until-ratio', '1000', '--timeout', '900',
            self.torrent]
        process = self.spawn(command, name + '-seed.log')
        self.wait_for_line(name + '-seed.log', 'progress', 600)
        return process

    def summary(self, equal_work):
        """Medians; Ombrelay's ratios to each rival and to the best of libtorrent and aria2 as they come."""
        medians = {name: [statistics.median(r[i] for r in runs) for i in range(4)]
                   for name, runs in self.results.items()}
        for name, (wall, cpu, rss, seeder_cpu) in medians.items():
            print('median %-15s %7.2f s  CPU %5.2f s/GiB  peak RSS %7.1f MiB  seeder CPU %5.2f s/GiB'
                  % (name, wall, cpu, rss, seeder_cpu))
        if 'ombrelay' not in medians:
            return
        ours = medians['ombrelay']
        for name, (wall, cpu, _, seeder_cpu) in medians.items():
            if name != 'ombrelay':
                print('ombrelay / %-15s wall %.2f  CPU %.2f  seeder CPU %.2f%s'
                      % (name, ours[0] / wall, ours[1] / cpu, ours[3] / seeder_cpu,
                         '  (equal work)' if name == equal_work else ''))
        best = min((medians[n][0], n) for n in ('libtorrent', 'aria2') if n in medians) if (
            'libtorrent' in medians or 'aria2' in medians) else None
        if best and self.args.case != 'seed':
            print('ombrelay / best of libtorrent and aria2 (%s)  wall %.2f' % (best[1], ours[0] / best[0]))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--case', choices=['download', 'swarm', 'seed'], default='download')
    parser.add_argument('--size', type=int, default=1024, help='MiB')
    parser.add_argument('--piece-length', type=int, default=512, help='KiB')
    parser.add_argument('--rounds', type=int, default=3)
    parser.add_argument('--encryption', choices=['enabled', 'required', 'disabled'], default='enabled')
    parser.add_argument('--only', help='comma-separated runners to keep, e.g. ombrelay,libtorrent')
    parser.add_argument('--build', default=os.path.join(ROOT, 'build-rel'))
    parser.add_argument('--baseline', help='another build folder whose driver runs as "baseline"')
    parser.add_argument('--work', default='/tmp')
    parser.add_argument('--wrap', default='', help='a command in front of the driver, e.g. "perf stat -o F"')
    args = parser.parse_args()
    args.driver = os.path.join(args.build, 'tests/tools/ombrelay-engine-driver')
    args.baseline_driver = args.baseline and os.path.join(args.baseline, 'tests/tools/ombrelay-engine-driver')
    if not os.access(args.driver, os.X_OK):
        sys.exit('no driver at %s: build the target ombrelay-engine-driver in a Release build' % args.driver)
    bench = Bench(args)
    try:
        bench.prepare()
        print('%s, %d MiB, %d KiB pieces, seeders\' encryption %s; load %s'
              % (args.case, args.size, args.piece_length, args.encryption,
                 ' '.join('%.2f' % x for x in os.getloadavg())), flush=True)
        # libtorrent-rc4 does our work where libtorrent as it comes would not: from a seeder that merely
        # allows encryption, it takes RC4 as we do.
        names = ['ombrelay', 'libtorrent']
        if args.case == 'download' and args.encryption == 'enabled':
            names.append('libtorrent-rc4')
        if args.case == 'download':
            names.append('aria2')
        if args.case == 'download' and args.encryption == 'disabled':
            names.append('null')
        if args.baseline:
            names.append('baseline')
        if args.only:
            names = [n for n in names if n in args.only.split(',')]
        if args.case == 'download':
            bench.libtorrent_seeder('seeder')
            bench.download_rounds(names)
        elif args.case == 'swarm':
            bench.libtorrent_seeder('seeder1')
            bench.libtorrent_seeder('seeder2')
            bench.aria2_seeder()
            bench.transmission_seeder()
            bench.download_rounds([n for n in names if n in ('ombrelay', 'libtorrent', 'baseline')])
        else:
            bench.seed_rounds(names)
        print('load after: %s' % ' '.join('%.2f' % x for x in os.getloadavg()))
        # Where libtorrent as it comes encrypts as we do, it is the equal-work rival; a plain download is
        # the engines' own race, against the best of libtorrent and aria2.
        if 'libtorrent-rc4' in names:
            equal_work = 'libtorrent-rc4'
        else:
            equal_work = 'libtorrent' if args.encryption == 'required' or args.case == 'seed' else None
        bench.summary(equal_work)
    finally:
        bench.close()


if __name__ == '__main__':
    main()
