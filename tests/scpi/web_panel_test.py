"""The front panel in a browser (/panel) against the simulator: headless
Chromium through Selenium, and curl for the guards of its live connection.
Run by ctest with KOLVANE_SCPI and KOLVANE_SIM set; skipped (77) without
chromium and chromedriver."""
import json
import os
import re
import shutil
import socket
import struct
import subprocess
import threading
import time
import unittest
from concurrent.futures import ThreadPoolExecutor

from harness import Server, Sim, env_with_ports, scpi_reply, server_command, temp_dir

try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import WebDriverWait
except ImportError:
    webdriver = None

# A signal whose readings differ from one to the next.
NOISY = ["--signal-khz", "1000", "--noise-khz", "1"]
ROOT = os.path.join(os.path.dirname(__file__), "..", "..")
SCALE, ORIGIN_X, ORIGIN_Y = 2, 8, 40
VIEW_ONLY = "Только просмотр: изменения с этой страницы отключены"


def template_rects():
    """Control id -> (x, y, w, h) in dialog units, from template 102 in resources/layout.cpp."""
    with open(os.path.join(ROOT, "resources", "ids.h")) as f:
        ids = dict(re.findall(r"constexpr int (k\w+) = (\d+);", f.read()))
    with open(os.path.join(ROOT, "resources", "layout.cpp")) as f:
        src = f.read()
    panel = src[src.index("kPanel[] = {"):src.index("kAbout[] = {")]
    rows = dict(re.findall(r"constexpr int (\w+) = (\d+)", src))
    rows.update(re.findall(r"(kRow\d) = (\d+)", src))
    rows.update(re.findall(r"(k\w+Row5) = (\d+)", src))
    out = {}
    for m in re.finditer(r"(?:Radio|Check|List|Ctl)\((ids::(k\w+)|\d+),[^{]*\{(\w+), (\w+), (\w+), "
                         r"(\w+)\}", panel):
        cid = int(ids[m.group(2)]) if m.group(2) else int(m.group(1))
        out[cid] = tuple(int(rows.get(v, v)) for v in m.group(3, 4, 5, 6))
    return out


def stop_cleanly(server):
    """Stops the server; a sanitizer's report or a failed exit fails the test."""
    status = server.stop()
    if status != 0:
        raise AssertionError(f"kolvane-scpi ended with {status}:\n{server.text()[-3000:]}")


def curl_head(*args):
    r = subprocess.run(["curl", "-sS", "-i", "--max-time", "3"] + list(args), capture_output=True)
    return r.stdout.partition(b"\r\n\r\n")[0].decode("latin-1")


def handshake(port, origin=None, host=None, path="/panel/live"):
    args = ["-H", "Connection: Upgrade", "-H", "Upgrade: websocket",
            "-H", "Sec-WebSocket-Version: 13", "-H", "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ=="]
    if origin:
        args += ["-H", f"Origin: {origin}"]
    if host:
        args += ["-H", f"Host: {host}"]
    head = curl_head(*args, f"http://127.0.0.1:{port}{path}")
    return int(head.split(" ", 2)[1]) if head else 0


@unittest.skipUnless(webdriver and shutil.which("chromedriver"), "no chromium/chromedriver")
class WebPanelTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = temp_dir()
        cls.sim = Sim(cls.tmp.name, extra=NOISY)
        cls.addClassCleanup(cls.sim.stop)
        cls.server = Server(server_command(), env=env_with_ports(cls.tmp.name))
        cls.addClassCleanup(stop_cleanly, cls.server)
        assert cls.server.http_port, cls.server.text()
        cls.url = f"http://127.0.0.1:{cls.server.http_port}/panel"
        cls.pages = [cls.browser() for _ in range(2)]
        for p in cls.pages:
            cls.addClassCleanup(p.quit)
            p.get(cls.url)
            cls.wait(p, lambda d: d.find_element(By.CSS_SELECTOR, "[data-control='1092']").text)

    @staticmethod
    def browser():
        options = webdriver.ChromeOptions()
        for a in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=900,850",
                  "--disable-dev-shm-usage"):
            options.add_argument(a)
        if shutil.which("chromium"):
            options.binary_location = shutil.which("chromium")
        return webdriver.Chrome(service=Service(shutil.which("chromedriver")), options=options)

    @staticmethod
    def wait(page, condition, timeout=10):
        return WebDriverWait(page, timeout, poll_frequency=0.05).until(condition)

    @staticmethod
    def control(page, cid, dialog=102):
        return page.find_element(By.CSS_SELECTOR,
                                 f".dlg[data-dialog='{dialog}'] [data-control='{cid}']")

    @staticmethod
    def stamp_when(page, condition):
        """The page notes Date.now() once the JS expression holds, checked at each change of
        its DOM (timers of a page in the background are slowed; observers are not)."""
        page.execute_script("""
            window.stampedAt = null;
            const holds = new Function('return ' + arguments[0]);
            const o = new MutationObserver(() => {
              if (holds()) { window.stampedAt = Date.now(); o.disconnect(); } });
            o.observe(document.body, {subtree: true, childList: true, attributes: true,
                                      characterData: true});""", condition)

    @classmethod
    def stamped_ms_after(cls, page, t0, timeout=10):
        """How long after t0 (time.time()) the page noted its stamp; negative: before."""
        at = cls.wait(page, lambda d: d.execute_script("return window.stampedAt"), timeout)
        return at - t0 * 1000

    def checked(self, page, cid):
        return self.control(page, cid).get_attribute("aria-checked") == "true"

    def scpi(self, line):
        return scpi_reply(self.server.port, line)

    def test_reading_changes(self):
        page = self.pages[0]
        reading = self.control(page, 1092)
        self.assertEqual(reading.get_attribute("aria-live"), "polite")
        first = reading.text
        self.wait(page, lambda d: self.control(d, 1092).text not in ("", first))
        # The README's picture, when asked for: KOLVANE_WEB_SHOT=docs/web-panel.png.
        if os.environ.get("KOLVANE_WEB_SHOT"):
            page.save_screenshot(os.environ["KOLVANE_WEB_SHOT"])

    def open_dialog(self, page, radio, dialog):
        self.control(page, radio).click()
        return self.wait(page, lambda d: d.find_element(
            By.CSS_SELECTOR, f"[role=dialog][data-dialog='{dialog}']").is_displayed() and
            d.find_element(By.CSS_SELECTOR, f"[role=dialog][data-dialog='{dialog}']"))

    def test_mode_dialog_held_open_in_the_clicking_page_only(self):
        one, two = self.pages
        self.scpi("CONF:FREQ")
        self.wait(one, lambda d: self.checked(d, 1016))
        before = len(self.sim.frames())
        dialog = self.open_dialog(one, 1020, 143)
        self.assertEqual(dialog.accessible_name, "Измерение длительности")
        self.assertFalse(two.find_element(By.CSS_SELECTOR, "[data-dialog='143']").is_displayed())
        options = self.control(one, 1069, dialog=143).find_elements(By.TAG_NAME, "option")
        self.assertEqual([o.text for o in options], ["DL1", "DL2", "DL3", "DL4"])
        # Open, it holds the instrument as a modal dialog holds the panel.
        with ThreadPoolExecutor(1) as pool:
            held = pool.submit(self.scpi, "FREQ:GATE:TIME?")
            time.sleep(0.5)
            self.assertFalse(held.done())
            options[2].click()
            self.wait(one, lambda d: any(f.startswith("R5") for f in self.sim.frames()[before:]))
            self.control(one, 1, dialog=143).click()
            self.assertTrue(held.result(timeout=5))
        self.wait(two, lambda d: self.checked(d, 1020))
        self.assertEqual([f[:2] for f in self.sim.frames()[before:]][:2], ["R3", "R5"])
        self.assertFalse(dialog.is_displayed())
        # A page closed with its dialog open: Escape, and the others go on.
        third = self.browser()
        try:
            third.get(self.url)
            self.wait(third, lambda d: self.control(d, 1092).text)
            self.open_dialog(third, 1030, 144)
        finally:
            third.quit()
        self.assertEqual(self.scpi("CONF:FREQ"), "1")

    def test_refusal_shows_in_the_dialogs_message_field(self):
        page = self.pages[0]
        self.scpi("CONF:FREQ (@1)")
        self.wait(page, lambda d: self.checked(d, 1013))
        self.open_dialog(page, 1030, 144)
        before = len(self.sim.frames())
        message = self.control(page, 1053, dialog=144)
        self.control(page, 1069, dialog=144).find_elements(By.TAG_NAME, "option")[2].click()
        want = "Включен канал A. Выберите A/C или C/A.  "
        self.wait(page, lambda d: message.get_attribute("textContent") == want)
        self.assertEqual(len(self.sim.frames()), before)
        self.control(page, 1069, dialog=144).find_elements(By.TAG_NAME, "option")[0].click()
        self.control(page, 1, dialog=144).click()
        self.wait(page, lambda d: self.checked(d, 1030))
        self.assertEqual(self.scpi("CONF:FREQ"), "1")

    def test_gate_click_sends_its_frame_and_shows_in_the_other_page(self):
        one, two = self.pages
        gate = next(g for g in range(1006, 1011) if not self.checked(one, g)
                    and self.control(one, g).is_enabled())
        before = len(self.sim.frames())
        self.control(one, gate).click()
        self.wait(two, lambda d: self.checked(d, gate))
        self.assertGreater(len(self.sim.frames()), before)
        self.assertTrue(self.checked(one, gate))

    def test_scpi_configure_moves_the_mode_radio(self):
        for command, radio in (("CONF:PER", 1019), ("CONF:FREQ", 1016)):
            self.assertEqual(self.scpi(command), "1")
            for page in self.pages:
                self.wait(page, lambda d, r=radio: self.checked(d, r))

    def test_scpi_change_shows_within_200_ms_of_opc(self):
        page = self.pages[0]
        self.scpi("CONF:FREQ")
        self.wait(page, lambda d: self.checked(d, 1016))
        self.stamp_when(page, "document.querySelector('.dlg[data-dialog=\"102\"] "
                              "[data-control=\"1019\"]').getAttribute('aria-checked') === 'true'")
        self.assertEqual(self.scpi("CONF:PER"), "1")
        self.assertLessEqual(self.stamped_ms_after(page, time.time()), 200)
        self.scpi("CONF:FREQ")

    def test_disabled_control_sends_nothing(self):
        page = self.pages[0]
        disabled = page.execute_script(
            "return Array.from(document.querySelectorAll('.dlg[data-dialog=\"102\"] "
            "button:disabled'), e => Number(e.dataset.control));")
        self.assertTrue(disabled)
        before = len(self.sim.frames())
        # Past the page's own script: straight to the server, as a forged page would.
        page.execute_script("""
            const ws = new WebSocket('ws://' + location.host + '/panel/live');
            ws.onopen = () => { for (const id of arguments[0]) ws.send(JSON.stringify({click: id}));
                                ws.send(JSON.stringify({click: 1092})); };""", disabled)
        time.sleep(1)
        self.assertEqual(len(self.sim.frames()), before)

    def test_names_roles_and_boxes(self):
        page = self.pages[0]
        for cid, role, name in ((1016, "radio", "f"), (1066, "radio", "Авт"),
                                (1013, "radio", "А"), (1041, None, "Пуск"),
                                (1006, "radio", "10")):
            e = self.control(page, cid)
            self.assertEqual(e.get_attribute("role"), role, cid)
            self.assertEqual(e.accessible_name, name, cid)
        lpf = page.find_element(By.CSS_SELECTOR, "[role=checkbox][aria-label='ФНЧ']")
        self.assertTrue(lpf.get_attribute("data-control"))
        spin = page.find_element(By.CSS_SELECTOR, "[role=spinbutton]")
        self.assertTrue(spin.get_attribute("aria-valuenow"))
        self.assertEqual(page.find_element(By.TAG_NAME, "html").get_attribute("lang"), "ru")
        rects = template_rects()
        self.assertGreater(len(rects), 30)
        for cid, (x, y, w, h) in rects.items():
            box = page.execute_script(
                "const e = document.querySelector('.dlg[data-dialog=\"102\"] "
                "[data-control=\"' + arguments[0] + '\"]'); if (!e || e.hidden) return null;"
                "const r = e.getBoundingClientRect(); return [r.x, r.y, r.width, r.height];", cid)
            if box is None:
                continue
            want = (ORIGIN_X + SCALE * x, ORIGIN_Y + SCALE * y, SCALE * w, SCALE * h)
            for got, expected in zip(box, want):
                self.assertLessEqual(abs(got - expected), 2 * SCALE, (cid, box, want))

    def test_link_lost_and_config_from_the_page(self):
        page = self.pages[0]
        self.stamp_when(page, "document.getElementById('status').textContent === "
                              "'Нет связи с прибором'")
        self.sim.stop()
        try:
            self.assertLessEqual(self.stamped_ms_after(page, time.time(), 5), 1000)
        finally:
            # Plugged back in: the instrument measured all along.
            self.sim.start("--running")
        self.control(page, 1024).click()  # Конфигурация
        self.wait(page, lambda d: d.find_element(By.ID, "status").text == "", 10)
        first = self.control(page, 1092).text
        self.wait(page, lambda d: self.control(d, 1092).text not in ("", first))

    def test_list_choice_and_spin_step(self):
        one, two = self.pages
        before = len(self.sim.frames())
        impedance = self.control(one, 1069)
        index = 1 - int(impedance.get_attribute("selectedIndex") or 0)
        impedance.find_elements(By.TAG_NAME, "option")[index].click()
        self.wait(two, lambda d: self.control(d, 1069).get_attribute("selectedIndex") == str(index))
        spin = self.control(one, 1105)
        now = spin.get_attribute("aria-valuenow")
        spin.find_element(By.CSS_SELECTOR, "[data-step=up]").click()
        self.wait(two, lambda d: self.control(d, 1105).get_attribute("aria-valuenow") != now)
        self.assertEqual(self.control(two, 1105).get_attribute("aria-valuetext"),
                         self.control(two, 1104).get_attribute("value"))
        self.assertGreaterEqual(len(self.sim.frames()) - before, 2)

    def test_live_connection_guards(self):
        port = self.server.http_port
        for origin, host, expected in ((None, None, 101), (f"http://127.0.0.1:{port}", None, 101),
                                       ("http://attacker.example", None, 403), ("null", None, 403),
                                       (None, "attacker.example", 421)):
            self.assertEqual(handshake(port, origin, host), expected, (origin, host))


def open_live(port, rcvbuf=None):
    """A raw WebSocket page on /panel/live, and what came with the handshake's answer."""
    s = socket.socket()
    if rcvbuf:  # before connecting, so that the window offered is small from the start
        s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, rcvbuf)
    s.settimeout(10)
    s.connect(("127.0.0.1", port))
    s.sendall(f"GET /panel/live HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\nConnection: Upgrade\r\n"
              "Upgrade: websocket\r\nSec-WebSocket-Version: 13\r\n"
              "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n".encode())
    got = b""
    while b"\r\n\r\n" not in got:
        got += s.recv(4096)
    return s, got


def masked_frame(payload):
    """A client's text frame, masked with 01010101, its length in the fewest bytes."""
    n = len(payload)
    size = (bytes([0x80 | n]) if n < 126 else b"\xfe" + struct.pack(">H", n) if n < 65536
            else b"\xff" + struct.pack(">Q", n))
    return b"\x81" + size + b"\x01\x01\x01\x01" + bytes(b ^ 1 for b in payload)


def read_on(s, arrivals):
    """Reads until the socket ends: each chunk with when it came."""
    try:
        while chunk := s.recv(65536):
            arrivals.append((time.time(), chunk))
    except OSError:
        pass


def send_queue(port, peer):
    """The bytes the kernel holds unsent on the server's end of a connection, or None."""
    out = subprocess.run(["ss", "-tnH", "sport", "=", f":{port}", "dport", "=", f":{peer}"],
                         capture_output=True, text=True).stdout.split()
    return int(out[2]) if len(out) > 2 else None


def oversized_message(port, size):
    """All the server sends after a WebSocket message of `size` bytes, until it closes."""
    s, got = open_live(port)
    with s:
        s.sendall(masked_frame(b"y" * size))
        while chunk := s.recv(65536):
            got += chunk
        return got


class LiveLimitsTest(unittest.TestCase):
    def test_message_over_64_kib_closes_with_1009(self):
        with temp_dir() as d:
            sim = Sim(d)
            self.addCleanup(sim.stop)
            server = Server(server_command(), env=env_with_ports(d))
            self.addCleanup(server.stop)
            got = oversized_message(server.http_port, 64 * 1024 + 1)
            self.assertTrue(got.startswith(b"HTTP/1.1 101"), got[:40])
            # The close frame: opcode 8, two bytes of payload, code 1009 (0x03F1).
            self.assertIn(b"\x88\x02\x03\xf1", got)

    def test_page_that_stops_reading_is_dropped_at_1_mib(self):
        with temp_dir() as d:
            sim = Sim(d)
            self.addCleanup(sim.stop)
            # View only: each click is answered with an alert to that page alone.
            server = Server(server_command("--web-view-only"), env=env_with_ports(d))
            self.addCleanup(server.stop)
            reader, _ = open_live(server.http_port)
            self.addCleanup(reader.close)
            arrivals = []
            threading.Thread(target=read_on, args=(reader, arrivals), daemon=True).start()
            stuck, _ = open_live(server.http_port, rcvbuf=4096)
            self.addCleanup(stuck.close)
            alert = json.dumps({"text": VIEW_ONLY, "type": "alert"}, ensure_ascii=False,
                               separators=(",", ":")).encode()
            # In steps the server has time to answer, so that an early drop shows. The
            # kernel takes the first megabytes into the socket's send queue (ss's Send-Q).
            batch, sent, held = masked_frame(b'{"click":1007}') * 1000, 0, 0
            deadline = time.time() + 120
            while not server.wait_for("dropped a page that stopped reading", 0.3):
                self.assertLess(time.time(), deadline, "the page was never dropped")
                held = send_queue(server.http_port, stuck.getsockname()[1]) or held
                try:
                    stuck.sendall(batch)
                    sent += 1000
                except OSError:  # dropped just now
                    pass
            dropped = time.time()
            # Beyond the kernel's, at least 1 MiB (less a step) waited in the server.
            self.assertGreater(sent * len(alert) - held, 0.8 * (1 << 20), (sent, held))
            # Closed: what the sockets held, then the end (a time-out fails the test).
            try:
                while stuck.recv(65536):
                    pass
            except ConnectionResetError:
                pass
            # The other page is still served.
            self.assertEqual(scpi_reply(server.port, "CONF:PER"), "1")
            deadline = time.time() + 5
            while not any(t > dropped and b'"id":1019' in m for t, m in arrivals):
                self.assertLess(time.time(), deadline, "the other page was not told")
                time.sleep(0.05)


@unittest.skipUnless(webdriver and shutil.which("chromedriver"), "no chromium/chromedriver")
class BoundsTest(unittest.TestCase):
    def test_max_clients_and_view_only(self):
        with temp_dir() as d:
            sim = Sim(d)
            self.addCleanup(sim.stop)
            server = Server(server_command("--max-clients", "1", "--web-view-only"),
                            env=env_with_ports(d))
            self.addCleanup(server.stop)
            # A connection opened ahead of need and never used gives way to the page.
            idle = socket.create_connection(("127.0.0.1", server.http_port))
            self.addCleanup(idle.close)
            page = WebPanelTest.browser()
            self.addCleanup(page.quit)
            page.get(f"http://127.0.0.1:{server.http_port}/panel")
            WebPanelTest.wait(page, lambda p: WebPanelTest.control(p, 1092).text)
            head = curl_head(f"http://127.0.0.1:{server.http_port}/panel")
            self.assertTrue(head.startswith("HTTP/1.1 503"), head)
            self.assertIn("Retry-After:", head)
            self.assertEqual(handshake(server.http_port), 503)
            # View only: the click is refused with the page's alert, and no frame goes.
            before = len(sim.frames())
            gate = WebPanelTest.control(page, 1007)
            self.assertEqual(gate.get_attribute("aria-disabled"), "true")
            gate.click()
            box = WebPanelTest.wait(page, lambda p: p.find_element(By.ID, "msgbox").is_displayed()
                                    and p.find_element(By.ID, "msgbox"))
            self.assertEqual(box.get_attribute("role"), "alertdialog")
            self.assertEqual(page.find_element(By.ID, "msgbox-text").text, VIEW_ONLY)
            self.assertEqual(len(sim.frames()), before)
            # SCPI clients still change it, and the page shows it.
            self.assertEqual(scpi_reply(server.port, "CONF:PER"), "1")
            page.find_element(By.ID, "msgbox-ok").click()
            WebPanelTest.wait(page, lambda p: WebPanelTest.control(p, 1019)
                              .get_attribute("aria-checked") == "true")

    def test_page_reconnects_within_5_s_of_the_server_listening_again(self):
        with temp_dir() as d:
            sim = Sim(d)
            self.addCleanup(sim.stop)
            with socket.socket() as s:
                s.bind(("127.0.0.1", 0))
                port = s.getsockname()[1]
            command = server_command(http=f"127.0.0.1:{port}")
            first = Server(command, env=env_with_ports(d))
            self.addCleanup(first.stop)
            page = WebPanelTest.browser()
            self.addCleanup(page.quit)
            page.get(f"http://127.0.0.1:{port}/panel")
            WebPanelTest.wait(page, lambda p: WebPanelTest.control(p, 1092).text)
            stop_cleanly(first)
            WebPanelTest.wait(page, lambda p: p.find_element(By.ID, "status").text
                              == "Нет связи с сервером: подключение…")
            WebPanelTest.stamp_when(page, "document.getElementById('status').textContent === ''")
            again = Server(command, env=env_with_ports(d))
            self.addCleanup(again.stop)
            self.assertEqual(again.http_port, port, again.text())
            # Server() returns once the server says it serves HTTP.
            self.assertLessEqual(WebPanelTest.stamped_ms_after(page, time.time()), 5000)


if __name__ == "__main__":
    unittest.main()
