"""Helpers of the end-to-end tests: a program directory with the service in it, the fake
provider, and bounded waits."""

import json
import os
import shutil
import signal
import subprocess
import sys
import time
import urllib.request
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
LONG = 10.0  # seconds; every wait of these tests is bounded by it unless a test says otherwise


def wait_for(condition, timeout=LONG, interval=0.02, what="condition"):
    """Polls `condition` until it returns something true; fails after `timeout` seconds."""
    deadline = time.monotonic() + timeout
    while True:
        result = condition()
        if result:
            return result
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out after {timeout}s waiting for {what}")
        time.sleep(interval)


def write_ini(path, sections):
    """Writes an INI file from {section: {key: value}} in the given order, private as the
    programs keep it."""
    lines = []
    for section, keys in sections.items():
        lines.append(f"[{section}]")
        lines.extend(f"{key}={value}" for key, value in keys.items())
    Path(path).write_text("\n".join(lines) + "\n", encoding="utf-8")
    Path(path).chmod(0o600)


class ProgramDir:
    """A temporary program directory holding a copy of the service (a copy, since the service
    finds its directory through /proc/self/exe, which resolves links)."""

    def __init__(self, root, build_dir, name="zarvoupdater"):
        self.path = Path(root)
        self.path.mkdir(parents=True, exist_ok=True)
        self.binary = self.path / name
        shutil.copy2(Path(build_dir) / "service" / "zarvoupdater", self.binary)
        self.ini = self.path / f"{name}.ini"
        self.log = self.path / "log" / f"{name}.log"
        self.process = None

    def run(self, *arguments, env=None, timeout=LONG):
        return subprocess.run([str(self.binary), *arguments], capture_output=True, text=True,
                              timeout=timeout, env=self.environment(env), cwd=self.path,
                              stdin=subprocess.DEVNULL)

    def environment(self, extra):
        environment = dict(os.environ)
        environment.pop("NOTIFY_SOCKET", None)
        environment.setdefault("LC_ALL", "C.UTF-8")
        environment.update(extra or {})
        return environment

    def start(self, *arguments, env=None):
        self.stderr_path = self.path / "stderr.txt"
        self.stderr_file = self.stderr_path.open("w")
        self.process = subprocess.Popen([str(self.binary), *arguments], stdout=subprocess.PIPE,
                                        stderr=self.stderr_file, text=True, cwd=self.path,
                                        env=self.environment(env), stdin=subprocess.DEVNULL)
        wait_for(self.ready_or_ended, what="the service's event loop")
        return self.process

    def ready_or_ended(self):
        """True once the service blocks its signals for the event loop (a signal sent earlier
        would find the default action), or once it has ended."""
        if self.process.poll() is not None:
            return True
        try:
            status = Path(f"/proc/{self.process.pid}/status").read_text()
        except FileNotFoundError:
            return True
        blocked = int(next(line for line in status.splitlines()
                           if line.startswith("SigBlk:")).split()[1], 16)
        wanted = [signal.SIGTERM, signal.SIGUSR1, signal.SIGUSR2]
        return all(blocked & (1 << (signo - 1)) for signo in wanted)

    def stderr(self):
        return self.stderr_path.read_text() if self.process else ""

    def events(self):
        return [line for line in self.stderr().splitlines() if line.startswith("event ")]

    def signal(self, signo):
        self.process.send_signal(signo)

    def stop(self, timeout=LONG):
        """Sends a stop request and returns the exit status; kills the process if it hangs."""
        if self.process is None or self.process.poll() is not None:
            return self.process.returncode if self.process else None
        self.process.send_signal(signal.SIGTERM)
        try:
            return self.process.wait(timeout=timeout)
        finally:
            self.kill()

    def kill(self):
        if self.process and self.process.poll() is None:
            self.process.kill()
            self.process.wait(timeout=LONG)
        if self.process and not self.stderr_file.closed:
            self.stderr_file.close()

    def log_lines(self):
        """The log file's complete lines (each ends with CR LF) without their date and time (the
        first two blank-separated fields, as the C locale writes them)."""
        if not self.log.exists():
            return []
        text = self.log.read_bytes().decode("utf-8", "replace")
        # A line being written right now is left for the next look.
        complete = text.split("\r\n")[:-1]
        return [line.split(" ", 2)[2] for line in complete]


class FakeProvider:
    """tools/fake-provider on 127.0.0.1, stopped by its PID."""

    def __init__(self, workdir, user="demo", password="secret", address="84.1.2.3"):
        port_file = Path(workdir) / "provider.port"
        self.process = subprocess.Popen(
            [sys.executable, str(REPO / "tools" / "fake-provider"), "--port-file", str(port_file),
             "--user", user, "--password", password, "--address", address],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        text = wait_for(lambda: port_file.exists() and port_file.read_text().strip(),
                        what="the fake provider's port")
        self.url = f"http://127.0.0.1:{int(text)}"

    def control(self, **settings):
        request = urllib.request.Request(f"{self.url}/control", data=json.dumps(settings).encode(),
                                         method="POST")
        with urllib.request.urlopen(request, timeout=LONG) as response:
            assert response.status == 200

    def requests(self, path_prefix=""):
        with urllib.request.urlopen(f"{self.url}/requests", timeout=LONG) as response:
            entries = json.load(response)
        return [entry for entry in entries if entry["path"].startswith(path_prefix)]

    def records(self):
        with urllib.request.urlopen(f"{self.url}/records", timeout=LONG) as response:
            return json.load(response)

    def updates(self):
        """The update requests that carried credentials (curl's first try is challenged)."""
        return [entry for entry in self.requests("/nic/update") if entry["status"] != 401]

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=LONG)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait(timeout=LONG)
