#!/usr/bin/env python3
"""Renders a results JSON of bench/bench.py as markdown tables.

    python3 bench/report.py [bench/results/latest.json]   # prints the tables
    python3 bench/report.py --readme FILE.json              # also rewrites the table in bench/README.md
"""

import json
import os
import sys

MB = 1024 * 1024
README_START = "<!-- bench-results:start -->"
README_END = "<!-- bench-results:end -->"
RSS_TARGET = 64 * MB
POLL_TARGET = 1000  # requests per second
FLAT_LIMIT = 64 * MB

BASELINE_NAMES = {
    "tar_gpg_enc": "tar -c | gpg -e (default compression)",
    "gpg_tar_dec": "gpg -d | tar -x",
    "tar_gpg_enc_z0": "tar -c | gpg -e --compress-algo none",
    "gpg_tar_dec_z0": "gpg -d | tar -x (uncompressed archive)",
    "cp": "cp -r (floor of disk speed)",
}
SYMMETRIC_NAMES = {
    "tar_gpg_enc": "tar -c | gpg -c (default compression)",
    "gpg_tar_dec": "gpg -d | tar -x",
    "tar_gpg_enc_z0": "tar -c | gpg -c --compress-algo none",
    "gpg_tar_dec_z0": "gpg -d | tar -x (uncompressed archive)",
    "cp": "cp -r (floor of disk speed)",
}


def mb(value):
    return "%.0f" % (value / MB) if value else "-"


def secs(value):
    return "%.2f" % value if value is not None else "-"


def ratio(a, b):
    return "%.2f" % (a / b) if a is not None and b else "-"


def runs(step):
    return ", ".join("%.2f" % w for w in step.get("runs_wall_s", []))


def combine(*steps):
    """Two steps one after the other: times add, memory is the larger."""
    if any(s is None for s in steps):
        return None
    return {
        "wall_s": sum(s["wall_s"] for s in steps),
        "cpu_s": sum(s["cpu_s"] for s in steps),
        "peak_rss_bytes": max(s["peak_rss_bytes"] for s in steps),
        "runs_wall_s": [sum(w) for w in zip(*(s.get("runs_wall_s", []) for s in steps))],
        "root_peak_rss_bytes": max(s.get("root_peak_rss_bytes", 0) for s in steps),
        "server_peak_rss_bytes": max(s.get("server_peak_rss_bytes", 0) for s in steps),
        "server_rss_start_bytes": min(s.get("server_rss_start_bytes", 0) for s in steps),
        "server_cpu_s": sum(s.get("server_cpu_s", 0) for s in steps),
    }


def tessary_pairs(case):
    """(label, step, baseline-encrypt-like key, ...) rows for the Tessary steps of a case."""
    s = case["steps"]
    if case["name"] == "container":
        first, second, words = "tessary_save", "tessary_open", ("save", "open")
    else:
        first, second, words = "tessary_send", "tessary_accept", ("send", "accept")
    rows = [
        ("Tessary " + words[0], s.get(first), "tar_gpg_enc", "tar_gpg_enc_z0"),
        ("Tessary " + words[1], s.get(second), "gpg_tar_dec", "gpg_tar_dec_z0"),
        ("Tessary %s + %s" % words, combine(s.get(first), s.get(second)), ("tar_gpg_enc", "gpg_tar_dec"),
         ("tar_gpg_enc_z0", "gpg_tar_dec_z0")),
    ]
    if "whatif_z0_send" in s:
        rows += [
            ("what-if: send, gpg compression off*", s["whatif_z0_send"], "tar_gpg_enc", "tar_gpg_enc_z0"),
            ("what-if: accept of that container*", s["whatif_z0_accept"], "gpg_tar_dec", "gpg_tar_dec_z0"),
            ("what-if: send + accept*", combine(s["whatif_z0_send"], s["whatif_z0_accept"]),
             ("tar_gpg_enc", "gpg_tar_dec"), ("tar_gpg_enc_z0", "gpg_tar_dec_z0")),
        ]
    return rows


def baseline(case, key):
    s = case["steps"]
    if isinstance(key, tuple):
        return combine(*(s.get(k) for k in key))
    return s.get(key)


def case_table(case):
    s = case["steps"]
    names = SYMMETRIC_NAMES if case["name"] == "container" else BASELINE_NAMES
    lines = [
        "**%s**" % case["title"],
        "",
        "| Step | Wall s | × tar\\|gpg | × tar\\|gpg, no compression | × cp | CPU s | CPU × tar\\|gpg "
        "| Peak RSS MB (largest process) | tessary-cli RSS MB | Server peak RSS MB (at start) | All runs, wall s |",
        "|---|--:|--:|--:|--:|--:|--:|--:|--:|--:|---|",
    ]
    cp = s.get("cp")
    for label, step, key, key_z0 in tessary_pairs(case):
        if step is None:
            continue
        base, base_z0 = baseline(case, key), baseline(case, key_z0)
        lines.append("| %s | %s | %s | %s | %s | %s | %s | %s | %s | %s (%s) | %s |" % (
            label, secs(step["wall_s"]), ratio(step["wall_s"], base and base["wall_s"]),
            ratio(step["wall_s"], base_z0 and base_z0["wall_s"]), ratio(step["wall_s"], cp and cp["wall_s"]),
            secs(step["cpu_s"]), ratio(step["cpu_s"], base and base["cpu_s"]), mb(step["peak_rss_bytes"]),
            mb(step.get("root_peak_rss_bytes")), mb(step.get("server_peak_rss_bytes")),
            mb(step.get("server_rss_start_bytes")), runs(step)))
    for key in ("tar_gpg_enc", "gpg_tar_dec", "tar_gpg_enc_z0", "gpg_tar_dec_z0", "cp"):
        step = s.get(key)
        if step is None:
            continue
        lines.append("| %s | %s | | | | %s | | %s | | | %s |" % (
            names[key].replace("|", "\\|"), secs(step["wall_s"]), secs(step["cpu_s"]), mb(step["peak_rss_bytes"]),
            runs(step)))
    send = s.get("tessary_send") or s.get("tessary_save")
    enc, enc_z0 = s.get("tar_gpg_enc"), s.get("tar_gpg_enc_z0")
    if send and send.get("container_bytes") and enc and enc.get("output_bytes"):
        lines += ["", "Output: Tessary's container %.1f MB (gpg compression: %s); tar \\| gpg %.1f MB with default "
                  "compression, %.1f MB without." % (
                      send["container_bytes"] / MB, level_text(send.get("gpg_compress_level")),
                      enc["output_bytes"] / MB, (enc_z0 or {}).get("output_bytes", 0) / MB)]
    return "\n".join(lines)


def cut_table(case):
    s = case["steps"]
    lines = [
        "**%s**" % case["title"],
        "",
        "| Step | Wall s | × uncut | CPU s | MB up | MB down | × container | Connections | Cuts | Pauses (s) "
        "| tessary-cli RSS MB | All runs, wall s |",
        "|---|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|---|",
    ]
    container = (s.get("uncut_send") or {}).get("container_bytes")
    for step in ("send", "accept", "send + accept"):
        parts = ("send", "accept") if step == "send + accept" else (step,)
        rows = {}
        for prefix in ("uncut", "cut"):
            steps = [s.get("%s_%s" % (prefix, p)) for p in parts]
            if any(x is None for x in steps):
                continue
            row = combine(*steps)
            for key in ("bytes_up", "bytes_down", "connections", "cuts", "retries", "paused_s"):
                row[key] = sum(x.get(key, 0) for x in steps)
            rows[prefix] = row
        for prefix, row in rows.items():
            wire = row["bytes_up"] if step == "send" else row["bytes_down"] if step == "accept" else None
            lines.append("| %s, %s | %s | %s | %s | %.1f | %.1f | %s | %d | %d | %d (%d) | %s | %s |" % (
                step, prefix, secs(row["wall_s"]), ratio(row["wall_s"], rows.get("uncut", {}).get("wall_s")),
                secs(row["cpu_s"]), row["bytes_up"] / MB, row["bytes_down"] / MB,
                ratio(wire, container) if wire is not None else "-", row["connections"], row["cuts"],
                row["retries"], row["paused_s"], mb(row.get("root_peak_rss_bytes")), runs(row)))
    lines += ["", "Container %.1f MB. \"× container\": the bytes that crossed the proxy in the step's direction "
              "over the container's size (TLS, headers and answers included). Pauses: the tries after a cut and "
              "the seconds the client waited before them, part of the wall time." % ((container or 0) / MB)]
    return "\n".join(lines)


def level_text(level):
    return {None: "?", "default": "gpg's default"}.get(level, "-z %s" % level)


def phases_table(results):
    lines = [
        "| Case | Step | Wall s | before gpg s | gpg s (its CPU s) | after gpg s | tessary-cli CPU s before / after gpg "
        "| Server CPU s | Size on the wire MB | Compression |",
        "|---|---|--:|--:|--:|--:|--:|--:|--:|---|",
    ]
    for case in results.get("cases", []):
        for key in ("tessary_send", "tessary_accept", "tessary_save", "tessary_open", "whatif_z0_send",
                    "whatif_z0_accept"):
            step = case["steps"].get(key)
            if not step:
                continue
            ph = step.get("phases", {})
            lines.append("| %s | %s | %s | %s | %s (%s) | %s | %s / %s | %s | %s | %s |" % (
                case["name"], key, secs(step["wall_s"]), secs(ph.get("before_gpg_s")), secs(ph.get("gpg_s")),
                secs(ph.get("gpg_cpu_s")), secs(ph.get("after_gpg_s")), secs(ph.get("own_cpu_before_gpg_s")),
                secs(ph.get("own_cpu_after_gpg_s")), secs(step.get("server_cpu_s")),
                mb(step.get("container_bytes")),
                level_text(step.get("gpg_compress_level")) if key.endswith(("send", "save")) else ""))
    return "\n".join(lines)


def load_table(load):
    lines = [
        "| Clients | Seconds | Requests | Requests/s | Uploads | Downloads | Upload MB/s | Download MB/s | Errors "
        "| Server RSS MB start → peak | Server CPU s | Load generator CPU s |",
        "|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|",
        "| %d | %.1f | %d | %.1f | %d | %d | %.1f | %.1f | %d | %s → %s | %s | %s |" % (
            load["clients"], load["elapsed_seconds"], load["requests"], load["requests_per_second"],
            load["uploads"], load["downloads"], load["upload_mb_per_s"], load["download_mb_per_s"], load["errors"],
            mb(load.get("server_rss_start_bytes")), mb(load.get("server_peak_rss_bytes")),
            secs(load.get("server_cpu_seconds")), secs(load.get("generator_cpu_seconds"))),
        "",
        "| Endpoint | Requests | p50 ms | p95 ms | max ms |",
        "|---|--:|--:|--:|--:|",
    ]
    for ep, lat in sorted(load["latency_ms"].items()):
        lines.append("| %s | %d | %.1f | %.1f | %.1f |" % (ep, load["requests_by_endpoint"].get(ep, 0), lat["p50"],
                                                          lat["p95"], lat["max"]))
    if load["errors"]:
        lines += ["", "Errors (first ones): " + "; ".join(load["error_messages"][:5])]
    return "\n".join(lines)


def poll_table(poll):
    lines = [
        "| Connections | Clients | Seconds | Requests | Requests/s | Errors | p50 ms | p95 ms | max ms "
        "| Server RSS MB start → peak | Server CPU s | Load generator CPU s |",
        "|---|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|",
    ]
    for mode, label in (("keep_alive", "keep-alive"), ("new_connections", "new connection per request")):
        p = poll.get(mode)
        if not p:
            continue
        lines.append("| %s | %d | %.1f | %d | %.1f | %d | %.1f | %.1f | %.1f | %s → %s | %s | %s |" % (
            label, p["clients"], p["elapsed_seconds"], p["requests"], p["requests_per_second"], p["errors"],
            p["latency_ms"]["p50"], p["latency_ms"]["p95"], p["latency_ms"]["max"],
            mb(p.get("server_rss_start_bytes")), mb(p.get("server_peak_rss_bytes")),
            secs(p.get("server_cpu_seconds")), secs(p.get("generator_cpu_seconds"))))
        if p["errors"]:
            lines.append("| | Errors (first ones): %s | | | | | | | | | | |" % "; ".join(p["error_messages"][:3]))
    return "\n".join(lines)


def targets(results):
    found = []
    cases = {c["name"]: c for c in results.get("cases", [])}
    tessary = [(c["name"], k, v) for c in results.get("cases", []) for k, v in c["steps"].items()
               if k.startswith(("tessary_", "uncut_", "cut_")) and k != "tessary_inbox"]
    if tessary:
        def peak(step):
            return step.get("max_peak_rss_bytes", step["peak_rss_bytes"])

        def cli_peak(step):
            return step.get("max_root_peak_rss_bytes", step.get("root_peak_rss_bytes", 0))
        worst = max(tessary, key=lambda t: peak(t[2]))
        cli = max(tessary, key=lambda t: cli_peak(t[2]))
        found.append({"target": "Client peak RSS under %d MB in every case" % (RSS_TARGET // MB),
                      "measured": "largest process %s MB (%s %s); tessary-cli itself at most %s MB (%s %s)" % (
                          mb(peak(worst[2])), worst[0], worst[1], mb(cli_peak(cli[2])), cli[0], cli[1]),
                      "met": peak(worst[2]) < RSS_TARGET})
    # (case, first step, second step, limit, baselines): the sum of Tessary's two steps against the sum
    # of the two baseline steps of the same run.
    default = ("tar|gpg", ("tar_gpg_enc", "gpg_tar_dec"))
    off = ("tar|gpg with compression off", ("tar_gpg_enc_z0", "gpg_tar_dec_z0"))
    for name, first, second, limit, bases in (
            ("big", "tessary_send", "tessary_accept", 2.0, (off,)),
            ("container", "tessary_save", "tessary_open", 2.0, (off,)),
            ("small", "tessary_send", "tessary_accept", 1.5, (default, off)),
            ("text", "tessary_send", "tessary_accept", 1.5, (default,))):
        case = cases.get(name)
        if not case:
            continue
        s = case["steps"]
        ours = combine(s.get(first), s.get(second))
        for label, keys in bases:
            base = baseline(case, keys)
            if not ours or not base:
                continue
            r = ours["wall_s"] / base["wall_s"]
            found.append({"target": "%s within %.1f × %s" % (case["title"], limit, label),
                          "measured": "%.2f × (%.2f s against %.2f s)" % (r, ours["wall_s"], base["wall_s"]),
                          "met": r <= limit})
    text = cases.get("text")
    if text and text["steps"].get("tessary_send", {}).get("container_bytes") and text["steps"].get("tar_gpg_enc"):
        ours, theirs = text["steps"]["tessary_send"]["container_bytes"], text["steps"]["tar_gpg_enc"]["output_bytes"]
        found.append({"target": "Text: container no larger than tar | gpg with default compression",
                      "measured": "%.1f MB against %.1f MB (%s)" % (
                          ours / MB, theirs / MB, level_text(text["steps"]["tessary_send"].get("gpg_compress_level"))),
                      "met": ours <= theirs})
    for mode, label in (("keep_alive", "keep-alive"), ("new_connections", "a new connection per request")):
        p = results.get("poll", {}).get(mode)
        if p:
            found.append({"target": "Relay poll-only load over %s: at least %d requests/s, 0 errors" % (label, POLL_TARGET),
                          "measured": "%.0f requests/s from %d clients, %d errors" % (
                              p["requests_per_second"], p["clients"], p["errors"]),
                          "met": p["requests_per_second"] >= POLL_TARGET and p["errors"] == 0})
    load = results.get("load")
    if load:
        found.append({"target": "Server: zero errors under load",
                      "measured": "%d errors in %d requests from %d clients" % (load["errors"], load["requests"],
                                                                                load["clients"]),
                      "met": load["errors"] == 0})
    big = cases.get("big")
    if big:
        growth = [(k, v.get("max_server_growth_bytes", v["server_peak_rss_bytes"] - v["server_rss_start_bytes"]))
                  for k, v in big["steps"].items() if k.startswith("tessary_") and "server_peak_rss_bytes" in v]
        if growth:
            k, g = max(growth, key=lambda item: item[1])
            found.append({"target": "Server memory flat while a %d MiB container passes through"
                                    % (big["bytes"] // MB),
                          "measured": "grows by at most %.1f MB (%s), limit %d MB" % (g / MB, k, FLAT_LIMIT // MB),
                          "met": g < FLAT_LIMIT})
    return found


def render(results):
    m = results.get("machine", {})
    cfg = results.get("config", {})
    parts = [
        "Machine: %s CPUs (%s), %s GiB memory, Linux %s, /tmp on %s; %s; %s. Run %s (commit %s%s)%s." % (
            m.get("cpus"), m.get("cpu_model"), m.get("memory_gib"), m.get("kernel"), m.get("tmp_filesystem"),
            m.get("gpg"), m.get("tar"), results.get("started"), results.get("git", {}).get("commit", "?"),
            ", uncommitted changes" if results.get("git", {}).get("dirty") else "",
            ", QUICK sizes" if cfg.get("quick") else ""),
        "",
        "Wall and CPU times are for the whole process tree (tessary-cli with the gpg it runs; tar, gpg and "
        "the shell for the baselines); warm page cache, everything on one disk, client and server on one "
        "machine over loopback TLS. \"×\" columns are wall-time ratios to the baseline for the same work "
        "(send/save against tar | gpg -e/-c, accept/open against gpg -d | tar -x; the sum against the sum). "
        "Every step ran %s times, Tessary's and the baselines' interleaved; the table shows each step's "
        "fastest run (noise from other work on the machine only adds time) and lists all of them. "
        "Peak RSS: the largest single process of the tree (GNU time), and tessary-cli's own VmHWM. "
        "The gpg-agents run before the first step." % cfg.get("repeat", 1),
        "",
    ]
    for case in results.get("cases", []):
        parts += [cut_table(case) if case["name"] == "cut" else case_table(case), ""]
    if any("whatif_z0_send" in c["steps"] for c in results.get("cases", [])):
        parts += ["\\* what-if rows are not Tessary's behaviour: the same send with `compress-algo none` in the "
                  "sender's gpg.conf, to measure what gpg's default compression costs.", ""]
    parts += ["**Where the time goes** (phases from watching the process tree every 50 ms)", "",
              phases_table(results), ""]
    if results.get("load"):
        load = results["load"]
        parts += ["**Server under load**: %d clients, each polling \"/check-new-files\", downloading what waits for "
                  "it and uploading %.0f MB containers to the next client, a new TLS connection per request"
                  % (load["clients"], load["container_bytes"] / 1e6), "", load_table(load), ""]
    if results.get("poll"):
        parts += ["**Relay, poll-only load**: clients asking only \"/check-new-files\" as fast as the answers come "
                  "(the load generator runs on the same two cores as the server)", "", poll_table(results["poll"]), ""]
    found = targets(results)
    if found:
        parts += ["**Targets**", "", "| Target | Measured | Met |", "|---|---|---|"]
        for t in found:
            parts.append("| %s | %s | %s |" % (t["target"].replace("|", "\\|"), t["measured"].replace("|", "\\|"),
                                               "yes" if t["met"] else "**no**"))
        parts.append("")
    return "\n".join(parts)


def update_readme(path, table):
    with open(path) as f:
        text = f.read()
    start, end = text.find(README_START), text.find(README_END)
    if start < 0 or end < start:
        return False
    text = text[:start + len(README_START)] + "\n" + table + "\n" + text[end:]
    with open(path, "w") as f:
        f.write(text)
    return True


def main(argv):
    readme = "--readme" in argv
    args = [a for a in argv if a != "--readme"]
    here = os.path.dirname(os.path.abspath(__file__))
    path = args[0] if args else os.path.join(here, "results", "latest.json")
    with open(path) as f:
        results = json.load(f)
    table = render(results)
    print(table)
    if readme:
        update_readme(os.path.join(here, "README.md"), table)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
