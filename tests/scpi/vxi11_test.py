"""kolvane-scpi's VXI-11 against the simulator: PyVISA with pyvisa-py
(TCPIP::127.0.0.1::INSTR), lxi-tools, and a small ONC RPC client of this
file for what those clients do not send (locks that wait, device_abort,
bad records, the portmapper's answers).

VXI-11 clients find the server through the portmapper on port 111, so the
test runs in a network namespace of its own, with only its loopback: the
machine's loopback and any rpcbind on it are never touched. Exits 77
(skipped) where namespaces cannot be made (not root)."""
import os
import re
import socket
import struct
import subprocess
import sys
import threading
import time
import unittest

if os.environ.get("KOLVANE_VXI11_NETNS") != "1":
    if subprocess.run(["unshare", "--net", "--mount", "true"], capture_output=True).returncode != 0:
        print("no network namespace here (not root?): skipped")
        sys.exit(77)
    env = dict(os.environ, KOLVANE_VXI11_NETNS="1")
    sys.exit(subprocess.run(["unshare", "--net", "--mount", sys.executable] + sys.argv,
                            env=env).returncode)

subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
# A private /run: an rpcbind of the machine's, reached through its socket
# there, would otherwise take the registration.
subprocess.run(["mount", "--make-rprivate", "/"], check=True)
subprocess.run(["mount", "-t", "tmpfs", "tmpfs", "/run"], check=True)

import pyvisa  # noqa: E402
from pyvisa import constants  # noqa: E402
from pyvisa.errors import VisaIOError  # noqa: E402

from harness import SERVER, Server, Sim, env_with_ports, temp_dir  # noqa: E402

CORE, ABORT, PORTMAP = 0x0607AF, 0x0607B0, 100000
CREATE_LINK, WRITE, READ, READSTB, TRIGGER, CLEAR = 10, 11, 12, 13, 14, 15
LOCK, UNLOCK, DESTROY_LINK = 18, 19, 23
WAITLOCK, END, TERMCHRSET = 1, 8, 128


def opaque(data):
    return struct.pack(">I", len(data)) + data + b"\0" * (-len(data) % 4)


class Rpc:
    """One TCP connection speaking ONC RPC with record marking."""

    def __init__(self, port, timeout=10):
        self.s = socket.create_connection(("127.0.0.1", port), timeout=timeout)
        self.xid = 0

    def close(self):
        self.s.close()

    def send_record(self, data):
        self.s.sendall(struct.pack(">I", 0x80000000 | len(data)) + data)

    def _exact(self, n):
        out = b""
        while len(out) < n:
            chunk = self.s.recv(n - len(out))
            if not chunk:
                return None
            out += chunk
        return out

    def recv_record(self):
        """The record, or None when the server closed the connection."""
        record = b""
        while True:
            header = self._exact(4)
            if header is None:
                return None
            (h,) = struct.unpack(">I", header)
            record += self._exact(h & 0x7FFFFFFF)
            if h & 0x80000000:
                return record

    def call(self, prog, vers, proc, args=b""):
        """(accept_stat, results) of one call; None when the connection closed."""
        self.xid += 1
        self.send_record(struct.pack(">10I", self.xid, 0, 2, prog, vers, proc, 0, 0, 0, 0) + args)
        reply = self.recv_record()
        if reply is None:
            return None
        xid, mtype, replied, _flavor, length = struct.unpack(">5I", reply[:20])
        assert (xid, mtype, replied, length) == (self.xid, 1, 0, 0), reply
        (stat,) = struct.unpack(">I", reply[20:24])
        return stat, reply[24:]

    def closed(self):
        """True when the server has closed the connection (nothing more comes)."""
        try:
            return self.s.recv(1) == b""
        except (ConnectionResetError, socket.timeout):
            return False


class Link:
    """A VXI-11 link over an Rpc connection."""

    def __init__(self, port, lock=False, lock_timeout=0, device=b"inst0"):
        self.rpc = Rpc(port)
        stat, res = self.rpc.call(CORE, 1, CREATE_LINK,
                                  struct.pack(">iII", 7, lock, lock_timeout) + opaque(device))
        assert stat == 0
        self.error, self.lid, self.abort_port, self.max_recv = struct.unpack(">iiII", res)

    def write(self, data, flags=END, io_timeout=5000, lock_timeout=0):
        _, res = self.rpc.call(CORE, 1, WRITE,
                               struct.pack(">iIII", self.lid, io_timeout, lock_timeout, flags) +
                               opaque(data))
        return struct.unpack(">iI", res)

    def read(self, size=65536, io_timeout=5000, lock_timeout=0, flags=0, term=10):
        _, res = self.rpc.call(CORE, 1, READ, struct.pack(">iIIIII", self.lid, size, io_timeout,
                                                          lock_timeout, flags, term))
        error, reason, n = struct.unpack(">iiI", res[:12])
        return error, reason, res[12:12 + n]

    def generic(self, proc, flags=0, lock_timeout=0, io_timeout=5000):
        _, res = self.rpc.call(CORE, 1, proc,
                               struct.pack(">iIII", self.lid, flags, lock_timeout, io_timeout))
        return struct.unpack(">i", res[:4])[0] if proc != READSTB else struct.unpack(">iI", res)

    def lock(self, flags=0, lock_timeout=0):
        _, res = self.rpc.call(CORE, 1, LOCK, struct.pack(">iII", self.lid, flags, lock_timeout))
        return struct.unpack(">i", res)[0]

    def unlock(self):
        return struct.unpack(">i", self.rpc.call(CORE, 1, UNLOCK, struct.pack(">i", self.lid))[1])[0]

    def destroy(self):
        res = self.rpc.call(CORE, 1, DESTROY_LINK, struct.pack(">i", self.lid))
        self.rpc.close()
        return struct.unpack(">i", res[1])[0]


def getport_udp(prog, vers=1, proto=6, pm_vers=2, proc=3):
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.settimeout(5)
    args = struct.pack(">4I", prog, vers, proto, 0) if proc == 3 else b""
    s.sendto(struct.pack(">10I", 99, 0, 2, PORTMAP, pm_vers, proc, 0, 0, 0, 0) + args,
             ("127.0.0.1", 111))
    reply, _ = s.recvfrom(1024)
    s.close()
    return struct.unpack(">%dI" % (len(reply) // 4), reply)[5:]


class Vxi11Test(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = temp_dir()
        cls.dir = cls.tmp.name
        cls.sim = Sim(cls.dir)
        cls.addClassCleanup(cls.sim.stop)
        cls.log = os.path.join(cls.dir, "commands.log")
        cls.server = Server([SERVER, "--port", "3", "--listen", "127.0.0.1:0", "--http",
                             "127.0.0.1:0", "--log", cls.log],
                            env=env_with_ports(cls.dir))
        cls.addClassCleanup(cls.server.stop)
        assert cls.server.wait_for(r"VXI-11 found through", 10), cls.server.text()
        m = re.search(r"serving VXI-11 on 127\.0\.0\.1:(\d+) \(abort channel on port (\d+)\)",
                      cls.server.text())
        cls.core, cls.abort = int(m.group(1)), int(m.group(2))
        cls.rm = pyvisa.ResourceManager("@py")

    @classmethod
    def tearDownClass(cls):
        status = cls.server.stop()
        cls.sim.stop()
        cls.tmp.cleanup()
        assert status == 0, cls.server.text()

    def open(self, resource="TCPIP::127.0.0.1::INSTR", timeout=5000):
        inst = self.rm.open_resource(resource, read_termination="\n", write_termination="\n")
        inst.timeout = timeout
        self.addCleanup(inst.close)
        return inst

    def test_pyvisa_identity_setting_readings_and_status(self):
        for resource in ("TCPIP::127.0.0.1::INSTR", "TCPIP::127.0.0.1::inst0::INSTR"):
            with self.subTest(resource=resource):
                inst = self.open(resource)
                idn = inst.query("*IDN?").split(",")
                self.assertEqual(idn[0], "Kolvane")
                self.assertEqual(idn[2], "0005")
                inst.write("SENS:FREQ:GATE:TIME 0.01")
                self.assertEqual(float(inst.query("FREQ:GATE:TIME?")), 0.01)
                inst.write("SAMP:COUN 5")
                readings = [float(v) for v in inst.query("READ?").split(",")]
                self.assertEqual(len(readings), 5)
                self.assertTrue(all(0 < v < 9.91e37 for v in readings), readings)
                self.assertEqual(inst.read_stb(), 0)
                inst.write("NO:SUCH:COMMand")
                self.assertEqual(inst.read_stb() & 0x04, 0x04)  # error queue not empty
                self.assertEqual(inst.query("SYST:ERR?"), '-113,"Undefined header"')
                self.assertEqual(inst.read_stb(), 0)
        with open(self.log) as f:
            self.assertIn("link", f.read())

    def test_pages_and_metrics_show_vxi11(self):
        base = f"http://127.0.0.1:{self.server.http_port}"
        page = subprocess.run(["curl", "-sS", base + "/"], capture_output=True, text=True).stdout
        self.assertIn("TCPIP::127.0.0.1::INSTR", page)
        self.assertIn("TCPIP::127.0.0.1::inst0::INSTR", page)
        self.assertIn(f"<td>VXI-11</td><td>127.0.0.1</td><td>{self.core}</td>", page)

        def sample(name):
            text = subprocess.run(["curl", "-sS", base + "/metrics"], capture_output=True,
                                  text=True).stdout
            m = re.search("^" + re.escape(name) + r" (\S+)$", text, re.M)
            return float(m.group(1)) if m else None

        before = sample('kolvane_commands_total{protocol="vxi11"}')
        inst = self.open()
        inst.query("*IDN?")
        self.assertEqual(sample('kolvane_clients{protocol="vxi11"}'), 1)
        self.assertGreaterEqual(sample('kolvane_commands_total{protocol="vxi11"}'), before + 1)

    def test_read_past_its_timeout_then_the_reply(self):
        inst = self.open()
        inst.write("SENS:FREQ:GATE:TIME 0.01")
        inst.write("SAMP:COUN 8")  # about 0.8 s of results
        inst.write("READ?")
        inst.timeout = 200
        with self.assertRaises(VisaIOError) as e:
            inst.read()
        self.assertEqual(e.exception.error_code, constants.StatusCode.error_timeout)
        # The link is usable and READ? went on: the next read has its reply.
        inst.timeout = 5000
        self.assertEqual(len(inst.read().split(",")), 8)
        self.assertEqual(inst.query("SYST:ERR?"), '0,"No error"')

    def test_clear_stops_read_and_keeps_errors_and_settings(self):
        inst = self.open()
        inst.write("SENS:FREQ:GATE:TIME 10")  # READ? waits 10 s for its result
        inst.write("SAMP:COUN 50")
        inst.write("NO:SUCH:COMMand")  # an error that clear() must leave queued
        inst.write("READ?")
        time.sleep(0.5)
        start = time.time()
        inst.clear()
        self.assertEqual(inst.query("*IDN?").split(",")[0], "Kolvane")
        self.assertLess(time.time() - start, 1.0)
        self.assertEqual(inst.query("SAMP:COUN?"), "50")
        self.assertEqual(inst.query("SYST:ERR?"), '-113,"Undefined header"')
        self.assertEqual(inst.query("SYST:ERR?"), '0,"No error"')
        inst.write("SAMP:COUN 1;:SENS:FREQ:GATE:TIME 0.01")

    def test_long_message_and_reply_in_pieces(self):
        # 180 kB written in pieces of maxRecvSize; a reply over 1 MiB read in pieces.
        inst = self.open(timeout=20000)
        inst.write(";".join(["*IDN?"] * 30000))
        reply = inst.read().split(";")
        self.assertEqual(len(reply), 30000)
        self.assertEqual(len(set(reply)), 1)
        self.assertTrue(reply[0].startswith("Kolvane,"))

    def test_lock_held_by_a_second_session(self):
        a, b = self.open(), self.open(timeout=2000)
        a.lock_excl()
        with self.assertRaises(VisaIOError) as e:
            b.query("*IDN?")
        # pyvisa-py reports a write's error 11 as an I/O error.
        self.assertIn(e.exception.error_code, (constants.StatusCode.error_resource_locked,
                                               constants.StatusCode.error_io))
        # A raw socket is not held.
        raw = socket.create_connection(("127.0.0.1", self.server.port), timeout=5)
        raw.sendall(b"*IDN?\n")
        self.assertTrue(raw.recv(200).startswith(b"Kolvane,"))
        raw.close()
        self.assertEqual(a.query("*IDN?").split(",")[0], "Kolvane")
        a.unlock()
        self.assertEqual(b.query("*IDN?").split(",")[0], "Kolvane")

    def test_lock_waits_and_is_freed_by_unlock_destroy_and_loss(self):
        holder = Link(self.core, lock=True, lock_timeout=0)
        self.assertEqual(holder.error, 0)
        other = Link(self.core)
        # Without waitlock: at once.
        start = time.time()
        self.assertEqual(other.write(b"*IDN?\n")[0], 11)
        self.assertLess(time.time() - start, 0.5)
        # With it: the lock_timeout, then 11.
        start = time.time()
        self.assertEqual(other.write(b"*IDN?\n", flags=END | WAITLOCK, lock_timeout=500)[0], 11)
        self.assertGreaterEqual(time.time() - start, 0.45)
        self.assertEqual(other.lock(WAITLOCK, 300), 11)
        self.assertEqual(other.unlock(), 12)
        # Freed while waiting: the call goes on.
        unlock = threading.Timer(0.3, holder.unlock)
        unlock.start()
        self.assertEqual(other.write(b"*IDN?\n", flags=END | WAITLOCK, lock_timeout=5000)[0], 0)
        unlock.join()  # its reply read before the holder's next call
        self.assertTrue(other.read()[2].startswith(b"Kolvane,"))
        # Freed by destroy_link, and by the connection's loss.
        self.assertEqual(holder.lock(), 0)
        self.assertEqual(other.lock(), 11)
        self.assertEqual(holder.destroy(), 0)
        self.assertEqual(other.lock(), 0)
        self.assertEqual(other.unlock(), 0)
        lost = Link(self.core, lock=True)
        self.assertEqual(lost.error, 0)
        self.assertEqual(other.lock(), 11)
        lost.rpc.close()
        time.sleep(0.2)
        self.assertEqual(other.lock(), 0)
        self.assertEqual(other.destroy(), 0)

    def test_read_stb_trigger_termchar_and_timeout(self):
        link = Link(self.core)
        self.assertLessEqual(link.max_recv, 65536 - 60)
        self.assertEqual(link.abort_port, self.abort)
        start = time.time()
        error, reason, data = link.read(io_timeout=300)
        self.assertEqual((error, data), (15, b""))
        self.assertGreaterEqual(time.time() - start, 0.25)
        # Pieces: a line runs with its LF (IEEE 488.2's terminator) or the END piece.
        self.assertEqual(link.write(b"*ID", flags=0)[0], 0)
        self.assertEqual(link.read(io_timeout=200)[0], 15)
        link.write(b"N?", flags=END)
        self.assertTrue(link.read()[2].startswith(b"Kolvane,"))
        link.write(b"*IDN?\n", flags=0)
        error, reason, data = link.read(size=4)
        self.assertEqual((error, reason, data), (0, 1, b"Kolv"))  # REQCNT
        error, reason, data = link.read()
        self.assertEqual(error, 0)
        self.assertEqual(reason & 4, 4)  # END with the last piece
        self.assertTrue(data.endswith(b"\n"))
        link.write(b"*IDN?;*IDN?\n")
        error, reason, data = link.read(flags=TERMCHRSET, term=ord(","))
        self.assertEqual((error, reason & 2, data), (0, 2, b"Kolvane,"))  # CHR
        link.read()
        # device_trigger is INITiate: FETCh? then has a result.
        self.assertEqual(link.write(b"SAMP:COUN 1\n")[0], 0)
        self.assertEqual(link.generic(TRIGGER), 0)
        link.write(b"FETC?\n")
        self.assertEqual(link.read()[0], 0)
        self.assertEqual(link.generic(READSTB), (0, 0))
        self.assertEqual(link.destroy(), 0)

    def test_abort_ends_the_call_in_hand(self):
        link = Link(self.core)
        abort = Rpc(link.abort_port)
        link.write(b"SENS:FREQ:GATE:TIME 0.01;SAMP:COUN 50\n")
        link.write(b"READ?\n")
        result = {}

        def reader():
            result["read"] = link.read(io_timeout=20000)
            result["at"] = time.time()

        t = threading.Thread(target=reader)
        t.start()
        time.sleep(0.3)
        start = time.time()
        stat, res = abort.call(ABORT, 1, 1, struct.pack(">i", link.lid))
        self.assertEqual((stat, struct.unpack(">i", res)[0]), (0, 0))
        t.join(5)
        self.assertEqual(result["read"][0], 23)
        self.assertLess(result["at"] - start, 1.0)
        # An unknown link: error 4.
        self.assertEqual(struct.unpack(">i", abort.call(ABORT, 1, 1, struct.pack(">i", 999))[1])[0], 4)
        self.assertEqual(link.generic(CLEAR), 0)
        link.write(b"SAMP:COUN 1\n")
        abort.close()
        self.assertEqual(link.destroy(), 0)

    def test_bad_input_closes_that_connection_only(self):
        wrong = Link(self.core, device=b"inst1")
        self.assertEqual(wrong.error, 3)
        wrong.rpc.close()
        cases = [
            ("unknown procedure", lambda r: r.call(CORE, 1, 99), (3, b"")),
            ("garbage args", lambda r: r.call(CORE, 1, CREATE_LINK, b"\0\0\0\1"), (4, b"")),
            ("other version", lambda r: r.call(CORE, 2, CREATE_LINK)[0], 2),
        ]
        for name, act, expected in cases:
            with self.subTest(name):
                r = Rpc(self.core)
                self.assertEqual(act(r), expected)
                self.assertTrue(r.closed())
                r.close()
        for name, data in [("over 64 KiB", struct.pack(">I", 0x80000000 | 65537) + b"x" * 65537),
                           ("no RPC at all", b"*IDN?\n" * 4),
                           ("a reply, not a call", struct.pack(">I", 0x80000018) +
                            struct.pack(">6I", 1, 1, 0, 0, 0, 0))]:
            with self.subTest(name):
                r = Rpc(self.core)
                r.s.sendall(data)
                self.assertEqual(r.recv_record(), None)
                r.close()
        # The server goes on.
        self.assertEqual(self.open().query("*IDN?").split(",")[0], "Kolvane")

    def test_portmapper(self):
        self.assertEqual(getport_udp(CORE), (0, self.core))
        self.assertEqual(getport_udp(ABORT), (0, 0))
        self.assertEqual(getport_udp(CORE, proto=17), (0, 0))
        self.assertEqual(getport_udp(100003, 3), (0, 0))
        self.assertEqual(getport_udp(CORE, proc=0), (0,))
        self.assertEqual(getport_udp(CORE, pm_vers=4, proc=9), (2, 2, 2))  # PROG_MISMATCH 2..2
        self.assertEqual(getport_udp(CORE, proc=4), (3,))  # PROC_UNAVAIL
        r = Rpc(111)
        stat, res = r.call(PORTMAP, 2, 3, struct.pack(">4I", CORE, 1, 6, 0))
        self.assertEqual((stat, struct.unpack(">I", res)[0]), (0, self.core))
        r.close()

    def test_lxi_scpi(self):
        out = subprocess.run(["lxi", "scpi", "-a", "127.0.0.1", "*IDN?"], capture_output=True,
                             text=True, timeout=30)
        self.assertEqual(out.returncode, 0, out.stdout + out.stderr)
        self.assertTrue(out.stdout.startswith("Kolvane,"), out.stdout)

    def test_a_second_server_says_vxi11_is_off(self):
        # Port 111 is this server's: the second one serves raw SCPI alone.
        with temp_dir() as d:
            sim = Sim(d)
            second = Server([SERVER, "--port", "3", "--listen", "127.0.0.1:0", "--http",
                             "127.0.0.1:0"],
                            env=env_with_ports(d))
            try:
                self.assertTrue(second.port, second.text())
                self.assertTrue(second.wait_for("VXI-11 is off: ", 5), second.text())
            finally:
                self.assertEqual(second.stop(), 0, second.text())
                sim.stop()


class Vxi11OptionsTest(unittest.TestCase):
    def run_server(self, *args):
        with temp_dir() as d:
            return subprocess.run([SERVER, "--port", "3"] + list(args), capture_output=True,
                                  text=True, timeout=30, env=env_with_ports(d))

    def test_bad_values_exit_2_naming_them(self):
        for value in ("::1", "[::1]", "localhost", "10.0.0.1:111", "300.1.1.1"):
            with self.subTest(value=value):
                out = self.run_server("--vxi11", value)
                self.assertEqual(out.returncode, 2, out.stderr)
                self.assertIn("--vxi11 '%s'" % value, out.stderr)
        out = self.run_server("--vxi11", "127.0.0.1", "--no-vxi11")
        self.assertEqual(out.returncode, 2)
        out = self.run_server("--listen", "127.0.0.1:0", "--vxi11", "192.0.2.1")
        self.assertEqual(out.returncode, 2)
        self.assertIn("192.0.2.1:0: no interface of this machine has that address", out.stderr)

    def test_without_the_right_to_port_111_vxi11_is_off(self):
        with temp_dir() as d:
            sim = Sim(d)
            server = Server(["setpriv", "--bounding-set=-net_bind_service", SERVER, "--port", "3",
                             "--http", "127.0.0.1:0",
                             "--listen", "127.0.0.1:0"], env=env_with_ports(d))
            try:
                self.assertTrue(server.port, server.text())
                self.assertTrue(server.wait_for("VXI-11 is off: no rpcbind runs, and port 111 "
                                                "needs root or CAP_NET_BIND_SERVICE", 5),
                                server.text())
            finally:
                self.assertEqual(server.stop(), 0)
                sim.stop()

    def test_allow_and_max_clients_hold_for_vxi11(self):
        with temp_dir() as d:
            sim = Sim(d)
            server = Server([SERVER, "--port", "3", "--listen", "127.0.0.1:0", "--http",
                             "127.0.0.1:0", "--max-clients", "1",
                             "--allow", "127.0.0.1"], env=env_with_ports(d))
            try:
                self.assertTrue(server.wait_for("VXI-11 found through", 10), server.text())
                core = int(re.search(r"serving VXI-11 on 127\.0\.0\.1:(\d+)", server.text()).group(1))
                first = Link(core)
                self.assertEqual(first.error, 0)
                # The one client is connected: a raw socket is refused, and so is VXI-11.
                raw = socket.create_connection(("127.0.0.1", server.port), timeout=5)
                self.assertEqual(raw.recv(10), b"")
                raw.close()
                second = Rpc(core)
                self.assertTrue(second.closed())
                second.close()
                self.assertTrue(server.wait_for("refused VXI-11 client .*--max-clients", 5))
                first.destroy()
                # Another source address than 127.0.0.1: closed at once and logged.
                s = socket.socket()
                s.bind(("127.0.0.2", 0))
                s.settimeout(5)
                s.connect(("127.0.0.1", core))
                self.assertEqual(s.recv(10), b"")
                s.close()
                self.assertTrue(server.wait_for("refused VXI-11 client 127.0.0.2.*--allow", 5))
            finally:
                self.assertEqual(server.stop(), 0)
                sim.stop()


if __name__ == "__main__":
    unittest.main()
