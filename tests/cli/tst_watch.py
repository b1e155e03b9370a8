#!/usr/bin/python3
# SPDX-License-Identifier: LGPL-2.1-or-later
"""norvo watch in a real browser (headless Chromium) against norvo-sim.

A value the simulator's generator raises shows as a rising line, each line
on its own scale or all on one; a write from the page (norvo started with
--allow-write) lands in the simulator's memory, a value norvo refuses is
said to be refused by norvo, and bits offer no write but say why; a failed
read keeps the last value, marked stale; a dropped link shows as a gap,
then as restored, its names never on top of each other; when norvo stops,
the page says so; without the chart library the page says that and keeps its table.
Takes a screenshot for the README.

  tst_watch.py SIM NORVO PLUGIN SCREENSHOT
"""
import json
import os
import signal
import subprocess
import sys
import tempfile
import time
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from headless import browser  # noqa: E402

from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import Select, WebDriverWait

WAIT_S = 40  # generous: the machine is small and shared

MEMORY = """# a tank filling, a setpoint and a pump
D100:int16 = ramp(10, 30000, 1, 150ms)
D200:uint16 = 7
M0 = 1, 0
"""


def start(command, first_word, env=None):
    """Starts a program whose first stdout line is "WORD ADDRESS"."""
    process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                               text=True, env=env)
    words = process.stdout.readline().split()
    if len(words) != 2 or words[0] != first_word:
        process.kill()
        sys.exit("%s did not print its %s line: %r" % (command[0], first_word, words))
    return process, words[1]


def api(http, method, path, body=None):
    data = json.dumps(body).encode() if body is not None else None
    request = urllib.request.Request("http://%s%s" % (http, path), data=data, method=method)
    with urllib.request.urlopen(request, timeout=WAIT_S) as reply:
        return json.loads(reply.read())


def series(page, label, field="v"):
    """A line's values (v), or where they are drawn (y)."""
    return page.execute_script(
        "const d = window.norvoWatch && window.norvoWatch.state.series.get(arguments[0]);"
        "return d ? d.data.map(p => p[arguments[1]]) : [];", label, field)


def cell(page, item, name):
    return page.find_element(By.CSS_SELECTOR, "#item-%d td.%s" % (item, name)).text


def write_from_page(page, wait, item, text):
    """Types a value into the item's box, confirms, and gives the outcome."""
    page.find_element(By.CSS_SELECTOR, "#item-%d td.write input" % item).send_keys(text)
    page.find_element(By.CSS_SELECTOR, "#item-%d td.write button" % item).click()
    alert = wait.until(lambda p: p.switch_to.alert)
    question = alert.text
    alert.accept()
    outcome = "#item-%d .outcome" % item
    wait.until(lambda p: p.find_element(By.CSS_SELECTOR, outcome).text not in ("", "writing…"))
    return question, page.find_element(By.CSS_SELECTOR, outcome).text


def events(page):
    return page.execute_script(
        "return window.norvoWatch ? window.norvoWatch.state.events.map(e => e.event) : [];")


def check(condition, message):
    if not condition:
        sys.exit(message)


def main():
    sim, norvo, plugin, screenshot = sys.argv[1:5]
    processes = []
    page = None
    with tempfile.TemporaryDirectory() as folder:
        memory_file = os.path.join(folder, "plc.txt")
        with open(memory_file, "w") as out:
            out.write(MEMORY)
        try:
            simulator, plc_line = start([sim, "--tcp", "127.0.0.1:0", "--http", "127.0.0.1:0",
                                         "--load", memory_file], "tcp")
            processes.append(simulator)
            http = simulator.stdout.readline().split()[1]
            watch, url = start([norvo, "--plugin", plugin, "--interval", "200", "--allow-write",
                                plc_line, "watch", "D100:int16", "D200:uint16", "M0:bool:2"], "watch")
            processes.append(watch)

            page = browser(os.path.join(folder, "profile"), "1280,900")
            wait = WebDriverWait(page, WAIT_S)
            page.get(url)

            # The level rises, and the table shows it with its hex.
            wait.until(lambda p: len([y for y in series(p, "D100") if y is not None]) >= 8)
            levels = [y for y in series(page, "D100") if y is not None]
            check(levels == sorted(levels) and levels[-1] > levels[0],
                  "D100's line does not rise: %r" % levels)
            row = page.find_element(By.ID, "item-0")
            check(row.find_element(By.CLASS_NAME, "hex").text.startswith("0x"),
                  "no hex in the table: %r" % row.text)
            check(series(page, "M0") and series(page, "M1"), "the bits have no lines")

            # Each line on its own scale: the level spans the plot, the
            # setpoint that never moves sits in its middle, the legend names
            # the real values; on one shared axis they are drawn as they are.
            drawn = [y for y in series(page, "D100", "y") if y is not None]
            check(all(0 <= y <= 1 for y in drawn) and max(drawn) == 1,
                  "the level is not on a scale of its own: %r" % drawn)
            check(set(series(page, "D200", "y")) == {0.5}, "the still setpoint is not in the middle: %r"
                  % series(page, "D200", "y"))
            legend = page.execute_script(
                "const c = window.norvoWatch.state.chart;"
                "return c.options.plugins.legend.labels.generateLabels(c).map(l => l.text);")
            check("D200 (7 … 7)" in legend, "the legend does not name the real values: %r" % legend)
            tip = page.execute_script(
                "const c = window.norvoWatch.state.chart;"
                "return c.options.plugins.tooltip.callbacks.label({dataset: {label: 'D200'}, raw: {y: 0.5, v: 7}});")
            check(tip == "D200: 7", "the tooltip does not give the value: %r" % tip)
            Select(page.find_element(By.ID, "scales")).select_by_value("shared")
            check(series(page, "D100", "y") == series(page, "D100"), "the shared axis does not draw values")
            Select(page.find_element(By.ID, "scales")).select_by_value("own")

            # Bits cannot be written alone: no box, but why.
            check(not page.find_elements(By.CSS_SELECTOR, "#item-2 td.write input")
                  and "16-bit words" in cell(page, 2, "write") and "--merge M0" in cell(page, 2, "write"),
                  "the bits offer a write or do not say why not: %r" % cell(page, 2, "write"))

            # A value norvo refuses is norvo's refusal, with why.
            _, outcome = write_from_page(page, wait, 0, "99999")
            check("norvo refused" in outcome and '"99999" is out of range for int16 (-32768 to 32767)' in outcome,
                  "the refusal does not say who and why: %r" % outcome)

            # A write from the page, confirmed, lands in the simulator.
            question, outcome = write_from_page(page, wait, 1, "50")
            check("50 to D200" in question and "uint16" in question,
                  "the confirmation does not say what goes where: %r" % question)
            check(outcome == "written", "the write failed: %r" % outcome)
            memory = api(http, "GET", "/api/memory/D200?type=uint16")
            check(memory["values"] == [50], "the write did not land: %r" % memory)
            wait.until(lambda p: cell(p, 1, "value") == "50")

            # Reads failing: the last value stays, marked stale, its age
            # counted from the last good read, the failure beside it.
            api(http, "POST", "/api/faults", {"kind": "error"})
            wait.until(lambda p: "stale" in p.find_element(By.ID, "item-1").get_attribute("class"))
            value = page.find_element(By.CSS_SELECTOR, "#item-1 td.value")
            check(value.text == "50stale" and value.value_of_css_property("font-style") == "italic"
                  and value.find_element(By.CLASS_NAME, "stale-mark").is_displayed(),
                  "the stale value is not the last one, marked: %r" % value.text)
            check(not cell(page, 1, "status").startswith("0 "), "no failure shown: %r" % cell(page, 1, "status"))
            wait.until(lambda p: cell(p, 1, "age").endswith(" s") and float(cell(p, 1, "age")[:-2]) >= 2)
            api(http, "DELETE", "/api/faults/error")
            wait.until(lambda p: cell(p, 1, "value") == "50")

            # Other sites' requests: tst_clirun (webServersRefuseOtherSites).

            # A dropped link: a gap, then the link restored. The gap is in the
            # line of the item whose read met the dropped link, whichever it was.
            api(http, "POST", "/api/links/drop")
            wait.until(lambda p: "link restored" in events(p))
            check("link lost" in events(page), "no loss marked: %r" % events(page))
            # Names of events close together are one label; far apart, two.
            labels = page.execute_script(
                "const e = [{time: 0, event: 'link lost'}, {time: 5, event: 'link restored'},"
                "           {time: 10, event: 'link lost'}, {time: 500, event: 'link restored'}];"
                "return window.norvoWatch.eventLabels(e, t => t, s => 6 * s.length).map(l => [l.x, l.text]);")
            check(labels == [[0, "link lost ×2, restored"], [500, "link restored"]],
                  "event names overlap: %r" % labels)
            lines = ("D100", "D200", "M0", "M1")
            wait.until(lambda p: any(None in series(p, label) for label in lines))
            wait.until(lambda p: series(p, "D100")[-1] is not None)

            time.sleep(3)  # the line goes on after the gap, for the picture
            check(page.save_screenshot(screenshot), "no screenshot written to " + screenshot)

            # norvo stops: the page says so.
            watch.send_signal(signal.SIGINT)
            watch.wait(timeout=WAIT_S)
            wait.until(lambda p: "stopped" in p.find_element(By.ID, "banner").text
                       and p.find_element(By.ID, "banner").is_displayed())

            # Without the chart library: said so, and the table still lives.
            environment = dict(os.environ, NORVO_CHART_JS=os.path.join(folder, "missing.js"))
            bare, bare_url = start([norvo, "--plugin", plugin, "--interval", "200", plc_line,
                                    "watch", "D200:uint16"], "watch", env=environment)
            processes.append(bare)
            page.get(bare_url)
            wait.until(lambda p: p.find_element(By.CSS_SELECTOR, "#item-0 td.value").text == "50")
            check("libjs-chart.js" in page.find_element(By.ID, "chart-missing").text,
                  "the missing chart library is not named")
            check(not page.find_elements(By.CSS_SELECTOR, "#item-0 td.write"),
                  "writes offered without --allow-write")
            print("watch ok; screenshot in " + screenshot)
        finally:
            if page is not None:
                page.quit()
            for process in processes:
                if process.poll() is None:
                    process.terminate()
                    process.wait(timeout=WAIT_S)


if __name__ == "__main__":
    main()
