"""A container that boots this machine's own systemd as PID 1, for the tests that need a real
service manager.

Its root is an overlay: a plain bind mount of / (without the file systems mounted below it) as
the lower layer, upper and work layers on a tmpfs of the container's own. All of these mounts are
made in a mount namespace of their own, held by systemd-nspawn and the container, so they go away
with them however the test ends; nothing is mounted in the test's namespace.
"""

import ctypes
import os
import signal
import subprocess
import time
from pathlib import Path

from zarvo import wait_for

BOOT_TIMEOUT = 30.0
STOP_TIMEOUT = 30.0
# PATH and locale inside the container; nothing else of the test's environment goes in.
ENVIRONMENT = {"PATH": "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin",
               "LC_ALL": "C.UTF-8", "DEBIAN_FRONTEND": "noninteractive"}

# $1 is an empty directory for the container's tmpfs, $2 the machine name, the rest go to the
# container's systemd. /run gets a tmpfs too, so that systemd-nspawn's locks stay in here.
BOOT_SCRIPT = r"""
set -e
base=$1 name=$2
shift 2
mount -t tmpfs -o mode=0755 tmpfs /run
mount -t tmpfs -o mode=0755 tmpfs "$base"
mkdir "$base/lower" "$base/upper" "$base/work" "$base/root"
mount --bind / "$base/lower"
mount -t overlay overlay \
  -o "lowerdir=$base/lower,upperdir=$base/upper,workdir=$base/work" "$base/root"
exec systemd-nspawn -D "$base/root" -M "$name" --boot --register=no --keep-unit \
  --link-journal=no --private-network --console=passive "$@"
"""


PR_SET_PDEATHSIG = 1


def poweroff_when_the_test_dies():
    """Runs in the child before exec: should the test process be killed outright, the kernel
    sends systemd-nspawn the SIGTERM of a clean poweroff."""
    ctypes.CDLL(None, use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGTERM)


class CannotBoot(Exception):
    """This machine cannot boot a container at all; the message says why."""


def missing_prerequisite():
    """Why no container can boot here, or None."""
    if os.geteuid() != 0:
        return "the container needs root"
    for tool in ("/usr/bin/systemd-nspawn", "/usr/bin/nsenter", "/usr/bin/unshare",
                 "/lib/systemd/systemd"):
        if not os.access(tool, os.X_OK):
            return f"{tool} is missing (scripts/install-deps installs systemd-container)"
    if "overlay" not in Path("/proc/filesystems").read_text():
        return "the kernel has no overlay file system"
    return None


def enabled_units():
    """The services and timers this machine's image enables: the container masks them, so that
    nothing but the test's own units runs there. Each name once, since the generator fails on a
    name masked twice."""
    names = {path.name for path in Path("/etc/systemd/system").glob("*.wants/*")}
    return sorted(name for name in names if name.endswith((".service", ".timer")))


class Container:
    def __init__(self, workdir, name):
        self.workdir = Path(workdir)
        self.name = name
        self.process = None
        self.pid1 = None

    def boot(self):
        base = self.workdir / "mounts"
        base.mkdir(parents=True)
        self.console = self.workdir / "console.log"
        masks = [f"systemd.mask={name}" for name in enabled_units()]
        with self.console.open("wb") as console:
            self.process = subprocess.Popen(
                ["unshare", "--mount", "--propagation", "private", "sh", "-c", BOOT_SCRIPT, "sh",
                 str(base), self.name, *masks],
                stdin=subprocess.DEVNULL, stdout=console, stderr=subprocess.STDOUT,
                preexec_fn=poweroff_when_the_test_dies)
        # unshare and sh exec, so the process is systemd-nspawn; the container's systemd is its
        # child.
        self.pid1 = wait_for(self._find_pid1, BOOT_TIMEOUT, 0.05, "the container's systemd")
        state = wait_for(self._booted, BOOT_TIMEOUT, 0.1, "the container's boot")
        if state != "running":
            failed = self.run("systemctl", "--failed", "--no-legend", check=False).stdout
            raise AssertionError(f"the container booted {state}: {failed}")

    def _find_pid1(self):
        if self.process.poll() is not None:
            raise CannotBoot(f"systemd-nspawn ended with status {self.process.returncode}: "
                             f"{self.console.read_text(errors='replace')[-2000:]}")
        for children in Path(f"/proc/{self.process.pid}/task").glob("*/children"):
            for pid in children.read_text().split():
                try:
                    if Path(f"/proc/{pid}/comm").read_text().strip() == "systemd":
                        return int(pid)
                except FileNotFoundError:
                    continue  # a short-lived helper of systemd-nspawn
        return None

    def _booted(self):
        state = self.run("systemctl", "is-system-running", check=False).stdout.strip()
        return state if state in ("running", "degraded") else None

    def run(self, *arguments, check=True, timeout=60):
        """Runs a command in all of the container's namespaces, with its own environment."""
        result = subprocess.run(["nsenter", "-t", str(self.pid1), "-a", "--", *arguments],
                                env=ENVIRONMENT, capture_output=True, text=True, timeout=timeout,
                                stdin=subprocess.DEVNULL)
        if check and result.returncode != 0:
            raise AssertionError(f"{' '.join(arguments)} failed with {result.returncode}:\n"
                                 f"{result.stdout}{result.stderr}")
        return result

    def path(self, path):
        """The container's file `path`, seen from the test."""
        return Path(f"/proc/{self.pid1}/root") / str(path).lstrip("/")

    def show(self, unit, *properties):
        """The unit's properties as {name: value}."""
        text = self.run("systemctl", "show", unit, *(f"--property={name}" for name in properties)
                        ).stdout
        return dict(line.split("=", 1) for line in text.splitlines() if "=" in line)

    def stop(self):
        """A clean poweroff (systemd-nspawn passes SIGTERM on as one), killed when it hangs."""
        if self.process is None or self.process.poll() is not None:
            return
        self.process.send_signal(signal.SIGTERM)
        try:
            self.process.wait(timeout=STOP_TIMEOUT)
        except subprocess.TimeoutExpired:
            if self.pid1:
                # PID 1's death ends every process of the container.
                os.kill(self.pid1, signal.SIGKILL)
            self.process.kill()
            self.process.wait(timeout=STOP_TIMEOUT)


def timed(action):
    """Runs action() and returns (its result, the seconds it took)."""
    start = time.monotonic()
    result = action()
    return result, time.monotonic() - start
