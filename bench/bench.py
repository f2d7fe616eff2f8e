#!/usr/bin/env python3
"""End-to-end benchmark of Tessary against the tools a person would otherwise use.

Run through bench/run.sh, which builds the release binaries first. Starts tessary-server on
127.0.0.1 with a fresh data folder, makes two fresh users, and measures with tessary-cli:

  big        send and accept one file of random bytes (BENCH_BIG_MIB, default 1024)
  small      send and accept BENCH_SMALL_COUNT files of BENCH_SMALL_KIB KiB in nested folders
             (default 5000 x 4 KiB)
  container  save and open a local container with a password (BENCH_CONTAINER_MIB, default 1024)
  text       send and accept one file of log-like text lines (BENCH_TEXT_MIB, default 1024)
  cut        send and accept one file of random bytes (BENCH_CUT_MIB, default 1024) through a TCP
             proxy, once uncut and once cut BENCH_CUTS times (default 5) on the way up during the
             send and as often on the way down during the accept: time and bytes on the wire
  poll       BENCH_POLL_CLIENTS clients (default 50) asking only "/check-new-files" as fast as the
             answers come, for BENCH_POLL_SECONDS (default 15), once over keep-alive connections and
             once with a new connection per request
  load       BENCH_LOAD_CLIENTS concurrent clients (default 50) for BENCH_LOAD_SECONDS (default 60)
             with containers of BENCH_LOAD_MB MB (default 10), see bench/load.py

Every case is also done, in the same run and on the same data, by tar piped into gpg (once with
gpg's default compression, once with compression off), the reverse gpg -d piped into tar, and a
plain cp as the floor of disk speed. Each figure is the wall time, the CPU time of the whole
process tree (user + system), the peak resident memory of the largest process in the tree (GNU
time's maximum resident set size, so it covers the gpg that tessary-cli runs), tessary-cli's own
peak (VmHWM), the server's peak resident memory (VmHWM, reset before every step) and its CPU time.
The gpg-agents are started before the first step, so no step pays for starting one.

BENCH_QUICK=1 shrinks everything (64 MiB, 500 files, 10 s of load with 10 clients). Results go to
bench/results/<time>.json (and latest.json); a full-size run also rewrites the table in
bench/README.md. BENCH_PROFILE=1 records a perf profile of every Tessary step (its process tree, and the
server separately) and stores its summary by thread and library in the JSON (slower; use it to
find costs, not for the timings).
BENCH_REPEAT (default 3, quick 1) runs every case that often, Tessary's steps and the baselines
interleaved, and keeps each step's fastest run. BENCH_KEEP=1 keeps the work folder.
BENCH_ONLY=big,small,container,text,cut,load,poll runs a subset.
"""

import datetime
import json
import os
import platform
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)
sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, HERE)
import cutproxy  # noqa: E402
import load  # noqa: E402
import report  # noqa: E402

MiB = 1024 * 1024
PASSWORD = "correct horse battery staple"


def env_num(name, default, quick_default, quick):
    value = os.environ.get(name)
    if value:
        return float(value) if "." in value else int(value)
    return quick_default if quick else default


def config():
    quick = os.environ.get("BENCH_QUICK", "") not in ("", "0")
    return {
        "quick": quick,
        "big_mib": env_num("BENCH_BIG_MIB", 1024, 64, quick),
        "small_count": env_num("BENCH_SMALL_COUNT", 5000, 500, quick),
        "small_kib": env_num("BENCH_SMALL_KIB", 4, 4, quick),
        "container_mib": env_num("BENCH_CONTAINER_MIB", 1024, 64, quick),
        "text_mib": env_num("BENCH_TEXT_MIB", 1024, 64, quick),
        "cut_mib": env_num("BENCH_CUT_MIB", 1024, 64, quick),
        "cuts": env_num("BENCH_CUTS", 5, 5, quick),
        "poll_clients": env_num("BENCH_POLL_CLIENTS", 50, 50, quick),
        "poll_seconds": env_num("BENCH_POLL_SECONDS", 15, 5, quick),
        "load_clients": env_num("BENCH_LOAD_CLIENTS", 50, 10, quick),
        "load_seconds": env_num("BENCH_LOAD_SECONDS", 60, 10, quick),
        "load_mb": env_num("BENCH_LOAD_MB", 10, 10, quick),
        "profile": os.environ.get("BENCH_PROFILE", "") not in ("", "0"),
        "whatif": os.environ.get("BENCH_WHATIF", "0") not in ("", "0"),
        "repeat": env_num("BENCH_REPEAT", 3, 1, quick),
        "only": [c for c in os.environ.get("BENCH_ONLY", "").split(",") if c],
        "build_dir": os.environ.get("BENCH_BUILD_DIR", os.path.join(REPO, "build-bench")),
    }


def log(text):
    print("bench: " + text, file=sys.stderr, flush=True)


# ---------------------------------------------------------------------------------------------
# Process measurement


def read_stat(pid):
    """(comm, ppid, cpu seconds) of pid, or None when it is gone."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            text = f.read()
    except OSError:
        return None
    comm = text[text.index("(") + 1:text.rindex(")")]
    parts = text[text.rindex(")") + 2:].split()
    tick = os.sysconf("SC_CLK_TCK")
    return comm, int(parts[1]), (int(parts[11]) + int(parts[12])) / tick


def read_status(pid, field):
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith(field + ":"):
                    return int(line.split()[1]) * 1024
    except OSError:
        pass
    return 0


def children(pid):
    found = []
    try:
        for tid in os.listdir("/proc/%d/task" % pid):
            with open("/proc/%d/task/%s/children" % (pid, tid)) as f:
                found.extend(int(c) for c in f.read().split())
    except OSError:
        pass
    return found


def cmdline(pid):
    try:
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            return [a.decode(errors="replace") for a in f.read().split(b"\0") if a]
    except OSError:
        return []


class Watcher(threading.Thread):
    """Follows the process tree of one step every 50 ms: when each process was seen, its CPU and its
    peak memory; and the server's memory. Gives the phases of a Tessary step (before, during and
    after the gpg run that encrypts or decrypts)."""

    INTERVAL = 0.05

    def __init__(self, root_pid, program, server_pid, t0):
        super().__init__(daemon=True)
        self.root = root_pid
        self.program = program
        self.server = server_pid
        self.t0 = t0
        self.procs = {}
        self.server_rss_max = 0
        self._stop_event = threading.Event()

    def sample(self):
        now = time.monotonic() - self.t0
        todo = [self.root]
        while todo:
            pid = todo.pop()
            stat = read_stat(pid)
            if stat is None:
                continue
            info = self.procs.get(pid)
            if info is not None and (info["comm"] != stat[0] or not info["args"]):
                # First seen between fork and exec: it has become the program it runs now.
                info["comm"], info["args"], info["ppid"] = stat[0], cmdline(pid), stat[1]
            if info is None:
                info = self.procs[pid] = {"comm": stat[0], "ppid": stat[1], "args": cmdline(pid), "first": now,
                                          "cpu": 0.0, "hwm": 0, "marks": []}
            info["last"] = now
            info["cpu"] = stat[2]
            info["hwm"] = max(info["hwm"], read_status(pid, "VmHWM"))
            info["marks"].append((now, stat[2]))
            todo.extend(children(pid))
        if self.server:
            self.server_rss_max = max(self.server_rss_max, read_status(self.server, "VmRSS"))

    def run(self):
        while not self._stop_event.is_set():
            self.sample()
            self._stop_event.wait(self.INTERVAL)

    def stop(self):
        self._stop_event.set()
        self.join()

    def summary(self, wall):
        # The root is GNU time (or perf); the measured program is the first process that runs it.
        root = next((p for _, p in sorted(self.procs.items(), key=lambda item: item[1]["first"])
                     if p["args"] and os.path.basename(p["args"][0]) == self.program), {})
        gpgs = [(pid, p) for pid, p in self.procs.items()
                if p["comm"] == "gpg" and any(a in ("-e", "-d", "-c") for a in p["args"])]
        # The compression Tessary chose: gpg's -z level on the encrypting command line, if any.
        encrypting = [p["args"] for _, p in gpgs if "-e" in p["args"] or "-c" in p["args"]]
        result = {"root_peak_rss_bytes": root.get("hwm", 0),
                  "gpg_peak_rss_bytes": max((p["hwm"] for _, p in gpgs), default=0),
                  "processes": [{"pid": pid, "comm": p["comm"], "args": " ".join(p["args"][1:])[:160],
                                 "seen_s": [round(p["first"], 2), round(p["last"], 2)], "cpu_s": round(p["cpu"], 2),
                                 "peak_rss_bytes": p["hwm"]}
                                for pid, p in sorted(self.procs.items(), key=lambda item: item[1]["first"])
                                if pid != self.root]}
        if encrypting:
            args = encrypting[0]
            result["gpg_compress_level"] = (int(args[args.index("-z") + 1]) if "-z" in args[:-1]
                                            else "default")
        if gpgs and root:
            _, gpg = max(gpgs, key=lambda item: item[1]["last"] - item[1]["first"])
            start, end = gpg["first"], gpg["last"]

            def root_cpu_at(t):
                before = [c for when, c in root["marks"] if when <= t]
                return before[-1] if before else 0.0
            cpu_start, cpu_end = root_cpu_at(start), root_cpu_at(end)
            result["phases"] = {
                "before_gpg_s": round(start, 2),
                "gpg_s": round(end - start, 2),
                "after_gpg_s": round(max(0.0, wall - end), 2),
                "gpg_cpu_s": round(gpg["cpu"], 2),
                "own_cpu_before_gpg_s": round(cpu_start, 2),
                "own_cpu_after_gpg_s": round(max(0.0, root.get("cpu", 0.0) - cpu_end), 2),
            }
        return result


class Server:
    def __init__(self, binary, workdir):
        self.data = os.path.join(workdir, "srv")
        os.makedirs(self.data)
        self.log_path = os.path.join(workdir, "server.log")
        self.log = open(self.log_path, "wb")
        self.proc = subprocess.Popen(
            [binary, "--listen", "127.0.0.1:0", "--data", self.data, "--dev-tls",
             "--access-log", os.path.join(workdir, "access.log"),
             # Every simulated client comes from 127.0.0.1: the caps per address would count them as one.
             "--max-per-address", "1000", "--installations-per-hour", "1000"],
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        self.url = None
        self.ca = None
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline:
            line = self.proc.stdout.readline()
            if not line:
                break
            self.log.write(line)
            text = line.decode(errors="replace").strip()
            m = re.search(r"CA certificate (.+)$", text)
            if m:
                self.ca = m.group(1)
            m = re.search(r"ready on (https://\S+)", text)
            if m:
                self.url = m.group(1)
                break
        if not self.url or not self.ca:
            self.stop()
            raise RuntimeError("tessary-server did not start; see " + self.log_path)
        self.log.flush()
        threading.Thread(target=self._drain, daemon=True).start()

    def _drain(self):
        for line in self.proc.stdout:
            self.log.write(line)
            self.log.flush()

    @property
    def pid(self):
        return self.proc.pid

    def cpu(self):
        stat = read_stat(self.pid)
        return stat[2] if stat else 0.0

    def reset_peak(self):
        try:
            with open("/proc/%d/clear_refs" % self.pid, "w") as f:
                f.write("5")
        except OSError:
            pass

    def stop(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(30)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()


class Bench:
    def __init__(self, cfg):
        self.cfg = cfg
        self.work = tempfile.mkdtemp(prefix="tb", dir="/tmp")  # short: gpg-agent socket paths
        self.server = None
        self.profile = {}

    # -- measuring --
    def measure(self, name, cmd, env=None, stdin=None, cwd=None):
        subprocess.run(["sync"])
        out_path = os.path.join(self.work, "out.txt")
        err_path = os.path.join(self.work, "err.txt")
        # perf follows the measured tree from its start (so no other work on the machine is in its
        # samples) and, separately, the server; it sits outside GNU time, which measures only the step.
        profiling = self.cfg["profile"] and name.startswith("tessary")
        perf_prefix = []
        server_perf = None
        if profiling:
            client_data = os.path.join(self.work, "perf-%s.data" % name)
            server_data = os.path.join(self.work, "perf-%s-server.data" % name)
            perf_prefix = ["perf", "record", "-q", "-F", "499", "-g", "-o", client_data, "--"]
            if self.server:
                server_perf = subprocess.Popen(["perf", "record", "-q", "-F", "499", "-g", "-p", str(self.server.pid),
                                                "-o", server_data], stdout=subprocess.DEVNULL,
                                               stderr=subprocess.DEVNULL)
                time.sleep(0.5)
        server_cpu0 = 0.0
        server_rss0 = 0
        if self.server:
            self.server.reset_peak()
            server_cpu0 = self.server.cpu()
            server_rss0 = read_status(self.server.pid, "VmRSS")
        # GNU time, not this process, forks the measured program: a child forked from Python would
        # count Python's own memory in its peak until it executes the program.
        time_path = os.path.join(self.work, "time.txt")
        wrapped = perf_prefix + ["/usr/bin/time", "-f", "%U %S %M", "-o", time_path] + cmd
        with open(out_path, "wb") as out, open(err_path, "wb") as err:
            t0 = time.monotonic()
            proc = subprocess.Popen(wrapped, env=env, cwd=cwd, stdout=out, stderr=err,
                                    stdin=subprocess.PIPE if stdin is not None else subprocess.DEVNULL)
            watcher = Watcher(proc.pid, os.path.basename(cmd[0]), self.server.pid if self.server else None, t0)
            watcher.start()
            if stdin is not None:
                proc.stdin.write(stdin)
                proc.stdin.close()
            proc.wait()
            wall = time.monotonic() - t0
            watcher.stop()
        with open(time_path) as f:
            user, system, maxrss_kib = f.read().split()[-3:]
        result = {
            "wall_s": round(wall, 3),
            "cpu_s": round(float(user) + float(system), 3),
            "user_s": float(user),
            "sys_s": float(system),
            "peak_rss_bytes": int(maxrss_kib) * 1024,
            "exit_code": proc.returncode,
        }
        result.update(watcher.summary(wall))
        if self.server:
            result["server_rss_start_bytes"] = server_rss0
            result["server_peak_rss_bytes"] = read_status(self.server.pid, "VmHWM")
            result["server_cpu_s"] = round(self.server.cpu() - server_cpu0, 3)
        if profiling:
            self.profile[name] = {"client": perf_summary(client_data)}
            if server_perf:
                server_perf.send_signal(signal.SIGINT)
                server_perf.wait()
                self.profile[name]["server"] = perf_summary(server_data)
            if os.environ.get("BENCH_KEEP", "") in ("", "0"):
                for data in (client_data, server_data):
                    if os.path.exists(data):
                        os.remove(data)
        with open(out_path, "rb") as f:
            stdout = f.read().decode(errors="replace")
        with open(err_path, "rb") as f:
            stderr = f.read().decode(errors="replace")
        if proc.returncode != 0:
            raise RuntimeError("%s failed (exit %s): %s\n%s" % (name, proc.returncode, " ".join(cmd), stderr))
        # The pauses a transfer waited out after its connection broke.
        pauses = [int(n) for n in re.findall(r"Connection lost, retrying in (\d+) s", stderr)]
        if pauses:
            result["retries"] = len(pauses)
            result["paused_s"] = sum(pauses)
        log("%-22s %8.2f s wall %8.2f s cpu %7.1f MB peak" %
            (name, result["wall_s"], result["cpu_s"], result["peak_rss_bytes"] / MiB))
        return result, stdout

    # -- set-up --
    def build_paths(self):
        bd = self.cfg["build_dir"]
        self.cli = os.path.join(bd, "cli", "tessary-cli")
        self.server_bin = os.path.join(bd, "server", "tessary-server")
        for b in (self.cli, self.server_bin):
            if not os.access(b, os.X_OK):
                raise RuntimeError("missing %s: run bench/run.sh (it builds first)" % b)

    def user_env(self, name):
        home = os.path.join(self.work, name)
        os.makedirs(os.path.join(home, ".config"), exist_ok=True)
        env = dict(os.environ)
        env.pop("GNUPGHOME", None)
        env.update({"HOME": home, "XDG_CONFIG_HOME": os.path.join(home, ".config"), "LC_ALL": "C.UTF-8",
                    "TESSARY_SERVER_URL": self.server.url, "TESSARY_CA_FILE": self.server.ca,
                    "TMPDIR": os.path.join(self.work, "tmp")})
        return env

    def cli_run(self, env, *args, stdin=None):
        p = subprocess.run([self.cli] + list(args), env=env, input=stdin, capture_output=True, timeout=600)
        if p.returncode != 0:
            raise RuntimeError("tessary-cli %s failed: %s" % (" ".join(args), p.stderr.decode(errors="replace")))
        return p.stdout.decode().strip()

    def setup_users(self):
        os.makedirs(os.path.join(self.work, "tmp"))
        self.env_a = self.user_env("a")
        self.env_b = self.user_env("b")
        t0 = time.monotonic()
        self.id_a = self.cli_run(self.env_a, "id")
        self.first_start_s = round(time.monotonic() - t0, 2)
        self.id_b = self.cli_run(self.env_b, "id")
        self.cli_run(self.env_a, "add", self.id_b, "Receiver")
        self.cli_run(self.env_b, "add", self.id_a, "Sender")
        log("users %s (sender) and %s (receiver)" % (self.id_a, self.id_b))

    def setup_gpg(self):
        """A GnuPG home for the baselines with an RSA-2048 key pair without passphrase, as Tessary
        makes for its users."""
        self.ghome = os.path.join(self.work, "g")
        os.makedirs(self.ghome, mode=0o700)
        params = ("Key-Type: RSA\nKey-Length: 2048\nSubkey-Type: RSA\nSubkey-Length: 2048\n"
                  "Name-Real: bench\nName-Email: bench@bench.invalid\nExpire-Date: 0\n%no-protection\n%commit\n")
        subprocess.run(["gpg", "--homedir", self.ghome, "--batch", "--quiet", "--gen-key"], input=params.encode(),
                       check=True, capture_output=True)
        listing = subprocess.run(["gpg", "--homedir", self.ghome, "--with-colons", "--list-keys"],
                                 check=True, capture_output=True, text=True).stdout
        self.fpr = next(line.split(":")[9] for line in listing.splitlines() if line.startswith("fpr:"))

    def warm_agents(self):
        """Starts the gpg-agent of every GnuPG home and lets it calibrate its passphrase hashing, so
        that no measured step, Tessary's or a baseline's, pays for that once-per-session start."""
        for home in (os.path.join(self.work, "a", ".tessary2"), os.path.join(self.work, "b", ".tessary2"),
                     self.ghome):
            subprocess.run(["gpg-connect-agent", "--homedir", home, "GETINFO s2k_count", "/bye"],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)

    # -- data --
    def make_big(self, mib, name):
        folder = os.path.join(self.work, "d", name)
        os.makedirs(folder)
        path = os.path.join(folder, name + ".bin")
        with open(path, "wb") as f:
            for _ in range(mib):
                f.write(os.urandom(MiB))
        return folder, name + ".bin"

    def make_text(self, mib):
        """Log-like lines: timestamps, levels, request ids and durations. 64 different blocks of
        1 MiB are cycled with a changing first line; their distance is far beyond what deflate
        looks back, so the text compresses as such lines do, not as a repetition."""
        import random
        rng = random.Random(7)
        levels = ["INFO", "INFO", "INFO", "DEBUG", "WARN", "ERROR"]
        paths = ["/api/check-new-files", "/api/can-upload", "/upload-container", "/id", "/api/download-complete"]
        blocks = []
        for b in range(64):
            lines = []
            size = 0
            while size < MiB - 200:
                line = "2026-12-%02d %02d:%02d:%02d.%03d %s [worker-%d] %s %s from 10.%d.%d.%d took %d ms\n" % (
                    1 + b % 28, rng.randrange(24), rng.randrange(60), rng.randrange(60), rng.randrange(1000),
                    rng.choice(levels), rng.randrange(16), rng.choice(paths), rng.randrange(1 << 31),
                    rng.randrange(256), rng.randrange(256), rng.randrange(256), rng.randrange(5000))
                lines.append(line)
                size += len(line)
            blocks.append("".join(lines).encode())
        folder = os.path.join(self.work, "d", "text")
        os.makedirs(folder)
        path = os.path.join(folder, "text.log")
        with open(path, "wb") as f:
            written = 0
            i = 0
            while written < mib * MiB:
                head = ("# block %d\n" % i).encode()
                data = (head + blocks[i % len(blocks)])[:mib * MiB - written]
                f.write(data)
                written += len(data)
                i += 1
        return folder, "text.log"

    def make_small(self, count, kib):
        parent = os.path.join(self.work, "d")
        root = os.path.join(parent, "small")
        for i in range(count):
            folder = os.path.join(root, "d%02d" % (i // 500), "e%d" % (i // 50 % 10))
            os.makedirs(folder, exist_ok=True)
            with open(os.path.join(folder, "f%05d.bin" % i), "wb") as f:
                f.write(os.urandom(kib * 1024))
        return parent, "small"

    # -- baselines --
    def gpg(self, *args):
        return "gpg --homedir %s --batch --yes --quiet %s" % (self.ghome, " ".join(args))

    def baselines(self, parent, name, symmetric):
        src = os.path.join(parent, name)
        out = os.path.join(self.work, "o")
        steps = {}
        os.makedirs(out)
        steps["cp"], _ = self.measure("cp", ["cp", "-r", src, out])
        check_same(src, os.path.join(out, name))
        shutil.rmtree(out)
        if symmetric:
            enc = "-c --passphrase '%s'" % PASSWORD
            dec = "-d --passphrase '%s'" % PASSWORD
        else:
            enc = "--trust-model always -e -r %s" % self.fpr
            dec = "-d"
        for suffix, extra in (("", ""), ("_z0", "--compress-algo none")):
            archive = os.path.join(self.work, "a.gpg")
            steps["tar_gpg_enc" + suffix], _ = self.measure(
                "tar|gpg" + suffix, ["bash", "-c", "set -o pipefail; tar -cf - -C %s %s | %s -o %s" %
                                     (parent, name, self.gpg(extra, enc), archive)])
            steps["tar_gpg_enc" + suffix]["output_bytes"] = os.path.getsize(archive)
            os.makedirs(out)
            steps["gpg_tar_dec" + suffix], _ = self.measure(
                "gpg -d|tar" + suffix, ["bash", "-c", "set -o pipefail; %s %s | tar -xf - -C %s" %
                                         (self.gpg(dec), archive, out)])
            check_same(src, os.path.join(out, name))
            shutil.rmtree(out)
            os.remove(archive)
        return steps

    # -- Tessary --
    def transfer(self, parent, name, prefix="tessary"):
        src = os.path.join(parent, name)
        out = os.path.join(self.work, "o")
        steps = {}
        steps[prefix + "_send"], stdout = self.measure(prefix + "_send", [self.cli, "send", self.id_b, src],
                                                       env=self.env_a)
        file_id = stdout.strip().splitlines()[-1]
        steps[prefix + "_inbox"], inbox = self.measure(prefix + "_inbox", [self.cli, "inbox"], env=self.env_b)
        row = next((line.split("\t") for line in inbox.splitlines() if line.split("\t")[0] == file_id), None)
        if row is None:
            raise RuntimeError("file %s is not in the receiver's inbox: %r" % (file_id, inbox))
        steps[prefix + "_send"]["container_bytes"] = int(row[1])
        steps[prefix + "_accept"], _ = self.measure(prefix + "_accept",
                                                    [self.cli, "accept", file_id, "--to", out], env=self.env_b)
        check_same(src, os.path.join(out, name))
        shutil.rmtree(out)
        return steps

    def cut_transfer(self, parent, name, proxy, cuts, prefix):
        """A send and an accept through the proxy, each cut that often in its direction: the bytes
        that crossed in each direction, the connections, the cuts."""
        src = os.path.join(parent, name)
        out = os.path.join(self.work, "o")
        size = os.path.getsize(src)
        env_a = dict(self.env_a, TESSARY_SERVER_URL=proxy.url)
        env_b = dict(self.env_b, TESSARY_SERVER_URL=proxy.url)
        at = [int(size * (i + 0.5) / cuts) for i in range(cuts)]
        steps = {}
        for step, direction, cmd, env in (
                ("send", cutproxy.UP, [self.cli, "send", self.id_b, src], env_a),
                ("accept", cutproxy.DOWN, None, env_b)):
            proxy.reset()
            proxy.cut_at(direction, at)
            if cmd is None:
                cmd = [self.cli, "accept", file_id, "--to", out]
            key = "%s_%s" % (prefix, step)
            steps[key], stdout = self.measure(key, cmd, env=env)
            steps[key].update({"bytes_up": proxy.bytes[cutproxy.UP], "bytes_down": proxy.bytes[cutproxy.DOWN],
                               "connections": proxy.connections, "cuts": proxy.cut_count})
            if step == "send":
                file_id = stdout.strip().splitlines()[-1]
                row = next(line.split("\t") for line in self.cli_run(self.env_b, "inbox").splitlines()
                           if line.split("\t")[0] == file_id)
                steps[key]["container_bytes"] = int(row[1])
        check_same(src, os.path.join(out, name))
        shutil.rmtree(out)
        return steps

    def container(self, parent, name):
        src = os.path.join(parent, name)
        out = os.path.join(self.work, "o")
        path = os.path.join(self.work, "c.tsyc")
        steps = {}
        stdin = (PASSWORD + "\n").encode()
        steps["tessary_save"], _ = self.measure("tessary_save", [self.cli, "save", path, "--password", src],
                                                env=self.env_a, stdin=stdin)
        steps["tessary_save"]["container_bytes"] = os.path.getsize(path)
        steps["tessary_open"], _ = self.measure("tessary_open", [self.cli, "open", path, "--to", out],
                                                env=self.env_a, stdin=stdin)
        check_same(src, os.path.join(out, name))
        shutil.rmtree(out)
        os.remove(path)
        return steps

    def whatif_uncompressed(self, parent, name):
        """The same transfer with compression switched off in the sender's gpg.conf: not what
        Tessary does, a measure of what compression costs it."""
        conf = os.path.join(self.env_a["HOME"], ".tessary2", "gpg.conf")
        with open(conf, "w") as f:
            f.write("compress-algo none\n")
        try:
            return self.transfer(parent, name, prefix="whatif_z0")
        finally:
            os.remove(conf)

    def repeated(self, once):
        """Runs one round of a case's steps (Tessary's and the baselines', interleaved, so that both see
        the same load on a shared machine) several times; keeps each step's fastest run, as noise
        from other work only ever adds time, and lists the wall times of all runs."""
        rounds = []
        for i in range(self.cfg["repeat"]):
            if self.cfg["repeat"] > 1:
                log("round %d of %d" % (i + 1, self.cfg["repeat"]))
            rounds.append(once())
        steps = {}
        for key in rounds[0]:
            runs = [r[key] for r in rounds]
            best = dict(min(runs, key=lambda r: r["wall_s"]))
            best["runs_wall_s"] = [r["wall_s"] for r in runs]
            best["runs_cpu_s"] = [r["cpu_s"] for r in runs]
            best["max_peak_rss_bytes"] = max(r["peak_rss_bytes"] for r in runs)
            best["max_root_peak_rss_bytes"] = max(r.get("root_peak_rss_bytes", 0) for r in runs)
            best["max_server_growth_bytes"] = max(
                r.get("server_peak_rss_bytes", 0) - r.get("server_rss_start_bytes", 0) for r in runs)
            steps[key] = best
        return steps

    # -- the run --
    def run(self):
        cfg = self.cfg
        self.build_paths()
        started = datetime.datetime.now(datetime.timezone.utc)
        self.server = Server(self.server_bin, self.work)
        log("server %s (pid %d), work folder %s" % (self.server.url, self.server.pid, self.work))
        self.setup_users()
        self.setup_gpg()
        self.warm_agents()
        results = {"schema": 1, "started": started.isoformat(timespec="seconds"), "machine": machine(),
                   "config": {k: v for k, v in cfg.items() if k != "build_dir"}, "git": git_state(),
                   "first_start_s": self.first_start_s, "cases": []}
        want = lambda c: not cfg["only"] or c in cfg["only"]  # noqa: E731

        if want("big"):
            parent, name = self.make_big(cfg["big_mib"], "big")
            case = {"name": "big", "title": "1 file of %d MiB, send + accept" % cfg["big_mib"],
                    "bytes": cfg["big_mib"] * MiB, "files": 1, "steps": {}}
            case["steps"] = self.repeated(lambda: dict(
                self.transfer(parent, name), **self.baselines(parent, name, symmetric=False),
                **(self.whatif_uncompressed(parent, name) if cfg["whatif"] else {})))
            results["cases"].append(case)
            if not want("container") or cfg["container_mib"] != cfg["big_mib"]:
                shutil.rmtree(parent)

        if want("small"):
            parent, name = self.make_small(cfg["small_count"], cfg["small_kib"])
            case = {"name": "small", "title": "%d files of %d KiB in nested folders, send + accept"
                    % (cfg["small_count"], cfg["small_kib"]),
                    "bytes": cfg["small_count"] * cfg["small_kib"] * 1024, "files": cfg["small_count"],
                    "steps": {}}
            case["steps"] = self.repeated(lambda: dict(self.transfer(parent, name),
                                                       **self.baselines(parent, name, symmetric=False)))
            results["cases"].append(case)
            shutil.rmtree(os.path.join(parent, name))

        if want("container"):
            big = os.path.join(self.work, "d", "big")
            if os.path.isdir(big) and cfg["container_mib"] == cfg["big_mib"]:
                parent, name = big, "big.bin"
            else:
                parent, name = self.make_big(cfg["container_mib"], "cont")
            case = {"name": "container", "title": "local container of %d MiB with a password, save + open"
                    % cfg["container_mib"], "bytes": cfg["container_mib"] * MiB, "files": 1, "steps": {}}
            case["steps"] = self.repeated(lambda: dict(self.container(parent, name),
                                                       **self.baselines(parent, name, symmetric=True)))
            results["cases"].append(case)
            shutil.rmtree(parent)

        if want("text"):
            parent, name = self.make_text(cfg["text_mib"])
            case = {"name": "text", "title": "1 file of %d MiB of log-like text lines, send + accept" % cfg["text_mib"],
                    "bytes": cfg["text_mib"] * MiB, "files": 1, "steps": {}}
            case["steps"] = self.repeated(lambda: dict(self.transfer(parent, name),
                                                       **self.baselines(parent, name, symmetric=False)))
            results["cases"].append(case)
            shutil.rmtree(parent)

        if want("cut"):
            parent, name = self.make_big(cfg["cut_mib"], "cut")
            proxy = cutproxy.CutProxy(int(self.server.url.rsplit(":", 1)[1]))
            case = {"name": "cut", "title": "1 file of %d MiB through a TCP proxy, uncut and cut %d times each way"
                    % (cfg["cut_mib"], cfg["cuts"]), "bytes": cfg["cut_mib"] * MiB, "files": 1, "cuts": cfg["cuts"]}
            case["steps"] = self.repeated(lambda: dict(self.cut_transfer(parent, name, proxy, 0, "uncut"),
                                                       **self.cut_transfer(parent, name, proxy, cfg["cuts"], "cut")))
            proxy.close()
            results["cases"].append(case)
            shutil.rmtree(parent)

        if want("poll"):
            results["poll"] = {}
            for mode, keep_alive in (("keep_alive", True), ("new_connections", False)):
                log("poll: %d clients, %s s, %s" % (cfg["poll_clients"], cfg["poll_seconds"], mode))
                results["poll"][mode] = load.run_poll(self.server.url, self.server.ca, clients=cfg["poll_clients"],
                                                      seconds=cfg["poll_seconds"], keep_alive=keep_alive,
                                                      server_pid=self.server.pid)
                log("poll: %.1f req/s, %d errors" % (results["poll"][mode]["requests_per_second"],
                                                      results["poll"][mode]["errors"]))

        if want("load"):
            log("load: %d clients, %s s, %s MB containers" %
                (cfg["load_clients"], cfg["load_seconds"], cfg["load_mb"]))
            results["load"] = load.run_load(self.server.url, self.server.ca, clients=cfg["load_clients"],
                                            seconds=cfg["load_seconds"], size_mb=cfg["load_mb"],
                                            server_pid=self.server.pid, workdir=self.work)
            log("load: %.1f req/s, up %.1f MB/s, down %.1f MB/s, %d errors" % (
                results["load"]["requests_per_second"], results["load"]["upload_mb_per_s"],
                results["load"]["download_mb_per_s"], results["load"]["errors"]))

        if self.profile:
            results["profile"] = self.profile
        results["finished"] = datetime.datetime.now(datetime.timezone.utc).isoformat(timespec="seconds")
        return results

    def close(self):
        for home in (os.path.join(self.work, "a", ".tessary2"), os.path.join(self.work, "b", ".tessary2"),
                     os.path.join(self.work, "g")):
            if os.path.isdir(home):
                subprocess.run(["gpgconf", "--homedir", home, "--kill", "gpg-agent"],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if self.server:
            self.server.stop()
        if os.environ.get("BENCH_KEEP", "") in ("", "0"):
            shutil.rmtree(self.work, ignore_errors=True)
        else:
            log("kept " + self.work)


def check_same(expected, actual):
    """Byte-for-byte comparison of a file or a folder tree; raises on the first difference."""
    if os.path.isfile(expected):
        if subprocess.run(["cmp", "-s", expected, actual]).returncode != 0:
            raise RuntimeError("%s differs from %s" % (actual, expected))
        return
    p = subprocess.run(["diff", "-rq", expected, actual], capture_output=True, text=True)
    if p.returncode != 0:
        raise RuntimeError("%s differs from %s: %s" % (actual, expected, p.stdout[:500]))


def perf_summary(path):
    """Share of the samples by process (thread name) and library, and the top symbols."""
    summary = {}
    for key, sort in (("by_process_library", "comm,dso"), ("by_symbol", "comm,dso,sym")):
        p = subprocess.run(["perf", "report", "-i", path, "--stdio", "--no-children", "--sort", sort,
                            "--percent-limit", "0.5", "-g", "none"], capture_output=True, text=True)
        rows = []
        for line in p.stdout.splitlines():
            m = re.match(r"\s*([\d.]+)%\s+(.*)$", line)
            if m:
                rows.append([float(m.group(1)), re.sub(r"\s+", " ", m.group(2)).strip()])
        summary[key] = rows[:25]
    return summary


def machine():
    model = ""
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    with open("/proc/meminfo") as f:
        mem_kib = int(f.readline().split()[1])

    def version(cmd):
        try:
            return subprocess.run(cmd, capture_output=True, text=True).stdout.splitlines()[0]
        except (OSError, IndexError):
            return ""
    fs = subprocess.run(["df", "-T", "/tmp"], capture_output=True, text=True).stdout.splitlines()[-1].split()
    return {"cpus": os.cpu_count(), "cpu_model": model, "memory_gib": round(mem_kib / 1024 / 1024, 1),
            "kernel": platform.release(), "tmp_filesystem": fs[1] if len(fs) > 1 else "",
            "gpg": version(["gpg", "--version"]), "tar": version(["tar", "--version"]),
            "python": platform.python_version()}


def git_state():
    try:
        commit = subprocess.run(["git", "-C", REPO, "rev-parse", "--short", "HEAD"], capture_output=True,
                                text=True).stdout.strip()
        dirty = bool(subprocess.run(["git", "-C", REPO, "status", "--porcelain"], capture_output=True,
                                    text=True).stdout.strip())
        return {"commit": commit, "dirty": dirty}
    except OSError:
        return {}


def main():
    cfg = config()
    bench = Bench(cfg)
    try:
        results = bench.run()
    finally:
        bench.close()
    out_dir = os.path.join(HERE, "results")
    os.makedirs(out_dir, exist_ok=True)
    stamp = datetime.datetime.now().strftime("%Y%m%d-%H%M%S")
    full_size = (cfg["big_mib"], cfg["small_count"], cfg["small_kib"], cfg["container_mib"], cfg["text_mib"],
                 cfg["load_clients"], cfg["load_mb"]) == (1024, 5000, 4, 1024, 1024, 50, 10) and not cfg["only"]
    kind = "quick" if cfg["quick"] else ("profile" if cfg["profile"] else ("full" if full_size else "custom"))
    path = os.path.join(out_dir, "%s-%s.json" % (stamp, kind))
    with open(path, "w") as f:
        json.dump(results, f, indent=1)
    table = report.render(results)
    print(table)
    log("results written to " + os.path.relpath(path, REPO))
    if kind == "full":
        shutil.copyfile(path, os.path.join(out_dir, "latest.json"))
        report.update_readme(os.path.join(HERE, "README.md"), table)
        log("table written to bench/README.md")
    # Missed targets are findings, not failures of the run; errors under load are.
    errors = results.get("load", {}).get("errors", 0) + sum(p["errors"] for p in results.get("poll", {}).values())
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
