#!/usr/bin/python3
# SPDX-License-Identifier: LGPL-2.1-or-later
"""The Wireshark dissector (tools/wireshark/norvo.lua) through tshark.

    tst_dissector.py malformed DISSECTOR WORKDIR
    tst_dissector.py tcp       DISSECTOR WORKDIR
    tst_dissector.py pty       DISSECTOR WORKDIR NORVO_SIM NORVO [EMULATOR]
    tst_dissector.py live      DISSECTOR WORKDIR NORVO_SIM NORVO [EMULATOR]
    tst_dissector.py prefix    DISSECTOR_DIR WORKDIR CMAKE BUILD

malformed: broken frames and records decode without a Lua error.
tcp:       frames cut by TCP (several in a segment, one across segments),
           found by the heuristic, the port preference and Decode As.
pty:       a norvo session on a pty with faults, recorded by norvo --pcap
           and norvo-sim --pcap, decodes as it was sent.
live:      the same session over loopback TCP, recorded by dumpcap -i lo
           (root only; skipped where capturing is not allowed).
prefix:    `cmake --install` of BUILD into a scratch prefix, where the
           dissector (DISSECTOR_DIR, relative to the prefix) is out of
           Wireshark's sight: the install says so, and each of the two ways
           it gives to load it decodes a capture with its columns filled.

Exit status 77: skipped (no tshark, no capturing allowed, or for prefix a
dissector installed in Wireshark's own folder, which a second copy clashes
with).
"""

import os
import signal
import struct
import subprocess
import sys
import time
import xml.etree.ElementTree as ElementTree

SKIP = 77
TSHARK = "/usr/bin/tshark"
DUMPCAP = "/usr/bin/dumpcap"


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


# --- capture files ----------------------------------------------------------

def pcap_file(path, link_type, records):
    """records: (time in s, bytes)."""
    with open(path, "wb") as out:
        out.write(struct.pack("<IHHiIII", 0xA1B2C3D4, 2, 4, 0, 0, 65535, link_type))
        for stamp, data in records:
            out.write(struct.pack("<IIII", int(stamp), int(round((stamp % 1) * 1e6)),
                                  len(data), len(data)))
            out.write(data)


def frame(text):
    """A frame around `text` (station, command, body): start, checksum, end."""
    body = b"\x02" + text
    return body + b"%02X" % (sum(body) % 256) + b"\x03"


def record(from_plc, data, connection=0):
    """A record of norvo --pcap: who sent it, link (serial), connection."""
    return bytes([1 if from_plc else 0, 2, connection >> 8, connection & 0xFF]) + data


def checksum16(data):
    if len(data) % 2:
        data += b"\0"
    total = sum(struct.unpack("!%dH" % (len(data) // 2), data))
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return ~total & 0xFFFF


class TcpFlow:
    """Ethernet + IPv4 + TCP segments of one connection, both ways."""

    def __init__(self, host_port, plc_port):
        self.ports = {False: (host_port, plc_port), True: (plc_port, host_port)}
        self.seq = {False: 1000, True: 5000}

    def segment(self, from_plc, payload):
        src, dst = self.ports[from_plc]
        tcp = struct.pack("!HHIIBBHHH", src, dst, self.seq[from_plc], self.seq[not from_plc],
                          5 << 4, 0x18, 65535, 0, 0) + payload
        self.seq[from_plc] += len(payload)
        ip = struct.pack("!BBHHHBBH4s4s", 0x45, 0, 20 + len(tcp), 0, 0x4000, 64, 6, 0,
                         bytes([127, 0, 0, 1]), bytes([127, 0, 0, 1]))
        ip = ip[:10] + struct.pack("!H", checksum16(ip)) + ip[12:]
        return b"\0" * 12 + b"\x08\x00" + ip + tcp


# --- tshark -------------------------------------------------------------------

def tshark(dissector, capture, *options):
    """Runs tshark on the capture; returns (exit status, PDML, stderr)."""
    run = subprocess.run([TSHARK, "-X", "lua_script:" + dissector, "-r", capture, "-T", "pdml",
                          *options], capture_output=True, text=True, timeout=120)
    # tshark warns when it runs as root; that line says nothing of the capture.
    errors = "\n".join(line for line in run.stderr.splitlines()
                       if line.strip() and "This could be dangerous" not in line)
    return run.returncode, run.stdout, errors


def frames_of(pdml):
    """Every norvo frame in the capture, in order: {field: [shows]}, with the
    packet number and the error code's meaning as it is shown."""
    found = []
    for packet in ElementTree.fromstring(pdml).iter("packet"):
        number = None
        for proto in packet.iter("proto"):
            if proto.get("name") == "geninfo":
                for field in proto.iter("field"):
                    if field.get("name") == "num":
                        number = int(field.get("show"))
            if proto.get("name") != "norvo":
                continue
            fields = {"packet": [number]}
            for field in proto.iter("field"):
                name = field.get("name")
                if name and name.startswith("norvo."):
                    fields.setdefault(name[len("norvo."):], []).append(field.get("show"))
                if name == "norvo.error":
                    fields["meaning"] = [field.get("showname")]
            found.append(fields)
    return found


def decoded(dissector, capture, *options):
    status, pdml, errors = tshark(dissector, capture, *options)
    if status != 0 or errors or "Lua Error" in pdml:
        fail("tshark on %s: status %d, stderr %r, Lua error: %s"
             % (capture, status, errors, "Lua Error" in pdml))
    return frames_of(pdml)


def one(fields, name):
    values = fields.get(name, [])
    return values[0] if values else None


def requests_and_answers(frames):
    requests = [f for f in frames if one(f, "direction") == "0" and "station" in f]
    answers = [f for f in frames if one(f, "direction") == "1" and "station" in f]
    return requests, answers


# --- malformed input ------------------------------------------------------------

def test_malformed(dissector, work):
    broken = [
        b"\x02", b"\x03", b"\x02\x03", b"xx\x02014", b"\x02014\x02" + frame(b"014602D00100")[1:],
        b"\x020146\x03", b"\x02ZZ46ZZ\x03", b"\x02014Z02D00100AA\x03", b"\x02" + b"1" * 1200,
        frame(b"01460")[:5] + b"G0" + b"\x03", frame(b"01440XYZ"), frame(b"01460123"),
        frame(b"01460ZZZZ"), frame(b"014602D0ABCD"), frame(b"014702D00100123"),
        frame(b"014405Q0017"), frame(b"0199"), frame(b"01"), b"\x00\xff" * 40,
    ]
    records = []
    stamp = 100.0
    for index, data in enumerate(broken):
        stamp += 0.01
        records.append((stamp, record(index % 2 == 1, data)))
    records.append((stamp + 0.01, b"\x01"))            # shorter than its header
    records.append((stamp + 0.02, record(True, b"")))  # a header alone
    capture = os.path.join(work, "malformed.pcap")
    pcap_file(capture, 147, records)

    flow = TcpFlow(40001, 40002)
    segments = [flow.segment(i % 2 == 1, data) for i, data in enumerate(broken)]
    # A frame left unfinished where the capture ends.
    segments.append(flow.segment(True, b"\x02014601"))
    tcp_capture = os.path.join(work, "malformed-tcp.pcap")
    pcap_file(tcp_capture, 1, [(200 + i * 0.01, s) for i, s in enumerate(segments)])

    for path in (capture, tcp_capture):
        frames = decoded(dissector, path, "-d", "tcp.port==40002,norvo")
        if not frames:
            fail("nothing decoded in " + path)
    status, pdml, _ = tshark(dissector, capture)
    if "norvo.malformed" not in pdml or "norvo.noise_bytes" not in pdml:
        fail("broken frames are not flagged")


# --- TCP reassembly and how the dissector is found ---------------------------

def test_tcp(dissector, work):
    flow = TcpFlow(40100, 40101)
    answer1 = frame(b"014601234FFFB")
    segments = [
        flow.segment(False, frame(b"014602D00100")),
        flow.segment(True, answer1[:7]),                      # one frame across segments
        flow.segment(True, answer1[7:]),
        flow.segment(False, frame(b"014403X0017") + frame(b"014601R00007")),  # two in one
        flow.segment(True, frame(b"01440101") + frame(b"01460BEEF")),
        flow.segment(True, frame(b"01460BEEF")),                # a copy: nothing waits for it
    ]
    capture = os.path.join(work, "tcp.pcap")
    pcap_file(capture, 1, [(300 + i * 0.01, s) for i, s in enumerate(segments)])
    expected = [
        ("0", "0x46", "D100", "2", None, None),
        ("1", "0x46", "D100", "2", ["0x1234", "0xfffb"], None),
        ("0", "0x44", "X17", "3", None, None),
        ("0", "0x46", "R7", "1", None, None),
        ("1", "0x44", "X17", "3", None, ["1", "0", "1"]),
        ("1", "0x46", "R7", "1", ["0xbeef"], None),
        ("1", "0x46", None, None, ["0xbeef"], None),
    ]
    # Each way alone: the heuristic off for the other two.
    ways = {"heuristic": (),
            "port preference": ("--disable-heuristic", "norvo_tcp", "-o", "norvo.tcp_port:40101"),
            "Decode As": ("--disable-heuristic", "norvo_tcp", "-d", "tcp.port==40101,norvo")}
    for way, options in ways.items():
        frames = decoded(dissector, capture, *options)
        got = [(one(f, "direction"), one(f, "command"), one(f, "label"), one(f, "count"),
                f.get("register"), f.get("bit")) for f in frames]
        if got != expected:
            fail("TCP by %s: %s" % (way, got))
        if [one(f, "checksum_ok") for f in frames] != ["1"] * 7:
            fail("TCP by %s: checksums %s" % (way, [one(f, "checksum_ok") for f in frames]))
        if [one(f, "unowed") for f in frames] != [None] * 6 + ["1"]:
            fail("TCP by %s: unowed %s" % (way, [one(f, "unowed") for f in frames]))
        if frames[1]["packet"] != [3] or frames[4]["packet"] != [5]:
            fail("TCP by %s: frames not where they end: %s" % (way, [f["packet"] for f in frames]))


# --- a session with faults ---------------------------------------------------------

MEMORY = "D100 = 0x1234\nD101 = -5\nX17 = 1\nX18 = 0\nX19 = 1\n"
# Requests as the sim counts them, the host's opening read first: every 2nd
# answer split, the 4th 500 ms late (the host gives up after about 0.36 s),
# the 5th with a wrong checksum, the 6th refused with error 6 (busy).
FAULTS = ["--split-every", "2", "--delay", "500", "--delay-every", "4",
          "--bad-checksum-every", "5", "--error-every", "6", "--error-code", "6"]
POLL = ["--interval", "0", "--times", "3", "poll", "D100:int16:2", "X17:bool:3"]


def start_sim(sim, emulator, work, link, extra):
    memory = os.path.join(work, "memory.txt")
    with open(memory, "w") as out:
        out.write(MEMORY)
    process = subprocess.Popen(emulator + [sim, *link, "--load", memory, *FAULTS, *extra],
                               stdout=subprocess.PIPE, text=True)
    line = process.stdout.readline().split()
    if len(line) != 2:
        process.kill()
        fail("norvo-sim did not start")
    return process, line[1]


def stop(process):
    process.send_signal(signal.SIGTERM)
    try:
        process.wait(timeout=10)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


def check_session(frames, where, answers_expected):
    requests, answers = requests_and_answers(frames)
    # The host opens its link with a synchronising read of 13 bits from X0
    # (it counts for the faults above); the session proper follows it.
    opening = [f for f in requests if one(f, "label") == "X0" and one(f, "count") == "13"]
    if len(opening) != 1 or requests[0] is not opening[0]:
        fail("%s: no opening read first: %s" % (where, requests[:1]))
    requests = requests[1:]
    answers = [f for f in answers if one(f, "label") != "X0"]
    want = [("1", "0x46", "D100", "2"), ("1", "0x44", "X17", "3")] * 3
    got = [(one(f, "station"), one(f, "command"), one(f, "label"), one(f, "count")) for f in requests]
    if got != want:
        fail("%s: requests %s" % (where, got))
    if len(answers) != answers_expected:
        fail("%s: %d answers, not %d" % (where, len(answers), answers_expected))
    registers = ["0x1234", "0xfffb"]
    bits = ["1", "0", "1"]
    for index, answer in enumerate(answers):
        label = "D100" if index % 2 == 0 else "X17"
        if (one(answer, "station"), one(answer, "label")) != ("1", label):
            fail("%s: answer %d is %s" % (where, index + 1, answer))
        values = answer.get("register") if label == "D100" else answer.get("bit")
        error = one(answer, "error")
        if index == 4:
            meaning = one(answer, "meaning") or ""
            if error != "6" or "norvo-sim: busy" not in meaning or values:
                fail("%s: answer 5 is no busy refusal: %s" % (where, answer))
        elif error != "0" or values != (registers if label == "D100" else bits):
            fail("%s: answer %d carries %s" % (where, index + 1, answer))
        checksum_ok = one(answer, "checksum_ok")
        if checksum_ok != ("0" if index == 3 else "1"):
            fail("%s: answer %d checksum flag %s" % (where, index + 1, checksum_ok))
        late = index == 2
        if one(answer, "late") != ("1" if late else "0"):
            fail("%s: answer %d late flag %s" % (where, index + 1, one(answer, "late")))
        response = float(one(answer, "response_time"))
        if late and response < 0.45:
            fail("%s: late answer %d after %.3f s" % (where, index + 1, response))


def test_pty(dissector, work, sim, norvo, emulator):
    sim_capture = os.path.join(work, "sim-pty.pcap")
    host_capture = os.path.join(work, "norvo-pty.pcap")
    process, pty = start_sim(sim, emulator, work, ["--pty"], ["--pcap", sim_capture])
    try:
        subprocess.run(emulator + [norvo, "--pcap", host_capture, pty + ",9600,8,1,N", *POLL],
                       capture_output=True, timeout=60)
        time.sleep(1)  # the last answer is 500 ms late
    finally:
        stop(process)
    host = decoded(dissector, host_capture)
    # norvo has closed the line before the last, late answer comes.
    check_session(host, "norvo --pcap", 6)
    check_session(decoded(dissector, sim_capture), "norvo-sim --pcap", 6)
    # The split answers came in pieces, each recorded with its own time.
    if not any(one(f, "pieces") for f in host):
        fail("no answer in pieces in norvo's capture")


def test_live(dissector, work, sim, norvo, emulator):
    if os.geteuid() != 0 or not os.access(DUMPCAP, os.X_OK):
        print("SKIP: capturing on lo needs root and dumpcap")
        sys.exit(SKIP)
    process, address = start_sim(sim, emulator, work, ["--tcp", "127.0.0.1:0"], [])
    port = address.rsplit(":", 1)[1]
    capture = os.path.join(work, "live.pcapng")
    dumpcap = subprocess.Popen([DUMPCAP, "-q", "-i", "lo", "-f", "tcp port " + port, "-w", capture],
                               stderr=subprocess.PIPE, text=True)
    try:
        # dumpcap says so once it captures.
        started = dumpcap.stderr.readline()
        if "Capturing on" not in started:
            print("SKIP: dumpcap cannot capture on lo: " + started.strip())
            sys.exit(SKIP)
        time.sleep(1)  # it says so a moment before its filter takes packets
        subprocess.run(emulator + [norvo, address, *POLL], capture_output=True, timeout=60)
        time.sleep(1)  # dumpcap writes what it took a moment later
    finally:
        stop(dumpcap)
        stop(process)
    # The simulator drops the last, late answer with the connection norvo closed.
    check_session(decoded(dissector, capture), "dumpcap -i lo", 6)


# --- an install under another prefix -------------------------------------------

def columns(capture, home, *options):
    """The protocol and info columns tshark shows, for a user whose home is
    `home`; fails on any error tshark reports (a Lua error among them)."""
    run = subprocess.run([TSHARK, *options, "-r", capture, "-T", "fields",
                          "-e", "_ws.col.Protocol", "-e", "_ws.col.Info"],
                         capture_output=True, text=True, timeout=120,
                         env=dict(os.environ, HOME=home))
    errors = [line for line in run.stderr.splitlines()
              if line.strip() and "This could be dangerous" not in line]
    if run.returncode != 0 or errors:
        fail("tshark %s: status %d, %s" % (" ".join(options), run.returncode, errors))
    return [tuple(line.split("\t")) for line in run.stdout.splitlines()]


def lua_folders(home):
    run = subprocess.run([TSHARK, "-G", "folders"], capture_output=True, text=True,
                         timeout=60, env=dict(os.environ, HOME=home))
    folders = {}
    for line in run.stdout.splitlines():
        name, _, folder = line.partition(":")
        if name.endswith("Lua Plugins"):
            folders[name] = folder.strip()
    return folders


def test_prefix(dissector_dir, work, cmake, build):
    prefix = os.path.join(work, "prefix")
    home = os.path.join(work, "home")
    subprocess.run(["rm", "-rf", prefix, home], check=True)
    os.makedirs(home)
    folders = lua_folders(home)
    # The personal folder is the one the documentation and the install name.
    personal = os.path.join(home, ".local/lib/wireshark/plugins")
    if folders.get("Personal Lua Plugins") != personal:
        fail("tshark's personal Lua folder is not ~/.local/lib/wireshark/plugins: %s" % folders)
    system = folders.get("Global Lua Plugins", "")
    if os.path.exists(os.path.join(system, "norvo.lua")):
        print("SKIP: %s/norvo.lua is installed; a second copy would clash" % system)
        sys.exit(SKIP)

    run = subprocess.run([cmake, "--install", build, "--prefix", prefix, "--component", "tools"],
                         capture_output=True, text=True, timeout=120)
    if run.returncode != 0:
        fail("install: %s%s" % (run.stdout, run.stderr))
    installed = os.path.join(os.path.realpath(prefix), dissector_dir, "norvo.lua")
    if not os.path.isfile(installed):
        fail("no " + installed)
    # The commands the install gives, one a line, indented.
    said = [line.strip() for line in (run.stdout + run.stderr).splitlines()]
    link = [line for line in said if line.startswith(("mkdir -p ~/", "ln -sf "))]
    name_it = [line for line in said if line.startswith("tshark -X lua_script:")]
    if len(link) != 2 or installed not in link[1] or not name_it or installed not in name_it[0]:
        fail("the install does not say how to load %s:\n%s" % (installed, run.stderr))

    capture = os.path.join(work, "prefix.pcap")
    pcap_file(capture, 147, [(400.0, record(False, frame(b"014602D00100"))),
                             (400.1, record(True, frame(b"014601234FFFB"))),
                             (400.2, record(False, frame(b"014403X0017"))),
                             (400.3, record(True, frame(b"01440101")))])
    expected = [("NORVO", "Request read registers, station 1, D100, count 2"),
                ("NORVO", "Answer read registers, station 1, D100: 0x1234 0xFFFB"),
                ("NORVO", "Request read bits, station 1, X17, count 3"),
                ("NORVO", "Answer read bits, station 1, X17: 1 0 1")]
    # Nothing else decodes it: left alone, the install gives blank columns.
    if any(protocol == "NORVO" for protocol, *_ in columns(capture, home)):
        fail("decoded without the dissector: the test proves nothing")

    # tshark -X lua_script:FILE ...: the option as the install gives it.
    option = name_it[0].split()[1:3]
    got = columns(capture, home, *option)
    if got != expected:
        fail("by %s: %s" % (" ".join(option), got))
    subprocess.run(["/bin/sh", "-e", "-c", "\n".join(link)], check=True,
                   env=dict(os.environ, HOME=home))
    got = columns(capture, home)
    if got != expected:
        fail("from %s: %s" % (personal, got))


def main():
    if len(sys.argv) < 4:
        print(__doc__)
        return 2
    mode, dissector, work = sys.argv[1:4]
    if not os.access(TSHARK, os.X_OK):
        print("SKIP: no tshark")
        return SKIP
    os.makedirs(work, exist_ok=True)
    if mode == "malformed":
        test_malformed(dissector, work)
    elif mode == "tcp":
        test_tcp(dissector, work)
    elif mode == "prefix":
        test_prefix(dissector, work, *sys.argv[4:6])
    elif mode in ("pty", "live"):
        sim, norvo = sys.argv[4:6]
        emulator = sys.argv[6:7]
        (test_pty if mode == "pty" else test_live)(dissector, work, sim, norvo, emulator)
    else:
        print(__doc__)
        return 2
    print("PASS: " + mode)
    return 0


if __name__ == "__main__":
    sys.exit(main())
