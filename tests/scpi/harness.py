"""kolvane-sim on a pseudo-terminal and kolvane-scpi in front of it, as
child processes for the tests; every address is on 127.0.0.1."""
import os
import re
import signal
import socket
import subprocess
import tempfile
import threading
import time

SIM = os.environ["KOLVANE_SIM"]
SERVER = os.environ.get("KOLVANE_SCPI", "")
# kolvane-scpi.exe: scripts/wine-run and its prefix, whose COM3 the simulator
# becomes (dosdevices/com3).
WINE_RUN = os.environ.get("KOLVANE_WINE_RUN")
WINE_PREFIX = os.environ.get("KOLVANE_WINE_PREFIX")
# Windows knows no SIGTERM: Wine ends the program at once; SIGINT is Ctrl+C.
STOP_SIGNAL = signal.SIGINT if WINE_RUN else signal.SIGTERM


class Sim:
    """The simulator as DIR/comN; started again under the same name after stop()."""

    def __init__(self, directory, port=3, extra=()):
        self.dir, self.port, self.extra = directory, port, list(extra)
        self.log = os.path.join(directory, "sim.log")
        if WINE_PREFIX:
            subprocess.run([WINE_RUN, WINE_PREFIX], check=True)  # made on first use
            self.dir = os.path.join(WINE_PREFIX, "dosdevices")
        self.proc = None
        self.start()

    def start(self, *more):
        self.proc = subprocess.Popen(
            [SIM, "--dir", self.dir, "--port", str(self.port), "--log", self.log] + self.extra +
            list(more),
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        line = self.proc.stdout.readline()
        if not line.startswith("ready "):
            raise RuntimeError("the simulator did not start: " + line)

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            self.proc.wait(10)
        if self.proc:
            self.proc.stdout.close()
        self.proc = None

    def frames(self):
        """The frames received, in order, as the log writes them ("T4\\x0D")."""
        with open(self.log) as f:
            return [l.split(" ", 2)[2].strip() for l in f if l.startswith("RX ")]


class Server:
    """kolvane-scpi (or any command line given) with its standard error kept."""

    def __init__(self, command, env=None, wait_for="serving SCPI on"):
        self.proc = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                     env=env, text=True)
        self.lines = []
        self.port = None
        self.http_port = None
        threading.Thread(target=self._drain, daemon=True).start()
        if wait_for and self.wait_for(wait_for, 30):
            self.port = int(re.search(r"serving SCPI on 127\.0\.0\.1:(\d+)", self.text()).group(1))
            if "--http" in command:
                self.wait_for("serving HTTP on", 10)
            http = re.search(r"serving HTTP on 127\.0\.0\.1:(\d+)", self.text())
            self.http_port = int(http.group(1)) if http else None

    def _drain(self):
        for line in self.proc.stderr:
            self.lines.append(line)
        self.proc.stderr.close()

    def text(self):
        return "".join(self.lines)

    def wait_for(self, pattern, timeout=10):
        deadline = time.time() + timeout
        while time.time() < deadline:
            if re.search(pattern, self.text()):
                return True
            time.sleep(0.05)
        return False

    def stop(self, signo=STOP_SIGNAL):
        """The exit status after the signal."""
        if self.proc.poll() is None:
            self.proc.send_signal(signo)
        try:
            return self.proc.wait(30)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            raise


def server_command(*args, http="127.0.0.1:0"):
    """On free ports: HTTP's default, 8080, may be taken (http=None: --no-http)."""
    wine = [WINE_RUN, WINE_PREFIX] if WINE_RUN else []
    web = ["--http", http] if http else ["--no-http"]
    # VXI-11 would answer the portmapper on port 111 of the machine's own loopback:
    # it is tested in namespaces of its own (vxi11_test.py).
    return (wine + [SERVER, "--port", "3", "--listen", "127.0.0.1:0", "--no-vxi11"] + web +
            list(args))


def scpi_reply(port, line):
    """The reply to a query; *OPC?'s 1 after a command."""
    with socket.create_connection(("127.0.0.1", port), timeout=10) as s:
        s.sendall(line.encode() + (b"\n" if "?" in line else b"\n*OPC?\n"))
        reply = b""
        while not reply.endswith(b"\n"):
            chunk = s.recv(4096)
            if not chunk:
                break
            reply += chunk
        return reply.decode().strip()


def env_with_ports(directory):
    env = dict(os.environ)
    env["KOLVANE_PORTS"] = directory
    return env


def temp_dir():
    return tempfile.TemporaryDirectory(prefix="kolvane-scpi-")
