#!/usr/bin/python3
"""The web page of `serve --http` in headless Chromium against the demo unit:

- a finger's drag on the HIGH level: from the finger's release (the page's clock) to the frame
  with the drag's last value leaving for the unit (the time serve's protocol journal gives the
  frame; both clocks are the system's), as the window's slider drag is measured;
- a change made elsewhere (OSC): from serve's line that the unit acknowledged it (written as the
  change goes to every front end) to the page holding the new value;
- the first load: bytes of the page's files and of the WebSocket's first messages, and the time
  from navigation to the first curves drawn with every control in place.

    bench/web_page.py [path/to/corvella-cli] [RUNS]
"""
import datetime
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "web"))
import web_harness as h  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402

PATH = "output/high/level"


def value_text(v):
    # As serve's log writes a number: six significant digits, no trailing zeros.
    return format(v, ".6g")


# The HIGH output's level frame as the journal writes it: ID 01, command $049, channel 1, code.
HIGH_LEVEL_TX = re.compile(r"^(\S+ \S+) \S+ TX \(01\$0491(\d{3})\)$")


def last_level_frame(journal, code):
    """The time of the journal's last HIGH level frame once it carries `code` (the journal is
    written by a thread of its own, so it may lag the log a little)."""
    deadline = time.monotonic() + h.LIMIT
    while time.monotonic() < deadline:
        with open(journal, encoding="latin-1") as f:
            frames = [m for m in map(HIGH_LEVEL_TX.match, f.read().splitlines()) if m]
        if frames and int(frames[-1].group(2)) == code:
            return datetime.datetime.strptime(frames[-1].group(1), "%Y-%m-%d %H:%M:%S.%f").timestamp()
        time.sleep(0.01)
    raise AssertionError(f"no level frame with code {code} in the journal")


def drag_lags(driver, serve, journal, runs):
    h.open_tab(driver, "levels")
    track = h.control(driver, PATH).find_element(By.CSS_SELECTOR, ".track")
    driver.execute_script("""
        arguments[0].addEventListener("pointerup",
            () => { window.releasedAt = performance.timeOrigin + performance.now(); },
            { capture: true });""", track)
    lags = []
    for run in range(runs):
        # About a second of dragging, ending somewhere else each time.
        start, end = (0.2, 0.8) if run % 2 == 0 else (0.85, 0.25 + 0.01 * run)
        path = [start + (end - start) * i / 40 for i in range(41)]
        since = len(serve.lines)
        h.finger_drag(driver, track, path)
        released = driver.execute_script("return window.releasedAt") / 1000.0
        index = driver.execute_script(f"return app.controls.get('{PATH}').index")
        value = driver.execute_script(f"return app.hello.steps.level[{index}]")
        serve.wait_for(rf"serve: 1 {PATH} = {value_text(value)}$", since)
        code = round((value + 90.5) * 2)
        lags.append((last_level_frame(journal, code) - released) * 1000.0)
    return lags


def osc_to_page(driver, serve, osc_port, runs):
    """A set over OSC, alternating two values: the acknowledgement's line to the page's receipt."""
    lags = []
    for run in range(runs):
        value = -30.0 if run % 2 == 0 else -40.0
        since = len(serve.lines)
        subprocess.run(["oscsend", "127.0.0.1", str(osc_port), "/corvella/1/output/low/level",
                        "f", str(value)], check=True)
        serve.wait_for(rf"serve: 1 output/low/level = {value_text(value)}$", since)
        acknowledged = serve.at
        h.wait(driver, lambda: driver.execute_script(
            "return app.values['1']['output/low/level']") == value)
        shown = driver.execute_script("return app.shownAt['output/low/level']") / 1000.0
        lags.append((shown - acknowledged) * 1000.0)
    return lags


def first_loads(serve, runs):
    sizes, ready = [], []
    for _ in range(runs):
        driver = h.browser(390, 844)
        try:
            driver.get(serve.url + "#token=" + serve.token)
            h.wait(driver, lambda: driver.find_element(By.TAG_NAME, "body")
                   .get_attribute("data-ready") == "1")
            ready.append(driver.execute_script(
                "return performance.getEntriesByName('corvella-ready')[0].startTime"))
            files = driver.execute_script("""
                const all = [...performance.getEntriesByType('navigation'),
                             ...performance.getEntriesByType('resource')];
                return all.reduce((n, e) => n + e.transferSize, 0);""")
            sizes.append((files, driver.execute_script("return app.receivedBytes")))
        finally:
            driver.quit()
    return sizes, ready


def main():
    cli = sys.argv[1] if len(sys.argv) > 1 else "build/release/bin/corvella-cli"
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 20
    journal = os.path.join(tempfile.mkdtemp(), "journal.txt")
    serve = h.Serve(cli, ["--osc-udp", "0"], options=["--log", journal])
    osc_port = int(serve.wait_for(r"OSC over UDP on \S+ port (\d+)").group(1))
    try:
        driver = h.browser(390, 844)
        try:
            driver.get(serve.url + "#token=" + serve.token)
            h.wait(driver, lambda: driver.find_element(By.TAG_NAME, "body")
                   .get_attribute("data-ready") == "1")
            lags = drag_lags(driver, serve, journal, runs)
            shown = osc_to_page(driver, serve, osc_port, runs)
        finally:
            driver.quit()
        sizes, ready = first_loads(serve, 10)
    finally:
        serve.stop()
    print(f"web page drag: release to the frame with the last level, "
          f"median {statistics.median(lags):.0f} ms, worst {max(lags):.0f} ms over {runs} drags "
          f"(goal <= 200 ms)")
    print(f"web page: an OSC change from its acknowledgement to the page, median "
          f"{statistics.median(shown):.1f} ms, worst {max(shown):.1f} ms over {runs} changes "
          f"(goal <= 100 ms)")
    files, socket = sizes[-1]
    print(f"web page first load: files {files / 1024:.1f} KiB, WebSocket's first messages "
          f"{socket / 1024:.1f} KiB, together {(files + socket) / 1024:.1f} KiB (goal < 300 kB)")
    print(f"web page interactive (first curves drawn, controls in place): median "
          f"{statistics.median(ready):.0f} ms, worst {max(ready):.0f} ms over {len(ready)} loads "
          f"(goal < 1000 ms)")


if __name__ == "__main__":
    main()
