# SPDX-License-Identifier: LGPL-2.1-or-later
"""norvo-edge with real parts: Debian's mosquitto on a free loopback port,
norvo-sim as the PLC, and a subscriber of our own.

usage: tst_edge_mqtt.py NORVO_EDGE NORVO_SIM NORVO PROTOC SPARKPLUG_PROTO
"""

import importlib
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

import paho.mqtt.client as mqtt
import paho.mqtt.publish as publish

EDGE, SIM, NORVO, PROTOC, PROTO = sys.argv[1:6]
WORK = tempfile.mkdtemp(prefix="norvo-edge-test-")
# mosquitto started as root runs as its own user: it must reach its files.
os.chmod(WORK, 0o755)
TIME = re.compile(r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z$")
failures = []
children = []


def spawn(command, **options):
    """A process of the test's own, ended when the test ends, whatever happens."""
    process = subprocess.Popen(command, **options)
    children.append(process)
    return process


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what, flush=True)


def wait_for(predicate, timeout=15.0):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        result = predicate()
        if result:
            return result
        time.sleep(0.05)
    return predicate()


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def write_file(name, text):
    path = os.path.join(WORK, name)
    with open(path, "w", encoding="utf-8") as out:
        out.write(text)
    return path


def make_certificates():
    """A CA of our own and the broker's certificate for 127.0.0.1."""
    def openssl(*arguments):
        subprocess.run(["openssl", *arguments], check=True, cwd=WORK, capture_output=True)
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out", "ca.pem",
            "-days", "2", "-subj", "/CN=norvo test CA")
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", "broker.key", "-out", "broker.csr",
            "-subj", "/CN=127.0.0.1")
    write_file("san.ext", "subjectAltName=IP:127.0.0.1\n")
    openssl("x509", "-req", "-in", "broker.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial",
            "-out", "broker.pem", "-days", "2", "-extfile", "san.ext")
    os.chmod(os.path.join(WORK, "broker.key"), 0o644)


class Broker:
    """mosquitto that keeps its sessions across a restart, as a plant's does,
    on a plain listener and a TLS one."""

    def __init__(self):
        self.port = free_port()
        self.tls_port = free_port()
        store = os.path.join(WORK, "broker")
        os.makedirs(store, exist_ok=True)
        os.chmod(store, 0o777)
        make_certificates()
        self.conf = write_file("mosquitto.conf", f"per_listener_settings false\nallow_anonymous true\n"
                               f"persistence true\npersistence_location {store}/\n"
                               f"listener {self.port} 127.0.0.1\n"
                               f"listener {self.tls_port} 127.0.0.1\ncafile {WORK}/ca.pem\n"
                               f"certfile {WORK}/broker.pem\nkeyfile {WORK}/broker.key\n")
        self.process = None

    def start(self):
        self.process = spawn(["/usr/sbin/mosquitto", "-c", self.conf],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for(self.accepts, 10)

    def accepts(self):
        try:
            socket.create_connection(("127.0.0.1", self.port), 0.2).close()
            return True
        except OSError:
            return False

    def stop(self):
        self.process.terminate()
        self.process.wait(10)


class Subscriber:
    """Everything under norvo/, kept by topic; a persistent session, so that
    nothing published while it reconnects is lost to it."""

    def __init__(self, broker, name):
        self.messages = []
        self.lock = threading.Lock()
        self.client = mqtt.Client(client_id=name, clean_session=False)
        self.client.on_connect = lambda client, *_: client.subscribe("norvo/#", 1)
        self.client.on_message = self.received
        self.client.reconnect_delay_set(0.1, 0.5)
        self.client.connect("127.0.0.1", broker.port)
        self.client.loop_start()

    def received(self, _client, _data, message):
        with self.lock:
            self.messages.append((message.topic, message.payload.decode(), message.retain))

    def on(self, topic):
        with self.lock:
            return [json.loads(p) if p.startswith("{") else p for t, p, _ in self.messages if t == topic]

    def last(self, topic):
        values = self.on(topic)
        return values[-1] if values else None

    def close(self):
        self.client.loop_stop()
        self.client.disconnect()


def start_sim(*arguments):
    process = spawn([SIM, *arguments], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    line = process.stdout.readline().split()
    return process, line[1]


def start_edge(broker, plc, tags, *options):
    # Its log goes to a file, shown when a check fails.
    log = open(os.path.join(WORK, "edge.log"), "a")
    return spawn([EDGE, "--broker", f"127.0.0.1:{broker.port}", "--node", "cell", *options, plc, tags],
                            stdout=subprocess.DEVNULL, stderr=log)


def stop(process):
    process.send_signal(signal.SIGTERM)
    return process.wait(15)


def norvo(plc, *arguments):
    subprocess.run([NORVO, plc, *arguments], check=True, stdout=subprocess.DEVNULL)


def set_value(broker, tag, payload):
    publish.single(f"norvo/cell/{tag}/set", payload, qos=1, hostname="127.0.0.1", port=broker.port)


def seq_gaps(samples):
    seqs = sorted({sample["seq"] for sample in samples})
    return [n for n in range(seqs[0], seqs[-1] + 1) if n not in seqs] if seqs else ["none"]


def values_writes_and_merged_reads(broker):
    sim, plc = start_sim("--tcp", "127.0.0.1:0", "--log")
    tags = write_file("tags.csv", "name,label,type,count,period_ms,deadband,writable\n"
                      "counter,D0,int16,,100,,yes\npair,D1,uint16,2,100\nlevel,D4,float,,100,1.0,true\n"
                      "bits,X0,bool,4,300\n")
    subscriber = Subscriber(broker, "values")
    edge = start_edge(broker, plc, tags)
    check(wait_for(lambda: subscriber.last("norvo/cell/status") == "online"), "the node says it is online")
    first = wait_for(lambda: subscriber.last("norvo/cell/pair"))
    check(first and first["value"] == [0, 0] and first["status"] == 0 and TIME.match(first["time"]),
          f"a count of 2 is an array, with status and time: {first}")
    bits = wait_for(lambda: subscriber.last("norvo/cell/bits"))
    check(bits and bits["value"] == [False] * 4, f"bits are true and false: {bits}")

    # By exception: a move within the deadband is not published, past it is.
    norvo(plc, "write", "D4", "float", "5")
    check(wait_for(lambda: (subscriber.last("norvo/cell/level") or {}).get("value") == 5), "level 5 published")
    norvo(plc, "write", "D4", "float", "5.5")
    time.sleep(0.5)
    norvo(plc, "write", "D4", "float", "6.5")
    check(wait_for(lambda: (subscriber.last("norvo/cell/level") or {}).get("value") == 6.5), "level 6.5 published")
    levels = [sample["value"] for sample in subscriber.on("norvo/cell/level")]
    check(5.5 not in levels and levels.count(5) == 1, f"within the deadband, nothing: {levels}")
    check(len(subscriber.on("norvo/cell/pair")) == 1, "an unchanged value is published once")

    # Writes: allowed, refused by norvo-edge (nothing sent), refused by type.
    set_value(broker, "counter", "1234")
    set_value(broker, "pair", "[1, 2]")
    set_value(broker, "level", '"abc"')
    set_value(broker, "counter", "[1, 2]")
    results = wait_for(lambda: len(subscriber.on("norvo/cell/counter/set/result")) == 2
                       and subscriber.on("norvo/cell/level/set/result") and subscriber.on("norvo/cell/pair/set/result"))
    # A refusal is told at once; a write when the PLC has answered.
    counter_results = sorted(subscriber.on("norvo/cell/counter/set/result"), key=lambda r: r["status"])
    check(results and counter_results[0]["status"] == 0 and counter_results[0]["value"] == 1234,
          f"a write to a writable tag: {counter_results}")
    check(counter_results[1]["status"] == 4 and "takes 1 values" in counter_results[1]["reason"],
          f"a write of the wrong count: {counter_results}")
    check(subscriber.last("norvo/cell/pair/set/result")["status"] == 3, "a tag not writable refuses writes")
    check(subscriber.last("norvo/cell/level/set/result")["status"] == 2, "a value not of the type is refused")
    check(wait_for(lambda: (subscriber.last("norvo/cell/counter") or {}).get("value") == 1234),
          "the written value is read back and published")
    check(stop(edge) == 0, "SIGTERM stops norvo-edge with 0")
    check(wait_for(lambda: subscriber.last("norvo/cell/status") == "offline"), "the node says it goes offline")

    # Merged reads: one request for D0 to D5 each cycle, one for the bits.
    stats = wait_for(lambda: subscriber.last("norvo/cell/links/plc"))
    sim.send_signal(signal.SIGTERM)
    log = sim.communicate(timeout=10)[1]
    reads = [line for line in log.splitlines() if re.search(r" read (D|bits X)\S* count (?!13:)", line)]
    writes = [line for line in log.splitlines() if " write D0 " in line]
    check(stats["requests_per_cycle"] == 2 and len(writes) == 1, f"merged: {stats}, writes {writes}")
    check(stats["synchronising_reads"] == 1 and stats["late_answers"] == 0, f"the driver's account: {stats}")
    check(len(reads) == stats["cycles"] and stats["requests"] == stats["cycles"] + 1,
          f"every cycle one request: {len(reads)} reads in the PLC's log, {stats}")
    check(all(" read D0 count 6" in line or " read bits X0 count 4" in line for line in reads), "the runs read")
    subscriber.close()


def lost_link_and_will(broker):
    port = free_port()
    sim, plc = start_sim("--tcp", f"127.0.0.1:{port}")
    tags = write_file("lost.csv", "name,label,type\nlost,D0,int16\n")
    # A plant's form: the broker (over TLS), the node and the links from a file.
    config = write_file("plant.conf", f"[broker]\nhost=127.0.0.1\nport={broker.tls_port}\nca={WORK}/ca.pem\n"
                        f"[node]\nname=lostcell\n"
                        f"[link.press]\nconnection={plc}\nstation=1\ntags={tags}\n")
    subscriber = Subscriber(broker, "lost")
    edge = spawn([EDGE, "--config", config], stdout=subprocess.DEVNULL,
                            stderr=open(os.path.join(WORK, "edge.log"), "a"))
    topic = "norvo/lostcell/lost"
    check(wait_for(lambda: (subscriber.last(topic) or {}).get("status") == 0), "the link's tag is read")
    stop(sim)
    wait_for(lambda: (subscriber.last(topic) or {}).get("status", 0) != 0)
    failed = subscriber.last(topic)
    check(failed and failed["value"] is None and failed["reason"], f"a lost link is published: {failed}")
    time.sleep(2.5)
    check(sum(1 for s in subscriber.on(topic) if s["status"] != 0) == 1, "a failure is published once")
    sim, _ = start_sim("--tcp", f"127.0.0.1:{port}")
    check(wait_for(lambda: (subscriber.last(topic) or {}).get("status") == 0), "the link comes back")

    # SIGHUP reads the tag files again.
    write_file("lost.csv", "name,label,type\nlost,D0,int16\nmore,D1,uint16\n")
    edge.send_signal(signal.SIGHUP)
    check(wait_for(lambda: (subscriber.last("norvo/lostcell/more") or {}).get("status") == 0), "a tag added by SIGHUP")

    # The will: a node that dies without a word is offline all the same.
    edge.kill()
    edge.wait()
    check(wait_for(lambda: subscriber.last("norvo/lostcell/status") == "offline"), "the will says offline")
    stop(sim)
    subscriber.close()


def nothing_lost(broker):
    memory = write_file("counter.txt", "D0 = counter(100ms)\n")
    sim, plc = start_sim("--tcp", "127.0.0.1:0", "--load", memory)
    tags = write_file("counter.csv", "name,label,type,count,period_ms\ncount,D0,int16,1,50\n")
    state = os.path.join(WORK, "state")
    subscriber = Subscriber(broker, "counting")
    edge = start_edge(broker, plc, tags, "--node", "keep", "--state", state)
    topic = "norvo/keep/count"
    check(wait_for(lambda: len(subscriber.on(topic)) > 5), "the counter is published")

    # The broker restarts: the samples wait in norvo-edge and come in order.
    broker.stop()
    time.sleep(3)
    broker.start()
    # norvo-edge restarts with its state folder while the broker is away.
    check(wait_for(lambda: len(subscriber.on(topic)) > 60, 20), "samples flow again after the broker's restart")
    broker.stop()
    time.sleep(1)
    check(stop(edge) == 0, "norvo-edge stops while the broker is away")
    broker.start()
    edge = start_edge(broker, plc, tags, "--node", "keep", "--state", state)
    check(wait_for(lambda: len(subscriber.on(topic)) > 100, 20), "samples flow after norvo-edge's restart")
    time.sleep(1)
    stop(edge)
    stop(sim)
    samples = list({s["seq"]: s for s in subscriber.on(topic) if isinstance(s, dict)}.values())
    check(seq_gaps(samples) == [], f"no sample lost: seq gaps {seq_gaps(samples)[:10]}")
    values = [s["value"] for s in sorted(samples, key=lambda s: s["seq"])]
    check(all(b > a or b < -30000 for a, b in zip(values, values[1:])), "in order, each a new value")
    subscriber.close()


def stop_during_a_read(broker):
    # The PLC answers 1.5 s late, so the stop comes in the middle of a read.
    # The read cut short is the stop's doing, not the PLC's: no failure is
    # published or counted for it.
    sim, plc = start_sim("--tcp", "127.0.0.1:0", "--delay", "1500")
    tags = write_file("slow.csv", "name,label,type,count,period_ms\nslow,D0,int16,1,100\n")
    subscriber = Subscriber(broker, "slow")
    edge = start_edge(broker, plc + ";timeout=5000", tags, "--node", "slow")
    check(wait_for(lambda: subscriber.last("norvo/slow/slow")), "a slow PLC's value is read")
    time.sleep(0.5)
    check(stop(edge) == 0, "norvo-edge stops in the middle of a read")
    stats = wait_for(lambda: (subscriber.last("norvo/slow/links/plc") or {}).get("cycles", 0) > 0 and
                     subscriber.last("norvo/slow/links/plc"))
    check(stats and stats["failures"] == {}, f"the cut read is no failure of the link: {stats}")
    statuses = [sample["status"] for sample in subscriber.on("norvo/slow/slow")]
    check(statuses == [0], f"nothing but the value is published: {statuses}")
    stop(sim)
    subscriber.close()


class SparkplugHost:
    """A Sparkplug host of our own: every message of the group, decoded
    with the schema compiled here, in the order they came."""

    def __init__(self, broker, schema):
        self.schema = schema
        self.messages = []
        self.lock = threading.Lock()
        self.client = mqtt.Client(client_id="scada", clean_session=False)
        self.client.on_connect = lambda client, *_: client.subscribe("spBv1.0/plant/#", 1)
        self.client.on_message = self.received
        self.client.reconnect_delay_set(0.1, 0.5)
        self.client.connect("127.0.0.1", broker.port)
        self.client.loop_start()

    def received(self, _client, _data, message):
        payload = self.schema.Payload()
        payload.ParseFromString(message.payload)
        with self.lock:
            self.messages.append((message.topic.split("/")[2], payload))

    def of(self, kind):
        with self.lock:
            return [p for k, p in self.messages if k == kind]

    def all(self):
        with self.lock:
            return list(self.messages)

    def command(self, kind, device, metrics):
        payload = self.schema.Payload()
        for name, datatype, field, value in metrics:
            metric = payload.metrics.add()
            metric.name = name
            metric.datatype = datatype
            setattr(metric, field, value)
        topic = f"spBv1.0/plant/{kind}/edge1" + (f"/{device}" if device else "")
        self.client.publish(topic, payload.SerializeToString(), qos=1)

    def close(self):
        self.client.loop_stop()
        self.client.disconnect()


def metric_values(payload):
    return {m.name or m.alias: getattr(m, m.WhichOneof("value")) for m in payload.metrics if m.WhichOneof("value")}


def seq_breaks(messages):
    """Places where seq does not go up by one (mod 256) within a session."""
    breaks = []
    last = None
    seen = set()
    for index, (kind, payload) in enumerate(messages):
        # QoS 1 may bring a message twice, after a broker's restart too.
        key = (kind, payload.SerializeToString())
        if key in seen:
            continue
        seen.add(key)
        if kind == "NBIRTH":
            last = payload.seq
            continue
        if kind in ("NDEATH", "NCMD", "DCMD") or last is None:
            continue
        if payload.seq != (last + 1) % 256:
            breaks.append((kind, last, payload.seq, index))
        last = payload.seq
    return breaks


def sparkplug(broker):
    subprocess.run([PROTOC, "--proto_path=" + os.path.dirname(PROTO), "--python_out=" + WORK, PROTO], check=True)
    sys.path.insert(0, WORK)
    schema = importlib.import_module(os.path.splitext(os.path.basename(PROTO))[0] + "_pb2")
    port = free_port()
    memory = write_file("sp.txt", "D0 = counter(20ms)\n")
    sim, plc = start_sim("--tcp", f"127.0.0.1:{port}", "--load", memory)
    tags = write_file("sp.csv", "name,label,type,count,period_ms,deadband,writable\n"
                      "fast,D0,int16,,20\nsetpoint,D10,int32,,100,,yes\nfixed,D20,uint16,,100\nlevels,D30,float,2,100\n")
    state = os.path.join(WORK, "sp-state")
    host = SparkplugHost(broker, schema)
    command = [EDGE, "--broker", f"127.0.0.1:{broker.port}", "--node", "edge1", "--sparkplug", "plant",
               "--device", "press", "--state", state, plc, tags]
    edge = spawn(command, stdout=subprocess.DEVNULL, stderr=open(os.path.join(WORK, "edge.log"), "a"))

    # Births first: NBIRTH with seq 0 and bdSeq, then the device's DBIRTH.
    check(wait_for(lambda: host.of("DBIRTH")), "a DBIRTH")
    first = host.all()[:2]
    check([k for k, _ in first] == ["NBIRTH", "DBIRTH"] and first[0][1].seq == 0 and first[1][1].seq == 1,
          f"NBIRTH then DBIRTH: {[(k, p.seq) for k, p in first]}")
    node = {m.name: m for m in first[0][1].metrics}
    bdseq = node["bdSeq"].long_value
    check("Node Control/Rebirth" in node and node["bdSeq"].datatype == 8, f"NBIRTH metrics: {list(node)}")
    born = {m.name: m for m in first[1][1].metrics}
    check({n: m.datatype for n, m in born.items()} == {"fast": 2, "setpoint": 3, "fixed": 6, "levels": 30},
          f"DBIRTH declares each tag with its datatype: {[(n, m.datatype) for n, m in born.items()]}")
    check(all(m.alias for m in born.values()), "each metric has an alias")
    alias = {n: m.alias for n, m in born.items()}

    # Data by exception, by alias only; seq counts on and wraps.
    check(wait_for(lambda: len(host.of("DDATA")) > 300, 60), "DDATA flows")
    ddata = host.of("DDATA")
    check(all(not m.name and m.alias for p in ddata for m in p.metrics), "DDATA carries aliases, not names")
    check(any(p.seq == 0 for p in ddata) and not seq_breaks(host.all()),
          f"seq wraps and never skips: {seq_breaks(host.all())[:5]}")

    # DCMD: a writable tag is written and its new value published; one
    # that is not writable changes nothing.
    host.command("DCMD", "press", [("setpoint", 3, "int_value", 1234), ("fixed", 6, "int_value", 7)])
    check(wait_for(lambda: any(metric_values(p).get(alias["setpoint"]) == 1234 for p in host.of("DDATA"))),
          "a DCMD writes and the new value is published")
    time.sleep(0.5)
    check(not any(metric_values(p).get(alias["fixed"]) == 7 for p in host.of("DDATA")),
          "a tag not writable is not written")

    # NCMD rebirth: NBIRTH and DBIRTH again, without a new connection.
    host.command("NCMD", None, [("Node Control/Rebirth", 11, "boolean_value", True)])
    check(wait_for(lambda: len(host.of("NBIRTH")) == 2 and len(host.of("DBIRTH")) == 2), "a rebirth on NCMD")
    check({m.name: m.long_value for m in host.of("NBIRTH")[1].metrics}["bdSeq"] == bdseq, "a rebirth keeps bdSeq")

    # A lost PLC link is a DDEATH; its return a new DBIRTH.
    stop(sim)
    check(wait_for(lambda: host.of("DDEATH")), "a DDEATH when the PLC link is lost")
    sim, _ = start_sim("--tcp", f"127.0.0.1:{port}", "--load", memory)
    check(wait_for(lambda: len(host.of("DBIRTH")) == 3), "a DBIRTH when it is back")

    # A broker restart: a new connection with the next bdSeq, births, then
    # what was read meanwhile as historical data, nothing lost in between.
    broker.stop()
    time.sleep(2)
    broker.start()
    check(wait_for(lambda: len(host.of("NBIRTH")) == 3, 20), "births after the broker's restart")
    check(wait_for(lambda: any(m.is_historical for p in host.of("DDATA") for m in p.metrics), 20),
          "the data read while the broker was away comes, as historical")
    # bdSeq goes up with every CONNECT, the attempts while the broker was away too.
    later = {m.name: m.long_value for m in host.of("NBIRTH")[2].metrics}["bdSeq"]
    check(0 < (later - bdseq) % 256 < 20, f"bdSeq goes up: {bdseq} then {later}")
    time.sleep(1)
    breaks = seq_breaks(host.all())
    check(not breaks, f"seq within each session: {breaks[:5]}")
    if breaks:
        for kind, payload in host.all()[breaks[0][3] - 12:breaks[0][3] + 3]:
            print(kind, payload.seq, [(m.alias, m.is_historical, m.WhichOneof("value")) for m in payload.metrics][:3])

    # The will: NDEATH with this connection's bdSeq.
    edge.kill()
    edge.wait()
    # (The broker's restart gave one with the bdSeq before.)
    check(wait_for(lambda: any({m.name: m.long_value for m in death.metrics}.get("bdSeq") == later
                               for death in host.of("NDEATH"))), "NDEATH, the will, carries the birth's bdSeq")
    # A restart goes on from the kept bdSeq.
    edge = spawn(command, stdout=subprocess.DEVNULL, stderr=open(os.path.join(WORK, "edge.log"), "a"))
    check(wait_for(lambda: len(host.of("NBIRTH")) == 4), "births after a restart")
    check({m.name: m.long_value for m in host.of("NBIRTH")[3].metrics}["bdSeq"] == (later + 1) % 256,
          "bdSeq survives a restart")
    stop(edge)

    # With a primary host, nothing is published until its STATE says online.
    publish.single("spBv1.0/STATE/scada1", '{"online": false, "timestamp": 0}', qos=1, retain=True,
                   hostname="127.0.0.1", port=broker.port)
    edge = spawn(command + ["--primary-host", "scada1"], stdout=subprocess.DEVNULL,
                            stderr=open(os.path.join(WORK, "edge.log"), "a"))
    time.sleep(2)
    check(len(host.of("NBIRTH")) == 4, "no birth while the primary host is offline")
    publish.single("spBv1.0/STATE/scada1", '{"online": true, "timestamp": 1}', qos=1, retain=True,
                   hostname="127.0.0.1", port=broker.port)
    check(wait_for(lambda: len(host.of("NBIRTH")) == 5), "births once the primary host is online")
    stop(edge)
    stop(sim)
    host.close()


def refusals():
    tags = write_file("bad.csv", "name,label,type\nok,D0,int16\nbad,D0,int17\n")
    run = subprocess.run([EDGE, "--broker", "127.0.0.1:1", "127.0.0.1:1", tags], capture_output=True, text=True)
    check(run.returncode == 2 and "bad.csv:3:" in run.stderr and "int17" in run.stderr,
          f"a bad tag line: {run.returncode} {run.stderr}")
    config = write_file("edge.conf", "[broker]\nhost=127.0.0.1\n[node]\nname=x\n")
    run = subprocess.run([EDGE, "--config", config], capture_output=True, text=True)
    check(run.returncode == 2 and "no [link.NAME] section" in run.stderr, f"a plant without links: {run.stderr}")
    good = write_file("good.csv", "name,label,type\nok,D0,int16\n")
    config = write_file("twice.conf", f"[link.a]\nconnection=127.0.0.1:1\ntags={good}\n"
                        f"[link.b]\nconnection=/dev/ttyUSB0,9600,8,1,N\ntags={good}\n")
    run = subprocess.run([EDGE, "--config", config], capture_output=True, text=True)
    check(run.returncode == 2 and 'tag "ok" is also a tag of link a' in run.stderr, f"one name, two links: {run.stderr}")
    run = subprocess.run([EDGE, "--broker", "127.0.0.1:99999", "127.0.0.1:1", tags], capture_output=True, text=True)
    check(run.returncode == 2 and "--broker" in run.stderr, f"a bad broker: {run.stderr}")
    # A TLS file that cannot be read refuses the plant, not each connection.
    config = write_file("tls.conf", f"[broker]\nhost=127.0.0.1\nport=1\nca={WORK}/no-such-ca.pem\n"
                        f"[link.a]\nconnection=127.0.0.1:1\ntags={good}\n")
    run = subprocess.run([EDGE, "--config", config], capture_output=True, text=True, timeout=30)
    check(run.returncode == 2 and "no-such-ca.pem cannot be read" in run.stderr, f"an unreadable CA file: {run.returncode} {run.stderr}")


def main():
    broker = Broker()
    broker.start()
    try:
        refusals()
        values_writes_and_merged_reads(broker)
        lost_link_and_will(broker)
        nothing_lost(broker)
        stop_during_a_read(broker)
        sparkplug(broker)
    finally:
        for process in children:
            if process.poll() is None:
                process.kill()
                process.wait()
        if failures:
            with open(os.path.join(WORK, "edge.log")) as log:
                print("norvo-edge's log:\n" + log.read())
        shutil.rmtree(WORK, ignore_errors=True)
    print("failures:", len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
