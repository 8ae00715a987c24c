#!/usr/bin/python3
"""The web page of `serve --http` in a real browser (headless Chromium through Selenium) against
the demo unit: the token, a finger's drag reaching the unit and redrawing the graph, undo,
changes made over OSC and from a second page, malformed messages.

    web_page_test.py CORVELLA_CLI OSCSEND [--screenshots DIR]
"""
import argparse
import json
import re
import subprocess
import sys
import unittest

from selenium.webdriver.common.by import By

import web_harness as h

ARGS = None


class WebPageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.serve = h.Serve(ARGS.cli, ["--osc-udp", "0"])
        cls.osc_port = int(cls.serve.wait_for(r"OSC over UDP on \S+ port (\d+)").group(1))
        cls.driver = h.browser(390, 844)

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()
        cls.serve.stop()

    def connect(self):
        d = self.driver
        d.get(self.serve.url)
        h.wait(d, lambda: d.find_element(By.TAG_NAME, "body").get_attribute("data-state")
               in ("token", "connected"))
        if d.find_element(By.TAG_NAME, "body").get_attribute("data-state") == "token":
            box = d.find_element(By.ID, "token")
            box.clear()
            box.send_keys(self.serve.token + "\n")
        h.wait(d, lambda: d.find_element(By.TAG_NAME, "body").get_attribute("data-ready") == "1")

    def test_1_a_wrong_token_is_refused_and_the_right_one_kept(self):
        d = self.driver
        d.get(self.serve.url)
        d.execute_script("localStorage.clear()")
        d.get(self.serve.url)
        h.wait(d, lambda: d.find_element(By.ID, "token").is_displayed())
        d.find_element(By.ID, "token").send_keys("not-the-token\n")
        h.wait(d, lambda: "refused" in d.find_element(By.ID, "token-error").text)
        self.assertEqual(d.find_element(By.CSS_SELECTOR, "#units").text, "")
        self.connect()
        # Asked once: a new load goes straight in.
        d.get(self.serve.url)
        h.wait(d, lambda: d.find_element(By.TAG_NAME, "body").get_attribute("data-ready") == "1")
        self.assertIn("ID 1", d.find_element(By.ID, "units").text)
        self.assertIn("online", d.find_element(By.ID, "units").text)

    def test_2_a_drag_reaches_the_unit_redraws_the_graph_and_undoes(self):
        d = self.driver
        self.connect()
        h.open_tab(d, "output")
        path = "output/high/eq/1/gain"
        before = h.shown(d, path)
        graph = d.find_element(By.ID, "group-graph")
        draws = int(graph.get_attribute("data-draws"))
        since = len(self.serve.lines)
        track = h.control(d, path).find_element(By.CSS_SELECTOR, ".track")
        h.finger_drag(d, track, [0.5, 0.6, 0.7, 0.8, 0.9])
        # 0.9 of 48 steps above -12 dB: step 43, +9.5 dB, acknowledged by the unit.
        self.serve.wait_for(r"^corvella-cli: serve: 1 output/high/eq/1/gain = 9\.5$", since)
        h.wait(d, lambda: h.shown(d, path) == "+9.5 dB")
        h.wait(d, lambda: int(graph.get_attribute("data-draws")) > draws)
        # The whole drag is one step back.
        since = len(self.serve.lines)
        d.find_element(By.ID, "undo").click()
        self.serve.wait_for(r"1 output/high/eq/1/gain = ", since)
        h.wait(d, lambda: h.shown(d, path) == before)

    def test_3_changes_made_elsewhere_show(self):
        d = self.driver
        self.connect()
        h.open_tab(d, "levels")
        subprocess.run([ARGS.oscsend, "127.0.0.1", str(self.osc_port),
                        "/corvella/1/output/low/level", "f", "-20.2"], check=True)
        h.wait(d, lambda: h.shown(d, "output/low/level") == "\u221220.0 dB")
        # A second page's change shows on the first.
        first = d.current_window_handle
        d.switch_to.new_window("tab")
        self.connect()
        h.open_tab(d, "levels")
        h.control(d, "output/high/level").find_element(By.CSS_SELECTOR, ".dec").click()
        seen = h.shown(d, "output/high/level")
        d.switch_to.window(first)
        h.wait(d, lambda: h.shown(d, "output/high/level") == seen)
        self.assertEqual(len(d.window_handles), 2)
        d.switch_to.window(d.window_handles[1])
        d.close()
        d.switch_to.window(first)

    def test_4_malformed_messages_are_answered_and_change_nothing(self):
        d = self.driver
        self.connect()
        replies = d.execute_async_script("""
            const done = arguments[arguments.length - 1];
            const token = localStorage.getItem("corvella-token");
            const ws = new WebSocket(`ws://${location.host}/ws?token=${token}`);
            const sent = ['{"op":', '[1,2]', '{"op":"dance"}',
              '{"op":"set","unit":"1","path":"output/high/nothing","value":1}',
              '{"op":"set","unit":"9","path":"output/high/level","value":1}',
              '{"op":"set","unit":"1","path":"output/high/level","value":99}',
              '{"op":"set","unit":"1","path":"output/high/level","value":"loud"}',
              '{"op":"set","unit":"1","path":"link","value":"offline"}',
              JSON.stringify({op: "set", pad: "x".repeat(20000)})];
            const errors = [];
            ws.onmessage = (e) => {
              const m = JSON.parse(e.data);
              if (m.op === "curves" && errors.length === 0 && !ws.sentAll) {
                ws.sentAll = true;
                sent.forEach((s) => ws.send(s));
              }
              if (m.op === "error") errors.push(m.text);
              if (errors.length === sent.length) { ws.close(); done(errors); }
            };""")
        self.assertEqual(replies, [
            "not a JSON object", "not a JSON object", "unknown message",
            "output/high/nothing: unknown address", "output/high/level: no such unit",
            "output/high/level: out of range", "output/high/level: wrong type",
            "link: read only", "message too long"])
        # A socket without the token is refused before it opens.
        refused = d.execute_async_script("""
            const done = arguments[arguments.length - 1];
            const ws = new WebSocket(`ws://${location.host}/ws?token=guess`);
            ws.onopen = () => done("opened");
            ws.onclose = () => done("refused");""")
        self.assertEqual(refused, "refused")

    def test_5_screenshots(self):
        if not ARGS.screenshots:
            self.skipTest("no --screenshots DIR")
        d = self.driver
        for name, (w, hgt), tab in (("phone", (390, 844), "output"),
                                    ("tablet", (1024, 768), "input")):
            d.set_window_size(w, hgt)
            self.connect()
            h.open_tab(d, tab)
            d.save_screenshot(f"{ARGS.screenshots}/web-page-{name}.png")


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("cli")
    parser.add_argument("oscsend")
    parser.add_argument("--screenshots")
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)


if __name__ == "__main__":
    main()
