#!/usr/bin/python3
"""Times Ombrelay's engine (the headless driver, Release build) against libtorrent and aria2 over loopback.

  bench/transfer_bench.py [--case download|swarm|seed] [--size MiB] [--piece-length KiB] [--rounds N]
                          [--encryption enabled|required|disabled] [--build DIR] [--baseline DIR] [--work DIR]
                          [--wrap CMD]

download: one libtorrent seeder found through opentracker; Ombrelay, libtorrent and aria2 each download
          the payload from it in turn, a fresh session every round.
swarm:    four seeders at once (two libtorrent, one aria2, one Transmission); Ombrelay and libtorrent
          download in turn.
seed:     Ombrelay seeds (upload limit off) to a libtorrent downloader, against a libtorrent seeder.
--encryption is the seeders' policy (and the libtorrent downloader's; aria2 requires RC4 when it is
"required"). Each run prints wall time, CPU seconds and peak RSS (of the downloader; of the seeder in the
seed case, counted over the download only); at the end the medians and Ombrelay's ratio to each rival.
--baseline adds the driver of another build (say, of main) as the rival "baseline", in the same rounds.
Data lives under --work (default /tmp) and is removed at exit. Runs by hand only; loopback only.
"""
import argparse
import os
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PEER = [sys.executable, os.path.join(ROOT, 'tests/interop/peers/lt_peer.py')]
TICKS = os.sysconf('SC_CLK_TCK')


def free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


def wait_for_port(port, seconds=60):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        with socket.socket() as s:
            if s.connect_ex(('127.0.0.1', port)) == 0:
                return
        time.sleep(0.1)
    raise RuntimeError('nothing listens on %d' % port)


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


class Bench:
    def __init__(self, args):
        self.args = args
        self.size = args.size * 1048576
        self.work = tempfile.mkdtemp(prefix='ombrelay-bench-', dir=args.work)
        self.procs = []
        self.seeders = []
        self.results = {}

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
        self.tracker = free_port()
        os.makedirs(self.path('tracker'))
        announce = 'http://127.0.0.1:%d/announce' % self.tracker
        info_hash = subprocess.check_output(
            PEER + ['make', '--dir', self.path('seed'), '--size', str(self.size), '--piece-length',
                    str(self.args.piece_length * 1024), '--announce', announce], text=True).strip()
        with open(self.path('tracker', 'whitelist.txt'), 'w') as f:
            f.write(info_hash + '\n')
        self.spawn(['opentracker', '-i', '127.0.0.1', '-p', str(self.tracker), '-P', str(self.tracker),
                    '-d', self.path('tracker'), '-w', 'whitelist.txt'], 'tracker.log')
        wait_for_port(self.tracker)
        time.sleep(1)  # the whitelist loads
        self.torrent = self.path('seed', 'payload.torrent')
        self.payload = self.path('seed', 'payload.bin')

    # Seeders -------------------------------------------------------------------------------------

    def libtorrent_seeder(self, name):
        self.seeders.append(self.spawn(PEER + ['seed', '--torrent', self.torrent, '--save', self.path('seed'), '--encryption',
                           self.args.encryption, '--seconds', '3600'], name + '.log'))
        return int(self.wait_for_line(name + '.log', 'ready', 600)[1])

    def aria2_seeder(self):
        port = free_port()
        self.seeders.append(self.spawn(['aria2c', '--dir=' + self.path('seed'), '--check-integrity=true', '--seed-ratio=0.0',
                    '--enable-dht=false', '--bt-enable-lpd=false', '--enable-peer-exchange=false',
                    '--listen-port=%d' % port, '--console-log-level=warn', '--summary-interval=0']
                   + self.aria2_crypto() + [self.torrent], 'aria2-seed.log'))
        wait_for_port(port, 600)
        return port

    def transmission_seeder(self):
        port = free_port()
        config = self.path('transmission')
        os.makedirs(config)
        encryption = {'required': 2, 'enabled': 1, 'disabled': 0}[self.args.encryption]
        with open(os.path.join(config, 'settings.json'), 'w') as f:
            f.write('{"dht-enabled": false, "lpd-enabled": false, "pex-enabled": false, "utp-enabled": false, '
                    '"port-forwarding-enabled": false, "bind-address-ipv4": "127.0.0.1", "bind-address-ipv6": "::1", '
                    '"peer-port": %d, "encryption": %d, "blocklist-enabled": false, '
                    '"speed-limit-up-enabled": false, "speed-limit-down-enabled": false}' % (port, encryption))
        self.seeders.append(self.spawn(['transmission-cli', '-g', config, '-w', self.path('seed'), '-p', str(port),
                                        '-M', self.torrent], 'transmission.log'))
        wait_for_port(port, 600)
        return port

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
        if name == 'libtorrent':
            return PEER + ['fetch', '--torrent', self.torrent, '--save', folder, '--encryption',
                           self.args.encryption, '--seconds', '900']
        return ['aria2c', '--dir=' + folder, '--enable-dht=false', '--bt-enable-lpd=false',
                '--enable-peer-exchange=false', '--seed-time=0', '--file-allocation=none',
                '--console-log-level=warn', '--summary-interval=0', '--listen-port=%d' % free_port()] \
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
        self.check(name, check_folder)
        return wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss / 1024

    def check(self, name, folder):
        if subprocess.call(['cmp', '-s', self.payload, os.path.join(folder, 'payload.bin')]) != 0:
            raise RuntimeError('%s: bytes differ' % name)

    def record(self, name, wall, cpu, rss, seeders_cpu=None):
        print('%-12s %7.2f s %8.1f MiB/s  CPU %6.2f s  peak RSS %7.1f MiB%s'
              % (name, wall, self.args.size / wall, cpu, rss,
                 '' if seeders_cpu is None else '  (seeders\' CPU %.2f s)' % seeders_cpu), flush=True)
        self.results.setdefault(name, []).append((wall, cpu, rss))

    def download_rounds(self, names):
        for round_ in range(self.args.rounds):
            print('round %d' % (round_ + 1), flush=True)
            for name in names:
                folder = self.path(name)
                shutil.rmtree(folder, ignore_errors=True)
                shutil.rmtree(self.path(name + '-data'), ignore_errors=True)
                before = sum(cpu_seconds(p.pid) for p in self.seeders)
                result = self.measure(name, self.downloader(name, folder), folder)
                self.record(name, *result, sum(cpu_seconds(p.pid) for p in self.seeders) - before)
                shutil.rmtree(folder, ignore_errors=True)

    def seed_rounds(self):
        seeders = {'ombrelay': lambda: self.ombrelay_seeder('ombrelay', self.args.driver),
                   'libtorrent': self.libtorrent_seed_process}
        if self.args.baseline_driver:
            seeders['baseline'] = lambda: self.ombrelay_seeder('baseline', self.args.baseline_driver)
        for round_ in range(self.args.rounds):
            print('round %d' % (round_ + 1), flush=True)
            for name, start in seeders.items():
                process, port = start()
                folder = self.path('fetch')
                shutil.rmtree(folder, ignore_errors=True)
                cpu_before = cpu_seconds(process.pid)
                t0 = time.monotonic()
                subprocess.check_call(PEER + ['fetch', '--torrent', self.torrent, '--save', folder, '--encryption',
                                              self.args.encryption, '--connect', '127.0.0.1:%d' % port,
                                              '--seconds', '900'], stdout=subprocess.DEVNULL,
                                      stderr=subprocess.DEVNULL)
                wall = time.monotonic() - t0
                self.check(name + ' seeding', folder)
                self.record(name, wall, cpu_seconds(process.pid) - cpu_before, peak_rss_mib(process.pid))
                process.kill()
                process.wait()
                shutil.rmtree(folder, ignore_errors=True)

    def ombrelay_seeder(self, name, program):
        port = free_port()
        shutil.rmtree(self.path(name + '-seed-data'), ignore_errors=True)
        command = self.driver(name + '-seed', self.path('seed'), ['--port', str(port), '--seed-until-ratio', '1000'],
                              'kUploadLimitEnabled=0\n', program)
        p = self.spawn(command, name + '-seed.log')
        self.wait_for_line(name + '-seed.log', 'progress', 600)  # the existing data is checked: it seeds
        wait_for_port(port)
        return p, port

    def libtorrent_seed_process(self):
        p = self.spawn(PEER + ['seed', '--torrent', self.torrent, '--save', self.path('seed'), '--encryption',
                               self.args.encryption, '--seconds', '3600'], 'ltseed.log')
        return p, int(self.wait_for_line('ltseed.log', 'ready', 600)[1])

    def summary(self):
        medians = {name: [statistics.median(r[i] for r in runs) for i in range(3)]
                   for name, runs in self.results.items()}
        for name, (wall, cpu, rss) in medians.items():
            print('median %-12s %7.2f s  CPU %6.2f s  peak RSS %7.1f MiB' % (name, wall, cpu, rss))
        for name, (wall, cpu, _) in medians.items():
            if name != 'ombrelay':
                print('ombrelay / %-10s wall %.2f  CPU %.2f' % (name, medians['ombrelay'][0] / wall,
                                                            medians['ombrelay'][1] / cpu))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--case', choices=['download', 'swarm', 'seed'], default='download')
    parser.add_argument('--size', type=int, default=1024, help='MiB')
    parser.add_argument('--piece-length', type=int, default=512, help='KiB')
    parser.add_argument('--rounds', type=int, default=3)
    parser.add_argument('--encryption', choices=['enabled', 'required', 'disabled'], default='enabled')
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
        print('%s, %d MiB, %d KiB pieces, seeders\' encryption %s'
              % (args.case, args.size, args.piece_length, args.encryption), flush=True)
        if args.case == 'download':
            bench.libtorrent_seeder('seeder')
            bench.download_rounds(['ombrelay', 'libtorrent', 'aria2'] + (['baseline'] if args.baseline else []))
        elif args.case == 'swarm':
            bench.libtorrent_seeder('seeder1')
            bench.libtorrent_seeder('seeder2')
            bench.aria2_seeder()
            bench.transmission_seeder()
            bench.download_rounds(['ombrelay', 'libtorrent'] + (['baseline'] if args.baseline else []))
        else:
            bench.seed_rounds()
        bench.summary()
    finally:
        bench.close()


if __name__ == '__main__':
    main()
