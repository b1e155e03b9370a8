#!/usr/bin/env python3
# SPDX-License-Identifier: LGPL-2.1-or-later
"""The README's norvo and norvo-sim commands, run as written.

Every command line of a README code block whose program is norvo or
norvo-sim runs against a norvo-sim that this test starts (on loopback TCP
and on a pty), with the README's example addresses, ports and devices
replaced by the test's own, and must exit as the README says: 0, or the
`exit N` of its comment. A "quoted" text in the comment must be in what it
printed (PORT and N stand for numbers). Commands that run until stopped
(norvo-sim, poll and watch without --times, a trailing &) are stopped with
SIGINT once they have printed, and must then exit 0 too.

    tst_readme_commands.py README.md NORVO_SIM NORVO

No command reaches any address but loopback: every address is replaced, a
command that would still name another one fails the test unrun, and where
the machine allows it the whole test runs in a network namespace of its own
that has nothing but loopback.
"""

import ctypes
import os
import re
import shlex
import shutil
import signal
import subprocess
import sys
import tempfile
import time

# What cannot run here, by the start of the command line as the README
# writes it; an entry that matches no README line fails the test.
SKIPPED = {
    'norvo-sim [--tcp': 'the synopsis, not a command',
    'norvo [options]': 'the synopsis, not a command',
    'build-armhf/qemu-arm-run': 'runs the armhf cross build (scripts/arm-test.sh tests it)',
}

# The address guard on its own: README arguments, and what runs in their
# place (TCP and PTY: the test's simulators), or None: refused unrun.
GUARD_CASES = [
    (['192.168.1.5:500', 'info'], ['TCP', 'info']),
    (['127.0.0.1:PORT', 'read', 'D100:int16:2'], ['TCP', 'read', 'D100:int16:2']),
    (['--tcp', '192.168.1.5:5000', '--http', '0.0.0.0:8080'],
     ['--tcp', '127.0.0.1:0', '--http', '127.0.0.1:0']),
    (['/dev/pts/3,9600,8,1,N', 'scan'], ['PTY,9600,8,1,N', 'scan']),
    (['--serial', '/dev/ttyS1,9600,8,1,N'], None),
    (['/dev/ttyUSB0,9600,8,1,N', 'info'], None),
    (['plc.example:500', 'info'], None),
    (['[fe80::1]:500', 'info'], None),
    (['--plugin', '/opt/x/lib.so', '10.0.0.1', 'info'], None),
]

PROGRAMS = ('norvo', 'norvo-sim')
ONE_SHOT_SECONDS = 120   # a scan of silent stations takes a while
START_SECONDS = 30       # until a long-running command has printed
STOP_SECONDS = 30        # from SIGINT to its exit


def enter_network_namespace():
    """Runs this test again in a network namespace with only loopback, up."""
    if os.environ.get('NORVO_README_NETNS'):
        return
    unshare = ['unshare', '--net', '--map-root-user']
    if not (shutil.which('unshare') and shutil.which('ip')) or \
            subprocess.run(unshare + ['true'], stderr=subprocess.DEVNULL).returncode != 0:
        print('note: no network namespace here; the address check alone keeps the commands on loopback')
        return
    os.environ['NORVO_README_NETNS'] = '1'
    os.execvp('unshare', unshare + ['sh', '-c', 'ip link set lo up && exec "$0" "$@"',
                                    sys.executable, os.path.abspath(__file__)] + sys.argv[1:])


def ends_with_test():
    """In a child: it gets SIGTERM when this test ends, however it ends."""
    ctypes.CDLL(None).prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


def readme_commands(path):
    """(line number, command line) of each code block line naming norvo or norvo-sim."""
    found = []
    in_fence = in_indented = False
    previous_blank = True
    pending = None
    with open(path, encoding='utf-8') as readme:
        for number, line in enumerate(readme, 1):
            line = line.rstrip('\n')
            if re.match(r'\s*(```|~~~)', line):
                in_fence = not in_fence
                continue
            blank = not line.strip()
            indented = line.startswith('    ')
            in_indented = indented and (in_indented or previous_blank) or (blank and in_indented)
            previous_blank = blank
            if not (in_fence or in_indented) or blank:
                continue
            if pending:
                pending = (pending[0], pending[1] + ' ' + line.strip())
            else:
                pending = (number, line.strip())
            if pending[1].endswith('\\'):
                pending = (pending[0], pending[1][:-1].rstrip())
                continue
            code = pending[1].split(' #')[0]
            if re.search(r'(^|[\s/])norvo(-sim)?(\s|$)', code):
                found.append(pending)
            pending = None
    return found


class Sims:
    """The test's own simulators: one on loopback TCP, one on a pty."""

    def __init__(self, binary, folder):
        self.processes = []
        self.tcp = self.start(binary, folder, ['--tcp', '127.0.0.1:0'], 'tcp ')
        self.pty = self.start(binary, folder, ['--pty'], 'pty ')

    def start(self, binary, folder, arguments, prefix):
        out = open(os.path.join(folder, 'sim-%d.out' % len(self.processes)), 'w+')
        process = subprocess.Popen([binary] + arguments, stdout=out, stderr=subprocess.DEVNULL,
                                   preexec_fn=ends_with_test)
        self.processes.append(process)
        first = wait_for_lines(process, out.name, 1)
        if not first or not first[0].startswith(prefix):
            self.stop()
            raise SystemExit('norvo-sim %s did not start' % ' '.join(arguments))
        return first[0][len(prefix):]

    def stop(self):
        for process in self.processes:
            stop(process)


def stop(process):
    """Stops the process if it still runs: SIGINT, as Ctrl-C does (a killed norvo
    leaves its serial port's lock file behind), and SIGKILL if that fails."""
    if process.poll() is not None:
        return
    process.send_signal(signal.SIGINT)
    try:
        process.wait(STOP_SECONDS)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


def wait_for_lines(process, path, count):
    """The first lines of the file, once it has `count` of them (or the process ended)."""
    deadline = time.monotonic() + START_SECONDS
    while True:
        with open(path, errors='replace') as f:
            lines = f.read().splitlines()
        if len(lines) >= count or process.poll() is not None or time.monotonic() > deadline:
            return lines
        time.sleep(0.1)


def substitute(arguments, sims):
    """The arguments with the README's addresses and devices made the test's own."""
    result = []
    for index, argument in enumerate(arguments):
        before = arguments[index - 1] if index else ''
        if before in ('--tcp', '--http'):
            argument = '127.0.0.1:0'
        elif re.fullmatch(r'\d+\.\d+\.\d+\.\d+:(\d+|PORT)', argument):
            argument = sims.tcp
        else:
            argument = re.sub(r'^/dev/pts/\d+(?=,|$)', sims.pty, argument)
        result.append(argument)
    return result


def unsafe(arguments, sims):
    """Why the arguments could reach beyond the test's own loopback, or None."""
    for argument in arguments:
        for address in re.findall(r'\d+\.\d+\.\d+\.\d+', argument):
            if address != '127.0.0.1':
                return 'names the address %s' % address
        host = re.fullmatch(r'(\[[0-9a-fA-F:]+\]|[A-Za-z0-9.-]+):\d+', argument)
        if host and host.group(1) not in ('127.0.0.1', 'localhost', '[::1]'):
            return 'names the host %s' % host.group(1)
        device = re.search(r'/dev/[^,\s]+', argument)
        if device and device.group(0) != sims.pty:
            return 'names the device %s' % device.group(0)
    return None


def guard_faults():
    """The GUARD_CASES that the guard does not handle as they say."""
    sims = type('Sims', (), {'tcp': 'TCP', 'pty': 'PTY'})
    faults = []
    for arguments, expected in GUARD_CASES:
        replaced = substitute(arguments, sims)
        got = None if unsafe(replaced, sims) else replaced
        if got != expected:
            faults.append('%s gave %s, not %s' % (arguments, got, expected))
    return faults


def expectations(comment):
    """The exit status and the texts a README comment promises."""
    status = re.search(r'\bexit (\d+)', comment)
    texts = []
    for quoted in re.findall(r'"([^"]+)"', comment):
        pattern = re.escape(quoted).replace('PORT', r'\d+').replace('/dev/pts/N', '/dev/pts/\\d+')
        texts.append((quoted, pattern))
    return int(status.group(1)) if status else 0, texts


def run(line, binaries, sims, folder):
    """Runs one README command line; returns None when it did as the README says, else why not."""
    code, _, comment = line.partition(' #')
    arguments = shlex.split(code)
    background = arguments[-1:] == ['&']
    if background:
        arguments.pop()
    output = os.path.join(folder, 'stdout')
    if len(arguments) > 2 and arguments[-2] == '>':
        output = os.path.join(folder, arguments.pop())
        arguments.pop()
    if set(arguments) & {'|', '&', '&&', ';', '<', '>', '2>'}:
        return 'a shell construct this test does not run: add the line to SKIPPED'
    program = os.path.basename(arguments[0])
    if program not in PROGRAMS:
        return 'its program is %s: add the line to SKIPPED' % arguments[0]
    arguments = substitute(arguments[1:], sims)
    why = unsafe(arguments, sims)
    if why:
        return why + ', not this test\'s own: substitute it or add the line to SKIPPED'
    status, texts = expectations(comment)
    until_stopped = background or program == 'norvo-sim' or (
        {'poll', 'watch'} & set(arguments) and '--times' not in arguments)

    print('   $ %s %s' % (program, ' '.join(shlex.quote(a) for a in arguments)), flush=True)
    with open(output, 'w') as out, open(os.path.join(folder, 'stderr'), 'w+') as err:
        process = subprocess.Popen([binaries[program]] + arguments, stdout=out, stderr=err,
                                   stdin=subprocess.DEVNULL, cwd=folder, preexec_fn=ends_with_test)
        try:
            if until_stopped:
                # The simulator has started once it says where; norvo's first
                # rows have come after its first line.
                needed = 1 if program == 'norvo-sim' else 2
                lines = wait_for_lines(process, output, needed)
                if process.poll() is not None:
                    return 'ended by itself (exit %d) before it was stopped' % process.returncode
                if len(lines) < needed:
                    return 'had printed too little after %d s' % START_SECONDS
                process.send_signal(signal.SIGINT)
                process.wait(STOP_SECONDS)
            else:
                process.wait(ONE_SHOT_SECONDS)
        except subprocess.TimeoutExpired:
            return 'did not end in time'
        finally:
            stop(process)
        err.seek(0)
        errors = err.read()
    with open(output, errors='replace') as f:
        printed = f.read()
    shown = (printed + errors).strip()
    print('\n'.join('     ' + row for row in shown.splitlines()[:8]))
    if process.returncode != status:
        return 'exit %d, the README says %d' % (process.returncode, status)
    for quoted, pattern in texts:
        if not re.search(pattern, printed + errors):
            return 'did not print "%s", as the README says it does' % quoted
    return None


def main():
    if len(sys.argv) != 4:
        raise SystemExit('usage: tst_readme_commands.py README.md NORVO_SIM NORVO')
    enter_network_namespace()
    if os.environ.get('NORVO_README_NETNS'):
        print('in a network namespace of its own: loopback is all there is')
    readme, sim, norvo = (os.path.abspath(a) for a in sys.argv[1:])
    binaries = {'norvo-sim': sim, 'norvo': norvo}
    # A guard that lets an example address through runs nothing.
    faults = guard_faults()
    for fault in faults:
        print('FAILED: the address guard: %s' % fault)
    if faults:
        print('0 passed, %d failed' % len(faults))
        return 1
    commands = readme_commands(readme)
    passed = failed = skipped = 0
    unused = set(SKIPPED)
    with tempfile.TemporaryDirectory() as folder:
        sims = Sims(sim, folder)
        try:
            for number, line in commands:
                print('%s:%d: %s' % (os.path.basename(readme), number, line), flush=True)
                skip = [start for start in SKIPPED if line.startswith(start)]
                if skip:
                    unused.discard(skip[0])
                    print('   skipped: %s' % SKIPPED[skip[0]])
                    skipped += 1
                    continue
                why = run(line, binaries, sims, folder)
                if why:
                    print('   FAILED: %s' % why)
                    failed += 1
                else:
                    passed += 1
        finally:
            sims.stop()
    for start in sorted(unused):
        print('FAILED: SKIPPED names "%s", which no README command starts with' % start)
        failed += 1
    if passed + failed == 0:
        print('FAILED: no norvo or norvo-sim command found in %s' % readme)
        failed += 1
    print('%d passed, %d failed, %d skipped' % (passed, failed, skipped))
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
