# SPDX-License-Identifier: LGPL-2.1-or-later
"""What norvo-edge costs as a plant grows, and what a broker restart costs it.

Scale: N norvo-sim processes on loopback, each a link of 100 int16 labels
(10 clusters of 10 neighbouring registers, CLUSTER_SPACING apart) read every
second by one norvo-edge. Every second a tenth of each link's labels (one
cluster, in turn) gets a new value through the simulator's REST API, each
link's at a random moment of the second; a subscriber on mosquitto takes the
messages. Measured: norvo-edge's CPU over the run (/proc/PID/stat, % of one
core), its cycles, overruns and cycle time (the links' retained statistics),
and the time from each write to its message at the subscriber.

Restart: one link reading a counter that moves every 100 ms, every 100 ms;
the broker stops for 4 s. Every sample must arrive (seq without gaps); the
figure is the time from the broker's return until the backlog is in.

usage: edge_scale.py NORVO_EDGE NORVO_SIM [--links 10,50,100] [--seconds 40]
                     [--spacing 20] [--restarts 3] [--no-scale] [--nodelay]
                     [--quick]

Prints a table; exits 1 when something could not be measured (a process
did not start, no statistics arrived), never because of a figure.
"""

import argparse
import http.client
import json
import os
import random
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
from datetime import datetime, timezone

import paho.mqtt.client as mqtt

CLUSTERS = 10
PER_CLUSTER = 10
PERIOD_MS = 1000
NODE = "bench"
GROUPS = ("links", "node")


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def wait_for(predicate, timeout):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(0.05)
    return predicate()


def percentile(values, percent):
    """Nearest rank, as norvo-bench reports."""
    if not values:
        return float("nan")
    ordered = sorted(values)
    rank = max(1, -(-len(ordered) * percent // 100))
    return ordered[int(rank) - 1]


def cpu_seconds(pid, tid=None):
    path = f"/proc/{pid}/task/{tid}/stat" if tid else f"/proc/{pid}/stat"
    with open(path, encoding="ascii") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    # utime and stime: fields 14 and 15 of the line, 12 and 13 after the name.
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def thread_groups(pid):
    """Context switches and CPU seconds so far by thread group: the links'
    threads, and the node's (with the MQTT client) and any other; threads
    that ended are not counted."""
    groups = {g: {"switches": 0, "cpu": 0.0} for g in GROUPS}
    for tid in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{tid}/comm", encoding="ascii") as comm:
                name = comm.read().strip()
            with open(f"/proc/{pid}/task/{tid}/status", encoding="ascii") as status:
                switches = sum(int(line.split()[1]) for line in status if "ctxt_switches" in line)
            cpu = cpu_seconds(pid, tid)
        except OSError:
            continue
        group = "links" if name.startswith("link ") else "node"
        groups[group]["switches"] += switches
        groups[group]["cpu"] += cpu
    return groups


def load():
    return os.getloadavg()[0]


class Work:
    def __init__(self):
        self.dir = tempfile.mkdtemp(prefix="norvo-edge-bench-")
        self.processes = []

    def file(self, name, text):
        path = os.path.join(self.dir, name)
        with open(path, "w", encoding="utf-8") as out:
            out.write(text)
        return path

    def spawn(self, arguments, **options):
        process = subprocess.Popen(arguments, **options)
        self.processes.append(process)
        return process

    def stop(self, process, timeout=15):
        if process.poll() is None:
            process.send_signal(signal.SIGTERM)
            try:
                return process.wait(timeout)
            except subprocess.TimeoutExpired:
                process.kill()
        return process.wait()

    def close(self):
        for process in reversed(self.processes):
            self.stop(process)
        shutil.rmtree(self.dir, ignore_errors=True)


class Broker:
    """mosquitto on a free loopback port; keeps sessions across a restart."""

    def __init__(self, work, name):
        self.work = work
        self.port = free_port()
        store = os.path.join(work.dir, name)
        os.makedirs(store)
        self.conf = work.file(name + ".conf", f"listener {self.port} 127.0.0.1\nallow_anonymous true\n"
                              f"persistence true\npersistence_location {store}/\n"
                              "max_queued_messages 0\n" + ("set_tcp_nodelay true\n" if ARGS.nodelay else ""))
        self.process = None

    def start(self):
        self.process = self.work.spawn(["/usr/sbin/mosquitto", "-c", self.conf],
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if not wait_for(self.accepts, 10):
            raise RuntimeError("mosquitto did not start")

    def accepts(self):
        try:
            socket.create_connection(("127.0.0.1", self.port), 0.2).close()
            return True
        except OSError:
            return False

    def stop(self):
        self.work.stop(self.process)


class Subscriber:
    """Everything under norvo/NODE/, each message with its arrival time."""

    def __init__(self, broker, name, on_sample=None):
        self.lock = threading.Lock()
        self.stats = {}
        self.samples = []
        self.on_sample = on_sample
        self.client = mqtt.Client(client_id=name, clean_session=False)
        self.client.on_connect = lambda client, *_: client.subscribe(f"norvo/{NODE}/#", 1)
        self.client.on_message = self.received
        self.client.reconnect_delay_set(0.1, 0.5)
        self.client.connect("127.0.0.1", broker.port)
        self.client.loop_start()

    def received(self, _client, _data, message):
        arrived = time.time()
        level = message.topic[len(f"norvo/{NODE}/"):]
        if level.startswith("links/"):
            with self.lock:
                self.stats[level[6:]] = json.loads(message.payload)
            return
        if level == "status" or level.endswith("/result"):
            return
        sample = json.loads(message.payload)
        with self.lock:
            self.samples.append((arrived, level, sample))
        if self.on_sample:
            self.on_sample(arrived, level, sample)

    def close(self):
        self.client.loop_stop()
        self.client.disconnect()


def start_sim(work, *arguments):
    """A simulator with its REST API: (process, "127.0.0.1:PORT", http port)."""
    process = work.spawn([ARGS.sim, "--tcp", "127.0.0.1:0", "--http", "127.0.0.1:0", *arguments],
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    plc = process.stdout.readline().split()
    web = process.stdout.readline().split()
    if len(plc) != 2 or len(web) != 2:
        raise RuntimeError(f"norvo-sim did not say where it serves: {plc} {web}")
    return process, plc[1], int(web[1].rsplit(":", 1)[1])


def edge_config(work, broker, links, tag_files):
    text = f"[broker]\nhost=127.0.0.1\nport={broker.port}\n[node]\nname={NODE}\n"
    for name, connection in links:
        text += f"[link.{name}]\nconnection={connection}\ntags={tag_files[name]}\n"
    return work.file("edge.conf", text)


def cluster_base(cluster):
    return cluster * ARGS.spacing


def tag_name(link, cluster, index):
    return f"{link}c{cluster}i{index}"


def scale(links):
    """One run with `links` links; a row of figures."""
    work = Work()
    try:
        broker = Broker(work, "broker")
        broker.start()
        names = [f"l{j:03d}" for j in range(links)]
        sims, tag_files, connections = {}, {}, []
        for name in names:
            process, plc, http_port = start_sim(work)
            sims[name] = http.client.HTTPConnection("127.0.0.1", http_port, timeout=5)
            lines = ["name,label,type,count,period_ms"]
            for cluster in range(CLUSTERS):
                for index in range(PER_CLUSTER):
                    lines.append(f"{tag_name(name, cluster, index)},D{cluster_base(cluster) + index},int16,1,{PERIOD_MS}")
            tag_files[name] = work.file(name + ".csv", "\n".join(lines) + "\n")
            connections.append((name, plc))

        writes = {}  # (tag, value): when the write was sent
        latencies, delivery, round_trips = [], [], []
        lock = threading.Lock()

        def on_sample(arrived, tag, sample):
            with lock:
                sent = writes.pop((tag, sample.get("value")), None)
            if sent is not None:
                latencies.append((arrived - sent) * 1000)
                # From the read's time stamp: norvo-edge, the broker and the subscriber alone.
                delivery.append((arrived - sample_time(sample)) * 1000)

        subscriber = Subscriber(broker, f"scale{links}", on_sample)
        edge = work.spawn([ARGS.edge, "--config", edge_config(work, broker, connections, tag_files)],
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        labels = links * CLUSTERS * PER_CLUSTER
        # Every label's first value, then a cycle for the links to settle.
        if not wait_for(lambda: len(subscriber.samples) >= labels, 60):
            raise RuntimeError(f"only {len(subscriber.samples)} of {labels} first values arrived")
        time.sleep(1.5)

        rounds = ARGS.seconds
        loads = [load()]
        cpu_start, wall_start = cpu_seconds(edge.pid), time.monotonic()
        groups_start = thread_groups(edge.pid)
        broker_start, own_start = cpu_seconds(broker.process.pid), sum(os.times()[:2])
        start = wall_start
        # Each link's change comes at a random moment of the second: the
        # links' cycles are spread over the period too, and a fixed phase
        # between the two would give every change the same wait for its read.
        chance = random.Random(links)
        for k in range(1, rounds + 1):
            cluster = k % CLUSTERS
            moments = sorted((chance.random(), name) for name in names)
            for moment, name in moments:
                due = start + (k - 1) + moment
                pause = due - time.monotonic()
                if pause > 0:
                    time.sleep(pause)
                body = json.dumps({"type": "int16", "values": [k] * PER_CLUSTER})
                sent = time.time()
                with lock:
                    for index in range(PER_CLUSTER):
                        writes[(tag_name(name, cluster, index), k)] = sent
                sims[name].request("PUT", f"/api/memory/D{cluster_base(cluster)}", body,
                                   {"Content-Type": "application/json"})
                reply = sims[name].getresponse()
                reply.read()
                round_trips.append((time.time() - sent) * 1000)
                if reply.status != 200:
                    raise RuntimeError(f"the simulator refused the write: HTTP {reply.status}")
            if k == rounds // 2:
                loads.append(load())
        # The last writes get a period and a bit to arrive.
        wait_for(lambda: not writes, 3)
        cpu = cpu_seconds(edge.pid) - cpu_start
        wall = time.monotonic() - wall_start
        groups_end = thread_groups(edge.pid)
        per_second = {group: {k: (groups_end[group][k] - groups_start[group][k]) / wall for k in ("switches", "cpu")}
                      for group in groups_end}
        broker_cpu = cpu_seconds(broker.process.pid) - broker_start
        own_cpu = sum(os.times()[:2]) - own_start
        loads.append(load())
        work.stop(edge)  # publishes each link's last statistics
        wait_for(lambda: len(subscriber.stats) >= links, 5)
        subscriber.close()
        with lock:
            lost = len(writes)
        stats = list(subscriber.stats.values())
        if len(stats) < links:
            raise RuntimeError(f"statistics of {len(stats)} of {links} links arrived")
        return {
            "links": links,
            "labels": labels,
            "requests": sum(s["requests_per_cycle"] for s in stats) / len(stats),
            "cycles": sum(s["cycles"] for s in stats),
            "overruns": sum(s["overruns"] for s in stats),
            "cycle_ms": max(s["cycle_ms"] for s in stats),
            "failures": failures_by_status(stats),
            "cpu": 100 * cpu / wall,
            "groups": per_second,
            "broker_cpu": 100 * broker_cpu / wall,
            "own_cpu": 100 * own_cpu / wall,
            "changes": len(latencies) + lost,
            "lost": lost,
            "p50": percentile(latencies, 50),
            "p99": percentile(latencies, 99),
            "max": max(latencies) if latencies else float("nan"),
            "delivery50": percentile(delivery, 50),
            "delivery99": percentile(delivery, 99),
            "write99": percentile(round_trips, 99),
            "seconds": wall,
            "loads": loads,
        }
    finally:
        work.close()


def failures_by_status(stats):
    """The links' failed reads, by status: "9: 40" (the statuses' own numbers)."""
    total = {}
    for link in stats:
        for status, count in link["failures"].items():
            total[status] = total.get(status, 0) + count
    return ", ".join(f"{status}: {total[status]}" for status in sorted(total, key=int)) or "0"


def sample_time(sample):
    return datetime.strptime(sample["time"], "%Y-%m-%dT%H:%M:%S.%fZ").replace(tzinfo=timezone.utc).timestamp()


def restart(outage=4.0):
    """A broker restart under a counter: the backlog's delivery, and gaps."""
    work = Work()
    try:
        broker = Broker(work, "restart")
        broker.start()
        memory = work.file("counter.txt", "D0 = counter(100ms)\n")
        _, plc, _ = start_sim(work, "--load", memory)
        tags = work.file("counter.csv", "name,label,type,count,period_ms\ncount,D0,int16,1,100\n")
        subscriber = Subscriber(broker, "restart")
        edge = work.spawn([ARGS.edge, "--config", edge_config(work, broker, [("plc", plc)], {"plc": tags})],
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if not wait_for(lambda: len(subscriber.samples) > 20, 20):
            raise RuntimeError("the counter is not published")
        broker.stop()
        time.sleep(outage)
        broker.start()
        back = time.time()

        def received():
            with subscriber.lock:
                return list(subscriber.samples)

        # Delivered: a sample read after the broker's return has arrived,
        # and every seq before it (the store sends in order).
        def caught_up():
            samples = received()
            after = [s for _, _, s in samples if sample_time(s) >= back]
            if not after:
                return False
            seqs = {s["seq"] for _, _, s in samples}
            return all(n in seqs for n in range(min(seqs), min(s["seq"] for s in after)))

        wait_for(caught_up, 30)
        samples = received()
        first = min((arrived for arrived, _, s in samples if arrived >= back), default=float("nan"))
        delivered = time.time()
        backlog = sum(1 for arrived, _, s in samples if arrived >= back and sample_time(s) < back)
        time.sleep(2)
        work.stop(edge)
        time.sleep(0.5)
        samples = received()
        subscriber.close()
        seqs = sorted({s["seq"] for _, _, s in samples})
        gaps = [n for n in range(seqs[0], seqs[-1] + 1) if n not in set(seqs)]
        return {
            "outage": outage,
            "samples": len(seqs),
            "backlog": backlog,
            "gaps": len(gaps),
            "duplicates": len(samples) - len(seqs),
            "first": first - back,
            "delivered": delivered - back if caught_up() else float("nan"),
            "drain": delivered - first if caught_up() else float("nan"),
        }
    finally:
        work.close()


def table(cells):
    """A row of a Markdown table (the header gets its rule)."""
    print("| " + " | ".join(str(cell) for cell in cells) + " |", flush=True)
    if isinstance(cells[0], str):
        print("|" + "---|" * len(cells), flush=True)


def main():
    print(f"edge_scale: {ARGS.edge}, {os.cpu_count()} CPUs, load average {load():.2f} at the start", flush=True)
    if not ARGS.no_scale:
        print(f"\nScale: 100 int16 labels a link (10 clusters of 10, {ARGS.spacing} registers apart), "
              f"period {PERIOD_MS} ms, 10 % changed every second, {ARGS.seconds} s a run; latency from the "
              "write to the subscriber, and from the read's time stamp to the subscriber\n")
        table(["links", "labels", "req/cycle", "cycles", "overruns", "last cycle ms", "failed", "edge CPU %",
               "CPU % links/node", "switches/s links/node", "changes", "lost", "p50 ms", "p99 ms", "max ms",
               "read to sub p50/p99 ms", "write p99 ms",
               "broker/script CPU %", "load start/mid/end"])
        for links in ARGS.links:
            r = scale(links)
            table([r["links"], r["labels"], f"{r['requests']:.1f}", r["cycles"], r["overruns"], r["cycle_ms"],
                   r["failures"], f"{r['cpu']:.2f}",
                   "/".join(f"{100 * r['groups'][g]['cpu']:.1f}" for g in GROUPS),
                   "/".join(f"{r['groups'][g]['switches']:.0f}" for g in GROUPS),
                   r["changes"], r["lost"], f"{r['p50']:.0f}", f"{r['p99']:.0f}",
                   f"{r['max']:.0f}", f"{r['delivery50']:.0f}/{r['delivery99']:.0f}", f"{r['write99']:.1f}",
                   f"{r['broker_cpu']:.1f}/{r['own_cpu']:.1f}", "/".join(f"{x:.1f}" for x in r["loads"])])
    if ARGS.restarts:
        print("\nBroker restart: 4 s away, a counter read every 100 ms; times from the broker's return\n")
        table(["run", "samples", "buffered", "seq gaps", "repeats", "first message s", "backlog in s", "drain ms"])
        for run in range(1, ARGS.restarts + 1):
            r = restart()
            table([run, r["samples"], r["backlog"], r["gaps"], r["duplicates"], f"{r['first']:.2f}",
                   f"{r['delivered']:.2f}", f"{r['drain'] * 1000:.0f}"])
    print(f"\nload average {load():.2f} at the end")
    return 0


def parse():
    parser = argparse.ArgumentParser(description="norvo-edge at scale, and across a broker restart")
    parser.add_argument("edge")
    parser.add_argument("sim")
    parser.add_argument("--links", default="10,50,100")
    parser.add_argument("--seconds", type=int, default=40)
    parser.add_argument("--spacing", type=int, default=20,
                        help="registers from one cluster's start to the next (10 labels a cluster)")
    parser.add_argument("--no-scale", action="store_true")
    parser.add_argument("--nodelay", action="store_true",
                        help="mosquitto sends at once (set_tcp_nodelay), without Nagle's wait for an acknowledgement")
    parser.add_argument("--restarts", type=int, default=3, help="broker restarts to run (0: none)")
    parser.add_argument("--quick", action="store_true", help="2 links for 5 s: checks that it all runs")
    args = parser.parse_args()
    if args.quick:
        args.links, args.seconds, args.restarts = "2", 5, 1
    args.links = [int(n) for n in args.links.split(",")]
    if args.spacing < PER_CLUSTER:
        parser.error("--spacing is at least 10")
    return args


if __name__ == "__main__":
    ARGS = parse()
    try:
        sys.exit(main())
    except RuntimeError as error:
        print(f"edge_scale: {error}", file=sys.stderr)
        sys.exit(1)
