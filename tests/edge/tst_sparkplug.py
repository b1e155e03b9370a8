# SPDX-License-Identifier: LGPL-2.1-or-later
"""norvo-edge's Sparkplug B payloads decoded from the schema's side: the
.proto compiled for Python here, the expected values written from the
schema's numbers and encodings, not from the C++ code.

usage: tst_sparkplug.py PROTOC PROTO SAMPLES
"""

import atexit
import importlib
import os
import shutil
import struct
import subprocess
import sys
import tempfile

PROTOC, PROTO, SAMPLES = sys.argv[1:4]
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what, flush=True)


work = tempfile.mkdtemp(prefix="norvo-sparkplug-test-")
atexit.register(shutil.rmtree, work)
subprocess.run([PROTOC, "--proto_path=" + os.path.dirname(PROTO), "--python_out=" + work, PROTO], check=True)
subprocess.run([SAMPLES, work], check=True)
sys.path.insert(0, work)
schema = importlib.import_module(os.path.splitext(os.path.basename(PROTO))[0] + "_pb2")


def payload(name):
    message = schema.Payload()
    with open(os.path.join(work, name), "rb") as f:
        message.ParseFromString(f.read())
    return message


def value(metric):
    field = metric.WhichOneof("value")
    return field, getattr(metric, field) if field else None


# The schema's datatype numbers.
INT8, INT16, INT32, INT64, UINT8, UINT16, UINT32, UINT64 = 1, 2, 3, 4, 5, 6, 7, 8
FLOAT, DOUBLE, BOOLEAN, STRING = 9, 10, 11, 12
INT16_ARRAY, FLOAT_ARRAY, BOOLEAN_ARRAY = 23, 30, 32

nbirth = payload("nbirth")
check(nbirth.HasField("seq") and nbirth.seq == 0, "NBIRTH seq 0")
check(nbirth.timestamp == 1700000000000, "NBIRTH timestamp")
metrics = {m.name: m for m in nbirth.metrics}
check(metrics["bdSeq"].datatype == UINT64 and value(metrics["bdSeq"]) == ("long_value", 3), "NBIRTH bdSeq")
rebirth = metrics["Node Control/Rebirth"]
check(rebirth.datatype == BOOLEAN and value(rebirth) == ("boolean_value", False), "NBIRTH rebirth false")

ndeath = payload("ndeath")
check(not ndeath.HasField("seq"), "NDEATH has no seq")
check([(m.name, m.datatype, value(m)) for m in ndeath.metrics] == [("bdSeq", UINT64, ("long_value", 3))],
      "NDEATH bdSeq only")

# name -> (alias, datatype, field, value)
expected = {
    "int8": (1, INT8, "int_value", 0xFFFFFFFF),  # -1 as the 32-bit field's pattern
    "uint32": (2, UINT32, "int_value", 4294967295),
    "int64": (3, INT64, "long_value", 2**64 - 2),
    "double": (4, DOUBLE, "double_value", 0.25),
    "int16s": (5, INT16_ARRAY, "bytes_value", struct.pack("<hh", -30000, 30000)),
    "floats": (6, FLOAT_ARRAY, "bytes_value", struct.pack("<ff", 1.5, -2.0)),
    # A little-endian count of 12, then the bits from each byte's top.
    "bits": (7, BOOLEAN_ARRAY, "bytes_value", bytes([12, 0, 0, 0, 0b00110100, 0b11010000])),
}
dbirth = payload("dbirth")
check(dbirth.seq == 1 and dbirth.timestamp == 1700000000100, "DBIRTH seq and timestamp")
check([m.name for m in dbirth.metrics] == list(expected) + ["failed"], "DBIRTH names every tag")
for metric in dbirth.metrics:
    check(metric.timestamp == 1700000000000 + metric.alias, "DBIRTH %s timestamp" % metric.name)
    if metric.name == "failed":
        properties = dict(zip(metric.properties.keys, metric.properties.values))
        check(metric.alias == 8 and metric.datatype == UINT16 and metric.is_null, "failed read is null")
        check(metric.WhichOneof("value") is None, "failed read has no value")
        quality = properties.get("Quality")
        check(quality is not None and quality.type == INT32 and quality.int_value == 0, "failed read: Quality BAD")
        reason = properties.get("reason")
        check(reason is not None and reason.type == STRING and reason.string_value == "no answer", "failed: reason")
        continue
    alias, datatype, field, data = expected[metric.name]
    check((metric.alias, metric.datatype) == (alias, datatype), "DBIRTH %s alias and datatype" % metric.name)
    check(value(metric) == (field, data), "DBIRTH %s value %r" % (metric.name, value(metric)))
    check(not metric.is_null, "DBIRTH %s not null" % metric.name)

ddata = payload("ddata")
check(ddata.seq == 2, "DDATA seq")
check([(m.HasField("name"), m.alias) for m in ddata.metrics] == [(False, 1), (False, 7)], "DDATA by alias only")
check([value(m) for m in ddata.metrics] == [("int_value", 0xFFFFFFFF), expected["bits"][2:]], "DDATA values")
check(all(m.timestamp for m in ddata.metrics), "DDATA timestamps")

ddeath = payload("ddeath")
check(ddeath.seq == 3 and len(ddeath.metrics) == 0, "DDEATH seq, no metrics")

print("%d failures" % len(failures))
sys.exit(1 if failures else 0)
