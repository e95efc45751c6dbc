"""kolvane-scpi against the simulator, driven by the clients users have:
PyVISA with its pure-Python backend, lxi-tools, and plain sockets for the
limits. Run by ctest with KOLVANE_SCPI and KOLVANE_SIM set."""
import os
import signal
import socket
import subprocess
import threading
import time
import unittest

import pyvisa

from harness import Server, Sim, env_with_ports, server_command, temp_dir

NAN = 9.91e37


class ServerTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = temp_dir()
        cls.dir = cls.tmp.name
        cls.sim = Sim(cls.dir)
        cls.addClassCleanup(cls.sim.stop)
        cls.log = os.path.join(cls.dir, "commands.log")
        cls.server = Server(server_command("--max-clients", "4", "--allow", "127.0.0.1",
                                           "--log", cls.log), env=env_with_ports(cls.dir))
        cls.addClassCleanup(cls.server.stop)
        assert cls.server.port, cls.server.text()
        cls.rm = pyvisa.ResourceManager("@py")
        cls.inst = cls.open()

    @classmethod
    def open(cls):
        inst = cls.rm.open_resource(f"TCPIP::127.0.0.1::{cls.server.port}::SOCKET",
                                    read_termination="\n", write_termination="\n")
        inst.timeout = 10000
        return inst

    @classmethod
    def tearDownClass(cls):
        cls.inst.close()
        status = cls.server.stop()
        frames = cls.sim.frames() if cls.sim.proc else []
        cls.sim.stop()
        cls.tmp.cleanup()
        assert status == 0, cls.server.text()
        # The port was closed as the panel closes it.
        assert frames and frames[-1] == "J\\x0D", frames

    def raw(self, source="127.0.0.1"):
        s = socket.socket()
        s.bind((source, 0))
        s.settimeout(10)
        s.connect(("127.0.0.1", self.server.port))
        return s

    def error(self):
        return self.inst.query("SYST:ERR?")

    def test_identity_gate_and_readings(self):
        idn = self.inst.query("*IDN?").split(",")
        self.assertEqual(len(idn), 4)
        self.assertEqual(idn[0], "Kolvane")
        self.assertEqual(idn[2], "0005")

        self.inst.write("SENS:FREQ:GATE:TIME 0.01")
        self.assertEqual(float(self.inst.query("FREQ:GATE:TIME?")), 0.01)
        self.assertIn("T2\\x0D", self.sim.frames())
        self.assertEqual(self.error(), '0,"No error"')

        self.inst.write("SAMP:COUN 5")
        readings = [float(v) for v in self.inst.query("READ?").split(",")]
        self.assertEqual(len(readings), 5)
        self.assertTrue(all(0 < v < NAN for v in readings), readings)
        self.inst.write("SAMP:COUN 1")

        with open(self.log) as f:
            self.assertIn("\t*IDN?\tKolvane,", f.read())

    def test_unknown_header_queues_113(self):
        self.inst.write("FOO:BAR 1")
        self.assertTrue(self.error().startswith("-113,"))
        self.assertEqual(self.error(), '0,"No error"')
        with open(self.log) as f:
            self.assertIn("\tFOO:BAR 1\t-\t-113,", f.read())

    def test_lxi_raw(self):
        out = subprocess.run(["lxi", "scpi", "--raw", "-a", "127.0.0.1", "-p",
                              str(self.server.port), "*IDN?"],
                             capture_output=True, text=True, timeout=30)
        self.assertEqual(out.returncode, 0, out.stderr)
        self.assertTrue(out.stdout.startswith("Kolvane,"), out.stdout)

    def test_overlong_line_gives_363_and_the_next_line_runs(self):
        s = self.raw()
        s.sendall(b"X" * 70000 + b"\n*IDN?;:SYST:ERR?\n")
        reply = s.makefile("rb").readline()
        self.assertTrue(reply.startswith(b"Kolvane,") and b";-363," in reply, reply)
        s.close()

    def test_refused_clients_and_the_others_served(self):
        # Not in --allow: closed at once.
        s = self.raw("127.0.0.2")
        self.assertEqual(s.recv(10), b"")
        s.close()
        # Past --max-clients: PyVISA holds one.
        held = [self.raw() for _ in range(3)]
        for h in held:
            h.sendall(b"*IDN?\n")
            self.assertTrue(h.recv(100).startswith(b"Kolvane,"))
        extra = self.raw()
        self.assertEqual(extra.recv(10), b"")
        for h in held + [extra]:
            h.close()
        self.assertTrue(self.server.wait_for(r"refused 127\.0\.0\.2:\d+: not in any --allow"))
        self.assertTrue(self.server.wait_for(r"refused 127\.0\.0\.1:\d+: 4 clients"))
        with open(self.log) as f:
            self.assertIn("--max-clients", f.read())

    def test_a_client_that_stops_reading_is_dropped_alone(self):
        s = socket.socket()
        s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
        s.connect(("127.0.0.1", self.server.port))
        sender = threading.Thread(target=lambda: s.sendall(b"*IDN?\n" * 60000), daemon=True)
        sender.start()
        self.assertTrue(self.server.wait_for(r"more than 1 MiB of replies left unread", 60),
                        self.server.text()[-2000:])
        self.assertTrue(self.inst.query("*IDN?").startswith("Kolvane,"))
        s.close()

    def test_a_query_whose_client_left_changes_nothing_for_the_others(self):
        s = self.raw()
        s.sendall(b"SAMP:COUN 30;:READ?\n")  # three seconds at 10 results/s
        time.sleep(0.2)
        # Accepted while the measurement waits.
        accepted = self.server.text().count(" connected (")
        late = self.raw()
        deadline = time.time() + 1.5
        while self.server.text().count(" connected (") == accepted and time.time() < deadline:
            time.sleep(0.01)
        self.assertGreater(self.server.text().count(" connected ("), accepted)
        s.close()
        late.close()
        self.assertTrue(self.inst.query("*IDN?").startswith("Kolvane,"))
        self.assertEqual(self.error(), '0,"No error"')

    def test_unplug_and_recovery(self):
        self.sim.stop()
        try:
            try:
                self.assertEqual(float(self.inst.query("READ?")), NAN)
            except pyvisa.errors.VisaIOError:
                pass  # a failed query may give no reply at all
            code = int(self.error().split(",")[0])
            self.assertTrue(code == -240 or code > 0, code)
            # The server's own state still answers.
            self.assertTrue(self.inst.query("*IDN?").startswith("Kolvane,"))
        finally:
            # The bridge plugged back in: the instrument measured on meanwhile.
            self.sim.start("--running")
        readings = self.inst.query("READ?")
        self.assertLess(float(readings), NAN, readings)


class StartTest(unittest.TestCase):
    def test_stop_signals_close_the_port_once(self):
        for signo in (signal.SIGINT, signal.SIGHUP):
            with temp_dir() as d:
                sim = Sim(d)
                server = Server(server_command(), env=env_with_ports(d))
                self.assertEqual(server.stop(signo), 0, server.text())
                frames = sim.frames()
                sim.stop()
                self.assertEqual(frames[-1], "J\\x0D", signo)
                self.assertEqual(frames.count("J\\x0D"), 1, signo)

    def test_exit_statuses(self):
        with temp_dir() as d:
            server = Server(server_command(), env=env_with_ports(d), wait_for=None)
            self.assertEqual(server.proc.wait(30), 3)
            self.assertIn("COM3: missing", server.text())

            held = socket.socket()
            held.bind(("127.0.0.1", 0))
            held.listen()
            address = "127.0.0.1:%d" % held.getsockname()[1]
            server = Server([os.environ["KOLVANE_SCPI"], "--listen", address],
                            env=env_with_ports(d), wait_for=None)
            self.assertEqual(server.proc.wait(30), 2)
            self.assertIn(address + ": address in use", server.text())
            held.close()


if __name__ == "__main__":
    unittest.main()
