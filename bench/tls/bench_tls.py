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

The peers (Debian's inadyn and ddclient), when installed, run the same checks as daemons in
the foreground against their own fake provider each, at the shortest period they accept; their
rows need minutes, so --peer-checks 0 leaves them out.

Usage: bench_tls.py BUILD_DIR [--checks N] [--tick-ms MS] [--peer-checks N] [--peer-period S]
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time
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


def inadyn(folder, provider, ca, period):
    scheme, _, host = provider.url.partition("://")
    tls = "true" if scheme == "https" else "false"
    config = folder / "inadyn.conf"
    config.write_text(f"""period = {period}
ca-trust-file = {ca}
custom bench {{
    ssl = {tls}
    checkip-ssl = {tls}
    checkip-server = {host}
    checkip-path = /meineip.php
    ddns-server = {host}
    ddns-path = "/nic/update?hostname=%h&myip=%i"
    username = demo
    password = secret
    hostname = bench.zarvo.example
}}
""")
    return ["inadyn", "-n", "-l", "info", "-f", str(config), "--no-pidfile",
            "--cache-dir", str(folder)]


def ddclient(folder, provider, ca, period):
    scheme, _, host = provider.url.partition("://")
    config = folder / "ddclient.conf"
    config.write_text(f"""daemon={period}
ssl={'yes' if scheme == 'https' else 'no'}
ssl_ca_file={ca}
usev4=webv4, webv4={provider.url}/meineip.php
protocol=dyndns2
server={host}
login=demo
password=secret
bench.zarvo.example
""")
    config.chmod(0o600)
    return ["ddclient", "-foreground", "-file", str(config), "-cache",
            str(folder / "ddclient.cache"), "-pid", str(folder / "ddclient.pid")]


def measure_peer(command, workdir, name, provider, ca, checks, period, update):
    """Counts checks by the echo pages the provider served: the peers log no line per check."""
    alternating = ["84.1.2.4", "84.1.2.3"] * (checks + 10) if update else []
    provider.control(addresses=alternating, clear_requests=True)
    folder = Path(workdir) / name
    folder.mkdir()
    with (folder / "output").open("w") as output:
        process = subprocess.Popen(command(folder, provider, ca, period), stdout=output,
                                   stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
    echoes = lambda: len(provider.requests("/meineip.php"))  # noqa: E731
    try:
        wait_for(lambda: echoes() >= 1, timeout=period + 60, what=f"{name}'s first check")
        time.sleep(1)  # the first check's update, if any
        began, done = run_nanoseconds(process.pid), echoes()
        wait_for(lambda: echoes() >= done + checks, timeout=(checks + 1) * period + 60,
                 interval=0.2, what=f"{name}'s {checks} checks")
        time.sleep(1)
        cpu = (run_nanoseconds(process.pid) - began) / 1e6 / (echoes() - done)
        return cpu, rss_kib(process.pid), len(provider.updates())
    finally:
        process.terminate()
        try:
            process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait(timeout=10)


def measure_peers(workdir, server, stores, checks, period):
    """All rows at once, each against its own provider, so that the run takes a few periods."""
    rows, results, threads, providers = [], {}, [], []
    for peer in (inadyn, ddclient):
        if shutil.which(peer.__name__) is None:
            print(f"{peer.__name__}: not installed, left out")
            continue
        for scheme in ("http", "https"):
            for update in (False, True):
                rows.append((peer, scheme, update))
    began = time.monotonic()
    try:
        for peer, scheme, update in rows:
            provider = FakeProvider(workdir, tls_cert=server if scheme == "https" else None)
            providers.append(provider)
            name = f"{peer.__name__}-{scheme}-{update}"

            def run(row=(peer, scheme, update), provider=provider, name=name):
                try:
                    results[row] = measure_peer(row[0], workdir, name, provider,
                                                stores["bundle"], checks, period, row[2])
                except Exception as error:  # noqa: BLE001 - one row's failure is its figure
                    results[row] = error
            threads.append(threading.Thread(target=run))
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
    finally:
        for provider in providers:
            provider.stop()
    for row in rows:
        peer, scheme, update = row
        what = f"{peer.__name__} {scheme}, {'with update' if update else 'echo only'}"
        if isinstance(results[row], Exception):
            print(f"{what:<35}failed: {results[row]}")
            continue
        cpu, rss, updates = results[row]
        print(f"{what:<35}{cpu:>16.2f}{'':>9}{'':>18}{rss[0]:>9}{rss[1]:>8}   ({updates} updates)")
    if rows:
        print(f"peers: {checks} checks each, one every {period} s, "
              f"{time.monotonic() - began:.0f} s in all")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build_dir")
    parser.add_argument("--checks", type=int, default=40)
    parser.add_argument("--tick-ms", type=int, default=300)
    parser.add_argument("--peer-checks", type=int, default=4)
    parser.add_argument("--peer-period", type=int, default=60)
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
            if options.peer_checks > 0:
                measure_peers(workdir, server, stores, options.peer_checks, options.peer_period)
        finally:
            for provider in providers.values():
                provider.stop()


if __name__ == "__main__":
    main()
