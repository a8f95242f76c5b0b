#!/usr/bin/python3
"""feedwatch --http end to end, in a private network namespace: two feedcasts
send Skillset tables, one under a hostile ServerName; a real browser (Chromium,
headless, driven by Selenium) finds a value that feedcast sends, sees an edit
of feedcast.ini appear within 2 s, highlighted, sees the stopped sender's
stream marked stale, the hostile name as text with none of its script run,
and opens a cell's chart.  The metrics pass promtool's check and agree with
the summary of --stats --json at the end of the run.

Usage: feed_page_test.py FEEDCAST FEEDWATCH [SCREENSHOT]
"""
import json
import os
import re
import signal
import subprocess
import sys
import tempfile
import time
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from page_test import (HOSTILE, browser, cells, check, check_hostile_name, failures,  # noqa: E402
                       panel, wait_for)
from selenium.webdriver.common.by import By  # noqa: E402

PORT = 8480


def feedcast_ini(server, available):
    """A Skillset table of two records, sent every second as `server`."""
    return ("[MCast]\nSource=111\nIP=235.5.6.7\nMessageType=2\nStatScheme=0\n"
            f"ServerName={server}\nUpdateRate=1\nTTL=1\n"
            "[Skillset]\nNumber=2\nEncode=0\nSkillsetID0=201\n"
            f"AgentsAvailable0={available}\nSkillsetID1=202\nAgentsAvailable1=5\n")


def start_feedcast(path, folder, server, available):
    os.makedirs(folder)
    with open(os.path.join(folder, "feedcast.ini"), "w") as f:
        f.write(feedcast_ini(server, available))
    return subprocess.Popen([path, "-q"], cwd=folder, stdout=subprocess.DEVNULL)


def edit(folder, server, available):
    """Replaces feedcast.ini at once, so that no read sees half a file."""
    with open(os.path.join(folder, "new.ini"), "w") as f:
        f.write(feedcast_ini(server, available))
    os.replace(os.path.join(folder, "new.ini"), os.path.join(folder, "feedcast.ini"))


def fetch(path):
    with urllib.request.urlopen(f"http://127.0.0.1:{PORT}{path}", timeout=5) as response:
        return response.read().decode()


def samples(metrics):
    """The metrics' samples: name with labels -> value."""
    return {m.group(1): float(m.group(2))
            for m in re.finditer(r"^([a-z_]+(?:\{[^}]*\})?) (\S+)$", metrics, re.M)}


def main():
    feedcast, feedwatch = sys.argv[1], sys.argv[2]
    work = tempfile.mkdtemp()
    # The display goes to a file: a pipe nobody reads would stop the monitor.
    display = open(os.path.join(work, "display"), "w+")
    watch = subprocess.Popen([feedwatch, "--stats", "--json", "--http", str(PORT), "6040"],
                             cwd=work, stdout=display, stderr=subprocess.DEVNULL)
    check(wait_for(lambda: fetch("/metrics"), 5), "feedwatch serves the live view")
    plain = os.path.join(work, "cc1")
    senders = [start_feedcast(feedcast, plain, "CC1", 4),
               start_feedcast(feedcast, os.path.join(work, "hostile"), HOSTILE, 7)]
    page = browser()
    try:
        page.get(f"http://127.0.0.1:{PORT}/")
        skillset = wait_for(lambda: panel(page, "CC1", "Skillset"), 10)
        check(skillset is not None and wait_for(lambda: cells(skillset, 1) == ["4", "5"], 5),
              "the page shows a value that feedcast sends")

        sent = time.monotonic()
        edit(plain, "CC1", 4242)
        changed = wait_for(lambda: [c for c in skillset.find_elements(By.CSS_SELECTOR, "td.changed")
                                    if c.text == "4242"], 2.5)
        check(bool(changed) and time.monotonic() - sent < 2,
              "an edit of feedcast.ini appears within 2 s and is highlighted")
        check(wait_for(lambda: not skillset.find_elements(By.CSS_SELECTOR, "td.changed"), 4),
              "the highlight goes after two seconds")

        check_hostile_name(page, "Skillset")

        skillset.find_elements(By.CSS_SELECTOR, "tbody td")[1].click()
        check(wait_for(lambda: page.find_element(By.ID, "chart-box").is_displayed() and
                       page.find_elements(By.CSS_SELECTOR, "#chart canvas"), 3), "a cell's chart opens")
        if len(sys.argv) > 3:
            page.save_screenshot(sys.argv[3])
        page.find_element(By.ID, "chart-close").click()

        senders[1].send_signal(signal.SIGINT)
        # Its last table came at most a second (its UpdateRate) before.
        stopped = time.monotonic() - 1
        check(wait_for(lambda: "stale" in panel(page, HOSTILE, "Skillset").get_attribute("class"), 10)
              and time.monotonic() - stopped >= 5,
              "the stopped sender's stream is marked stale, after %.1f s" % (time.monotonic() - stopped))
        check("stale" not in skillset.get_attribute("class"), "the live one is not")
    finally:
        page.quit()
        for s in senders:
            s.send_signal(signal.SIGINT)
            s.wait(10)

    # Once the feed is quiet, the metrics of the last summary are the run's.
    metrics = fetch("/metrics")
    for _ in range(10):
        time.sleep(1.2)
        metrics, before = fetch("/metrics"), metrics
        if samples(metrics).get("feedwatch_datagrams_total") == \
                samples(before).get("feedwatch_datagrams_total"):
            break
    promtool = subprocess.run(["promtool", "check", "metrics"], input=metrics, text=True,
                              capture_output=True)
    check(promtool.returncode == 0, "promtool accepts the metrics: " + promtool.stdout + promtool.stderr)
    watch.send_signal(signal.SIGINT)
    watch.wait(10)
    display.seek(0)
    summary = json.loads(display.read().strip().split("\n")[-1])
    values = samples(metrics)
    for name, key in [("feedwatch_datagrams_total", "datagrams"),
                      ("feedwatch_displayed_packets_total", "displayed"),
                      ("feedwatch_kernel_drops_total", "kernel_drops"),
                      ("feedwatch_gaps_total", "gaps")]:
        check(values.get(name) == summary[key], f"{name} {values.get(name)} is {key} {summary[key]}")
    for stream in summary["streams"]:
        server = stream["server"].replace("\\", "\\\\").replace('"', '\\"')
        labels = f'{{server="{server}",kind="{stream["kind"]}",scheme="{stream["scheme"]}"}}'
        for name, value in [("packets_total", stream["packets"]),
                            ("duplicates_total", stream["duplicates"]),
                            ("backward_steps_total", stream["backwards"]),
                            ("last_timestamp_seconds", stream["last_timestamp"]),
                            ("interval_seconds_count", stream["packets"] - 1)]:
            name = "feedwatch_stream_" + name + labels
            check(values.get(name) == value, f"{name} {values.get(name)} is {value}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
