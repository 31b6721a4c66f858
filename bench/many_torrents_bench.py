#!/usr/bin/python3
"""Costs of many stored torrents: the engine's start and memory, the application's start and its idle CPU.

  bench/many_torrents_bench.py [--torrents N] [--idle-torrents N] [--idle-seconds S] [--build DIR] [--work DIR]
                               [--skip-app]

Makes N small single-file torrents that announce to a loopback port where nothing listens and adds them
with the headless engine driver (the download queue on, as by default: three run, the rest wait), so
that N session folders are stored. Then:
  engine: the driver starts again over them; prints the time until they are loaded and its peak RSS;
  app:    the application starts over them (offscreen); prints the time until it answers a hand-over
          of a later launch (its window is shown before its loop runs), the time until it has listed
          every stored torrent (its transfer log names each), and its peak RSS by then;
  idle:   over --idle-torrents stored the same way, the application starts on a private X server
          (Xvfb), is shown its transfers list (Ctrl+2 through xdotool), waits for the list to settle,
          then prints the share of one core it uses over --idle-seconds.
The data lives under --work (default /dev/shm, where syncs cost nothing) and is removed at exit. Runs by
hand only; loopback only.
"""
import argparse
import hashlib
import os
import plistlib
import shutil
import socket
import subprocess
import sys
import tempfile
import time

from transfer_bench import cpu_seconds, peak_rss_mib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def bencode(value):
    if isinstance(value, int):
        return b'i%de' % value
    if isinstance(value, str):
        value = value.encode()
    if isinstance(value, bytes):
        return b'%d:%s' % (len(value), value)
    if isinstance(value, dict):
        return b'd' + b''.join(bencode(k) + bencode(value[k]) for k in sorted(value)) + b'e'
    raise TypeError(value)


def write_torrents(folder, count):
    os.makedirs(folder, exist_ok=True)
    paths = []
    for n in range(count):
        length = 1000 + n % 1000
        info = {'name': 'small-%d.bin' % n, 'length': length, 'piece length': 16384,
                'pieces': hashlib.sha1(b'%d' % n).digest()}
        path = os.path.join(folder, '%d.torrent' % n)
        with open(path, 'wb') as f:
            f.write(bencode({'announce': 'http://127.0.0.1:9/announce', 'info': info}))
        paths.append(path)
    return paths


class Layout:
    """Where the driver and the application find the same settings and session folders."""

    def __init__(self, work):
        self.work = work
        self.data = os.path.join(work, 'share', 'Ombrelay')
        self.config = os.path.join(work, 'config', 'Ombrelay')
        self.downloads = os.path.join(work, 'Downloads')
        self.tmp = os.path.join(work, 'tmp')
        for folder in (self.data, self.config, self.downloads, self.tmp):
            os.makedirs(folder, exist_ok=True)

    def app_environment(self, display=None):
        env = dict(os.environ)
        env.update({
            'HOME': self.work,
            'XDG_DATA_HOME': os.path.join(self.work, 'share'),
            'XDG_CONFIG_HOME': os.path.join(self.work, 'config'),
            'TMPDIR': self.tmp,
            'QT_QPA_PLATFORM': 'xcb' if display else 'offscreen',
            'OMBRELAY_NO_PORT_MAPPING': '1',
            'DBUS_SESSION_BUS_ADDRESS': 'unix:path=' + os.path.join(self.tmp, 'no-bus'),
            'http_proxy': 'http://127.0.0.1:9', 'https_proxy': 'http://127.0.0.1:9', 'no_proxy': '127.0.0.1',
        })
        if display:
            env['DISPLAY'] = display
        if os.getuid() == 0:
            env['QTWEBENGINE_DISABLE_SANDBOX'] = '1'
        return env


def run_driver(build, layout, torrents, timeout):
    """Runs the driver; answers (its output, its peak RSS in MiB)."""
    driver = os.path.join(build, 'tests', 'tools', 'ombrelay-engine-driver')
    with open(os.path.join(layout.work, 'driver.out'), 'w+') as out:
        process = subprocess.Popen([driver, '--data', layout.data, '--download', layout.downloads,
                                    '--timeout', str(timeout)] + torrents,
                                   stdout=out, stderr=subprocess.DEVNULL, env=layout.app_environment())
        _, _, usage = os.wait4(process.pid, 0)
        out.seek(0)
        return out.read(), usage.ru_maxrss / 1024


def loaded_line(output):
    for line in output.splitlines():
        if line.startswith('loaded '):
            return line
    return 'not loaded before its time-out'


def hand_over(socket_path, deadline):
    """Hands an empty launch to the running application; True once it has read it."""
    while time.monotonic() < deadline:
        with socket.socket(socket.AF_UNIX) as s:
            s.settimeout(max(0.1, deadline - time.monotonic()))
            try:
                s.connect(socket_path)
                s.sendall(b'\n')
                while s.recv(64):
                    pass
                return True
            except (FileNotFoundError, ConnectionRefusedError):
                time.sleep(0.01)
            except socket.timeout:
                return False
    return False


def start_app(build, layout, arguments, display=None):
    app = os.path.join(build, 'src', 'app', 'ombrelay')
    log = open(os.path.join(layout.work, 'app.log'), 'w')
    return subprocess.Popen([app] + arguments, env=layout.app_environment(display), stdout=subprocess.DEVNULL,
                            stderr=log)


def start_display():
    """A private X server; answers it and its name."""
    for number in range(90, 120):
        if not os.path.exists('/tmp/.X11-unix/X%d' % number) and not os.path.exists('/tmp/.X%d-lock' % number):
            name = ':%d' % number
            server = subprocess.Popen(['Xvfb', name, '-screen', '0', '1400x900x24', '-nolisten', 'tcp'],
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            deadline = time.monotonic() + 10
            while time.monotonic() < deadline and not os.path.exists('/tmp/.X11-unix/X%d' % number):
                time.sleep(0.05)
            return server, name
    raise RuntimeError('no free display')


def show_transfers(display):
    """Types Ctrl+2 into the main window, as a user shows the transfers list."""
    env = dict(os.environ, DISPLAY=display)
    window = subprocess.run(['xdotool', 'search', '--sync', '--onlyvisible', '--name', 'Ombrelay'], env=env,
                            capture_output=True, text=True, timeout=30).stdout.split()
    if not window:
        raise RuntimeError('no main window')
    subprocess.run(['xdotool', 'windowfocus', '--sync', window[0]], env=env, timeout=30)
    subprocess.run(['xdotool', 'key', '--window', window[0], 'ctrl+2'], env=env, timeout=30)


def wait_for_listing(layout, count, deadline):
    """Waits until the transfer log names `count` torrents; True when it did before the deadline."""
    while time.monotonic() < deadline:
        with open(os.path.join(layout.work, 'app.log'), errors='replace') as f:
            if sum(1 for line in f if line.startswith('Transfer ')) >= count:
                return True
        time.sleep(0.05)
    return False


def store_torrents(build, work, count):
    """Session folders of `count` small torrents, as the driver stores them; answers the layout and the files."""
    layout = Layout(work)
    torrents = write_torrents(os.path.join(work, 'torrents'), count)
    output, _ = run_driver(build, layout, torrents, timeout=max(10, count // 500))
    running = sum(1 for line in output.splitlines() if line.startswith('state ') and ' downloading' in line)
    print('stored %d torrents (%d running)' % (count, running))
    # The application reads its settings where the desktop keeps them.
    shutil.copy(os.path.join(layout.data, 'Ombrelay.conf'), os.path.join(layout.config, 'Ombrelay.conf'))
    return layout, torrents


def stop(process):
    process.terminate()
    try:
        process.wait(20)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument('--torrents', type=int, default=10000)
    parser.add_argument('--build', default=os.path.join(ROOT, 'build-rel'))
    parser.add_argument('--work', default='/dev/shm')
    parser.add_argument('--idle-torrents', type=int, default=1000)
    parser.add_argument('--idle-seconds', type=int, default=30)
    parser.add_argument('--skip-app', action='store_true')
    args = parser.parse_args()

    work = tempfile.mkdtemp(prefix='ombrelay-many-', dir=args.work)
    try:
        layout, torrents = store_torrents(args.build, os.path.join(work, 'many'), args.torrents)
        output, rss = run_driver(args.build, layout, torrents[:1], timeout=5)
        print('engine: %s, peak RSS %.0f MiB' % (loaded_line(output), rss))
        if args.skip_app:
            return 0

        socket_path = os.path.join(layout.tmp, 'ombrelay-%d' % os.getuid())
        started = time.monotonic()
        app = start_app(args.build, layout, [])
        try:
            answered = hand_over(socket_path, started + 60)
            handed = time.monotonic() - started
            listed = wait_for_listing(layout, args.torrents, started + 120)
            print('app: hand-over %s after %.2f s, %s after %.2f s, peak RSS %.0f MiB' %
                  ('answered' if answered else 'NOT answered', handed,
                   'every torrent listed' if listed else 'NOT every torrent listed', time.monotonic() - started,
                   peak_rss_mib(app.pid)))
        finally:
            stop(app)

        layout, torrents = store_torrents(args.build, os.path.join(work, 'idle'), args.idle_torrents)
        socket_path = os.path.join(layout.tmp, 'ombrelay-%d' % os.getuid())
        server, display = start_display()
        app = start_app(args.build, layout, [], display)
        try:
            hand_over(socket_path, time.monotonic() + 60)
            wait_for_listing(layout, args.idle_torrents, time.monotonic() + 60)
            show_transfers(display)
            time.sleep(5)  # the three running ones have announced
            before = cpu_seconds(app.pid)
            time.sleep(args.idle_seconds)
            used = cpu_seconds(app.pid) - before
            print('idle: %d stored, %.1f %% of a core over %d s, transfers list shown' %
                  (args.idle_torrents, 100 * used / args.idle_seconds, args.idle_seconds))
        finally:
            stop(app)
            stop(server)
        return 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == '__main__':
    sys.exit(main())
