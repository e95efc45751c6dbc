"""kolvane-scpi's HTTP server against the simulator, with the clients a lab
has: curl, Python's XML parser, promtool and a real Prometheus on loopback.
Run by ctest with KOLVANE_SCPI and KOLVANE_SIM set."""
import json
import os
import re
import shutil
import socket
import subprocess
import tempfile
import time
import unittest
import urllib.parse
import xml.etree.ElementTree as ET

from harness import (WINE_RUN, Server, Sim, env_with_ports, scpi_reply, server_command,
                     temp_dir)

LXI = "{http://www.lxistandard.org/InstrumentIdentification/1.0}"
# The published schema's order (InstrumentIdentification/1.0.xsd): Device's
# sequence, then LXIDevice's extension.
SCHEMA_ORDER = ["Manufacturer", "Model", "SerialNumber", "FirmwareRevision",
                "ManufacturerDescription", "HomepageURL", "DriverURL", "ConnectedDevices",
                "UserDescription", "IdentificationURL", "Interface", "IVISoftwareModuleName",
                "Extension", "LXIClass", "Domain", "LXIVersion", "LXIExtendedFunctions"]
NETWORK_ORDER = ["InstrumentAddressString", "Hostname", "IPAddress", "SubnetMask", "MACAddress",
                 "Gateway", "DHCPEnabled", "AutoIPEnabled"]
HEADER_LIMIT = 16384


def curl(*args):
    """curl's exit status, headers and body (curl -i)."""
    r = subprocess.run(["curl", "-sS", "-i", "--max-time", "10"] + list(args),
                       capture_output=True)
    head, _, body = r.stdout.partition(b"\r\n\r\n")
    return r.returncode, head.decode("latin-1"), body


def status(head):
    return int(head.split(" ", 2)[1]) if head else 0


def header(head, name):
    m = re.search(r"^" + name + r":\s*(.*?)\r?$", head, re.I | re.M)
    return m.group(1) if m else None


def metrics(port):
    _, _, body = curl(f"http://127.0.0.1:{port}/metrics")
    return body.decode()


def sample(text, name, labels=""):
    m = re.search("^" + re.escape(name + labels) + r" (\S+)$", text, re.M)
    return float(m.group(1)) if m else None


def exchange(port, request, timeout=10):
    """The raw bytes of a request, and what came back until the server closed."""
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as s:
        s.sendall(request)
        got = b""
        while True:
            chunk = s.recv(65536)
            if not chunk:
                return got
            got += chunk


class HttpTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = temp_dir()
        cls.dir = cls.tmp.name
        cls.sim = Sim(cls.dir)
        cls.addClassCleanup(cls.sim.stop)
        cls.server = Server(server_command("--name", "Bench <7> & co", "--http-host", "bench7.lab:8080"),
                            env=env_with_ports(cls.dir))
        cls.addClassCleanup(cls.server.stop)
        assert cls.server.port and cls.server.http_port, cls.server.text()
        cls.base = f"http://127.0.0.1:{cls.server.http_port}"

    @classmethod
    def tearDownClass(cls):
        status_ = cls.server.stop()
        cls.sim.stop()
        cls.tmp.cleanup()
        assert status_ == 0, cls.server.text()

    def scpi(self, line):
        """The reply to a query; *OPC?'s 1 after a command."""
        return scpi_reply(self.server.port, line)

    def idn(self):
        return self.scpi("*IDN?").split(",")

    def test_welcome_page(self):
        code, head, body = curl(self.base + "/")
        self.assertEqual((code, status(head)), (0, 200), head)
        self.assertIn("text/html", header(head, "Content-Type"))
        page = body.decode()
        self.assertIn('<html lang="en">', page)
        for field in self.idn():
            self.assertIn(field, page)
        self.assertIn("Bench &lt;7&gt; &amp; co", page)  # --name, escaped
        self.assertIn("COM3", page)
        self.assertRegex(page, r'<span class="up">up</span>')
        self.assertIn(f"TCPIP::127.0.0.1::{self.server.port}::SOCKET", page)
        self.assertNotIn("::INSTR", page)  # no VXI-11 here
        self.assertIn(f"<td>HTTP</td><td>127.0.0.1</td><td>{self.server.http_port}</td>", page)
        self.assertIn(f"<td>SCPI raw socket</td><td>127.0.0.1</td><td>{self.server.port}</td>",
                      page)
        self.assertIn('href="/lxi/identification"', page)
        self.assertIn('href="/metrics"', page)
        # Nothing from the network: no scripts, styles or fonts from elsewhere.
        self.assertNotRegex(page, r'(src|href)="(https?:)?//')
        # The host the request named, in the strings it shows.
        _, _, body = curl("-H", "Host: bench7.lab:8080", self.base + "/")
        self.assertIn(f"TCPIP::bench7.lab::{self.server.port}::SOCKET", body.decode())

    def test_identification_document(self):
        code, head, body = curl(self.base + "/lxi/identification")
        self.assertEqual((code, status(head)), (0, 200), head)
        self.assertEqual(header(head, "Content-Type"), "text/xml")
        root = ET.fromstring(body)
        self.assertEqual(root.tag, LXI + "LXIDevice")
        names = [child.tag.replace(LXI, "") for child in root]
        ranks = [SCHEMA_ORDER.index(n) for n in names]
        self.assertEqual(ranks, sorted(ranks), names)
        manufacturer, model, serial, version = self.idn()
        text = {n: root.find(LXI + n).text for n in names if n != "Interface"}
        self.assertEqual(text["Manufacturer"], manufacturer)
        self.assertEqual(text["Model"], model)
        self.assertEqual(text["SerialNumber"], serial)
        self.assertEqual(text["FirmwareRevision"], version)
        self.assertEqual(text["UserDescription"], "Bench <7> & co")
        self.assertEqual(text["IdentificationURL"], self.base + "/lxi/identification")
        self.assertEqual(text["Domain"], "0")
        self.assertEqual(text["LXIVersion"], "1.6")
        interfaces = root.findall(LXI + "Interface")
        self.assertEqual(len(interfaces), 1)  # 127.0.0.1 alone is served
        i = interfaces[0]
        self.assertEqual(i.get("InterfaceType"), "LXI")
        self.assertEqual([c.tag.replace(LXI, "") for c in i][-7:], NETWORK_ORDER[1:])
        self.assertEqual(i.find(LXI + "IPAddress").text, "127.0.0.1")
        self.assertEqual(i.find(LXI + "Hostname").text, socket.gethostname())
        self.assertEqual([a.text for a in i.findall(LXI + "InstrumentAddressString")],
                         [f"TCPIP::127.0.0.1::{self.server.port}::SOCKET"])
        # The Host of the request in its URLs and strings.
        _, _, body = curl("-H", "Host: bench7.lab:8080", self.base + "/lxi/identification")
        root = ET.fromstring(body)
        self.assertEqual(root.find(LXI + "IdentificationURL").text,
                         "http://bench7.lab:8080/lxi/identification")

    def test_status_codes(self):
        code, head, _ = curl(self.base + "/nothing-here")
        self.assertEqual(status(head), 404)
        for method in ("POST", "PUT", "DELETE"):
            for path in ("/", "/metrics", "/lxi/identification"):
                _, head, _ = curl("-X", method, self.base + path)
                self.assertEqual(status(head), 405, (method, path))
                self.assertEqual(header(head, "Allow"), "GET, HEAD")
        _, head, _ = curl(self.base + "/lxi/identification/")
        self.assertEqual(status(head), 301)
        self.assertEqual(header(head, "Location"), "/lxi/identification")
        _, head, body = curl("-L", self.base + "/lxi/identification/")
        self.assertIn(b"LXIDevice", body)
        _, head, body = curl("-I", self.base + "/")
        self.assertEqual(status(head), 200)
        self.assertGreater(int(header(head, "Content-Length")), 100)
        self.assertEqual(body, b"")

    def test_host_and_origin_guards(self):
        port = self.server.http_port
        hostname = socket.gethostname()
        for host, expected in ((f"127.0.0.1:{port}", 200), (f"localhost:{port}", 200),
                               (f"{hostname}:{port}", 200), (f"{hostname}.local:{port}", 200),
                               ("bench7.lab:8080", 200), (f"bench7.lab:{port}", 421),
                               (f"attacker.example:{port}", 421), ("127.0.0.1:1", 421),
                               (f"{hostname}.attacker.example:{port}", 421)):
            for path in ("/", "/metrics", "/nothing"):
                _, head, _ = curl("-H", f"Host: {host}", self.base + path)
                want = 404 if expected == 200 and path == "/nothing" else expected
                self.assertEqual(status(head), want, (host, path))
        # A change from another site's page; none from curl or the server's own pages.
        for origin, expected in (("http://attacker.example", 403), ("null", 403),
                                 (f"https://127.0.0.1:{port}", 403),
                                 (f"http://127.0.0.1:{port}", 405), (None, 405),
                                 (f"http://localhost:{port}", 405)):
            args = ["-X", "POST", "--data", "x"] + (["-H", f"Origin: {origin}"] if origin else [])
            _, head, _ = curl(*args, self.base + "/")
            self.assertEqual(status(head), expected, origin)

    def test_body_limit_413_before_the_method(self):
        with tempfile.TemporaryDirectory() as d:
            for method, size, extra, expected in (
                    ("POST", 64 * 1024, [], 405), ("POST", 64 * 1024 + 1, [], 413),
                    ("GET", 64 * 1024 + 1, [], 413), ("DELETE", 64 * 1024 + 1, [], 413),
                    ("POST", 64 * 1024 + 1, ["-H", "Transfer-Encoding: chunked"], 413)):
                body = os.path.join(d, str(size))
                with open(body, "wb") as f:
                    f.write(b"x" * size)
                _, head, _ = curl("-X", method, "--data-binary", "@" + body, *extra,
                                  self.base + "/")
                self.assertEqual(status(head), expected, (method, size, extra))

    def header_of(self, size):
        """A GET whose request line and header fields, blank line included, are size bytes."""
        start = (b"GET / HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nConnection: close\r\nX-Pad: "
                 % self.server.http_port)
        end = b"\r\n\r\n"
        return start + b"a" * (size - len(start) - len(end)) + end

    def test_header_limit_431(self):
        for size, expected in ((HEADER_LIMIT - 1, 200), (HEADER_LIMIT, 200),
                               (HEADER_LIMIT + 1, 431), (4 * HEADER_LIMIT, 431)):
            request = self.header_of(size)
            self.assertEqual(len(request), size)
            reply = exchange(self.server.http_port, request)
            self.assertTrue(reply.startswith(b"HTTP/1.1 %d " % expected), (size, reply[:80]))

    def test_metrics_with_promtool(self):
        self.scpi("NOT:A:COMMAND")
        self.scpi("*IDN?")
        deadline = time.time() + 10
        while time.time() < deadline:
            text = metrics(self.server.http_port)
            if sample(text, "kolvane_reading", '{function="FREQ",channel="1",unit="Hz"}'):
                break
            time.sleep(0.2)
        check = subprocess.run(["promtool", "check", "metrics"], input=text.encode(),
                               capture_output=True)
        self.assertEqual((check.returncode, check.stdout, check.stderr), (0, b"", b""), text)
        for name in ("kolvane_reading", "kolvane_readings_total", "kolvane_errors_total",
                     "kolvane_link_up", "kolvane_clients", "kolvane_commands_total"):
            self.assertIn(f"# HELP {name} ", text)
            self.assertIn(f"# TYPE {name} ", text)
        reading = sample(text, "kolvane_reading", '{function="FREQ",channel="1",unit="Hz"}')
        self.assertGreater(reading, 0, text)
        self.assertEqual(sample(text, "kolvane_link_up"), 1)
        self.assertGreaterEqual(sample(text, "kolvane_errors_total", '{code="-113"}'), 1)
        self.assertGreaterEqual(sample(text, "kolvane_commands_total", '{protocol="raw"}'), 2)
        self.assertEqual(sample(text, "kolvane_commands_total", '{protocol="vxi11"}'), 0)
        self.assertGreaterEqual(sample(text, "kolvane_clients", '{protocol="http"}'), 1)
        # Live with no client asking: the server polls as the panel does.
        before = sample(text, "kolvane_readings_total")
        time.sleep(1)
        after = sample(metrics(self.server.http_port), "kolvane_readings_total")
        self.assertGreater(after, before)
        # A raw client counts while it is connected.
        with socket.create_connection(("127.0.0.1", self.server.port), timeout=10):
            deadline = time.time() + 5
            while time.time() < deadline:
                n = sample(metrics(self.server.http_port), "kolvane_clients", '{protocol="raw"}')
                if n == 1:
                    break
                time.sleep(0.05)
            self.assertEqual(n, 1)

    def result_times(self):
        """When the simulator wrote each result (CLOCK_MONOTONIC ms, as its log has it)."""
        with open(self.sim.log) as f:
            return [float(l.split()[1]) for l in f if l.startswith("TX ") and l.split()[2] == "47"]

    def test_read_gives_only_later_results(self):
        # The live poll goes on meanwhile; READ? still waits for a result
        # that the instrument writes after it.
        self.scpi("SAMP:COUN 1")
        for _ in range(5):
            time.sleep(0.3)
            sent = time.monotonic() * 1e3
            value = float(self.scpi("READ?"))
            replied = time.monotonic() * 1e3
            self.assertLess(value, 9e37)
            # The simulator stamps a result once its write() returned, at times
            # just after the reply came.
            between = [t for t in self.result_times() if sent <= t <= replied + 5]
            self.assertTrue(between, (sent, replied))

    @unittest.skipIf(shutil.which("prometheus") is None, "Debian's prometheus is not installed")
    def test_prometheus_scrapes_it(self):
        with tempfile.TemporaryDirectory(prefix="kolvane-prom-") as d:
            with socket.socket() as s:
                s.bind(("127.0.0.1", 0))
                web_port = s.getsockname()[1]
            config = os.path.join(d, "prometheus.yml")
            with open(config, "w") as f:
                f.write("global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\n"
                        "scrape_configs:\n  - job_name: kolvane\n    static_configs:\n"
                        f"      - targets: ['127.0.0.1:{self.server.http_port}']\n")
            prom = subprocess.Popen(
                ["prometheus", "--config.file", config, "--storage.tsdb.path",
                 os.path.join(d, "data"), "--web.listen-address", f"127.0.0.1:{web_port}",
                 "--log.level", "warn"],
                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
            try:
                def query(q):
                    url = (f"http://127.0.0.1:{web_port}/api/v1/query?query=" +
                           urllib.parse.quote(q))
                    r = subprocess.run(["curl", "-sS", "--max-time", "5", url],
                                       capture_output=True)
                    if r.returncode != 0:
                        return []
                    return json.loads(r.stdout)["data"]["result"]

                scrapes, deadline = 0, time.time() + 30
                while time.time() < deadline and scrapes < 2:
                    result = query("count_over_time(kolvane_link_up[1m])")
                    scrapes = int(result[0]["value"][1]) if result else 0
                    time.sleep(0.5)
                self.assertGreaterEqual(scrapes, 2)
                result = query('kolvane_reading{function="FREQ",channel="1",unit="Hz"}')
                self.assertEqual(len(result), 1, result)
                self.assertGreater(float(result[0]["value"][1]), 0)
                self.assertEqual(result[0]["metric"]["job"], "kolvane")
            finally:
                prom.terminate()
                prom.wait(30)
                prom.stderr.close()

    @unittest.skipIf(WINE_RUN, "the lost line is tested on Linux")
    def test_link_up_drops_when_the_bridge_goes(self):
        self.sim.stop()
        try:
            deadline, up = time.time() + 5, None
            while time.time() < deadline:
                up = sample(metrics(self.server.http_port), "kolvane_link_up")
                if up == 0:
                    break
                time.sleep(0.05)
            self.assertEqual(up, 0)
            _, _, body = curl(self.base + "/")
            self.assertIn('<span class="down">down</span>', body.decode())
        finally:
            self.sim.start("--running")
        # Back by itself, through the poll's reopening, with no command sent.
        deadline = time.time() + 10
        while time.time() < deadline and up != 1:
            up = sample(metrics(self.server.http_port), "kolvane_link_up")
            time.sleep(0.1)
        self.assertEqual(up, 1)


class HttpOptionsTest(unittest.TestCase):
    def test_bad_values_and_addresses_exit_2(self):
        with temp_dir() as d:
            server = Server(server_command(http="300.1.2.3"), env=env_with_ports(d),
                            wait_for=None)
            self.assertEqual(server.proc.wait(30), 2)
            self.assertTrue(server.wait_for(r"300\.1\.2\.3"), server.text())
            held = socket.socket()
            held.bind(("127.0.0.1", 0))
            held.listen()
            address = "127.0.0.1:%d" % held.getsockname()[1]
            server = Server(server_command(http=address), env=env_with_ports(d), wait_for=None)
            self.assertEqual(server.proc.wait(30), 2)
            self.assertTrue(server.wait_for(re.escape(address + ": address in use")), server.text())
            held.close()
            # The default, 8080, as well, when this machine lets the test hold it.
            held = socket.socket()
            try:
                held.bind(("127.0.0.1", 8080))
            except OSError:
                held.close()
                return
            held.listen()
            server = Server(server_command(http=None)[:-1], env=env_with_ports(d), wait_for=None)
            self.assertEqual(server.proc.wait(30), 2)
            self.assertTrue(server.wait_for(r"127\.0\.0\.1:8080: address in use"), server.text())
            held.close()

    def test_no_http_and_allow(self):
        with temp_dir() as d:
            sim = Sim(d)
            try:
                server = Server(server_command(http=None), env=env_with_ports(d))
                self.assertEqual(server.http_port, None)
                self.assertNotIn("serving HTTP", server.text())
                self.assertEqual(server.stop(), 0)
                server = Server(server_command("--allow", "10.9.8.0/24"), env=env_with_ports(d))
                try:
                    reply = exchange(server.http_port, b"GET / HTTP/1.1\r\n\r\n")
                except ConnectionResetError:
                    reply = b""
                self.assertEqual(reply, b"")
                self.assertTrue(server.wait_for(r"refused HTTP client 127\.0\.0\.1:\d+: not in any"
                                                r" --allow network"), server.text())
                self.assertEqual(server.stop(), 0)
                server = Server(server_command("--max-clients", "1"), env=env_with_ports(d))
                with socket.create_connection(("127.0.0.1", server.http_port), timeout=10) as held:
                    held.sendall(b"GET / HTTP/1.1\r\n\r\n")
                    self.assertTrue(held.recv(12).startswith(b"HTTP/1.1 200"))
                    try:
                        reply = exchange(server.http_port, b"GET / HTTP/1.1\r\n\r\n")
                    except ConnectionResetError:
                        reply = b""
                    self.assertEqual(reply, b"")
                    self.assertTrue(server.wait_for(r"refused HTTP client .*--max-clients"),
                                    server.text())
                self.assertEqual(server.stop(), 0)
            finally:
                sim.stop()


if __name__ == "__main__":
    unittest.main()
