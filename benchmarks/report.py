#!/usr/bin/env python3
"""Turns the benchmark results into the tables and the chart that the docs show.

Usage: report.py RESULTS_DIR DOCS_DIR README

RESULTS_DIR holds jdk25.json and jdk17.json (JMH), native.json (Google Benchmark) and loadavg (a
copy of /proc/loadavg taken when the measuring ended). Writes
DOCS_DIR/benchmarks.svg and replaces the generated parts of DOCS_DIR/benchmarks.md and README:
everything between the lines "<!-- benchmarks: begin -->" and "<!-- benchmarks: end -->".
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
FLOORS = [("bare JNI call", "bareJniCall"), ("bare JNI call + GetArrayLength", "getArrayLength"),
          ("bare JNI call + GetByteArrayRegion of 64 B", "getByteArrayRegion64")]
SMALL = [1, 64, 256]
PACKAGE = "nl.tamsel.ftdi.benchmark."
BEGIN, END = "<!-- benchmarks: begin -->", "<!-- benchmarks: end -->"


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
        self.native = load_native(directory / "native.json")

    def ns(self, name, parameter=0, jdk=25):
        found = (self.jdk25 if jdk == 25 else self.jdk17).get((name, parameter))
        return found[0] if found else None

    def error(self, name, parameter=0, jdk=25):
        found = (self.jdk25 if jdk == 25 else self.jdk17).get((name, parameter))
        return found[1] if found else None

    def floor(self, jdk=25):
        return self.ns("FloorBenchmark.bareJniCall", jdk=jdk)

    def driver(self, operation, size=0):
        return self.native.get(f"{operation}/{size}" if size else operation)

    def memcpy_bandwidth(self):
        """Bytes per ns (GB/s) of memcpy at 64 KiB."""
        return 65536 / self.native["memcpyBytes/65536"]

    def bridge(self, operation, size=0, jdk=25):
        return self.ns(f"BridgeBenchmark.{operation}", size, jdk)

    def own(self, operation, size=0, jdk=25):
        """The bridge's cost less the driver's own, as measured from C++; None when that comes
        out below one bare JNI call, which no call can undercut: the difference is then noise."""
        own = minus(self.bridge(operation, size, jdk), self.driver(operation, size))
        return own if own is not None and own >= (self.floor(jdk) or 0) else None

    def jna(self, operation, size=0):
        """The faster of JNA's array and native-memory calls."""
        costs = [self.ns(f"JnaBenchmark.{operation}{variant}", size) for variant in ("Array", "Memory")]
        costs = [c for c in costs if c is not None]
        return min(costs) if costs else None

    def ffm(self, operation, size=0):
        """The FFM call doing the bridge's work: the query, or a transfer from or to an array."""
        name = "getQueueStatus" if operation == "getQueueStatus" else operation + "Array"
        return self.ns(f"FfmBenchmark.{name}", size)


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
    """Per target: its name, its limit, whether that is an upper limit, and the ratio on JDK 25,
    the same with the driver's own cost taken off both sides, and the ratio on JDK 17."""
    rows = []

    def over_floor(operation, size, jdk=25):
        return divide(r.bridge(operation, size, jdk), r.floor(jdk))

    def bandwidth(cost):
        return divide(divide(65536, cost), r.memcpy_bandwidth())

    for operation, size in [("getQueueStatus", 0)] + [(o, s) for o in ("read", "write") for s in SMALL]:
        rows.append((f"{label(operation, size)} ÷ bare JNI call", 1.4 if not size else 4.5, True,
                     over_floor(operation, size), divide(r.own(operation, size), r.floor()),
                     over_floor(operation, size, 17)))
    for operation in ("read", "write"):
        rows.append((f"{operation} 257 B ÷ {operation} 256 B", 1.3, True,
                     divide(r.bridge(operation, 257), r.bridge(operation, 256)),
                     divide(r.own(operation, 257), r.own(operation, 256)),
                     divide(r.bridge(operation, 257, 17), r.bridge(operation, 256, 17))))
    for operation in ("read", "write"):
        rows.append((f"{operation} 64 KiB bandwidth ÷ memcpy bandwidth", 0.45, False,
                     bandwidth(r.bridge(operation, 65536)), bandwidth(r.own(operation, 65536)),
                     bandwidth(r.bridge(operation, 65536, 17))))
    for operation, size in [("getQueueStatus", 0)] + [(o, s) for o in ("read", "write") for s in SMALL]:
        driver = r.driver(operation, size)
        rows.append((f"faster JNA ÷ bridge, {label(operation, size)}", 6, False,
                     divide(r.jna(operation, size), r.bridge(operation, size)),
                     divide(minus(r.jna(operation, size), driver), r.own(operation, size)), None))
    driver = r.driver("getQueueStatus")
    rows.append(("getQueueStatus ÷ FFM downcall", 1.3, True,
                 divide(r.bridge("getQueueStatus"), r.ffm("getQueueStatus")),
                 divide(r.own("getQueueStatus"), minus(r.ffm("getQueueStatus"), driver)), None))
    return rows


def meets(value, limit, upper):
    return value is not None and (value <= limit if upper else value >= limit)


def targets_table(r):
    rows = []
    for name, limit, upper, value, own, on17 in target_rows(r):
        verdict = "**met**" if meets(value, limit, upper) else "missed"
        own_text = f"{ratio_text(own)} ({'met' if meets(own, limit, upper) else 'missed'})"
        rows.append([name, f"{'≤' if upper else '≥'} {limit}×", ratio_text(value), verdict,
                     own_text if own is not None else "—", ratio_text(on17)])
    return table(["target", "limit", "JDK 25", "result", "with the driver's own cost taken off",
                  "JDK 17"], rows)


# ---- Tables of costs --------------------------------------------------------------------------

def cost_table(r):
    def cell(name, size=0, jdk=25):
        return ns_text(r.ns(name, size, jdk), r.error(name, size, jdk))

    rows = [[label, "", cell(f"FloorBenchmark.{name}"), "—", "—", "—", "—", "—",
             cell(f"FloorBenchmark.{name}", jdk=17)] for label, name in FLOORS]

    rows.append(["bare FFM downcall of the bare JNI call's function", "", "—", "—", "—", "—",
                 cell("FfmBenchmark.bareDowncall"), "—", "—"])
    rows.append(["getQueueStatus", "", cell("BridgeBenchmark.getQueueStatus"),
                 cell("JnaBenchmark.getQueueStatusArray"), cell("JnaBenchmark.getQueueStatusMemory"),
                 "—", cell("FfmBenchmark.getQueueStatus"), ns_text(r.driver("getQueueStatus")),
                 cell("BridgeBenchmark.getQueueStatus", jdk=17)])
    for operation in ("read", "write"):
        for size in SIZES:
            rows.append([operation, size_text(size), cell(f"BridgeBenchmark.{operation}", size),
                         cell(f"JnaBenchmark.{operation}Array", size),
                         cell(f"JnaBenchmark.{operation}Memory", size),
                         cell(f"FfmBenchmark.{operation}Array", size),
                         cell(f"FfmBenchmark.{operation}Native", size),
                         ns_text(r.driver(operation, size)),
                         cell(f"BridgeBenchmark.{operation}", size, 17)])
    return table(["call", "bytes", "bridge", "JNA, arrays", "JNA, native memory", "FFM, arrays",
                  "FFM, native memory", "driver alone (C++)", "bridge, JDK 17"], rows)


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
                     ratio_text(divide(bridge, r.floor())),
                     ratio_text(divide(r.own(operation, size), r.floor())),
                     ratio_text(divide(jna_array, bridge)), ratio_text(divide(jna_memory, bridge)),
                     ratio_text(divide(r.ffm(operation, size), bridge) if size else None),
                     ratio_text(divide(ffm_native, bridge)),
                     ratio_text(bandwidth)])
    return table(["call", "bytes", "bridge ÷ bare JNI", "bridge without driver ÷ bare JNI",
                  "JNA arrays ÷ bridge", "JNA native ÷ bridge", "FFM arrays ÷ bridge",
                  "FFM native ÷ bridge", "bandwidth ÷ memcpy"], rows)


def breakdown_table(r):
    """Splits the query and the 64-byte transfers into the parts measured on their own."""
    floor = r.floor()
    length = minus(r.ns("FloorBenchmark.getArrayLength"), floor)
    region = minus(r.ns("FloorBenchmark.getByteArrayRegion64"), floor)
    labels = ["the JNI call itself (bare JNI call)", "GetArrayLength, the region check",
              "one region copy of 64 B (Get/SetByteArrayRegion)", "the driver call (C++, alone)",
              "the rest: the bridge's own code, and what the parts cost together beyond alone",
              "**bridge, measured**"]
    columns = []
    for operation, size in (("getQueueStatus", 0), ("read", 64), ("write", 64)):
        parts = [floor, length if size else None, region if size else None, r.driver(operation, size)]
        total = r.bridge(operation, size)
        known = [part for part in parts if part is not None]
        rest = total - sum(known) if total is not None and len(known) == (4 if size else 2) else None
        columns.append(parts + [rest, total])
    rows = [[name] + [ns_text(column[index]) for column in columns] for index, name in enumerate(labels)]
    return table(["part, ns", "getQueueStatus", "read 64 B", "write 64 B"], rows)


def enumeration_table(r):
    rows = []
    for devices in (1, 16, 128):
        cost = r.ns("EnumerationBenchmark.createDeviceInfoList", devices)
        rows.append([str(devices), ns_text(cost, r.error("EnumerationBenchmark.createDeviceInfoList", devices)),
                     ns_text(divide(cost, devices))])
    return table(["devices", "createDeviceInfoList, ns", "ns per device"], rows)


# ---- Machine ----------------------------------------------------------------------------------

def cpu_model():
    match = re.search(r"^model name\s*:\s*(.+)$", pathlib.Path("/proc/cpuinfo").read_text(), re.M)
    return match.group(1).strip() if match else platform.processor() or "unknown"


def jdk_text(entry):
    return f"{entry['vmName']} {entry['jdkVersion']}" if entry else "not run"


def machine_text(r, results_dir):
    run = r.run25 or r.run17
    # When the measuring ended, and the load then, as benchmarks/run recorded them.
    finished = datetime.datetime.fromtimestamp((results_dir / "loadavg").stat().st_mtime,
                                               datetime.timezone.utc)
    load = [float(value) for value in (results_dir / "loadavg").read_text().split()[:3]]
    settings = (f"JMH {run['jmhVersion']}, {run['forks']} fork per benchmark, "
                f"{run['warmupIterations']} × {run['warmupTime']} warm-up, "
                f"{run['measurementIterations']} × {run['measurementTime']} measured, "
                "average time per call; each number is the median of the measured iterations, "
                "± is JMH's 99.9% confidence interval of their mean") if run else ""
    return "\n".join([
        f"- Machine: {cpu_model()}, {os.cpu_count()} cores (nproc), Linux {platform.release()}",
        f"- JDK 25 run: {jdk_text(r.run25)} (the bare JNI call, the bridge, JNA, FFM)",
        f"- JDK 17 run: {jdk_text(r.run17)} (the bare JNI call and the bridge)",
        f"- Settings: {settings}",
        f"- Run finished {finished:%Y-%m-%d %H:%M} UTC; load average "
        f"over the last 1/5/15 minutes {load[0]:.1f}/{load[1]:.1f}/{load[2]:.1f} on {os.cpu_count()} cores "
        "(above 1, other work shared the machine and the numbers carry its noise)",
    ])


# ---- Chart ------------------------------------------------------------------------------------

SERIES = [  # label, benchmark or None for the driver alone, colour, dash
    ("bridge (JNI)", "BridgeBenchmark.{op}", "#1f5fbf", ""),
    ("JNA, arrays", "JnaBenchmark.{op}Array", "#c8283c", ""),
    ("JNA, native memory", "JnaBenchmark.{op}Memory", "#c8283c", "6 4"),
    ("FFM, arrays", "FfmBenchmark.{op}Array", "#1e8c3a", ""),
    ("FFM, native memory", "FfmBenchmark.{op}Native", "#1e8c3a", "6 4"),
    ("driver alone (C++)", None, "#777777", "2 3"),
]


def chart(r):
    width, height, top, bottom, left, gap, panel = 960, 470, 40, 120, 70, 60, 395
    values = [r.floor()] + [r.ns(pattern.format(op=op), s) for _, pattern, _, _ in SERIES if pattern
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
                   f'font-weight="bold">{op} (ns per call, JDK 25)</text>')
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
        floor = r.floor()
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
        for label, pattern, colour, dash in SERIES:
            costs = [(s, r.ns(pattern.format(op=op), s) if pattern else r.driver(op, s)) for s in SIZES]
            points = [f"{x(x0, s):.1f},{y(c):.1f}" for s, c in costs if c]
            if points:
                out.append(f'<polyline points="{" ".join(points)}" fill="none" stroke="{colour}" '
                           f'stroke-width="2" stroke-dasharray="{dash}"/>')
    for index, (label, _, colour, dash) in enumerate(SERIES):
        lx = left + (index % 3) * 300
        ly = height - 50 + (index // 3) * 20
        out.append(f'<line x1="{lx}" x2="{lx + 30}" y1="{ly}" y2="{ly}" stroke="{colour}" stroke-width="2" '
                   f'stroke-dasharray="{dash}"/>')
        out.append(f'<text x="{lx + 36}" y="{ly + 4}">{label}</text>')
    out.append("</svg>")
    return "\n".join(out) + "\n"


# ---- Writing ----------------------------------------------------------------------------------

def replace_generated(path, content):
    text = path.read_text() if path.exists() else ""
    block = f"{BEGIN}\n{content.strip()}\n{END}"
    if BEGIN in text and END in text:
        text = text[:text.index(BEGIN)] + block + text[text.index(END) + len(END):]
    else:
        text = text.rstrip("\n") + ("\n\n" if text else "") + block + "\n"
    path.write_text(text)


def main(results_dir, docs_dir, readme):
    results_dir = pathlib.Path(results_dir)
    r = Results(results_dir)
    docs = pathlib.Path(docs_dir)
    docs.mkdir(parents=True, exist_ok=True)
    (docs / "benchmarks.svg").write_text(chart(r))
    replace_generated(docs / "benchmarks.md", "\n\n".join([
        machine_text(r, results_dir),
        "### Targets\n\nEach ratio comes from one run on one JDK. The last but one column takes the "
        "simulated driver's own cost, measured from C++ (below), off the bridge's and the other "
        "binding's cost before dividing; it shows — where the bridge's cost less the driver's comes "
        "out below one bare JNI call, which only noise can do.\n\n" + targets_table(r),
        "### Cost per call, ns\n\n" + cost_table(r),
        "### Ratios (JDK 25)\n\n" + ratio_table(r),
        "### Where the time of one call goes (JDK 25)\n\nEach part measured on its own: the "
        "callbacks as the bare JNI call plus that one callback, less the bare call.\n\n" + breakdown_table(r),
        "### Enumeration through the bridge (JDK 25)\n\n" + enumeration_table(r),
        f"### memcpy (C++)\n\n64 KiB in {ns_text(r.native['memcpyBytes/65536'])} ns: "
        f"{r.memcpy_bandwidth():.1f} GB/s.",
    ]))
    replace_generated(pathlib.Path(readme), "\n\n".join([
        machine_text(r, results_dir),
        "![Cost per call against bytes per call for the bridge, JNA and FFM](docs/benchmarks.svg)",
        targets_table(r),
    ]))


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    main(*sys.argv[1:])
