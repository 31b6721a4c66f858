#!/usr/bin/python3
"""Costs of many stored torrents: the engine's start, stop and memory, the application's start, quit and idle CPU.

  bench/many_torrents_bench.py [--torrents N] [--idle-torrents N] [--idle-seconds S] [--repeat R] [--build DIR]
                               [--work DIR] [--disk DIR] [--skip-app] [--skip-first-quit] [--skip-idle]

Makes N small single-file torrents that announce to a loopback port where nothing listens and adds them
with the headless engine driver (the download queue on, as by default: three run, the rest wait), so
that N session folders are stored. The folders are made under --work (default /dev/shm, where syncs cost
nothing), then copied to --disk (default /var/tmp, a real disk) for the runs that write at their end.
Each figure is the median of --repeat runs (all runs are printed too):
  engine: the driver starts again over them; the time until they are loaded, its peak RSS, and the time
          from its termination signal to its exit (it writes what changed at quit);
  first quit: the driver adds the N torrents to an empty layout on --disk and is stopped as soon as it has
          added them; the time the adding took, the time from its termination signal to its exit, and
          how many state files it left (each must have one);
  app:    the application starts over them (offscreen); the time until it answers a hand-over of a later
          launch (its window is shown before its loop runs), the time until it has listed every stored
          torrent (its transfer log names each), its peak RSS by then, and the time from its termination
          signal (a quit) to its exit;
  idle:   over --idle-torrents stored the same way, the application starts on a private X server
          (Xvfb, with OpenGL in Mesa's software driver, as a user without a graphics driver meets it),
          waits for the list to settle, prints the share of one core it uses over --idle-seconds on the
          start view, then is shown its transfers list (Ctrl+2 through xdotool) and prints the share
          again; then it is handed a search link, opens a web tab over the search (Ctrl+T, the home page
          from a loopback server), and prints the share with the web tab shown and, once the tab is
          closed (Ctrl+W), with the transfers list shown again. It prints how the window was composited
          in each (raster, or OpenGL: a visual of its own) and the OpenGL renderer Qt logged.
The data is removed at exit. Runs by hand only; loopback only.
"""
import argparse
import hashlib
import http.server
import os
import plistlib
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
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
            # OpenGL as the display offers it, nothing turned off; Qt logs the renderer it draws with.
            for name in ('QT_XCB_GL_INTEGRATION', 'QT_QUICK_BACKEND'):
                env.pop(name, None)
            env['QT_LOGGING_RULES'] = 'qt.rhi.general=true'
            # Web pages without Chromium's own traffic (its drawing as by default).
            env['QTWEBENGINE_CHROMIUM_FLAGS'] = ('--disable-background-networking --disable-component-update '
                                                 '--disable-domain-reliability --disable-sync --no-first-run')
        if os.getuid() == 0:
            env['QTWEBENGINE_DISABLE_SANDBOX'] = '1'
        return env


def driver_command(build, layout, torrents, timeout):
    driver = os.path.join(build, 'tests', 'tools', 'ombrelay-engine-driver')
    return [driver, '--data', layout.data, '--download', layout.downloads, '--timeout', str(timeout)] + torrents


def run_driver(build, layout, torrents, timeout):
    """Runs the driver; answers (its output, its peak RSS in MiB)."""
    with open(os.path.join(layout.work, 'driver.out'), 'w+') as out:
        process = subprocess.Popen(driver_command(build, layout, torrents, timeout),
                                   stdout=out, stderr=subprocess.DEVNULL, env=layout.app_environment())
        _, _, usage = os.wait4(process.pid, 0)
        out.seek(0)
        return out.read(), usage.ru_maxrss / 1024


def stop_seconds(process, limit=600):
    """Sends the termination signal (a quit) and answers the seconds until the process has exited."""
    started = time.monotonic()
    process.send_signal(signal.SIGTERM)
    try:
        process.wait(limit)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()
        return float('inf')
    return time.monotonic() - started


def driver_start_and_stop(build, layout, torrents):
    """Starts the driver over the stored folders and stops it once they are loaded; answers (the loaded
    line, peak RSS in MiB, seconds from the signal to the exit)."""
    process = subprocess.Popen(driver_command(build, layout, torrents, 600), stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL, env=layout.app_environment(), text=True)
    loaded = 'not loaded'
    for line in process.stdout:
        if line.startswith('loaded '):
            loaded = line.strip()
            break
    rss = peak_rss_mib(process.pid)
    stopped = stop_seconds(process)
    process.stdout.close()
    return loaded, rss, stopped


def median_text(values, unit, digits=2):
    return '%.*f %s (runs: %s)' % (digits, statistics.median(values), unit,
                                   ', '.join('%.*f' % (digits, v) for v in values))


def loaded_line(output):
    for line in output.splitlines():
        if line.startswith('loaded '):
            return line
    return 'not loaded before its time-out'


def hand_over(socket_path, deadline, arguments=()):
    """Hands a launch (empty by default) to the running application; True once it has read it."""
    message = b''.join(argument.encode() + b'\n' for argument in arguments) + b'\n'
    while time.monotonic() < deadline:
        with socket.socket(socket.AF_UNIX) as s:
            s.settimeout(max(0.1, deadline - time.monotonic()))
            try:
                s.connect(socket_path)
                s.sendall(message)
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
            server = subprocess.Popen(['Xvfb', name, '-noreset', '-screen', '0', '1400x900x24', '-nolisten', 'tcp'],
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            deadline = time.monotonic() + 10
            while time.monotonic() < deadline and not os.path.exists('/tmp/.X11-unix/X%d' % number):
                time.sleep(0.05)
            return server, name
    raise RuntimeError('no free display')


def main_window(display):
    env = dict(os.environ, DISPLAY=display)
    window = subprocess.run(['xdotool', 'search', '--sync', '--onlyvisible', '--name', '^Ombrelay$'], env=env,
                            capture_output=True, text=True, timeout=30).stdout.split()
    if not window:
        raise RuntimeError('no main window')
    return window[0]


def press(display, keys):
    """Types `keys` into the main window, as a user does."""
    env = dict(os.environ, DISPLAY=display)
    window = main_window(display)
    for command in (['windowfocus', '--sync', window], ['key', '--window', window, keys]):
        subprocess.run(['xdotool'] + command, env=env, capture_output=True, timeout=30)


def show_transfers(display):
    """Ctrl+2, as a user shows the transfers list."""
    press(display, 'ctrl+2')


def composition(display):
    """How the main window is composited: 'OpenGL' when Qt gave it a visual of its own, 'raster' when it has
    the screen's."""
    def visual(*arguments):
        out = subprocess.run(['xwininfo'] + list(arguments), env=dict(os.environ, DISPLAY=display),
                             capture_output=True, text=True, timeout=30).stdout
        return [line.split()[-1] for line in out.splitlines() if line.strip().startswith('Visual:')]
    return 'OpenGL' if visual('-id', main_window(display)) != visual('-root') else 'raster'


def wait_for_composition(display, wanted, deadline):
    while time.monotonic() < deadline:
        try:
            if composition(display) == wanted:
                return True
        except RuntimeError:
            pass  # between the native windows Qt makes anew
        time.sleep(0.2)
    return False


class HomePage:
    """A loopback web server that answers every page with a small home page; counts the home pages asked
    for."""

    def __init__(self):
        page = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                if self.path == '/':
                    page.requests += 1
                body = b'<title>Home</title><p>home</p>'
                self.send_response(200)
                self.send_header('Content-Type', 'text/html')
                self.send_header('Content-Length', str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *arguments):
                pass

        self.requests = 0
        self.server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), Handler)
        self.url = 'http://127.0.0.1:%d/' % self.server.server_address[1]
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def close(self):
        self.server.shutdown()
        self.server.server_close()


def set_setting(layout, key, value):
    """Sets a setting in the application's settings file (its General section), `value` as the file has it."""
    path = os.path.join(layout.config, 'Ombrelay.conf')
    with open(path) as f:
        lines = [line for line in f.read().splitlines() if not line.startswith(key + '=')]
    entry = '%s=%s' % (key, value)
    if '[General]' in lines:
        lines.insert(lines.index('[General]') + 1, entry)
    else:
        lines = ['[General]', entry, ''] + lines
    with open(path, 'w') as f:
        f.write('\n'.join(lines) + '\n')


def ini_byte_array(data):
    """`data` as Qt's settings file writes a byte array."""
    named = {'\0': '\\0', '\a': '\\a', '\b': '\\b', '\f': '\\f', '\n': '\\n', '\r': '\\r', '\t': '\\t',
             '\v': '\\v', '"': '\\"', '\\': '\\\\'}
    text, quoted, hex_follows = '', False, False
    for char in '@ByteArray(' + data.decode('latin-1') + ')':
        quoted = quoted or char in ';,='
        if hex_follows and char in '0123456789abcdefABCDEF':
            text += '\\x%x' % ord(char)  # a digit after a hexadecimal escape would join it
            continue
        hex_follows = char == '\0'
        if char in named:
            text += named[char]
        elif ord(char) < 0x20 or ord(char) >= 0x7f:
            text += '\\x%x' % ord(char)
            hex_follows = True
        else:
            text += char
    return '"%s"' % text if quoted or text.startswith(' ') or text.endswith(' ') else text


def renderer(layout):
    """The OpenGL renderer Qt logged, or None."""
    with open(os.path.join(layout.work, 'app.log'), errors='replace') as f:
        for line in f:
            if 'RENDERER:' in line:
                return line.split('RENDERER:', 1)[1].split(' VERSION:')[0].strip()
    return None


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


def copy_layout(layout, work):
    """The stored folders and settings of `layout` under `work`, synced to its disk."""
    copy = Layout(work)
    shutil.rmtree(copy.data)
    shutil.copytree(layout.data, copy.data, symlinks=True)
    shutil.copy(os.path.join(layout.config, 'Ombrelay.conf'), os.path.join(copy.config, 'Ombrelay.conf'))
    os.sync()
    return copy


def stop(process):
    process.terminate()
    try:
        process.wait(20)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


def measure_engine(args, layout, torrents):
    loads, rsss, stops = [], [], []
    for _ in range(args.repeat):
        loaded, rss, stopped = driver_start_and_stop(args.build, layout, torrents[:1])
        print('  engine run: %s, peak RSS %.0f MiB, stopped %.2f s after its signal' % (loaded, rss, stopped))
        parts = loaded.split()
        loads.append(float(parts[3]) / 1000 if len(parts) > 3 else float('inf'))
        rsss.append(rss)
        stops.append(stopped)
    print('engine: %d stored loaded in %s, peak RSS %s, stops in %s' % (
        args.torrents, median_text(loads, 's'), median_text(rsss, 'MiB', 0), median_text(stops, 's')))


def wait_for_output(path, prefix, process):
    """The first line of the file at `path` starting with `prefix`, once written; None if the process ended."""
    while process.poll() is None:
        with open(path, errors='replace') as f:
            for line in f:
                if line.startswith(prefix) and line.endswith('\n'):
                    return line
        time.sleep(0.05)
    return None


def measure_first_quit(args, disk, torrents):
    adds, stops, kept = [], [], []
    for run in range(args.repeat):
        layout = Layout(os.path.join(disk, 'first-%d' % run))
        output = os.path.join(layout.work, 'driver.out')
        with open(output, 'w') as out:
            process = subprocess.Popen(driver_command(args.build, layout, torrents, 3600), stdout=out,
                                       stderr=subprocess.DEVNULL, env=layout.app_environment())
        loaded = wait_for_output(output, 'loaded ', process)
        added = wait_for_output(output, 'added ', process)
        seconds = (float(added.split()[3]) - float(loaded.split()[3])) / 1000 if loaded and added else float('inf')
        stopped = stop_seconds(process)
        folders = os.path.join(layout.data, 'Torrents')
        states = sum(1 for name in os.listdir(folders)
                     if os.path.exists(os.path.join(folders, name, 'state.plist'))) if os.path.isdir(folders) else 0
        print('  first quit run: added %d in %.2f s, stopped %.2f s after its signal, %d state files'
              % (len(torrents), seconds, stopped, states), flush=True)
        adds.append(seconds)
        stops.append(stopped)
        kept.append(states)
        shutil.rmtree(layout.work, ignore_errors=True)
    print('first quit: %d added in %s, stops in %s, state files left: %s' % (
        len(torrents), median_text(adds, 's'), median_text(stops, 's'), ', '.join(str(k) for k in kept)))


def measure_app(args, layout):
    socket_path = os.path.join(layout.tmp, 'ombrelay-%d' % os.getuid())
    handed, listed, rsss, quits = [], [], [], []
    for _ in range(args.repeat):
        started = time.monotonic()
        app = start_app(args.build, layout, [])
        try:
            answered = hand_over(socket_path, started + 60)
            handed.append(time.monotonic() - started if answered else float('inf'))
            every = wait_for_listing(layout, args.torrents, started + 120)
            listed.append(time.monotonic() - started if every else float('inf'))
            rsss.append(peak_rss_mib(app.pid))
            quits.append(stop_seconds(app))
        finally:
            if app.poll() is None:
                stop(app)
    print('app: %d stored: hand-over answered after %s, every torrent listed after %s, peak RSS %s, '
          'quits in %s' % (args.torrents, median_text(handed, 's'), median_text(listed, 's'),
                           median_text(rsss, 'MiB', 0), median_text(quits, 's')))


def idle_share(pid, seconds):
    before = cpu_seconds(pid)
    time.sleep(seconds)
    return 100 * (cpu_seconds(pid) - before) / seconds


def open_web_tab(socket_path, display, home):
    """Hands the running application a search link and opens a web tab over the search (Ctrl+T); answers
    once the tab has asked for the home page and the window has had the time to composite it."""
    pages = home.requests
    hand_over(socket_path, time.monotonic() + 60, ['ombrelaysearch:bench'])
    time.sleep(2)  # the search's pane shows
    press(display, 'ctrl+t')
    deadline = time.monotonic() + 60
    while home.requests == pages:
        if time.monotonic() > deadline:
            raise RuntimeError('no web tab loaded the home page')
        time.sleep(0.1)
    wait_for_composition(display, 'OpenGL', time.monotonic() + 15)


def measure_idle(args, layout):
    socket_path = os.path.join(layout.tmp, 'ombrelay-%d' % os.getuid())
    after = 'transfers list shown after the web tab closed'
    shares = {name: [] for name in ('start view', 'transfers list shown', 'a web tab shown', after)}
    composed = {}
    home = HomePage()
    set_setting(layout, 'kDefaultSite', home.url)
    # The search asks the loopback site alone, for a list (no web tab of its own).
    sites = [{'name': 'Loopback', 'url': home.url + 's?q=%@', 'isEnabled': '1', 'type': '0'}]
    set_setting(layout, 'kSearchSites', ini_byte_array(plistlib.dumps(sites, fmt=plistlib.FMT_BINARY)))
    set_setting(layout, 'kEnabledSystemModules', '@Invalid()')
    server, display = start_display()
    try:
        for _ in range(args.repeat):
            app = start_app(args.build, layout, [], display)
            try:
                hand_over(socket_path, time.monotonic() + 60)
                wait_for_listing(layout, args.idle_torrents, time.monotonic() + 60)
                time.sleep(5)  # the three running ones have announced
                composed['start view'] = composition(display)
                shares['start view'].append(idle_share(app.pid, args.idle_seconds))
                show_transfers(display)
                time.sleep(5)
                composed['transfers list'] = composition(display)
                shares['transfers list shown'].append(idle_share(app.pid, args.idle_seconds))

                open_web_tab(socket_path, display, home)
                time.sleep(5)
                composed['web tab'] = composition(display)
                shares['a web tab shown'].append(idle_share(app.pid, args.idle_seconds))
                press(display, 'ctrl+w')  # the web tab closes
                wait_for_composition(display, 'raster', time.monotonic() + 15)
                show_transfers(display)
                time.sleep(5)
                composed['after it'] = composition(display)
                shares[after].append(idle_share(app.pid, args.idle_seconds))
            finally:
                stop(app)
    finally:
        stop(server)
        home.close()
    print('idle: %d stored, share of a core over %d s: %s' % (
        args.idle_torrents, args.idle_seconds,
        ', '.join('%s %s' % (name, median_text(values, '%', 1)) for name, values in shares.items())))
    print('idle: the window composited %s; OpenGL renderer: %s' % (
        ', '.join('%s %s' % (name, how) for name, how in composed.items()),
        renderer(layout) or 'none logged'))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument('--torrents', type=int, default=10000)
    parser.add_argument('--build', default=os.path.join(ROOT, 'build-rel'))
    parser.add_argument('--work', default='/dev/shm')
    parser.add_argument('--disk', default='/var/tmp')
    parser.add_argument('--idle-torrents', type=int, default=1000)
    parser.add_argument('--idle-seconds', type=int, default=30)
    parser.add_argument('--repeat', type=int, default=3)
    parser.add_argument('--skip-app', action='store_true')
    parser.add_argument('--skip-first-quit', action='store_true')
    parser.add_argument('--skip-idle', action='store_true')
    args = parser.parse_args()

    work = tempfile.mkdtemp(prefix='ombrelay-many-', dir=args.work)
    disk = tempfile.mkdtemp(prefix='ombrelay-many-', dir=args.disk)
    try:
        stored, torrents = store_torrents(args.build, os.path.join(work, 'many'), args.torrents)
        layout = copy_layout(stored, os.path.join(disk, 'many'))
        measure_engine(args, layout, torrents)
        if not args.skip_first_quit:
            measure_first_quit(args, disk, torrents)
        if not args.skip_app:
            measure_app(args, layout)
        if not args.skip_idle:
            layout, _ = store_torrents(args.build, os.path.join(work, 'idle'), args.idle_torrents)
            measure_idle(args, layout)
        return 0
    finally:
        shutil.rmtree(work, ignore_errors=True)
        shutil.rmtree(disk, ignore_errors=True)


if __name__ == '__main__':
    sys.exit(main())
