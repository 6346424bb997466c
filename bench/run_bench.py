#!/usr/bin/env python3
"""Side-by-side download benchmarks on loopback: the engine and zelbrin-cli against aria2c and
curl. Started by scripts/bench, which installs the tools and builds the programs first.

    run_bench.py --build DIR [--runs N] [--out DIR] [S1 S2 ...]

Each scenario runs its tools in turn (A B C A B C ...): one warm-up round, then N counted
rounds. Every output file is checked byte for byte (sha256) and a wrong byte fails the run.
Results go to stdout and, as Markdown and JSON, to the --out folder.
"""
import argparse
import hashlib
import json
import os
import platform
import re
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import time
import urllib.request

MB = 1024 * 1024
ARIA2C = ["aria2c", "--no-conf=true", "-x10", "-s10", "-k1M", "--file-allocation=none",
          "--disk-cache=0", "--console-log-level=error", "--summary-interval=0",
          "--download-result=hide", "--allow-overwrite=true", "--auto-file-renaming=false"]
CONNECTIONS = 10
# Per connection, as a CDN throttles: fake-service's token bucket (64 KB burst) lives as long
# as the connection.
THROTTLE = "rate=1048576"
STRAGGLER = THROTTLE + "&stragglerEvery=10&stragglerIndex=7&stragglerRate=32768"

# Book ids of the generated data file.
BIG_CHAPTER_BOOK = 9001   # one 20 MB chapter (S1, S3)
WHOLE_BOOK = 9002         # 300 chapters of 1 MB (S4)
LISTING_BOOK = 9003       # 1000 chapters, 20 ms per page (S5)

SCENARIOS = {
    "S1": "CDN throttling each connection to 1 MB/s, one 20 MB chapter",
    "S2": "unthrottled, one 200 MB file from nginx (sendfile, tmpfs)",
    "S3": "as S1, but every connection whose number ends in 7 is held to 32 KB/s",
    "S4": "a whole book: 300 chapters of 1 MB from fake-service, unthrottled",
    "S5": "zelbrin-cli --list of a 1000-chapter book, 20 ms latency per page",
}
IDEAL = {"S1": 2.0, "S3": 2.0}


def log(text):
    print(text, flush=True)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def sha256_file(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


def fetch(url):
    with urllib.request.urlopen(url, timeout=60) as answer:
        return answer.read()


class FakeService:
    """One fake-service process; a fresh one per run keeps connection numbers and stats per run."""

    def __init__(self, build, data, log_path=None):
        command = [os.path.join(build, "tests/fake_service/fake-service"), "--port", "0",
                   "--data", data]
        if log_path:
            command += ["--log", log_path]
        self.process = subprocess.Popen(command, stdout=subprocess.PIPE, text=True)
        line = self.process.stdout.readline()
        match = re.match(r"listening on (http://\S+)", line)
        if not match:
            self.stop()
            raise RuntimeError("fake-service did not start: " + line)
        self.base = match.group(1)

    def stats(self):
        return json.loads(fetch(self.base + "/stats"))

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


class Nginx:
    """nginx serving one folder with sendfile, logging the connection number of each request."""

    def __init__(self, root, work):
        self.port = free_port()
        self.access_log = os.path.join(work, "access.log")
        conf = os.path.join(work, "nginx.conf")
        with open(conf, "w") as f:
            f.write(f"""daemon off;
worker_processes 1;
pid {work}/nginx.pid;
error_log {work}/error.log warn;
events {{ worker_connections 256; }}
http {{
    log_format bench '$connection $status $body_bytes_sent $request_uri';
    access_log {self.access_log} bench;
    sendfile on;
    tcp_nopush on;
    client_body_temp_path {work}/body;
    proxy_temp_path {work}/proxy;
    fastcgi_temp_path {work}/fastcgi;
    uwsgi_temp_path {work}/uwsgi;
    scgi_temp_path {work}/scgi;
    types {{ }}
    default_type application/octet-stream;
    server {{
        listen 127.0.0.1:{self.port};
        root {root};
    }}
}}
""")
        self.process = subprocess.Popen(["nginx", "-p", work, "-c", conf],
                                        stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            try:
                with socket.create_connection(("127.0.0.1", self.port), timeout=1):
                    break
            except OSError:
                time.sleep(0.05)
        else:
            self.stop()
            raise RuntimeError("nginx did not start (see " + work + "/error.log)")
        self.base = f"http://127.0.0.1:{self.port}"

    def log_size(self):
        return os.path.getsize(self.access_log) if os.path.exists(self.access_log) else 0

    def connections_since(self, offset):
        # nginx writes its access log line when a request ends: wait for it briefly.
        time.sleep(0.2)
        with open(self.access_log) as f:
            f.seek(offset)
            return len({line.split()[0] for line in f if line.strip()})

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGQUIT)
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


def timed(command, cwd=None):
    """Runs `command` under /usr/bin/time: wall (s), user+sys CPU (s), peak RSS (KB), exit."""
    with tempfile.NamedTemporaryFile("r", suffix=".time") as report:
        started = time.monotonic()
        done = subprocess.run(["/usr/bin/time", "-o", report.name, "-f", "%U %S %M"] + command,
                              cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        wall = time.monotonic() - started
        fields = report.read().split()[-3:]
    user, system, rss = float(fields[0]), float(fields[1]), int(fields[2])
    return {"wall": wall, "cpu": user + system, "rss": rss, "exit": done.returncode,
            "output": (done.stdout + done.stderr)[-2000:]}


def output_hashes(folder):
    hashes = []
    for base, _, files in os.walk(folder):
        for name in files:
            hashes.append(sha256_file(os.path.join(base, name)))
    return sorted(hashes)


class Bench:
    def __init__(self, args):
        self.build = os.path.abspath(args.build)
        self.runs = args.runs
        self.out = os.path.abspath(args.out)
        shm = "/dev/shm" if os.path.isdir("/dev/shm") else None
        self.work = tempfile.mkdtemp(prefix="zelbrin-bench-", dir=shm)
        os.chmod(self.work, 0o755)  # nginx's worker runs as another user
        self.data = os.path.join(self.work, "books.json")
        self.write_data()
        self.results = {}
        self.failures = []

    def program(self, relative):
        return os.path.join(self.build, relative)

    def write_data(self):
        books = {"books": [
            {"id": BIG_CHAPTER_BOOK, "name": "bench big chapter", "author": "a",
             "narrator": "n", "chapterCount": 1, "firstResId": 900101, "size": 20 * MB},
            {"id": WHOLE_BOOK, "name": "bench whole book", "author": "a", "narrator": "n",
             "chapterCount": 300, "firstResId": 900201, "namePattern": "chapter {n}",
             "size": MB},
            {"id": LISTING_BOOK, "name": "bench listing", "author": "a", "narrator": "n",
             "chapterCount": 1000, "firstResId": 900301, "namePattern": "chapter {n}",
             "knobs": {"pageLatency": "20"}},
        ]}
        with open(self.data, "w") as f:
            json.dump(books, f)

    def fresh_dir(self, name):
        path = os.path.join(self.work, name)
        shutil.rmtree(path, ignore_errors=True)
        os.makedirs(path)
        return path

    # One scenario: tools is [(name, prepare)] where prepare() returns (command, check) and
    # check(measurement) fills in connections, verifies the bytes and returns a problem or None.
    def alternate(self, scenario, tools):
        samples = {name: [] for name, _ in tools}
        for round_number in range(self.runs + 1):
            for name, prepare in tools:
                measurement = prepare()
                label = "warm-up" if round_number == 0 else f"run {round_number}"
                if measurement.get("problem"):
                    self.failures.append(f"{scenario} {name} {label}: {measurement['problem']}")
                    log(f"  {name:<14} {label}: FAILED {measurement['problem']}")
                    continue
                log(f"  {name:<14} {label}: {measurement['wall']:.3f} s, "
                    f"cpu {measurement['cpu']:.2f} s, {measurement['rss'] / 1024:.1f} MB, "
                    f"{measurement.get('connections', '?')} connections" +
                    (f", gap {measurement['gap'] * 1000:.1f} ms" if "gap" in measurement else ""))
                if round_number > 0:
                    samples[name].append(measurement)
        self.results[scenario] = samples

    # --- S1 and S3: one throttled 20 MB chapter ------------------------------------------
    def throttled(self, scenario, query):
        path = f"/audio/{BIG_CHAPTER_BOOK}/900101.mp3"
        service = FakeService(self.build, self.data)
        expected = hashlib.sha256(fetch(service.base + path)).hexdigest()
        service.stop()
        out = self.fresh_dir(scenario)

        def tool(command_of):
            def prepare():
                service = FakeService(self.build, self.data)
                try:
                    target = os.path.join(out, "chapter.mp3")
                    if os.path.exists(target):
                        os.remove(target)
                    m = timed(command_of(service.base + path + "?" + query, target))
                    stats = service.stats()
                finally:
                    service.stop()
                m["connections"] = stats.get("connections", {}).get(path, 0)
                if m["exit"] != 0:
                    m["problem"] = f"exit {m['exit']}: {m['output']}"
                elif not os.path.exists(target) or sha256_file(target) != expected:
                    m["problem"] = "wrong bytes"
                return m
            return prepare

        self.alternate(scenario, [
            ("zelbrin", tool(lambda url, target: [self.program("bench/engine_bench"), url,
                                                  target, str(CONNECTIONS)])),
            ("aria2c", tool(lambda url, target: ARIA2C + ["-d", os.path.dirname(target),
                                                          "-o", os.path.basename(target), url])),
            ("curl", tool(lambda url, target: ["curl", "-sS", "-o", target, url])),
        ])

    # --- S2: 200 MB unthrottled from nginx --------------------------------------------------
    def unthrottled(self, scenario):
        root = self.fresh_dir("www")
        os.chmod(root, 0o755)
        source = os.path.join(root, "big.mp3")
        with open(source, "wb") as f:
            for _ in range(200):
                f.write(os.urandom(MB))
        os.chmod(source, 0o644)
        expected = sha256_file(source)
        nginx = Nginx(root, self.fresh_dir("nginx"))
        out = self.fresh_dir(scenario)
        url = nginx.base + "/big.mp3"

        def tool(command_of):
            def prepare():
                target = os.path.join(out, "big.mp3")
                if os.path.exists(target):
                    os.remove(target)
                offset = nginx.log_size()
                m = timed(command_of(url, target))
                m["connections"] = nginx.connections_since(offset)
                if m["exit"] != 0:
                    m["problem"] = f"exit {m['exit']}: {m['output']}"
                elif sha256_file(target) != expected:
                    m["problem"] = "wrong bytes"
                os.remove(target)  # tmpfs: keep memory free for the next tool
                return m
            return prepare

        try:
            self.alternate(scenario, [
                ("zelbrin", tool(lambda u, t: [self.program("bench/engine_bench"), u, t,
                                               str(CONNECTIONS)])),
                ("aria2c", tool(lambda u, t: ARIA2C + ["-d", os.path.dirname(t),
                                                       "-o", os.path.basename(t), u])),
                ("curl", tool(lambda u, t: ["curl", "-sS", "-o", t, u])),
            ])
        finally:
            nginx.stop()
            shutil.rmtree(root, ignore_errors=True)

    # --- S4: a whole book ----------------------------------------------------------------
    def whole_book(self, scenario):
        res_ids = [900201 + k for k in range(300)]
        paths = [f"/audio/{WHOLE_BOOK}/{r}.mp3" for r in res_ids]
        service = FakeService(self.build, self.data)
        expected = sorted(hashlib.sha256(fetch(service.base + p)).hexdigest() for p in paths)
        service.stop()
        out = self.fresh_dir(scenario)
        request_log = os.path.join(self.work, "s4-requests.log")
        loop = os.path.join(self.work, "aria2c-loop.sh")
        with open(loop, "w") as f:
            f.write('set -e\nbase="$1"; out="$2"; shift 2\nfor path in "$@"; do\n'
                    '    ' + " ".join(ARIA2C) + ' -d "$out" -o "$(basename "$path")" '
                    '"$base$path"\ndone\n')

        def tool(command_of):
            def prepare():
                folder = self.fresh_dir(os.path.join(scenario, "out"))
                service = FakeService(self.build, self.data, request_log)
                try:
                    m = timed(command_of(service.base, folder))
                    stats = service.stats()
                finally:
                    service.stop()
                m["connections"] = sum(stats.get("connections", {}).get(p, 0) for p in paths)
                m["gap"] = median_gap(request_log, paths)
                if m["exit"] != 0:
                    m["problem"] = f"exit {m['exit']}: {m['output']}"
                elif output_hashes(folder) != expected:
                    m["problem"] = "wrong bytes or missing chapters"
                return m
            return prepare

        self.alternate(scenario, [
            ("zelbrin-cli", tool(lambda base, folder: [
                self.program("cli/zelbrin-cli"), "-q", "--service-base", base, "-o", folder,
                str(WHOLE_BOOK)])),
            ("aria2c loop", tool(lambda base, folder: ["bash", loop, base, folder] + paths)),
        ])

    # --- S5: a big listing -------------------------------------------------------------------
    def listing(self, scenario):
        def prepare():
            service = FakeService(self.build, self.data)
            try:
                m = timed([self.program("cli/zelbrin-cli"), "--list", "--service-base",
                           service.base, str(LISTING_BOOK)])
                stats = service.stats()
            finally:
                service.stop()
            m["connections"] = stats.get("accepted", 0) - 1  # less the /stats request
            if m["exit"] != 0:
                m["problem"] = f"exit {m['exit']}: {m['output'][-300:]}"
            elif not re.search(r"\b901300\b", m["output"]):  # the last chapter's resource id
                m["problem"] = "the listing lacks the last chapter"
            return m

        self.alternate(scenario, [("zelbrin-cli", prepare)])

    def run(self, scenarios):
        for scenario in scenarios:
            log(f"== {scenario}: {SCENARIOS[scenario]}")
            if scenario == "S1":
                self.throttled(scenario, THROTTLE)
            elif scenario == "S2":
                self.unthrottled(scenario)
            elif scenario == "S3":
                self.throttled(scenario, STRAGGLER)
            elif scenario == "S4":
                self.whole_book(scenario)
            elif scenario == "S5":
                self.listing(scenario)
            shutil.rmtree(os.path.join(self.work, scenario), ignore_errors=True)
            log(table_of(scenario, self.results))
        shutil.rmtree(self.work, ignore_errors=True)


def median_gap(request_log, paths):
    """Median time between one chapter's last byte sent and the next chapter's first request."""
    began, ended = {}, {}
    with open(request_log) as f:
        for line in f:
            fields = line.split()
            if len(fields) < 5:
                continue
            path = fields[4].split("?")[0]
            start, end = float(fields[0]), float(fields[1])
            began[path] = min(began.get(path, start), start)
            ended[path] = max(ended.get(path, end), end)
    gaps = [began[b] - ended[a] for a, b in zip(paths, paths[1:]) if a in ended and b in began]
    return statistics.median(gaps) if gaps else float("nan")


def summary(samples):
    walls = [m["wall"] for m in samples]
    return {
        "wall": statistics.median(walls),
        "wall_min": min(walls),
        "wall_max": max(walls),
        "cpu": statistics.median(m["cpu"] for m in samples),
        "rss_mb": statistics.median(m["rss"] for m in samples) / 1024,
        "connections": statistics.median(m["connections"] for m in samples),
        "gap_ms": (statistics.median(m["gap"] for m in samples) * 1000
                   if "gap" in samples[0] else None),
        "runs": len(samples),
    }


def table_of(scenario, results):
    rows = [f"| {scenario} | tool | wall median (s) | spread (s) | CPU user+sys (s) | "
            "peak RSS (MB) | × aria2c | × ideal | connections | sha256 |",
            "|---|---|---|---|---|---|---|---|---|---|"]
    samples = results[scenario]
    reference = samples.get("aria2c") or samples.get("aria2c loop")
    reference_wall = summary(reference)["wall"] if reference else None
    for name, runs in samples.items():
        if not runs:
            rows.append(f"| | {name} | failed | | | | | | | wrong |")
            continue
        s = summary(runs)
        ratio = f"{s['wall'] / reference_wall:.2f}" if reference_wall else "–"
        ideal = f"{s['wall'] / IDEAL[scenario]:.2f}" if scenario in IDEAL else "–"
        extra = f" (gap {s['gap_ms']:.1f} ms)" if s["gap_ms"] is not None else ""
        rows.append(f"| | {name} | {s['wall']:.3f}{extra} | {s['wall_min']:.3f}–"
                    f"{s['wall_max']:.3f} | {s['cpu']:.2f} | {s['rss_mb']:.1f} | {ratio} | "
                    f"{ideal} | {s['connections']:g} | ok ×{s['runs']} |")
    return "\n".join(rows)


def targets(results):
    """The goals: (scenario, goal, measured, held)."""
    lines = []

    def s(scenario, tool):
        runs = results.get(scenario, {}).get(tool)
        return summary(runs) if runs else None

    z, a = s("S1", "zelbrin"), s("S1", "aria2c")
    if z and a:
        lines.append(("S1", "wall ≤ 0.8 × aria2c", f"{z['wall'] / a['wall']:.2f}",
                      z["wall"] <= 0.8 * a["wall"]))
        lines.append(("S1", "wall ≤ 1.15 × ideal", f"{z['wall'] / IDEAL['S1']:.2f}",
                      z["wall"] <= 1.15 * IDEAL["S1"]))
    z, a = s("S2", "zelbrin"), s("S2", "aria2c")
    if z and a:
        lines.append(("S2", "wall ≤ 1.0 × aria2c", f"{z['wall'] / a['wall']:.2f}",
                      z["wall"] <= a["wall"]))
        lines.append(("S2", "CPU ≤ aria2c's", f"{z['cpu']:.2f} s vs {a['cpu']:.2f} s",
                      z["cpu"] <= a["cpu"]))
        lines.append(("S2", "peak RSS ≤ 16 MB", f"{z['rss_mb']:.1f} MB", z["rss_mb"] <= 16))
    z, a = s("S3", "zelbrin"), s("S3", "aria2c")
    if z and a:
        lines.append(("S3", "wall ≤ 0.35 × aria2c", f"{z['wall'] / a['wall']:.2f}",
                      z["wall"] <= 0.35 * a["wall"]))
    z, a = s("S4", "zelbrin-cli"), s("S4", "aria2c loop")
    if z and a:
        lines.append(("S4", "wall ≤ 0.8 × aria2c loop", f"{z['wall'] / a['wall']:.2f}",
                      z["wall"] <= 0.8 * a["wall"]))
        lines.append(("S4", "median inter-chapter gap < 50 ms", f"{z['gap_ms']:.1f} ms",
                      z["gap_ms"] < 50))
    z = s("S5", "zelbrin-cli")
    if z:
        lines.append(("S5", "wall ≤ 0.5 s", f"{z['wall']:.3f} s", z["wall"] <= 0.5))
    return lines


def version(command):
    try:
        done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                              text=True)
        return done.stdout.strip().splitlines()[0]
    except (OSError, IndexError):
        return "absent"


def machine():
    model = "unknown"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    load = os.getloadavg()
    return [
        f"- machine: {os.cpu_count()} cores ({model}), {platform.system()} "
        f"{platform.release()}; load average at the end {load[0]:.2f} / {load[1]:.2f} / "
        f"{load[2]:.2f} (1 / 5 / 15 min)",
        f"- aria2c: {version(['aria2c', '--version'])}",
        f"- curl: {version(['curl', '--version'])}",
        f"- nginx: {version(['nginx', '-v'])}",
        f"- gcc: {version(['gcc', '--version'])}",
    ]


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", required=True, help="the Release build folder")
    parser.add_argument("--runs", type=int, default=5, help="counted runs per tool (default 5)")
    parser.add_argument("--out", default="build/bench", help="where results are written")
    parser.add_argument("scenarios", nargs="*", help="S1 .. S5 (default: all)")
    args = parser.parse_args()
    scenarios = [s.upper() for s in args.scenarios] or list(SCENARIOS)
    unknown = [s for s in scenarios if s not in SCENARIOS]
    if unknown or args.runs < 1:
        parser.error("scenarios are S1 .. S5 and --runs at least 1")

    bench = Bench(args)
    started = time.strftime("%Y-%m-%d %H:%M")
    try:
        bench.run(scenarios)
    finally:
        shutil.rmtree(bench.work, ignore_errors=True)

    goals = targets(bench.results)
    report = [f"Run of {started}, {args.runs} counted runs per tool after one warm-up, tools "
              "alternating.", ""] + machine() + [""]
    for scenario in scenarios:
        if scenario in bench.results:
            report += [f"**{scenario}** {SCENARIOS[scenario]}", "", table_of(scenario, bench.results),
                       ""]
    report += ["| scenario | target | measured | held |", "|---|---|---|---|"]
    report += [f"| {sc} | {goal} | {got} | {'yes' if ok else 'NO'} |" for sc, goal, got, ok in goals]
    if bench.failures:
        report += ["", "Failed runs:"] + [f"- {f}" for f in bench.failures]
    text = "\n".join(report) + "\n"
    os.makedirs(args.out, exist_ok=True)
    with open(os.path.join(args.out, "results.md"), "w") as f:
        f.write(text)
    with open(os.path.join(args.out, "results.json"), "w") as f:
        json.dump({"scenarios": bench.results, "failures": bench.failures}, f, indent=1)
    log("")
    log(text)
    log(f"written to {os.path.join(args.out, 'results.md')}")
    return 1 if bench.failures else 0


if __name__ == "__main__":
    sys.exit(main())
