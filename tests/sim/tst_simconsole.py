#!/usr/bin/python3
# SPDX-License-Identifier: LGPL-2.1-or-later
"""The web console of norvo-sim in a real browser (headless Chromium).

Opens the page, sees each label in its declared type (a float over two
registers) under column offsets, edits a memory cell and checks that a read through the
driver plug-in (the norvo command line) returns the new value; cancels an
edit with Escape; switches the drop fault on, checks that the driver's next
read gives status 8 and changes the fault's parameter while it is on; sees
a refused edit's message leave with its view;
watches a generated value move, starts a generator and loads a bad memory
file from the page; filters the log and counts what the filter lets
through; takes a screenshot; then
fits the page into 800 px, stops the simulator (the page says it cannot be
reached) and starts another on the same port (the page starts afresh).

  tst_simconsole.py SIM NORVO PLUGIN SCREENSHOT
"""
import json
import os
import re
import subprocess
import sys
import tempfile
import time
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from headless import browser  # noqa: E402
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.common.exceptions import StaleElementReferenceException
from selenium.webdriver.support.ui import Select, WebDriverWait

WAIT_S = 30  # generous: the machine is small and shared

MEMORY = """# a tank, a pump and two alarms
D0:int16 = 250, -40, 1200, 7
D8:float = 4.2743594
D10:int32 = 100000
D40:uint16 = counter(200ms)
X0 = 1, 0, 1
M16 = 1
"""


def start_sim(sim, memory_file, http="127.0.0.1:0"):
    process = subprocess.Popen(
        [sim, "--tcp", "127.0.0.1:0", "--http", http, "--station", "1,2",
         "--load", memory_file, "--log"],
        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    link = process.stdout.readline().split()
    http = process.stdout.readline().split()
    if len(link) != 2 or link[0] != "tcp" or len(http) != 2 or http[0] != "http":
        process.kill()
        sys.exit("norvo-sim did not print its tcp and http lines: %r %r" % (link, http))
    return process, link[1], http[1]


def driver_read(norvo, plugin, plc, label, type_name):
    """One read through the plug-in, as a panel would do it."""
    run = subprocess.run([norvo, "--plugin", plugin, "--json", plc, "read", label, type_name],
                         capture_output=True, text=True, timeout=WAIT_S)
    lines = [line for line in run.stdout.splitlines() if line.strip()]
    return json.loads(lines[-1]) if lines else {"status": None, "stderr": run.stderr}


def api(http, path):
    with urllib.request.urlopen("http://%s%s" % (http, path), timeout=WAIT_S) as answer:
        return json.load(answer)


def settled(read):
    """What read() gives once the grid is not being drawn anew under it."""
    for _ in range(100):
        try:
            return read()
        except StaleElementReferenceException:
            time.sleep(0.05)
    return read()


def attribute(page, element_id, name):
    return page.find_element(By.ID, element_id).get_attribute(name) or ""


def show(page, start, type_name):
    """Points the memory table at D<start> in a type."""
    field = page.find_element(By.ID, "start")
    field.clear()
    field.send_keys(str(start), Keys.TAB)
    Select(page.find_element(By.ID, "type")).select_by_value(type_name)


def main():
    sim, norvo, plugin, screenshot = sys.argv[1:5]
    with tempfile.TemporaryDirectory() as folder:
        memory_file = os.path.join(folder, "plc.txt")
        with open(memory_file, "w") as out:
            out.write(MEMORY)
        process, plc, http = start_sim(sim, memory_file)
        page = None
        try:
            page = browser(os.path.join(folder, "profile"))
            # The grid is drawn anew on each refresh: a cell found a moment
            # ago may be gone, which is no failure while waiting.
            wait = WebDriverWait(page, WAIT_S, ignored_exceptions=[StaleElementReferenceException])
            page.get("http://%s/" % http)
            wait.until(lambda p: p.find_element(By.ID, "cell-0").get_attribute("value") == "250")

            # As declared: D8:float is one cell over D8 and D9, under offsets +0..+7.
            wait.until(lambda p: attribute(p, "cell-8", "value") == "4.274359")
            span = page.execute_script("return document.getElementById('cell-8').parentElement.colSpan")
            if span != 2 or page.find_elements(By.ID, "cell-9"):
                sys.exit("D8:float does not span its two registers (colspan %r)" % span)
            offsets = settled(lambda: [th.text for th in page.find_elements(By.CSS_SELECTOR, "#memory thead th.offset")])
            if offsets != ["+%d" % i for i in range(8)]:
                sys.exit("the memory table's column offsets are %r" % offsets)

            # Edit D1 in place, as int16.
            cell = page.find_element(By.ID, "cell-1")
            cell.click()
            cell.send_keys(Keys.CONTROL, "a")
            cell.send_keys("-1234", Keys.ENTER)
            wait.until(lambda p: "saved" in p.find_element(By.ID, "cell-1").get_attribute("class")
                       or "bad" in p.find_element(By.ID, "cell-1").get_attribute("class"))
            if "bad" in settled(lambda: page.find_element(By.ID, "cell-1").get_attribute("class")):
                sys.exit("the page refused the edit: " + page.find_element(By.ID, "message").text)
            answer = driver_read(norvo, plugin, plc, "D1", "int16")
            if answer.get("status") != 0 or answer.get("values") != [-1234]:
                sys.exit("the driver read %r after the edit, not [-1234]" % answer)

            # Escape puts the value back; leaving the cell then writes nothing.
            cell = page.find_element(By.ID, "cell-2")
            cell.click()
            cell.send_keys(Keys.CONTROL, "a")
            cell.send_keys("999", Keys.ESCAPE)
            page.find_element(By.ID, "cell-3").click()
            time.sleep(1)
            if attribute(page, "cell-2", "value") != "1200" or api(http, "/api/memory/D2?type=int16")["values"] != [1200]:
                sys.exit("Escape did not cancel the edit of D2")

            # Switch the drop fault on: the driver's next read gets no answer.
            page.find_element(By.ID, "fault-drop").click()
            wait.until(lambda p: "on" in attribute(p, "fault-row-drop", "class"))
            answer = driver_read(norvo, plugin, plc, "D0", "int16")
            if answer.get("status") != 8:
                sys.exit("the driver's read with the drop fault on gave %r, not status 8" % answer)

            # A parameter of a fault that is on applies at once, and stays.
            every = page.find_element(By.CSS_SELECTOR, "#fault-row-drop [data-p=every]")
            every.send_keys(Keys.CONTROL, "a")
            every.send_keys("3", Keys.TAB)
            wait.until(lambda p: api(http, "/api/faults")["faults"][0].get("every") == 3)
            time.sleep(2.5)
            if every.get_attribute("value") != "3":
                sys.exit("the drop fault's every snapped back to %r" % every.get_attribute("value"))

            # A float cell's tooltip: the full value, its bits, its registers.
            show(page, 8, "float")
            wait.until(lambda p: "0x4088C78D" in attribute(p, "cell-0", "title"))
            tooltip = attribute(page, "cell-0", "title")
            if "float = 4.274359\n" not in tooltip or "D8 = 0xC78D, D9 = 0x4088" not in tooltip:
                sys.exit("the float cell's tooltip lacks its value or registers: %r" % tooltip)

            # A refused edit's message belongs to its view and leaves with it.
            cell = page.find_element(By.ID, "cell-0")
            cell.click()
            cell.send_keys(Keys.CONTROL, "a")
            cell.send_keys("not a number", Keys.ENTER)
            wait.until(lambda p: p.find_element(By.ID, "message").text.startswith("D8: "))

            # A generated value moves, and its cell is marked.
            show(page, 40, "uint16")
            wait.until(lambda p: p.find_element(By.ID, "message").text == "")
            wait.until(lambda p: "generated" in attribute(p, "cell-0", "class"))
            first = attribute(page, "cell-0", "value")
            wait.until(lambda p: attribute(p, "cell-0", "value") not in ("", first))

            # A generator started from the page; a memory file loaded from
            # it, refused whole for one bad line.
            field = page.find_element(By.ID, "generator-label")
            field.clear()
            field.send_keys("D41")
            page.find_element(By.ID, "generator-text").send_keys("ramp(5, 9, 1, 100ms)")
            page.find_element(By.ID, "add-generator").click()
            wait.until(lambda p: "generated" in attribute(p, "cell-1", "class")
                       and attribute(p, "cell-1", "value") in ("5", "6", "7", "8", "9"))
            bad_file = os.path.join(folder, "bad.txt")
            with open(bad_file, "w") as out:
                out.write("D60 = 1\nD61:int8 = 300\n")
            page.find_element(By.ID, "load-file").send_keys(bad_file)
            wait.until(lambda p: "bad.txt:2: \"300\" is out of range for int8" in p.find_element(By.ID, "message").text)
            if api(http, "/api/memory/D60")["values"] != [0] or len(api(http, "/api/generators")["generators"]) != 2:
                sys.exit("a refused memory file changed the memory")

            # The log: the page's own write, the failure, and the filter.
            wait.until(lambda p: "no answer (drop fault)" in p.find_element(By.ID, "log").text)
            if "int16 -1234" not in page.find_element(By.ID, "log").text:
                sys.exit("the log does not show the page's write of D1")
            page.find_element(By.ID, "log-failed").click()
            wait.until(lambda p: "int16 -1234" not in p.find_element(By.ID, "log").text
                       and "no answer (drop fault)" in p.find_element(By.ID, "log").text)

            # The count is of what the filter lets through, out of all.
            def filtered_count(p):
                count = re.fullmatch(r"\((\d+) of (\d+) entr(?:y|ies)\)", p.find_element(By.ID, "log-count").text)
                rows = len(p.find_elements(By.CSS_SELECTOR, "#log tbody tr"))
                return count and int(count.group(1)) == rows and int(count.group(2)) > rows
            wait.until(filtered_count)
            page.find_element(By.ID, "log-failed").click()
            show(page, 0, "int16")
            wait.until(lambda p: "int16 -1234" in p.find_element(By.ID, "log").text
                       and attribute(p, "cell-0", "value") == "250")
            page.set_window_size(1280, 1000)
            page.execute_script("window.scrollTo(0, 0)")
            time.sleep(1)
            if not page.save_screenshot(screenshot):
                sys.exit("no screenshot written to " + screenshot)

            # 800 px: nothing sticks out of the fault panel or the page.
            page.set_window_size(800, 800)
            time.sleep(1)
            overflow = page.execute_script(
                "const side = document.getElementById('side-panel');"
                "return [side.scrollWidth - side.clientWidth,"
                "        document.documentElement.scrollWidth - document.documentElement.clientWidth];")
            if max(overflow) > 0:
                sys.exit("at 800 px the fault panel or the page overflows by %r px" % overflow)

            # Gone: the page says so plainly and greys out what it shows.
            process.terminate()
            process.wait(timeout=WAIT_S)
            wait.until(lambda p: "offline" in p.find_element(By.TAG_NAME, "body").get_attribute("class"))
            if "cannot be reached" not in page.find_element(By.ID, "offline").text:
                sys.exit("the page does not say the simulator cannot be reached")

            # Back on the same port: a new run, and the page starts afresh.
            with open(memory_file, "w") as out:
                out.write("D0:int16 = 77\n")
            process, plc, http = start_sim(sim, memory_file, http)
            wait.until(lambda p: "offline" not in p.find_element(By.TAG_NAME, "body").get_attribute("class")
                       and attribute(p, "cell-0", "value") == "77")
            wait.until(lambda p: p.find_element(By.ID, "log").text.count("memory loaded") == 1
                       and "restarted" in p.find_element(By.ID, "message").text)
            print("console ok; screenshot in " + screenshot)
        finally:
            if page is not None:
                page.quit()
            process.terminate()
            process.wait(timeout=WAIT_S)


if __name__ == "__main__":
    main()
