"""/readings in headless Chromium against the simulator, and curl for its guards;
skipped (77) without chromium and chromedriver."""
import os
import shutil
import subprocess
import unittest

import web_panel_test as wp
from harness import Server, Sim, env_with_ports, scpi_reply, server_command, temp_dir

By = wp.By
VIEW_ONLY = "Только просмотр: изменения с этой страницы отключены"
CHANGED = "Функция или единица измерения изменилась: набор показаний очищен"


def text(page, selector):
    return page.find_element(By.CSS_SELECTOR, selector).text


def count(page, what="[data-stat=count]"):
    return int(text(page, what))


@unittest.skipUnless(wp.webdriver and shutil.which("chromedriver"), "no chromium/chromedriver")
class ReadingsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = temp_dir()
        cls.sim = Sim(cls.tmp.name, extra=wp.NOISY + ["--rate", "50"])
        cls.addClassCleanup(cls.sim.stop)
        cls.server = Server(server_command(), env=env_with_ports(cls.tmp.name))
        cls.addClassCleanup(wp.stop_cleanly, cls.server)
        cls.base = f"http://127.0.0.1:{cls.server.http_port}"
        cls.pages = [wp.WebPanelTest.browser() for _ in range(2)]
        for p in cls.pages:
            cls.addClassCleanup(p.quit)
            p.set_window_size(1200, 900)
            p.get(cls.base + "/readings")
            wp.WebPanelTest.wait(p, lambda d: count(d) > 0)

    def setUp(self):
        scpi_reply(self.server.port, "CONF:FREQ")
        self.click("clear")

    def click(self, action):
        self.pages[0].find_element(By.CSS_SELECTOR, f"[data-action='{action}']").click()

    def wait(self, condition, page=None, timeout=10):
        return wp.WebPanelTest.wait(page or self.pages[0], condition, timeout)

    def set_limits(self, lower, upper):
        for name, value in (("lower", lower), ("upper", upper)):
            field = self.pages[0].find_element(By.CSS_SELECTOR, f"[data-limit={name}]")
            field.clear()
            field.send_keys(value)
        self.click("apply-limits")

    def test_readings_statistics_and_charts(self):
        page = self.pages[0]
        self.assertEqual(page.find_element(By.TAG_NAME, "html").get_attribute("lang"), "ru")
        first = count(page)
        self.wait(lambda d: count(d) > first + 20)
        # Numbers with a decimal point.
        stats = [float(text(page, f"[data-stat={s}]"))
                 for s in ("mean", "sd", "min", "max", "pp", "adev")]
        self.assertAlmostEqual(stats[0], 1000, delta=2)
        self.assertEqual(text(page, "td[data-unit]"), "kHz")
        for chart in ("trend", "histogram"):
            drawn = page.find_element(By.CSS_SELECTOR, f"[data-chart={chart}]")
            self.assertGreater(int(drawn.get_attribute("data-points")), 1, chart)
        # The README's picture, when asked for: KOLVANE_READINGS_SHOT=docs/web-readings.png.
        if os.environ.get("KOLVANE_READINGS_SHOT"):
            self.set_limits("998.5", "1001.5")
            self.wait(lambda d: count(d) > 300 and count(d, "[data-limit-count=fail]") > 0,
                      timeout=20)
            page.save_screenshot(os.environ["KOLVANE_READINGS_SHOT"])

    def test_limits_fail_in_every_page_and_clear(self):
        self.set_limits("2000", "3000")
        other = self.pages[1]
        self.wait(lambda d: count(d, "[data-limit-count=fail]") > 3, page=other)
        self.assertEqual(count(other, "[data-limit-count=pass]"), 0)
        self.assertRegex(text(other, "[data-first-fail]"), r"^\d{4}-\d\d-\d\dT")
        self.assertEqual(other.find_element(By.CSS_SELECTOR, "[data-limit=upper]")
                         .get_attribute("value"), "3000")
        before = count(other)
        self.click("clear")
        self.wait(lambda d: count(d) < before and count(d, "[data-limit-count=fail]") < 4,
                  page=other)
        self.set_limits("", "")

    def test_function_change_clears_and_says_so(self):
        self.wait(lambda d: count(d) > 5)
        self.assertEqual(scpi_reply(self.server.port, "CONF:PER"), "1")
        notice = self.wait(lambda d: d.find_element(By.ID, "notice").is_displayed()
                           and d.find_element(By.ID, "notice"))
        self.assertEqual(notice.text, CHANGED)
        self.assertIn(text(self.pages[0], "td[data-unit]"), ("mkS", "mS"))

    def test_csv_download_read_by_the_logger(self):
        self.wait(lambda d: count(d) > 10)
        link = self.pages[0].find_element(By.CSS_SELECTOR, "[data-action=download]")
        self.assertEqual(link.get_attribute("href"), self.base + "/readings.csv")
        csv = subprocess.run(["curl", "-sS", "--max-time", "5", link.get_attribute("href")],
                             capture_output=True, text=True, check=True).stdout
        lines = csv.splitlines()
        self.assertEqual(lines[0], "time,elapsed_s,mode,value,unit,status")
        self.assertEqual(lines[1].split(",")[1], "0.000")
        if not os.environ.get("KOLVANE_LOG"):
            self.skipTest("no kolvane-log in this build")
        path = os.path.join(self.tmp.name, "readings.csv")
        with open(path, "w") as f:
            f.write(csv)
        r = subprocess.run([os.environ["KOLVANE_LOG"], "--analyze", path], capture_output=True,
                           text=True)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn(f"Readings: {len(lines) - 1} ok", r.stdout + r.stderr)

    def test_guards(self):
        port = self.server.http_port
        for origin, host, expected in ((None, None, 101), (f"http://127.0.0.1:{port}", None, 101),
                                       ("http://attacker.example", None, 403),
                                       (None, "attacker.example", 421)):
            self.assertEqual(wp.handshake(port, origin, host, "/readings/live"), expected,
                             (origin, host))
        for path in ("/readings", "/readings.csv"):
            head = wp.curl_head("-H", "Host: attacker.example", self.base + path)
            self.assertTrue(head.startswith("HTTP/1.1 421"), (path, head))


@unittest.skipUnless(wp.webdriver and shutil.which("chromedriver"), "no chromium/chromedriver")
class ReadingsBoundsTest(unittest.TestCase):
    def test_max_clients_and_view_only(self):
        with temp_dir() as d:
            sim = Sim(d, extra=wp.NOISY)
            self.addCleanup(sim.stop)
            server = Server(server_command("--max-clients", "1", "--web-view-only"),
                            env=env_with_ports(d))
            self.addCleanup(server.stop)
            base = f"http://127.0.0.1:{server.http_port}"
            page = wp.WebPanelTest.browser()
            self.addCleanup(page.quit)
            page.get(base + "/readings")
            wp.WebPanelTest.wait(page, lambda p: count(p) > 2)
            for path in ("/readings", "/panel"):
                head = wp.curl_head(base + path)
                self.assertTrue(head.startswith("HTTP/1.1 503"), head)
                self.assertIn("Retry-After:", head)
            self.assertEqual(wp.handshake(server.http_port, path="/readings/live"), 503)
            # The download is no change: it stays open to a view-only page.
            self.assertIn("200", wp.curl_head(base + "/readings.csv").split("\r\n")[0])
            before = count(page)
            page.find_element(By.CSS_SELECTOR, "[data-action=clear]").click()
            box = wp.WebPanelTest.wait(page, lambda p: p.find_element(By.ID, "alert")
                                       .is_displayed() and p.find_element(By.ID, "alert"))
            self.assertEqual(box.text.splitlines()[0], VIEW_ONLY)
            self.assertGreaterEqual(count(page), before)


if __name__ == "__main__":
    unittest.main()
