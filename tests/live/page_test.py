#!/usr/bin/python3
"""The live view's page in a real browser (Chromium, headless, driven by
Selenium), fed by tests/live/live_driver with what feedcast does not send
(feed_page_test.py has feedwatch and feedcast): the display's labels and
number forms, multi-packet messages as one table, hostile text as text,
columns that sort, rows that filter, a table of many records whose rows
show their values when scrolled to, nothing that breaks the page's security
policy, and the page reconnecting by itself when the server comes back.
Runs in a private network namespace.

Usage: page_test.py LIVE_DRIVER
"""
import json
import os
import subprocess
import sys
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.common.exceptions import NoAlertPresentException
from selenium.webdriver.common.by import By

HOSTILE = "<svg onload=alert()>"  # all 20 characters of a ServerName
failures = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what, flush=True)
    if not ok:
        failures.append(what)


def wait_for(predicate, timeout):
    """Polls `predicate` until it returns a true value or `timeout` seconds pass."""
    deadline = time.monotonic() + timeout
    while True:
        try:
            value = predicate()
        except Exception:  # the page is still being built
            value = None
        if value or time.monotonic() > deadline:
            return value
        time.sleep(0.05)


class Driver:
    """The stand-in for the monitor, with its commands."""

    def __init__(self, path, port=0):
        self.process = subprocess.Popen([path, str(port)], stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, text=True)
        self.port = int(self.process.stdout.readline().split()[1])

    def command(self, *fields):
        self.process.stdin.write("\t".join(str(f) for f in fields) + "\n")
        self.process.stdin.flush()

    def stop(self):
        self.process.stdin.close()
        self.process.wait(10)


def browser():
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for argument in ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                     "--no-first-run", "--disable-background-networking",
                     "--disable-component-update", "--disable-sync", "--window-size=1600,1000",
                     "--user-data-dir=" + tempfile.mkdtemp()]:
        options.add_argument(argument)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def panel(page, server, kind):
    """The panel of a stream, found by the text of its title."""
    for p in page.find_elements(By.CSS_SELECTOR, ".panel"):
        if (p.find_element(By.CSS_SELECTOR, ".server").text == server and
                p.find_element(By.CSS_SELECTOR, ".kind").text == kind):
            return p
    return None


def cells(p, column):
    """The texts of one column of a panel's table, in the order shown."""
    return [row.find_elements(By.TAG_NAME, "td")[column].text
            for row in p.find_elements(By.CSS_SELECTOR, "tbody tr") if row.is_displayed()]


def check_hostile_name(page, kind):
    """The stream of the hostile server name shows it as text, and no markup
    or script of it is made or run."""
    hostile = wait_for(lambda: panel(page, HOSTILE, kind), 5)
    check(hostile is not None, "a hostile server name shows as text")
    check(page.execute_script("return document.querySelectorAll('svg, img').length") == 0,
          "and no markup of it is made")
    try:
        page.switch_to.alert
        check(False, "and none of its script runs")
    except NoAlertPresentException:
        check(True, "and none of its script runs")
    return hostile


def rows_in_view(page, box):
    """The first cell's text of every row of a table's box that shows in
    it, "" for a row without cells."""
    return page.execute_script("""
        const box = arguments[0], b = box.getBoundingClientRect();
        const head = box.querySelector("thead th").getBoundingClientRect().bottom;
        return [...box.querySelectorAll("tbody tr")].filter((r) => {
          const q = r.getBoundingClientRect();
          return !r.hidden && q.bottom > head && q.top < b.bottom;
        }).map((r) => (r.cells.length ? r.cells[0].textContent : ""));""", box)


def check_large_table(page):
    """A table of many records, of which the box shows a few: the rows
    scrolled to show their values, the columns keep their widths, and
    sorting and filtering take every row."""
    big = wait_for(lambda: panel(page, "BIG", "Skillset"), 10)
    check(big is not None and
          wait_for(lambda: big.find_element(By.CSS_SELECTOR, ".count").text == "400 rows", 5),
          "a table of 400 records in two parts")
    box = big.find_element(By.CSS_SELECTOR, ".scroll")
    widths = "return [...arguments[0].querySelectorAll('thead th')].map((th) => th.offsetWidth)"
    before = page.execute_script(widths, box)
    check(rows_in_view(page, box)[:2] == ["0", "100"], "its box shows the first rows")
    page.execute_script("arguments[0].scrollTop = arguments[0].scrollHeight", box)
    check(wait_for(lambda: (lambda shown: shown[-1] == "39900" and all(shown))(rows_in_view(page, box)), 3),
          "scrolled to its end, every row in view shows its values: " + str(rows_in_view(page, box)))
    page.execute_script("arguments[0].scrollTop = arguments[0].scrollHeight / 2", box)
    check(wait_for(lambda: all(rows_in_view(page, box)), 3), "and scrolled half way")
    check(page.execute_script(widths, box) == before, "the columns keep their widths")
    page.execute_script("arguments[0].scrollTop = 0", box)
    big.find_elements(By.TAG_NAME, "th")[0].click()
    big.find_elements(By.TAG_NAME, "th")[0].click()
    check(wait_for(lambda: rows_in_view(page, box)[:2] == ["39900", "39800"], 3),
          "sorting, descending, takes the rows out of view: " + str(rows_in_view(page, box)[:2]))
    big.find_element(By.CSS_SELECTOR, "input").send_keys("20005")
    check(wait_for(lambda: rows_in_view(page, box) == ["20000"], 3),
          "filtering finds a row out of view: " + str(rows_in_view(page, box)))


def main():
    driver_path = sys.argv[1]
    feed = Driver(driver_path)
    feed.command("stream", "CC1", "Skillset", 3, 200, 1)
    feed.command("stream", HOSTILE, "Route", 2, 300, 1)
    feed.command("stream", "CC2", "Agent", 4, 500, 2)
    feed.command("stream", "BIG", "Skillset", 400, 1000, 2)
    page = browser()
    try:
        page.get(f"http://127.0.0.1:{feed.port}/")
        skillset = wait_for(lambda: panel(page, "CC1", "Skillset"), 10)
        check(skillset is not None, "a stream's panel appears")
        check(wait_for(lambda: cells(skillset, 1) == ["1", "101", "201"], 5),
              "the table shows the values the feed sends, labelled as the display labels them")
        labels = [th.text for th in skillset.find_elements(By.TAG_NAME, "th")]
        check(labels[:3] == ["SkillsetId", "AgentAvail", "AgentInSrvc"], "columns: " + str(labels[:3]))

        agent = wait_for(lambda: panel(page, "CC2", "Agent"), 5)
        check(agent is not None and wait_for(lambda: len(cells(agent, 0)) == 4, 5),
              "a message in two parts is one table")
        check(agent is not None and cells(agent, 0)[0] == "0h", "hex where the display shows hex")

        check_hostile_name(page, "Route")

        skillset.find_elements(By.TAG_NAME, "th")[0].click()
        skillset.find_elements(By.TAG_NAME, "th")[0].click()
        check(cells(skillset, 0) == ["200", "100", "0"], "columns sort, descending on the second click")
        skillset.find_element(By.CSS_SELECTOR, "input").send_keys("101")
        check(wait_for(lambda: cells(skillset, 0) == ["100"], 2), "rows filter by text")
        check_large_table(page)

        top = page.find_element(By.ID, "facts").text
        check("235.5.6.7" in top and "Packets/s" in top, "the top line: " + top.replace("\n", " "))

        # The server goes away and comes back on the same port.
        port = feed.port
        feed.stop()
        check(wait_for(lambda: page.find_element(By.ID, "connection").text == "reconnecting", 5),
              "the page notices that the server went away")
        feed = Driver(driver_path, port)
        feed.command("stream", "NEW", "IVR", 1, 200, 1)
        check(wait_for(lambda: panel(page, "NEW", "IVR"), 10) is not None and
              page.find_element(By.ID, "connection").text == "live", "and reconnects by itself")

        # Refused connections while the server was away, and the icon the page has none of.
        expected = ("favicon", "ERR_CONNECTION_REFUSED")
        trouble = [e["message"] for e in page.get_log("browser")
                   if "Content Security Policy" in e["message"] or
                   (e["level"] == "SEVERE" and not any(x in e["message"] for x in expected))]
        check(not trouble, "no script error and no breach of the security policy: " +
              json.dumps(trouble)[:500])
    finally:
        page.quit()
        feed.stop()
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
