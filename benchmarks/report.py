#!/usr/bin/env python3
"""Turns the benchmark results into the tables and the chart that the docs show.

Usage: report.py RESULTS_DIR DOCS_DIR README

       report.py --bus-only RESULTS_DIR DOCS_DIR README

RESULTS_DIR holds jdk25.json and jdk17.json (JMH on the null driver), jdk25-simulated.json (JMH
on the simulated driver), native.json (Google Benchmark: the simulated driver alone, memcpy) and
loadavg (a copy of /proc/loadavg taken when the measuring ended). Writes DOCS_DIR/benchmarks.svg,
adds the run's target results to DOCS_DIR/benchmark-runs.json (the ranges over runs come from
there) and replaces the generated parts of DOCS_DIR/benchmarks.md and README: everything between
the lines "<!-- benchmarks: begin -->" and "<!-- benchmarks: end -->".

The SPI, I2C and GPIO transactions have results of their own: serial-bus.json (JMH on the null
driver), serial-bus-simulated.json (round trips and bus time on the simulated chip, written by
SerialBusReport) and serial-bus-loadavg. They replace what lies between "<!-- serial bus
benchmarks: begin -->" and "<!-- serial bus benchmarks: end -->" in DOCS_DIR/benchmarks.md;
with --bus-only nothing else is written.
"""

import datetime
import json
import math
import os
import pathlib
import platform
import re
import statistics
import sys

SIZES = [1, 64, 256, 257, 4096, 65536]
FLOORS = [("bare JNI call, query-shaped: (long) → int", "bareJniCall"),
          ("bare JNI call, transfer-shaped: (long, byte[], int, int) → int", "bareJniTransferCall"),
          ("query-shaped call + GetArrayLength", "getArrayLength"),
          ("query-shaped call + GetByteArrayRegion of 64 B", "getByteArrayRegion64"),
          ("two atomic additions (the typed API's close protection), no JNI call", "atomicEnterAndLeave")]
SMALL = [1, 64, 256]
TYPED_SIZES = [1, 64, 4096]
# The README's short table: sizes a reader compares at.
SHORT = [("getQueueStatus", 0)] + [(o, s) for o in ("read", "write") for s in (1, 256, 4096, 65536)]
HISTORY_RUNS = 12
PACKAGE = "nl.tamsel.ftdi.benchmark."
BEGIN, END = "<!-- benchmarks: begin -->", "<!-- benchmarks: end -->"
BUS_BEGIN, BUS_END = "<!-- serial bus benchmarks: begin -->", "<!-- serial bus benchmarks: end -->"


# ---- Reading the results ----------------------------------------------------------------------

def load_jmh(path):
    """Maps (Class.method, parameter) to (median iteration, JMH's error) for one JMH result file,
    and gives the first entry, which describes the run. The median, not JMH's mean: on a shared
    machine one iteration disturbed by other work would move the mean of five."""
    if not path.exists():
        return {}, None
    results, first = {}, None
    for entry in json.loads(path.read_text()):
        name = entry["benchmark"].removeprefix(PACKAGE)
        params = entry.get("params", {})
        parameter = int(params.get("size", params.get("devices", 0)))
        metric = entry["primaryMetric"]
        error = metric["scoreError"]  # "NaN" when a run has a single iteration
        iterations = [score for fork in metric["rawData"] for score in fork]
        results[(name, parameter)] = (statistics.median(iterations),
                                      error if isinstance(error, float) else None)
        first = first or entry
    return results, first


def load_native(path):
    """Maps a Google Benchmark name such as read/64 to its median wall time in ns."""
    data = json.loads(path.read_text())
    medians = {b["run_name"]: b["real_time"] for b in data["benchmarks"]
               if b.get("aggregate_name") == "median"}
    if not medians:  # a single repetition has no aggregates
        medians = {b["run_name"]: b["real_time"] for b in data["benchmarks"]}
    return medians


class Results:
    def __init__(self, directory):
        self.jdk25, self.run25 = load_jmh(directory / "jdk25.json")
        self.jdk17, self.run17 = load_jmh(directory / "jdk17.json")
        self.simulated, self.run_simulated = load_jmh(directory / "jdk25-simulated.json")
        self.native = load_native(directory / "native.json")

    def _results(self, jdk):
        """jdk is 25 or 17 (the null driver) or "simulated" (JDK 25 on the simulated driver)."""
        return {25: self.jdk25, 17: self.jdk17, "simulated": self.simulated}[jdk]

    def ns(self, name, parameter=0, jdk=25):
        found = self._results(jdk).get((name, parameter))
        return found[0] if found else None

    def error(self, name, parameter=0, jdk=25):
        found = self._results(jdk).get((name, parameter))
        return found[1] if found else None

    def floor(self, jdk=25, size=0):
        """The bare JNI call with the argument list of the call it is compared with: the query's
        for a query (size 0), the transfer's for a transfer."""
        return self.ns("FloorBenchmark.bareJniTransferCall" if size else "FloorBenchmark.bareJniCall", jdk=jdk)

    def driver(self, operation, size=0):
        return self.native.get(f"{operation}/{size}" if size else operation)

    def memcpy_bandwidth(self):
        """Bytes per ns (GB/s) of memcpy at 64 KiB."""
        return 65536 / self.native["memcpyBytes/65536"]

    def bridge(self, operation, size=0, jdk=25):
        return self.ns(f"BridgeBenchmark.{operation}", size, jdk)

    def jna(self, operation, size=0):
        """The faster of JNA's array and native-memory calls."""
        costs = [self.ns(f"JnaBenchmark.{operation}{variant}", size) for variant in ("Array", "Memory")]
        costs = [c for c in costs if c is not None]
        return min(costs) if costs else None

    def ffm(self, operation, size=0):
        """The FFM call doing the bridge's work: the query, or a transfer from or to an array."""
        name = "getQueueStatus" if operation == "getQueueStatus" else operation + "Array"
        return self.ns(f"FfmBenchmark.{name}", size)

    def typed(self, operation, size=0, kind="device"):
        """The typed API's call: FtdiDevice's (kind "device") or its stream's (kind "stream")."""
        if operation == "getQueueStatus":
            return self.ns("TypedApiBenchmark.bytesAvailable") if kind == "device" else None
        return self.ns(f"TypedApiBenchmark.{kind}{operation.capitalize()}", size)


# ---- Formatting -------------------------------------------------------------------------------

def ns_text(value, error=None):
    if value is None:
        return "—"
    text = f"{value:,.0f}" if value >= 100 else f"{value:.1f}"
    if error is not None:
        text += f" ± {error:,.0f}" if error >= 100 else f" ± {error:.1f}"
    return text


def ratio_text(value):
    return "—" if value is None else f"{value:.2f}×"


def divide(a, b):
    return None if a is None or b is None or b == 0 else a / b


def minus(a, b):
    return None if a is None or b is None else a - b


def size_text(size):
    return f"{size // 1024} KiB" if size >= 4096 else f"{size} B"


def label(operation, size):
    return f"{operation} {size_text(size)}" if size else operation


def table(header, rows):
    lines = ["| " + " | ".join(header) + " |", "|" + "|".join("---" for _ in header) + "|"]
    lines += ["| " + " | ".join(row) + " |" for row in rows]
    return "\n".join(lines)


# ---- Targets ----------------------------------------------------------------------------------

def target_rows(r):
    """Per target: its name, its limit, whether that is an upper limit, its unit ("×" or "ns"),
    and the value on JDK 25 and on JDK 17 (None where JDK 17 does not measure it)."""
    rows = []

    def over_floor(operation, size, jdk=25):
        return divide(r.bridge(operation, size, jdk), r.floor(jdk, size))

    def bandwidth(cost):
        return divide(divide(65536, cost), r.memcpy_bandwidth())

    rows.append(("getQueueStatus ÷ bare JNI call", 1.3, True, "×",
                 over_floor("getQueueStatus", 0), over_floor("getQueueStatus", 0, 17)))
    for operation, size in [(o, s) for o in ("read", "write") for s in SMALL]:
        rows.append((f"{label(operation, size)} ÷ bare JNI call of the same arguments", 6, True, "×",
                     over_floor(operation, size), over_floor(operation, size, 17)))
    for operation in ("read", "write"):
        rows.append((f"{operation} 257 B ÷ {operation} 256 B", 1.3, True, "×",
                     divide(r.bridge(operation, 257), r.bridge(operation, 256)),
                     divide(r.bridge(operation, 257, 17), r.bridge(operation, 256, 17))))
    for operation in ("read", "write"):
        rows.append((f"{operation} 64 KiB bandwidth ÷ memcpy bandwidth", 0.42, False, "×",
                     bandwidth(r.bridge(operation, 65536)), bandwidth(r.bridge(operation, 65536, 17))))
    for operation, size in [("getQueueStatus", 0)] + [(o, s) for o in ("read", "write") for s in SMALL]:
        rows.append((f"faster JNA ÷ bridge, {label(operation, size)}", 10, False, "×",
                     divide(r.jna(operation, size), r.bridge(operation, size)), None))
    rows.append(("getQueueStatus ÷ FFM getQueueStatus", 1.2, True, "×",
                 divide(r.bridge("getQueueStatus"), r.ffm("getQueueStatus")), None))
    for operation, size in [("getQueueStatus", 0)] + [(o, s) for o in ("read", "write") for s in TYPED_SIZES]:
        typed_name = "bytesAvailable" if not size else f"{operation} {size_text(size)}"
        rows.append((f"FtdiDevice {typed_name} − bridge", 12, True, "ns",
                     minus(r.typed(operation, size), r.bridge(operation, size)), None))
    return rows


def meets(value, limit, upper):
    return value is not None and (value <= limit if upper else value >= limit)


def value_text(value, unit):
    if value is None:
        return "—"
    return ratio_text(value) if unit == "×" else f"{value:+.1f} ns"


def history_update(path, r, results_dir):
    """Adds this run's target values to the runs kept in path (a full run only: every target
    measured, 5 measured iterations or more) and returns the kept runs."""
    runs = json.loads(path.read_text()) if path.exists() else []
    values = {name: value for name, _, _, _, value, _ in target_rows(r)}
    full = r.run25 and r.run25["measurementIterations"] >= 5 and all(v is not None for v in values.values())
    if full:
        finished = datetime.datetime.fromtimestamp((results_dir / "loadavg").stat().st_mtime,
                                                   datetime.timezone.utc)
        load = float((results_dir / "loadavg").read_text().split()[0])
        runs = [run for run in runs if run["finished"] != f"{finished:%Y-%m-%d %H:%M}"]
        runs.append({"finished": f"{finished:%Y-%m-%d %H:%M}", "load": load,
                     "values": {name: round(value, 4) for name, value in values.items()}})
        runs = runs[-HISTORY_RUNS:]
        path.write_text(json.dumps(runs, indent=1, ensure_ascii=False) + "\n")
    return runs


def targets_table(r, runs):
    rows = []
    for name, limit, upper, unit, value, on17 in target_rows(r):
        verdict = "**met**" if meets(value, limit, upper) else "missed"
        seen = [run["values"][name] for run in runs if run["values"].get(name) is not None]
        met = sum(meets(v, limit, upper) for v in seen)
        spread = (f"{value_text(min(seen), unit)} to {value_text(max(seen), unit)}, met in {met} of {len(seen)}"
                  if seen else "—")
        limit_text = f"{'≤' if upper else '≥'} {limit}{'×' if unit == '×' else ' ns'}"
        rows.append([name, limit_text, value_text(value, unit), verdict, spread, value_text(on17, unit)])
    return table(["target (null driver)", "limit", "JDK 25", "result", f"range over {len(runs)} full run{'' if len(runs) == 1 else 's'}",
                  "JDK 17"], rows)


# ---- Tables of costs --------------------------------------------------------------------------

def cost_table(r):
    def cell(name, size=0, jdk=25):
        return ns_text(r.ns(name, size, jdk), r.error(name, size, jdk))

    rows = [[label, "", cell(f"FloorBenchmark.{name}"), "—", "—", "—", "—",
             cell(f"FloorBenchmark.{name}", jdk=17)] for label, name in FLOORS]
    rows.append(["bare FFM downcall of the query-shaped call's function", "", "—", "—", "—", "—",
                 cell("FfmBenchmark.bareDowncall"), "—"])
    rows.append(["getQueueStatus", "", cell("BridgeBenchmark.getQueueStatus"),
                 cell("JnaBenchmark.getQueueStatusArray"), cell("JnaBenchmark.getQueueStatusMemory"),
                 "—", cell("FfmBenchmark.getQueueStatus"), cell("BridgeBenchmark.getQueueStatus", jdk=17)])
    for operation in ("read", "write"):
        for size in SIZES:
            rows.append([operation, size_text(size), cell(f"BridgeBenchmark.{operation}", size),
                         cell(f"JnaBenchmark.{operation}Array", size),
                         cell(f"JnaBenchmark.{operation}Memory", size),
                         cell(f"FfmBenchmark.{operation}Array", size),
                         cell(f"FfmBenchmark.{operation}Native", size),
                         cell(f"BridgeBenchmark.{operation}", size, 17)])
    return table(["call", "bytes", "bridge", "JNA, arrays", "JNA, native memory", "FFM, arrays",
                  "FFM, native memory", "bridge, JDK 17"], rows)


def typed_table(r):
    rows = []
    for operation, size in [("getQueueStatus", 0)] + [(o, s) for o in ("read", "write") for s in TYPED_SIZES]:
        bridge, device, stream = r.bridge(operation, size), r.typed(operation, size), r.typed(operation, size, "stream")
        rows.append([f"{operation} {size_text(size)}" if size else "getQueueStatus / bytesAvailable",
                     ns_text(bridge), ns_text(device), value_text(minus(device, bridge), "ns"),
                     ns_text(stream), value_text(minus(stream, bridge), "ns")])
    return table(["call", "raw bridge (D2XX)", "FtdiDevice", "FtdiDevice − bridge", "stream", "stream − bridge"], rows)


def ratio_table(r):
    memcpy = r.memcpy_bandwidth()
    rows = []
    calls = [("getQueueStatus", 0)] + [(o, s) for o in ("read", "write") for s in SIZES]
    for operation, size in calls:
        bridge = r.bridge(operation, size)
        jna_array = r.ns(f"JnaBenchmark.{operation}Array", size)
        jna_memory = r.ns(f"JnaBenchmark.{operation}Memory", size)
        ffm_native = r.ns("FfmBenchmark.getQueueStatus" if not size else f"FfmBenchmark.{operation}Native", size)
        bandwidth = divide(divide(size, bridge), memcpy) if size >= 4096 else None
        rows.append([operation, size_text(size) if size else "",
                     ratio_text(divide(bridge, r.floor(size=size))),
                     ratio_text(divide(jna_array, bridge)), ratio_text(divide(jna_memory, bridge)),
                     ratio_text(divide(r.ffm(operation, size), bridge) if size else None),
                     ratio_text(divide(ffm_native, bridge)),
                     ratio_text(bandwidth)])
    return table(["call", "bytes", "bridge ÷ bare JNI call of the same arguments",
                  "JNA arrays ÷ bridge", "JNA native ÷ bridge", "FFM arrays ÷ bridge",
                  "FFM native ÷ bridge", "bandwidth ÷ memcpy"], rows)


def breakdown_table(r):
    """Splits the query and the 64-byte transfers into the parts measured on their own."""
    query, transfer = r.floor(), r.floor(size=1)
    length = minus(r.ns("FloorBenchmark.getArrayLength"), query)
    region = minus(r.ns("FloorBenchmark.getByteArrayRegion64"), query)
    labels = ["the JNI call itself (bare JNI call of the same arguments)", "GetArrayLength, the region check",
              "one region copy of 64 B (Get/SetByteArrayRegion)",
              "the rest: the bridge's own code, the null driver's call and copy, and what the parts cost "
              "together beyond alone", "**bridge, measured**"]
    columns = []
    for operation, size in (("getQueueStatus", 0), ("read", 64), ("write", 64)):
        parts = [query if not size else transfer, length if size else None, region if size else None]
        total = r.bridge(operation, size)
        known = [part for part in parts if part is not None]
        rest = total - sum(known) if total is not None and len(known) == (3 if size else 1) else None
        columns.append(parts + [rest, total])
    rows = [[name] + [ns_text(column[index]) for column in columns] for index, name in enumerate(labels)]
    return table(["part, ns", "getQueueStatus", "read 64 B", "write 64 B"], rows)


def simulated_table(r):
    rows = []
    for operation, size in [("getQueueStatus", 0)] + [(o, s) for o in ("read", "write") for s in SIZES]:
        null = r.bridge(operation, size)
        simulated = r.bridge(operation, size, "simulated")
        rows.append([operation, size_text(size) if size else "", ns_text(null),
                     ns_text(simulated, r.error(f"BridgeBenchmark.{operation}", size, "simulated")),
                     ns_text(r.driver(operation, size)), value_text(minus(simulated, null), "ns")])
    return table(["call", "bytes", "bridge on the null driver", "bridge on the simulated driver",
                  "simulated driver alone (C++)", "simulated − null"], rows)


def enumeration_table(r):
    rows = []
    for devices in (1, 16, 128):
        cost = r.ns("EnumerationBenchmark.createDeviceInfoList", devices, "simulated")
        rows.append([str(devices),
                     ns_text(cost, r.error("EnumerationBenchmark.createDeviceInfoList", devices, "simulated")),
                     ns_text(divide(cost, devices))])
    return table(["devices", "createDeviceInfoList, ns", "ns per device"], rows)


def short_table(r):
    """The README's table: the bridge, JNA, FFM and the floor per call at a few sizes."""
    rows = []
    for operation, size in SHORT:
        floor = r.floor(size=size)
        copy = divide(size, r.memcpy_bandwidth()) if size >= 4096 else None
        rows.append([label(operation, size), ns_text(r.bridge(operation, size)), ns_text(r.jna(operation, size)),
                     ns_text(r.ffm(operation, size)), ns_text(floor), ns_text(copy)])
    return table(["call", "bridge (JNI)", "JNA, faster variant", "FFM, with the array copy", "bare JNI call",
                  "one memcpy of the bytes"], rows)


def frame_sentence(r):
    read4k = r.bridge("read", 4096)
    query = r.bridge("getQueueStatus")
    if read4k is None or query is None:
        return ""
    return (f"A USB transfer waits for a bus frame: 125 µs at high speed, 1 ms at full speed. A read of "
            f"4 KiB through the bridge takes {ns_text(read4k)} ns, {read4k / 125_000:.2%} of the shorter "
            f"frame, and a queue query {ns_text(query)} ns: the binding is not what limits a device.")


# ---- Machine ----------------------------------------------------------------------------------

def cpu_model():
    match = re.search(r"^model name\s*:\s*(.+)$", pathlib.Path("/proc/cpuinfo").read_text(), re.M)
    return match.group(1).strip() if match else platform.processor() or "unknown"


def jdk_text(entry):
    return f"{entry['vmName']} {entry['jdkVersion']}" if entry else "not run"


def run_finished(results_dir):
    return datetime.datetime.fromtimestamp((results_dir / "loadavg").stat().st_mtime, datetime.timezone.utc)


def machine_line(r, results_dir):
    """One line for the README: the machine, the JDK and the load."""
    load = float((results_dir / "loadavg").read_text().split()[0])
    return (f"Measured {run_finished(results_dir):%Y-%m-%d} on {cpu_model()} ({os.cpu_count()} cores), "
            f"{jdk_text(r.run25)}, load average {load:.1f}; ns per call, medians, on the null driver.")


def machine_text(r, results_dir):
    run = r.run25 or r.run17
    # When the measuring ended, and the load then, as benchmarks/run recorded them.
    finished = run_finished(results_dir)
    load = [float(value) for value in (results_dir / "loadavg").read_text().split()[:3]]
    settings = (f"JMH {run['jmhVersion']}, {run['forks']} fork per benchmark, "
                f"{run['warmupIterations']} × {run['warmupTime']} warm-up, "
                f"{run['measurementIterations']} × {run['measurementTime']} measured, "
                "average time per call; each number is the median of the measured iterations, "
                "± is JMH's 99.9% confidence interval of their mean") if run else ""
    return "\n".join([
        f"- Machine: {cpu_model()}, {os.cpu_count()} cores (nproc), Linux {platform.release()}",
        f"- JDK 25 runs: {jdk_text(r.run25)} (on the null driver: the bare JNI calls, the bridge, JNA, FFM, "
        "the typed API; on the simulated driver: the bridge, enumeration)",
        f"- JDK 17 run: {jdk_text(r.run17)} (on the null driver: the bare JNI calls and the bridge)",
        f"- Settings: {settings}",
        f"- Run finished {finished:%Y-%m-%d %H:%M} UTC; load average "
        f"over the last 1/5/15 minutes {load[0]:.1f}/{load[1]:.1f}/{load[2]:.1f} on {os.cpu_count()} cores "
        "(above 1, other work shared the machine and the numbers carry its noise)",
    ])


# ---- Chart ------------------------------------------------------------------------------------

SERIES = [  # label, benchmark, the results it comes from, colour, dash
    ("bridge (JNI)", "BridgeBenchmark.{op}", 25, "#1f5fbf", ""),
    ("JNA, arrays", "JnaBenchmark.{op}Array", 25, "#c8283c", ""),
    ("JNA, native memory", "JnaBenchmark.{op}Memory", 25, "#c8283c", "6 4"),
    ("FFM, arrays", "FfmBenchmark.{op}Array", 25, "#1e8c3a", ""),
    ("FFM, native memory", "FfmBenchmark.{op}Native", 25, "#1e8c3a", "6 4"),
    ("bridge on the simulated driver", "BridgeBenchmark.{op}", "simulated", "#777777", "2 3"),
]


def chart(r):
    width, height, top, bottom, left, gap, panel = 960, 470, 40, 120, 70, 60, 395
    values = [r.floor(size=1)] + [r.ns(pattern.format(op=op), s, jdk) for _, pattern, jdk, _, _ in SERIES
                                   for op in ("read", "write") for s in SIZES]
    values = [v for v in values if v]
    low = 10 ** math.floor(math.log10(min(values)))
    high = 10 ** math.ceil(math.log10(max(values)))
    plot_height = height - top - bottom

    def x(panel_left, size):
        return panel_left + math.log2(size) / 16 * panel

    def y(ns):
        return top + (math.log10(high) - math.log10(ns)) / (math.log10(high) - math.log10(low)) * plot_height

    out = [f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{height}" '
           f'viewBox="0 0 {width} {height}" font-family="sans-serif" font-size="12">',
           f'<rect width="{width}" height="{height}" fill="white"/>']
    for index, op in enumerate(("read", "write")):
        x0 = left + index * (panel + gap)
        out.append(f'<text x="{x0 + panel / 2}" y="22" text-anchor="middle" font-size="15" '
                   f'font-weight="bold">{op} (ns per call, JDK 25, null driver)</text>')
        decade = low
        while decade <= high:
            out.append(f'<line x1="{x0}" x2="{x0 + panel}" y1="{y(decade):.1f}" y2="{y(decade):.1f}" stroke="#ddd"/>')
            label = f"{decade / 1000:g} µs" if decade >= 1000 else f"{decade:g} ns"
            out.append(f'<text x="{x0 - 6}" y="{y(decade) + 4:.1f}" text-anchor="end">{label}</text>')
            decade *= 10
        for size in (1, 16, 256, 4096, 65536):
            out.append(f'<line x1="{x(x0, size):.1f}" x2="{x(x0, size):.1f}" y1="{top}" y2="{top + plot_height}" stroke="#eee"/>')
            out.append(f'<text x="{x(x0, size):.1f}" y="{top + plot_height + 16}" text-anchor="middle">'
                       f'{size_text(size).replace(" B", "")}</text>')
        out.append(f'<text x="{x0 + panel / 2}" y="{top + plot_height + 34}" text-anchor="middle">bytes per call</text>')
        out.append(f'<rect x="{x0}" y="{top}" width="{panel}" height="{plot_height}" fill="none" stroke="#999"/>')
        floor = r.floor(size=1)
        if floor:
            out.append(f'<line x1="{x0}" x2="{x0 + panel}" y1="{y(floor):.1f}" y2="{y(floor):.1f}" '
                       'stroke="black" stroke-dasharray="1 3"/>')
            out.append(f'<text x="{x0 + 4}" y="{y(floor) - 4:.1f}" font-size="11">bare JNI call</text>')
        # memcpy's time grows with the size at its 64 KiB bandwidth; drawn from where it enters.
        memcpy = r.memcpy_bandwidth()
        start = max(1.0, low * memcpy)
        (ax, ay), (bx, by) = [(x(x0, size), y(size / memcpy)) for size in (start, 65536)]
        out.append(f'<line x1="{ax:.1f}" y1="{ay:.1f}" x2="{bx:.1f}" y2="{by:.1f}" stroke="black" '
                   'stroke-dasharray="1 3"/>')
        out.append(f'<text x="{bx - 4:.1f}" y="{by + 14:.1f}" font-size="11" text-anchor="end">'
                   'memcpy</text>')
        for label, pattern, jdk, colour, dash in SERIES:
            costs = [(s, r.ns(pattern.format(op=op), s, jdk)) for s in SIZES]
            points = [f"{x(x0, s):.1f},{y(c):.1f}" for s, c in costs if c]
            if points:
                out.append(f'<polyline points="{" ".join(points)}" fill="none" stroke="{colour}" '
                           f'stroke-width="2" stroke-dasharray="{dash}"/>')
    for index, (label, _, _, colour, dash) in enumerate(SERIES):
        lx = left + (index % 3) * 300
        ly = height - 50 + (index // 3) * 20
        out.append(f'<line x1="{lx}" x2="{lx + 30}" y1="{ly}" y2="{ly}" stroke="{colour}" stroke-width="2" '
                   f'stroke-dasharray="{dash}"/>')
        out.append(f'<text x="{lx + 36}" y="{ly + 4}">{label}</text>')
    out.append("</svg>")
    return "\n".join(out) + "\n"


# ---- SPI, I2C and GPIO through the typed API ---------------------------------------------------

BUS_CLASS = "SerialBusBenchmark"
# Per operation: its name, the FT232H figures it is set against (bulk writes / reads of the same
# transaction made one USB command at a time), what ours must be, the simulated report's
# operations it is judged by with their limits (writes, reads; None = no limit of its own), and
# the JMH benchmark with its parameter that measures its host CPU.
BUS_OPERATIONS = [
    ("I2C write: register address + 16 bytes", "19 / 19", "1 / 1",
     [("i2cWriteRegisters", 1, 1)], ("i2cWriteRegisters", 0)),
    ("I2C register read of 16 bytes with a repeated start", "5 / 5", "1 / 1",
     [("i2cReadRegisters", 1, 1)], ("i2cReadRegisters", 0)),
    ("I2C bus scan 0x08–0x77", "224 / 224", "at most 2 round trips",
     [("i2cScan", 2, 2)], ("i2cScan", 0)),
    ("SPI full-duplex 4 bytes", "1 / 1", "1 / 1", [("spiTransfer4", 1, 1)], ("spiTransfer", 4)),
    ("SPI full-duplex 4096 bytes", "5 / 9", "1 / 1", [("spiTransfer4096", 1, 1)], ("spiTransfer", 4096)),
    ("GPIO write, then read", "2 / 1", "write 1 / 0, read 1 / 1",
     [("gpioWrite", 1, 0), ("gpioRead", 1, 1)], ("gpioWriteThenRead", 0)),
]
CPU_TARGET_NS = 20_000
RATE_TARGET = 35_000
WIRE_LIMIT = 44_000


def load_bus(results_dir):
    """The JMH results of the transactions (null driver) and the simulated chip's report, or None
    for what was not measured."""
    cpu, run = load_jmh(results_dir / "serial-bus.json")
    path = results_dir / "serial-bus-simulated.json"
    simulated = json.loads(path.read_text()) if path.exists() else None
    return cpu, run, simulated


def bus_counts_text(operations, simulated):
    """The measured writes / reads of one operation, or of each of its parts, and whether all
    are within their limits."""
    if simulated is None:
        return "—", False
    found = {o["name"]: o for o in simulated["operations"]}
    parts, within = [], True
    for name, writes, reads in operations:
        o = found.get(name)
        if o is None:
            return "—", False
        within = within and o["writes"] <= writes and o["reads"] <= reads
        prefix = f"{name.removeprefix('gpio').lower()} " if len(operations) > 1 else ""
        parts.append(f"{prefix}{o['writes']} / {o['reads']}")
    return ", ".join(parts), within


def bus_time_text(operations, simulated):
    if simulated is None:
        return "—"
    found = {o["name"]: o for o in simulated["operations"]}
    times = [found[name]["busNanos"] for name, _, _ in operations if name in found]
    return f"{sum(times) / 1000:,.1f} µs" if len(times) == len(operations) else "—"


def us_text(ns):
    return "—" if ns is None else f"{ns / 1000:,.2f} µs"


def bus_table(cpu, simulated):
    rows = []
    for name, theirs, limit, operations, (benchmark, parameter) in BUS_OPERATIONS:
        counts, within = bus_counts_text(operations, simulated)
        found = cpu.get((f"{BUS_CLASS}.{benchmark}", parameter))
        rows.append([name, theirs, limit, counts, "**met**" if within else "missed",
                     us_text(found[0] if found else None), bus_time_text(operations, simulated)])
    write = cpu.get((f"{BUS_CLASS}.i2cWriteRegisters", 0))
    write_ns = write[0] if write else None
    rows.append(["host CPU for the 16-byte I2C write, no USB", "280–410 µs", "at most 20 µs", us_text(write_ns),
                 "**met**" if meets(write_ns, CPU_TARGET_NS, True) else "missed", us_text(write_ns), "—"])
    return table(["operation (FT232H)", "its bulk writes / reads", "ours must be",
                  "ours: driver writes / reads (simulated chip)", "result",
                  "host CPU per transaction (JDK 25, null driver)", "bus time (simulated chip)"], rows)


def bus_rate_text(simulated):
    read = simulated.get("i2cRead256") if simulated else None
    if not read:
        return "The 256-byte read at 400 kHz was not measured."
    nanos = read["busNanos"]
    rate = read["bytes"] / nanos * 1e9
    verdict = "**met**" if meets(rate, RATE_TARGET, False) else "missed"
    return (f"A register read of {read['bytes']} bytes at 400 kHz from a simulated I2C target (one "
            f"transaction: start, address, register, repeated start, address, {read['bytes']} bytes, stop) "
            f"takes {nanos / 1000:,.1f} µs of simulated bus time: a payload rate of "
            f"**{rate / 1000:.1f} kB/s** against the target of ≥ {RATE_TARGET // 1000} kB/s ({verdict}); "
            f"the wire's limit, 9 clocks per byte at 400 kHz, is {WIRE_LIMIT // 1000} kB/s. It took "
            f"{read['writes']} driver write and {read['reads']} driver read.")


def long_read_text(simulated):
    """The flash reads far beyond the reply bound: round trips, and bus time against the wire's."""
    reads = simulated.get("longReads") if simulated else None
    if not reads:
        return "The long SPI flash read was not measured."
    rows = [[f"{r['receiveBuffer']:,} B", f"{r['replyBound']:,} B", f"{r['bytes'] / (1 << 20):g} MiB", f"{r['writes']:,} / {r['reads']:,}",
             f"{r['busNanos'] / 1e9:.3f} s", f"{r['wireNanos'] / 1e9:.3f} s",
             f"{r['wireNanos'] / r['busNanos'] * 100:.1f} %"] for r in reads]
    return (f"One `writeThenRead` of a whole simulated SPI flash at {reads[0]['clockHz'] // 1_000_000} MHz, "
            "mode 0, far beyond the device's reply bound: the transfer is cut into segments of half the "
            "bound, and the next segment goes out while the replies of the one before are read.\n\n"
            + table(["driver receive buffer", "reply bound", "read", "driver writes / reads", "bus time (simulated chip)",
                     "the bits alone at the clock", "of the bus time"], rows))


def bus_machine_text(run, results_dir):
    loadavg = results_dir / "serial-bus-loadavg"
    lines = [f"- Machine: {cpu_model()}, {os.cpu_count()} cores (nproc), Linux {platform.release()}",
             f"- Host CPU: {jdk_text(run)}"]
    if run:
        lines.append(f"- Settings: JMH {run['jmhVersion']}, {run['forks']} fork per benchmark, "
                     f"{run['warmupIterations']} × {run['warmupTime']} warm-up, "
                     f"{run['measurementIterations']} × {run['measurementTime']} measured; the median of the "
                     "measured iterations")
    if loadavg.exists():
        finished = datetime.datetime.fromtimestamp(loadavg.stat().st_mtime, datetime.timezone.utc)
        load = [float(value) for value in loadavg.read_text().split()[:3]]
        lines.append(f"- Run finished {finished:%Y-%m-%d %H:%M} UTC; load average over the last 1/5/15 "
                     f"minutes {load[0]:.1f}/{load[1]:.1f}/{load[2]:.1f} on {os.cpu_count()} cores")
    return "\n".join(lines)


def bus_section(results_dir):
    cpu, run, simulated = load_bus(results_dir)
    return "\n\n".join([bus_machine_text(run, results_dir), bus_table(cpu, simulated), bus_rate_text(simulated),
                        long_read_text(simulated)])


# ---- Writing ----------------------------------------------------------------------------------

def replace_generated(path, content, begin=BEGIN, end=END):
    text = path.read_text() if path.exists() else ""
    block = f"{begin}\n{content.strip()}\n{end}"
    if begin in text and end in text:
        text = text[:text.index(begin)] + block + text[text.index(end) + len(end):]
    else:
        text = text.rstrip("\n") + ("\n\n" if text else "") + block + "\n"
    path.write_text(text)


def main(results_dir, docs_dir, readme, bus_only=False):
    results_dir = pathlib.Path(results_dir)
    docs = pathlib.Path(docs_dir)
    docs.mkdir(parents=True, exist_ok=True)
    if (results_dir / "serial-bus-simulated.json").exists() or (results_dir / "serial-bus.json").exists():
        replace_generated(docs / "benchmarks.md", bus_section(results_dir), BUS_BEGIN, BUS_END)
    if bus_only:
        return
    r = Results(results_dir)
    runs = history_update(docs / "benchmark-runs.json", r, results_dir)
    (docs / "benchmarks.svg").write_text(chart(r))
    replace_generated(docs / "benchmarks.md", "\n\n".join([
        machine_text(r, results_dir),
        "### Targets\n\nEach value comes from one run on one JDK, on the null driver. A transfer is "
        "compared with a bare JNI call of the same argument list (a handle, an array, an offset and a "
        "length), the query with one taking a handle. The range column covers the full runs kept in "
        "`docs/benchmark-runs.json`, each on the machine as it was loaded then.\n\n" + targets_table(r, runs),
        "### Cost per call on the null driver, ns\n\n" + cost_table(r),
        "### The typed API over the raw bridge (JDK 25, null driver), ns\n\n"
        "The null driver's receive queue is never empty, so a stream read asks for the queue status "
        "and reads at once, never waiting.\n\n" + typed_table(r),
        "### Ratios (JDK 25, null driver)\n\n" + ratio_table(r),
        "### Where the time of one call goes (JDK 25, null driver)\n\nEach part measured on its own: "
        "the callbacks as the query-shaped bare call plus that one callback, less that bare call.\n\n"
        + breakdown_table(r),
        "### On the simulated driver (JDK 25)\n\nThe same bridge calls on the simulated driver in instant "
        "mode (no waiting; bytes copied from and to a preset buffer), whose lock and bookkeeping sit inside "
        "every number, beside the driver's own cost called from C++.\n\n" + simulated_table(r),
        "### Enumeration through the bridge (JDK 25, simulated driver)\n\n" + enumeration_table(r),
        f"### memcpy (C++)\n\n64 KiB in {ns_text(r.native['memcpyBytes/65536'])} ns: "
        f"{r.memcpy_bandwidth():.1f} GB/s.",
    ]))
    replace_generated(pathlib.Path(readme), "\n\n".join([
        machine_line(r, results_dir),
        short_table(r),
        frame_sentence(r),
        "![Cost per call against bytes per call for the bridge, JNA and FFM](docs/benchmarks.svg)",
        "Every number, the targets and their ranges over runs, the typed API's cost, the simulated "
        "driver and the profiles: [docs/benchmarks.md](docs/benchmarks.md).",
    ]))


if __name__ == "__main__":
    arguments = sys.argv[1:]
    only = arguments[:1] == ["--bus-only"]
    if only:
        arguments = arguments[1:]
    if len(arguments) != 3:
        sys.exit(__doc__)
    main(*arguments, bus_only=only)
