#!/usr/bin/env python3
"""Load on a running relay server: N concurrent clients that poll, upload and download.

Each simulated client is one installation with its own UUID and its own real OpenPGP public key
(made once with gpg). Client i sends containers to client i+1 (wrapping round). In its loop a client
asks "/check-new-files", downloads every container listed for it, checks the bytes, tells the server
with "/download-complete", and then, while the time lasts and fewer than --pending of its own
containers still wait, asks "/can-upload" and uploads one more. Every request opens a new TLS
connection, as the desktop client does (one short-lived network manager per call).

Bounded in time (--seconds, then at most --drain seconds to collect what is still waiting) and in
count (--max-requests per client). Only loopback addresses are accepted as targets.

Prints one JSON object: requests per second, upload and download MB/s, errors (with the first few
messages), latency percentiles per endpoint, and the server's memory and CPU when --server-pid is
given.
"""

import argparse
import hashlib
import http.client
import ipaddress
import json
import os
import resource
import shutil
import ssl
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse
import uuid

SEND_SLICE = 256 * 1024
READ_SLICE = 256 * 1024
SOCKET_TIMEOUT = 60.0


def make_keys(count, workdir):
    """count distinct OpenPGP public keys (raw packets) with their 20-byte fingerprints."""
    home = os.path.join(workdir, "lk")
    os.makedirs(home, mode=0o700, exist_ok=True)
    params = "".join(
        "Key-Type: eddsa\nKey-Curve: ed25519\nKey-Usage: sign\nSubkey-Type: ecdh\nSubkey-Curve: cv25519\n"
        "Subkey-Usage: encrypt\nName-Real: load %d\n"
        "Name-Email: load%d@bench.invalid\nExpire-Date: 0\n%%no-protection\n%%commit\n" % (i, i)
        for i in range(count))
    gpg = ["gpg", "--homedir", home, "--batch", "--quiet"]
    subprocess.run(gpg + ["--gen-key"], input=params.encode(), check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    listing = subprocess.run(gpg + ["--with-colons", "--list-keys"], check=True,
                             capture_output=True, text=True).stdout
    fprs = []
    expect_fpr = False
    for line in listing.splitlines():
        fields = line.split(":")
        if fields[0] == "pub":
            expect_fpr = True
        elif fields[0] == "fpr" and expect_fpr:
            fprs.append(fields[9])
            expect_fpr = False
    keys = []
    for fpr in fprs[:count]:
        data = subprocess.run(gpg + ["--export", fpr], check=True, capture_output=True).stdout
        keys.append((bytes.fromhex(fpr), data))
    subprocess.run(["gpgconf", "--homedir", home, "--kill", "gpg-agent"],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if len(keys) != count:
        raise RuntimeError("gpg made %d keys, %d needed" % (len(keys), count))
    return keys


def encrypted_message(data):
    """data in the packets of an OpenPGP message, which is all the relay takes: a public-key session
    key packet (its contents made up), then an encrypted data packet (22 bytes of packet headers)."""
    session_key = b"\x84\x0d\x03" + b"k" * 8 + b"\x01\x00\x01\x01"
    return session_key + b"\xd2\xff" + (len(data) + 1).to_bytes(4, "big") + b"\x01" + data


class ServerProbe:
    """Samples the server's resident memory; peak via VmHWM after resetting it."""

    def __init__(self, pid, interval=0.25):
        self.pid = pid
        self.interval = interval
        self.samples = []
        self._stop = threading.Event()
        self._thread = None
        self.cpu_start = 0.0

    def _status(self, field):
        with open("/proc/%d/status" % self.pid) as f:
            for line in f:
                if line.startswith(field + ":"):
                    return int(line.split()[1]) * 1024
        return 0

    def cpu_seconds(self):
        with open("/proc/%d/stat" % self.pid) as f:
            parts = f.read().rsplit(")", 1)[1].split()
        tick = os.sysconf("SC_CLK_TCK")
        return (int(parts[11]) + int(parts[12])) / tick

    def start(self):
        try:
            with open("/proc/%d/clear_refs" % self.pid, "w") as f:
                f.write("5")  # resets VmHWM to the current RSS
        except OSError:
            pass
        self.cpu_start = self.cpu_seconds()
        self.rss_start = self._status("VmRSS")
        self._thread = threading.Thread(target=self._run, daemon=True)
        self._thread.start()

    def _run(self):
        t0 = time.monotonic()
        while not self._stop.wait(self.interval):
            try:
                self.samples.append((round(time.monotonic() - t0, 2), self._status("VmRSS")))
            except OSError:
                return

    def stop(self):
        self._stop.set()
        self._thread.join()
        return {
            "server_rss_start_bytes": self.rss_start,
            "server_rss_end_bytes": self._status("VmRSS"),
            "server_peak_rss_bytes": self._status("VmHWM"),
            "server_cpu_seconds": round(self.cpu_seconds() - self.cpu_start, 3),
            "server_rss_samples": len(self.samples),
            "server_rss_sampled_max_bytes": max((s for _, s in self.samples), default=0),
        }


class Stats:
    def __init__(self):
        self.lock = threading.Lock()
        self.requests = {}
        self.latencies = {}
        self.errors = 0
        self.error_messages = []
        self.bytes_up = 0
        self.bytes_down = 0
        self.uploads = 0
        self.downloads = 0

    def record(self, endpoint, seconds):
        with self.lock:
            self.requests[endpoint] = self.requests.get(endpoint, 0) + 1
            self.latencies.setdefault(endpoint, []).append(seconds)

    def error(self, text):
        with self.lock:
            self.errors += 1
            if len(self.error_messages) < 20:
                self.error_messages.append(text)


class Relay:
    def __init__(self, base_url, ca_file):
        parts = urllib.parse.urlsplit(base_url)
        if parts.scheme != "https":
            raise ValueError("the relay is reached over https only")
        host = parts.hostname
        if host != "localhost" and not ipaddress.ip_address(host).is_loopback:
            raise ValueError("load is sent to loopback addresses only, not to %s" % host)
        self.host = host
        self.port = parts.port or 443
        self.prefix = parts.path.rstrip("/")
        self.context = ssl.create_default_context(cafile=ca_file)

    def connect(self, sessions=None):
        """A new connection; with a TlsSessions it offers that client's session ticket."""
        if sessions is None:
            return http.client.HTTPSConnection(self.host, self.port, context=self.context,
                                               timeout=SOCKET_TIMEOUT)
        return ResumingConnection(self, sessions)


class TlsSessions:
    """The TLS session cache of one client, kept between its connections as a TLS client keeps it:
    a ticket from the server is offered on every new connection for as long as the server accepts
    it, and replaced when the server makes a full handshake instead. (Taking the newest ticket
    after every connection would cost the load generator more than the server: Python copies a
    session through its ASN.1 form, half a millisecond each.)"""

    def __init__(self):
        self.session = None
        self.resumed = 0
        self.full = 0

    def wrap(self, context, sock, host):
        tls = context.wrap_socket(sock, server_hostname=host, session=self.session)
        if tls.session_reused:
            self.resumed += 1
        else:
            self.full += 1
            self.session = None
        return tls

    def close(self, tls):
        # TLS 1.3 tickets come after the handshake: by the end of a reply the server's is in.
        if self.session is None:
            session = tls.session
            if session is not None and session.has_ticket:
                self.session = session
        tls.close()


class ResumingConnection(http.client.HTTPSConnection):
    def __init__(self, relay, sessions):
        super().__init__(relay.host, relay.port, context=relay.context, timeout=SOCKET_TIMEOUT)
        self.sessions = sessions

    def connect(self):
        http.client.HTTPConnection.connect(self)
        self.sock = self.sessions.wrap(self._context, self.sock, self.host)

    def close(self):
        if self.sock is not None:
            self.sessions.close(self.sock)
            self.sock = None
        super().close()


class Client(threading.Thread):
    def __init__(self, index, relay, key, payload, args, shared, stats, deadline, drain_end):
        super().__init__(daemon=True)
        self.index = index
        self.relay = relay
        self.uid = uuid.uuid4()
        self.fpr, self.key = key
        self.payload = payload
        self.args = args
        self.shared = shared
        self.stats = stats
        self.deadline = deadline
        self.drain_end = drain_end
        self.recipient = None  # Client
        self.key_id = None
        self.requests = 0
        self.ua = {"User-Agent": "Tessary/2.0.1"}
        self.tls = TlsSessions()

    # -- one request, new connection each time --
    def api(self, path, body):
        data = b"\x03" + self.uid.bytes + body
        t0 = time.monotonic()
        conn = self.relay.connect(self.tls)
        try:
            conn.request("POST", self.relay.prefix + "/api" + path, body=data,
                         headers=dict(self.ua, **{"Content-Type": "application/octet-stream"}))
            reply = conn.getresponse()
            payload = reply.read()
            status = reply.status
        finally:
            conn.close()
        self.requests += 1
        self.stats.record(path, time.monotonic() - t0)
        if status != 200:
            raise RuntimeError("%s: HTTP %d %s" % (path, status, payload[:200]))
        return payload

    def register(self):
        body = hashlib.md5(self.key).digest() + self.fpr + self.key
        answer = json.loads(self.api("/upload-pubkey", body) or b"{}")
        self.key_id = answer.get("keyId")
        if not isinstance(self.key_id, str) or not self.key_id:
            raise RuntimeError("/upload-pubkey: %r" % answer)

    def upload(self):
        size = len(self.payload) + 21
        answer = json.loads(self.api("/can-upload", json.dumps({"size": size}, separators=(",", ":")).encode())
                            or b"{}")
        if answer.get("success") is not True:
            raise RuntimeError("/can-upload: %r" % answer)
        boundary = "boundary_.oOo._" + uuid.uuid4().hex
        head = ("--%s\r\nContent-Type: application/octet-stream\r\n"
                "Content-Disposition: form-data; name=\"container\"; filename=\"container\"\r\n\r\n"
                % boundary).encode()
        trailer = self.recipient.fpr + b"\x01"
        tail = ("\r\n--%s\r\nContent-Disposition: form-data; name=\"uid\"\r\n\r\n%s\r\n--%s--\r\n"
                % (boundary, "{%s}" % self.uid, boundary)).encode()
        length = len(head) + size + len(tail)
        t0 = time.monotonic()
        conn = self.relay.connect(self.tls)
        try:
            conn.putrequest("POST", self.relay.prefix + "/upload-container", skip_accept_encoding=True)
            conn.putheader("User-Agent", self.ua["User-Agent"])
            conn.putheader("Content-Type", "multipart/form-data; boundary=" + boundary)
            conn.putheader("Content-Length", str(length))
            conn.endheaders()
            conn.send(head)
            view = memoryview(self.payload)
            for offset in range(0, len(view), SEND_SLICE):
                conn.send(view[offset:offset + SEND_SLICE])
            conn.send(trailer + tail)
            reply = conn.getresponse()
            body = reply.read()
            status = reply.status
        finally:
            conn.close()
        self.requests += 1
        self.stats.record("/upload-container", time.monotonic() - t0)
        if status != 200:
            raise RuntimeError("/upload-container: HTTP %d %s" % (status, body[:200]))
        answer = json.loads(body or b"{}")
        file_id = answer.get("fileId")
        if not isinstance(file_id, int) or file_id <= 0:
            raise RuntimeError("/upload-container: %r" % answer)
        with self.stats.lock:
            self.stats.bytes_up += size
            self.stats.uploads += 1
        with self.shared["lock"]:
            self.shared["pending"][self.index] += 1
            self.shared["owner"][file_id] = self.index

    def download(self, file_id, expected_size):
        t0 = time.monotonic()
        conn = self.relay.connect(self.tls)
        received = 0
        last = b""
        try:
            conn.request("GET", "%s/id%s" % (self.relay.prefix, file_id), headers=self.ua)
            reply = conn.getresponse()
            status = reply.status
            while True:
                chunk = reply.read(READ_SLICE)
                if not chunk:
                    break
                received += len(chunk)
                last = (last + chunk)[-21:]
        finally:
            conn.close()
        self.requests += 1
        self.stats.record("/id", time.monotonic() - t0)
        if status != 200:
            raise RuntimeError("/id%s: HTTP %d" % (file_id, status))
        if received != expected_size or last != self.fpr + b"\x01":
            raise RuntimeError("/id%s: %d bytes of %d, or not addressed to this client" %
                               (file_id, received, expected_size))
        with self.stats.lock:
            self.stats.bytes_down += received
            self.stats.downloads += 1
        self.api("/download-complete", b"\x00" + str(file_id).encode())
        with self.shared["lock"]:
            owner = self.shared["owner"].pop(int(file_id), None)
            if owner is not None:
                self.shared["pending"][owner] -= 1

    def step(self, uploading):
        waiting = json.loads(self.api("/check-new-files", b"CHECK") or b"null")
        if not isinstance(waiting, list):
            raise RuntimeError("/check-new-files: %r" % (waiting,))
        for item in waiting:
            self.download(item["fileId"], int(item["fileSize"]))
        if uploading:
            with self.shared["lock"]:
                room = self.shared["pending"][self.index] < self.args.pending
            if room:
                self.upload()
        return len(waiting)

    def run(self):
        while self.requests < self.args.max_requests:
            now = time.monotonic()
            uploading = now < self.deadline
            if not uploading:
                with self.shared["lock"]:
                    anything_left = bool(self.shared["owner"])
                if not anything_left or now >= self.drain_end:
                    return
            try:
                got = self.step(uploading)
            except Exception as e:  # every failure counts; the client goes on
                self.stats.error("client %d: %s: %s" % (self.index, type(e).__name__, e))
                got = 0
            if not uploading and got == 0:
                time.sleep(0.2)  # draining: others still have to fetch theirs


def percentile(values, fraction):
    if not values:
        return None
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(fraction * len(ordered)))]


def run_load(base_url, ca_file, clients=50, seconds=30.0, size_mb=10.0, pending=2, drain=60.0,
             max_requests=100000, server_pid=None, workdir=None, log=sys.stderr):
    own_workdir = workdir is None
    if own_workdir:
        workdir = tempfile.mkdtemp(prefix="tl", dir="/tmp")
    try:
        relay = Relay(base_url, ca_file)
        print("load: making %d OpenPGP keys" % clients, file=log)
        keys = make_keys(clients, workdir)
        payload = encrypted_message(os.urandom(int(size_mb * 1000 * 1000) - 21 - 22))
        stats = Stats()
        shared = {"lock": threading.Lock(), "pending": [0] * clients, "owner": {}}
        args = argparse.Namespace(pending=pending, max_requests=max_requests)
        workers = [Client(i, relay, keys[i], payload, args, shared, stats, 0, 0) for i in range(clients)]
        for i, w in enumerate(workers):
            w.recipient = workers[(i + 1) % clients]
        for w in workers:
            w.register()
        setup_requests = dict(stats.requests)
        stats.requests.clear()
        stats.latencies.clear()

        probe = ServerProbe(server_pid) if server_pid else None
        if probe:
            probe.start()
        self_cpu0 = resource.getrusage(resource.RUSAGE_SELF)
        print("load: %d clients for %.0f s" % (clients, seconds), file=log)
        t0 = time.monotonic()
        for w in workers:
            w.deadline = t0 + seconds
            w.drain_end = t0 + seconds + drain
            w.start()
        for w in workers:
            w.join()
        elapsed = time.monotonic() - t0
        self_cpu1 = resource.getrusage(resource.RUSAGE_SELF)
        with shared["lock"]:
            left = len(shared["owner"])
        if left:
            stats.error("%d containers were never collected" % left)

        total = sum(stats.requests.values())
        result = {
            "clients": clients,
            "seconds": seconds,
            "elapsed_seconds": round(elapsed, 3),
            "container_bytes": len(payload) + 21,
            "requests": total,
            "requests_by_endpoint": stats.requests,
            "setup_requests": setup_requests,
            "requests_per_second": round(total / elapsed, 1),
            "uploads": stats.uploads,
            "downloads": stats.downloads,
            "upload_mb_per_s": round(stats.bytes_up / elapsed / 1e6, 1),
            "download_mb_per_s": round(stats.bytes_down / elapsed / 1e6, 1),
            "errors": stats.errors,
            "error_messages": stats.error_messages,
            "latency_ms": {
                ep: {"p50": round(percentile(v, 0.5) * 1000, 1), "p95": round(percentile(v, 0.95) * 1000, 1),
                     "max": round(max(v) * 1000, 1)}
                for ep, v in stats.latencies.items()},
            "generator_cpu_seconds": round(self_cpu1.ru_utime + self_cpu1.ru_stime
                                           - self_cpu0.ru_utime - self_cpu0.ru_stime, 2),
        }
        if probe:
            result.update(probe.stop())
        return result
    finally:
        if own_workdir:
            shutil.rmtree(workdir, ignore_errors=True)


def poll_generator():
    """The poll load program (bench/PollLoad.cpp, target poll-load) of the benchmark build."""
    return os.environ.get("BENCH_POLL_LOAD") or os.path.join(
        os.environ.get("BENCH_BUILD_DIR", os.path.join(os.path.dirname(os.path.abspath(__file__)), "..",
                                                       "build-bench")), "tests", "server", "poll-load")


def run_poll(base_url, ca_file, clients=50, seconds=10.0, keep_alive=True, server_pid=None, generator=None):
    """Poll-only load: `clients` installations asking "/check-new-files" as fast as they get
    answers, over keep-alive connections or a new connection per request (resuming the TLS
    session of the one before). The clients are threads of bench/PollLoad.cpp: in Python each new
    TLS connection costs the generator three times what it costs the server, and both share the
    machine. Bounded by `seconds` and by 100000 requests per client."""
    relay = Relay(base_url, ca_file)
    probe = ServerProbe(server_pid) if server_pid else None
    if probe:
        probe.start()
    mode = "keep-alive" if keep_alive else "new-connections"
    run = subprocess.run([generator or poll_generator(), relay.host, str(relay.port), ca_file, str(clients),
                          str(seconds), mode], check=True, capture_output=True, timeout=seconds + 120)
    result = {"clients": clients, "keep_alive": keep_alive, "seconds": seconds}
    result.update(json.loads(run.stdout))
    result["requests_per_second"] = round(result["requests"] / result["elapsed_seconds"], 1)
    if probe:
        result.update(probe.stop())
        result["server_cpu_ms_per_request"] = round(result["server_cpu_seconds"] * 1000 / max(1, result["requests"]), 3)
    return result


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--url", required=True, help="https://127.0.0.1:PORT")
    p.add_argument("--ca", required=True, help="the server's CA certificate (PEM)")
    p.add_argument("--clients", type=int, default=50)
    p.add_argument("--seconds", type=float, default=30.0)
    p.add_argument("--size-mb", type=float, default=10.0, help="container size in MB (10^6 bytes)")
    p.add_argument("--pending", type=int, default=2, help="containers a client may have waiting at once")
    p.add_argument("--drain", type=float, default=60.0, help="seconds to collect what still waits")
    p.add_argument("--max-requests", type=int, default=100000, help="per client")
    p.add_argument("--server-pid", type=int)
    p.add_argument("--poll", choices=["keep-alive", "new-connections"],
                   help="poll-only load: \"/check-new-files\" as fast as the answers come")
    p.add_argument("--poll-load", help="the poll load program (default: build-bench/tests/server/poll-load)")
    a = p.parse_args()
    if a.poll:
        result = run_poll(a.url, a.ca, a.clients, a.seconds, a.poll == "keep-alive", server_pid=a.server_pid,
                          generator=a.poll_load)
        json.dump(result, sys.stdout, indent=2)
        print()
        return 1 if result["errors"] else 0
    result = run_load(a.url, a.ca, a.clients, a.seconds, a.size_mb, a.pending, a.drain, a.max_requests,
                      a.server_pid)
    json.dump(result, sys.stdout, indent=2)
    print()
    return 1 if result["errors"] else 0


if __name__ == "__main__":
    sys.exit(main())
