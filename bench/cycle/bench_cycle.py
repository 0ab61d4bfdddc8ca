#!/usr/bin/env python3
"""Measures the service's update cycle against the local fake provider and prints the figures:
wall and CPU time per full cycle (echo request, challenged update request, answer handling,
log lines), resident memory after 10 and after N cycles, and the idle CPU and wake-ups between
cycles.

Usage: bench_cycle.py BUILD_DIR [--cycles N] [--idle-seconds S]
"""

import argparse
import os
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tests" / "e2e"))
from zarvo import FakeProvider, ProgramDir, wait_for, write_ini  # noqa: E402

TICKS_PER_SECOND = os.sysconf("SC_CLK_TCK")


def cpu_seconds(pid):
    fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS_PER_SECOND


def status_value(pid, field):
    """A number from /proc/PID/status (memory fields are in KiB)."""
    for line in Path(f"/proc/{pid}/status").read_text().splitlines():
        if line.startswith(field + ":"):
            return int(line.split()[1])
    return 0


def context_switches(pid):
    """How often the main thread went to sleep or was put aside: its wake-ups, near enough."""
    return sum(status_value(pid, field) for field in
               ("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches"))


def ended(program):
    return sum(1 for line in program.log_lines() if line.startswith("#ENDE"))


def settings(program, provider, interval):
    write_ini(program.ini, {
        "Application": {"Interval": str(interval), "IsDebug": "True", "Loglevel": "4",
                        "LogfileLen": "100000", "ZARVOUpdater": "on"},
        "ZARVO": {"ZARVOServer": provider.url, "WANIPAdress": f"{provider.url}/meineip.php"},
        "ACCOUNT": {"Username": "demo", "Password": "secret", "Host": "bench.zarvo.example"},
    })


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build_dir")
    parser.add_argument("--cycles", type=int, default=100)
    parser.add_argument("--idle-seconds", type=float, default=60.0)
    options = parser.parse_args()

    with tempfile.TemporaryDirectory() as workdir:
        provider = FakeProvider(workdir)
        # "nochg" stores nothing, so every cycle sends the full update again.
        provider.control(answer="nochg 84.1.2.3")
        program = ProgramDir(Path(workdir) / "program", options.build_dir)
        try:
            settings(program, provider, interval=0)
            # With Interval 0 every tick runs a cycle; a 1 ms tick leaves only the cycle itself.
            process = program.start("-debug", env={"ZARVO_TICK_MS": "1"})
            wait_for(lambda: ended(program) >= 10, timeout=60, what="10 cycles")
            rss_after_10 = status_value(process.pid, "VmRSS")
            began, cpu_began = time.monotonic(), cpu_seconds(process.pid)
            done_began = ended(program)
            wait_for(lambda: ended(program) >= options.cycles + 10, timeout=600,
                     interval=0.05, what=f"{options.cycles} cycles")
            elapsed, cpu = time.monotonic() - began, cpu_seconds(process.pid) - cpu_began
            count = ended(program) - done_began
            rss_after, peak = status_value(process.pid, "VmRSS"), status_value(process.pid, "VmHWM")
            program.stop()

            print(f"cycles measured:           {count}")
            print(f"wall time per cycle:       {elapsed / count * 1000:.2f} ms "
                  "(tick to end banner, 1 ms tick included)")
            print(f"CPU time per cycle:        {cpu / count * 1000:.2f} ms")
            print(f"RSS after 10 cycles:       {rss_after_10} KiB")
            print(f"RSS after {count + 10} cycles:      {rss_after} KiB (peak {peak} KiB)")

            settings(program, provider, interval=10)
            before = ended(program)
            process = program.start()
            wait_for(lambda: ended(program) > before, timeout=60, what="the first cycle")
            cpu_began, switches_began = cpu_seconds(process.pid), context_switches(process.pid)
            time.sleep(options.idle_seconds)
            idle = cpu_seconds(process.pid) - cpu_began
            wakeups = context_switches(process.pid) - switches_began
            program.stop()
            print(f"idle CPU over {options.idle_seconds:.0f} s:         {idle:.3f} s "
                  f"({idle / options.idle_seconds * 100:.3f} %)")
            print(f"wake-ups per idle minute:  {wakeups * 60 / options.idle_seconds:.1f} "
                  "(1000 ms tick, interval 10 minutes)")
        finally:
            program.kill()
            provider.stop()


if __name__ == "__main__":
    main()
