#!/usr/bin/env python3
"""Measures what one check costs the service over http and over https, side by side: CPU per
check with the echo page only and with an update, startup with the first two checks apart, and
the resident memory. The https provider is the fake provider over TLS with a test CA added to a
copy of the system's store (its folder, which libcurl reads by default, and its bundle), so that
the store has its real size; the service gets the copy through ZARVO_CA_FILE. The provider
closes a connection idle for a third of the check period, as one does between checks minutes
apart.

CPU comes from the kernel's scheduler accounting of every thread (/proc/PID/task/*/schedstat,
nanoseconds), checked against utime+stime of /proc/PID/stat (clock ticks).

Usage: bench_tls.py BUILD_DIR [--checks N] [--tick-ms MS]
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tests" / "e2e"))
from zarvo import FakeProvider, ProgramDir, tls_certificate, wait_for, write_ini  # noqa: E402

TICKS_PER_SECOND = os.sysconf("SC_CLK_TCK")
SYSTEM_STORE = Path("/etc/ssl/certs/ca-certificates.crt")


def run_nanoseconds(pid):
    total = 0
    for task in Path(f"/proc/{pid}/task").iterdir():
        try:
            total += int((task / "schedstat").read_text().split()[0])
        except (FileNotFoundError, ProcessLookupError):
            pass  # a thread that ended just now
    return total


def stat_seconds(pid):
    fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS_PER_SECOND


def rss_kib(pid):
    """The resident set and its anonymous part: what is left are pages of files, the libraries'
    code above all, which every process that maps them shares."""
    fields = {}
    for line in Path(f"/proc/{pid}/status").read_text().splitlines():
        name, _, value = line.partition(":")
        if name in ("VmRSS", "RssAnon"):
            fields[name] = int(value.split()[0])
    return fields.get("VmRSS", 0), fields.get("RssAnon", 0)


def ended(program):
    return sum(1 for line in program.log_lines() if line.startswith("#ENDE"))


def trust_store(workdir):
    """A self-signed certificate for 127.0.0.1 (certificate and key in one file) and copies of
    the system's store with it added: the folder, as libcurl reads it by default, and the
    bundle."""
    server, ca = tls_certificate(workdir)
    cert = ca.read_text()
    bundle = Path(workdir) / "ca-bundle.pem"
    shutil.copyfile(SYSTEM_STORE, bundle)
    with bundle.open("a") as text:
        text.write(cert)
    folder = Path(workdir) / "ca-folder"
    shutil.copytree(SYSTEM_STORE.parent, folder, symlinks=True)
    (folder / "bench-ca.pem").write_text(cert)
    subprocess.run(["openssl", "rehash", str(folder)], check=True, capture_output=True, timeout=60)
    return server, {"folder": folder, "bundle": bundle}


def measure(program, provider, store, checks, tick_ms, update):
    # An address that changes on every echo page makes every check send an update.
    alternating = ["84.1.2.4", "84.1.2.3"] * (checks + 10) if update else []
    provider.control(addresses=alternating, clear_requests=True)
    write_ini(program.ini, {
        "Application": {"Interval": "0", "IsDebug": "True", "Loglevel": "4",
                        "LogfileLen": "100000", "ZARVOUpdater": "on"},
        "ZARVO": {"ZARVOServer": provider.url, "WANIPAdress": f"{provider.url}/meineip.php"},
        "ACCOUNT": {"Username": "demo", "Password": "secret", "Host": "bench.zarvo.example"},
    })
    before = ended(program)
    # With Interval 0 every tick runs a check.
    process = program.start("-debug", env={"ZARVO_TICK_MS": str(tick_ms),
                                           "ZARVO_CA_FILE": str(store)})
    try:
        wait_for(lambda: ended(program) >= before + 2, timeout=60, what="two checks")
        first = run_nanoseconds(process.pid)  # startup and the first two checks
        began, began_stat, done = first, stat_seconds(process.pid), ended(program)
        wait_for(lambda: ended(program) >= done + checks, timeout=checks * tick_ms / 100 + 60,
                 interval=0.01, what=f"{checks} checks")
        count = ended(program) - done
        cpu = (run_nanoseconds(process.pid) - began) / 1e6 / count
        cpu_stat = (stat_seconds(process.pid) - began_stat) * 1000 / count
        rss = rss_kib(process.pid)
        updates = len(provider.updates())
    finally:
        program.stop()
    return cpu, cpu_stat, first / 1e6, rss, updates


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build_dir")
    parser.add_argument("--checks", type=int, default=40)
    parser.add_argument("--tick-ms", type=int, default=300)
    options = parser.parse_args()
    # Loopback only: a proxy from the environment must not come between.
    for name in ("http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy",
                 "ALL_PROXY"):
        os.environ.pop(name, None)

    with tempfile.TemporaryDirectory() as workdir:
        server, stores = trust_store(workdir)
        idle = ["--idle-timeout", str(options.tick_ms / 3000)]
        providers = {"http": FakeProvider(workdir, extra_arguments=idle)}
        try:
            providers["https"] = FakeProvider(workdir, extra_arguments=idle, tls_cert=server)
            count = sum(1 for line in stores["bundle"].open() if "BEGIN CERT" in line)
            print(f"checks measured: {options.checks} each, one every {options.tick_ms} ms; "
                  f"trust store {count} certificates")
            print(f"{'':35}{'ms CPU a check':>16}{'(stat)':>9}{'startup+2 checks':>18}"
                  f"{'RSS KiB':>9}{'(anon)':>8}")
            runs = [("http", "folder", "http"), ("https", "folder", "https"),
                    ("https", "bundle", "https, CA bundle")]
            for scheme, store, label in runs:
                for update in (False, True):
                    name = f"{scheme}-{store}-{update}"
                    program = ProgramDir(Path(workdir) / name, options.build_dir)
                    try:
                        cpu, cpu_stat, first, rss, updates = measure(
                            program, providers[scheme], stores[store], options.checks,
                            options.tick_ms, update)
                    finally:
                        program.kill()
                    what = f"{label}, {'with update' if update else 'echo only'}"
                    print(f"ours {what:<30}{cpu:>16.2f}{cpu_stat:>9.1f}{first:>15.1f} ms"
                          f"{rss[0]:>9}{rss[1]:>8}   ({updates} updates)")
        finally:
            for provider in providers.values():
                provider.stop()


if __name__ == "__main__":
    main()
