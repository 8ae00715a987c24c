"""`corvella-cli --demo serve --http` and headless Chromium for the web page's test and benchmark.

Everything is waited for by condition, never by time: serve's log lines as they arrive, the
page's state through Selenium's waits.
"""
import os
import queue
import re
import subprocess
import threading
import time

from selenium import webdriver
from selenium.webdriver.chrome.options import Options
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.actions import interaction
from selenium.webdriver.common.actions.action_builder import ActionBuilder
from selenium.webdriver.common.actions.pointer_input import PointerInput
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

LIMIT = 20  # seconds any single condition may take on a loaded CI machine


class Serve:
    """serve with the demo unit; its log lines are collected with the time each arrived."""

    def __init__(self, cli, extra=(), options=()):
        self.process = subprocess.Popen(
            [cli, "--demo", *options, "serve", "--fast", "--http", "0", *extra],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
            text=True, bufsize=1)
        self.lines = []
        self.arrived = queue.Queue()
        threading.Thread(target=self._collect, daemon=True).start()
        page = self.wait_for(r"web page on (http://\S+/) token (\w+)")
        self.url, self.token = page.group(1), page.group(2)
        self.wait_for(r"serving \d+ unit")

    def _collect(self):
        for line in self.process.stderr:
            self.arrived.put((time.time(), line.rstrip("\n")))
        self.arrived.put((time.time(), None))

    def wait_for(self, pattern, since=0, limit=LIMIT):
        """The first line from index `since` on that matches (its time of arrival in `self.at`);
        raises once `limit` passed."""
        deadline = time.monotonic() + limit
        while True:
            for i in range(since, len(self.lines)):
                m = re.search(pattern, self.lines[i][1])
                if m:
                    self.at = self.lines[i][0]
                    return m
            since = len(self.lines)
            try:
                item = self.arrived.get(timeout=max(0.0, deadline - time.monotonic()))
            except queue.Empty:
                raise AssertionError(f"serve never said /{pattern}/; it said:\n" +
                                     "\n".join(l for _, l in self.lines[-20:]))
            if item[1] is None:
                raise AssertionError(f"serve ended before /{pattern}/")
            self.lines.append(item)

    def stop(self):
        self.process.terminate()
        try:
            self.process.wait(timeout=LIMIT)
        except subprocess.TimeoutExpired:
            self.process.kill()


def browser(width, height):
    options = Options()
    options.binary_location = os.environ.get("CORVELLA_CHROMIUM", "/usr/bin/chromium")
    for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                 "--hide-scrollbars", f"--window-size={width},{height}"):
        options.add_argument(flag)
    service = Service(os.environ.get("CORVELLA_CHROMEDRIVER", "/usr/bin/chromedriver"))
    driver = webdriver.Chrome(service=service, options=options)
    driver.set_window_size(width, height)
    return driver


def wait(driver, condition, limit=LIMIT):
    return WebDriverWait(driver, limit, poll_frequency=0.02).until(lambda d: condition())


def control(driver, path):
    return driver.find_element(By.CSS_SELECTOR, f'.ctl[data-path="{path}"]')


def shown(driver, path):
    return control(driver, path).find_element(By.CSS_SELECTOR, ".val").text


def finger_drag(driver, element, fractions):
    """A touch on `element` at the first fraction of its width, moved through the rest, lifted."""
    finger = PointerInput(interaction.POINTER_TOUCH, "finger")
    actions = ActionBuilder(driver, mouse=finger, duration=16)
    width = element.size["width"]
    for i, f in enumerate(fractions):
        actions.pointer_action.move_to(element, int((f - 0.5) * (width - 2)), 0)
        if i == 0:
            actions.pointer_action.pointer_down()
    actions.pointer_action.pointer_up()
    actions.perform()


def open_tab(driver, tab):
    driver.find_element(By.CSS_SELECTOR, f'#tabs button[data-tab="{tab}"]').click()
