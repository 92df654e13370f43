#!/usr/bin/env python3
"""The station's window against zenda station, on the same paced simulators (9600 bit/s) as
fixtures: devices an hour of each over the same batch (goal: the window within 1% of the
terminal), the window's processor time while 8 empty fixtures wait (goal: under 1% of a core),
and the time from a device's verification to its label (goal: under 50 ms).
usage: bench/station_window.py [FIXTURES] [DEVICES_EACH]   (from the source tree, after a build)
"""
import os, re, shutil, statistics, subprocess, sys, tempfile, time

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
build = os.path.join(root, 'build')
fixtures = int(sys.argv[1]) if len(sys.argv) > 1 else 4
each = int(sys.argv[2]) if len(sys.argv) > 2 else 8
off, on = 300, 1500
work = tempfile.mkdtemp(prefix='zenda-bench-station-')
env = dict(os.environ, XDG_DATA_HOME=work + '/data', XDG_CONFIG_HOME=work + '/config', QT_QPA_PLATFORM='offscreen')


class App:
    """The window's test build, driven through its automation hook (clicks and keys)."""
    def __init__(self):
        self.p = subprocess.Popen([build + '/stationui/zenda-station-test', '--automation'], stdin=subprocess.PIPE,
                                  stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=env, text=True, bufsize=1)
        self.read()

    def read(self):
        while True:
            line = self.p.stdout.readline()
            if not line or line.startswith('@ '):
                return line[2:].rstrip('\n')

    def cmd(self, c):
        self.p.stdin.write(c + '\n')
        self.p.stdin.flush()
        return self.read()

    def type(self, field, text, erase=0):
        self.cmd('click ' + field)
        self.cmd('key %s End' % field)
        for _ in range(erase):
            self.cmd('key %s Backspace' % field)
        self.cmd('keys ' + text)

    def setup(self, first, count, ports, labels=None):
        self.type('First', str(first), 6)
        self.type('Count', str(count), 6)
        for p in ports:
            self.type('AddPort', p)
            self.cmd('key AddPort Return')
        if labels:
            self.cmd('click Labels')
            self.type('LabelTarget', labels)

    def quit(self):
        self.cmd('quit')
        self.p.wait(10)


def start_fixtures(n, swap=None):
    swap = swap or (off, on)
    sims = []
    for i in range(n):
        link = '%s/f%d' % (work, i)
        sims.append(subprocess.Popen([build + '/sim/zenda-sim', '--baud', '9600', '--link', link, '--quiet', '--fixture',
                                      '%d:%d' % swap, '--serials', ','.join(['0'] * 200)],
                                     stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
    for i in range(n):
        while not os.path.exists('%s/f%d' % (work, i)):
            time.sleep(0.02)
    return sims, ['%s/f%d' % (work, i) for i in range(n)]


def stop_fixtures(sims):
    for s in sims:
        s.kill()
        s.wait()
    for i in range(16):
        try:
            os.remove('%s/f%d' % (work, i))
        except FileNotFoundError:
            pass


try:
    count = fixtures * each
    # ---- the terminal: its own summary's figure, and the wall time from start to end
    sims, ports = start_fixtures(fixtures)
    args = [build + '/cli/zenda', 'station', '--serial-from', '1000', '--count', str(count)]
    for p in ports:
        args += ['--port', p]
    t = time.monotonic()
    out = subprocess.run(args, env=env, capture_output=True, text=True).stdout
    terminal = time.monotonic() - t
    stop_fixtures(sims)
    said = re.search(r'(\d+) an hour', out)
    # ---- the window: from the click on "Начать" to the plan used up
    sims, ports = start_fixtures(fixtures)
    app = App()
    app.setup(20000, count, ports, labels=work + '/labels.pdf')
    t = time.monotonic()
    app.cmd('click Start')
    while app.cmd('enabled NewBatch') != '1':
        time.sleep(0.05)
    window = time.monotonic() - t
    events = [app.cmd('celltext Events %d 0' % i) for i in range(400)]
    app.quit()
    stop_fixtures(sims)
    # Each fixture's first device holds 12345 and is left as it is: the devices an hour count the others.
    done = count
    print('station, %d fixtures x %d devices (%d:%d ms swaps, 9600 bit/s):' % (fixtures, each, off, on))
    print('  zenda station:  %6.1f s  %6.0f devices an hour (its summary: %s)' % (terminal, done * 3600 / terminal,
                                                                                said.group(1) if said else '?'))
    print('  zenda-station:  %6.1f s  %6.0f devices an hour' % (window, done * 3600 / window))
    print('  the window against the terminal: %+.2f%% devices an hour' % ((terminal / window - 1) * 100))
    ms = [int(m.group(1)) for e in events for m in [re.search(r'этикетка: .*\((\d+) мс\)', e)] if m]
    if ms:
        print('  label after the verification: %d labels, median %d ms, longest %d ms' % (
            len(ms), statistics.median(ms), max(ms)))

    # ---- 8 empty fixtures (the first device is taken off once read, the next comes after 10
    # minutes): the window's processor time while it waits
    sims, ports = start_fixtures(8, (0, 600000))
    shutil.rmtree(work + '/data', ignore_errors=True)
    app = App()
    app.setup(30000, 100, ports)
    app.cmd('click Start')
    time.sleep(4)
    def cpu():
        with open('/proc/%d/stat' % app.p.pid) as f:
            fields = f.read().rsplit(')', 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf('SC_CLK_TCK')
    c0, t0 = cpu(), time.monotonic()
    time.sleep(30)
    c1, t1 = cpu(), time.monotonic()
    print('  8 empty fixtures waiting, 30 s: the window used %.2f%% of a core' % ((c1 - c0) / (t1 - t0) * 100))
    app.cmd('click Stop')
    while app.cmd('enabled NewBatch') != '1':
        time.sleep(0.1)
    app.quit()
    stop_fixtures(sims)
finally:
    shutil.rmtree(work, ignore_errors=True)
