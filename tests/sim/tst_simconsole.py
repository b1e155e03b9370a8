#!/usr/bin/python3
"""The web console of norvo-sim in a real browser (headless Chromium).

Opens the page, edits a memory cell and checks that a read through the
driver plug-in (the norvo command line) returns the new value; switches the
drop fault on and checks that the driver's next read gives status 8; takes
a screenshot.

  tst_simconsole.py SIM NORVO PLUGIN SCREENSHOT
"""
import json
import os
import subprocess
import sys
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import WebDriverWait

WAIT_S = 30  # generous: the machine is small and shared

MEMORY = """# a tank, a pump and two alarms
D0:int16 = 250, -40, 1200, 7
D8:float = 3.25
D10:int32 = 100000
X0 = 1, 0, 1
M16 = 1
"""


def start_sim(sim, memory_file):
    process = subprocess.Popen(
        [sim, "--tcp", "127.0.0.1:0", "--http", "127.0.0.1:0", "--station", "1,2",
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


def browser(profile):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--user-data-dir=" + profile, "--window-size=1280,800"):
        options.add_argument(flag)
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


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
            wait = WebDriverWait(page, WAIT_S)
            page.get("http://%s/" % http)
            wait.until(lambda p: p.find_element(By.ID, "cell-0").get_attribute("value") == "250")

            # Edit D1 in place, as int16.
            cell = page.find_element(By.ID, "cell-1")
            cell.click()
            cell.send_keys(Keys.CONTROL, "a")
            cell.send_keys("-1234", Keys.ENTER)
            wait.until(lambda p: "saved" in p.find_element(By.ID, "cell-1").get_attribute("class")
                       or "bad" in p.find_element(By.ID, "cell-1").get_attribute("class"))
            if "bad" in page.find_element(By.ID, "cell-1").get_attribute("class"):
                sys.exit("the page refused the edit: " + page.find_element(By.ID, "message").text)
            answer = driver_read(norvo, plugin, plc, "D1", "int16")
            if answer.get("status") != 0 or answer.get("values") != [-1234]:
                sys.exit("the driver read %r after the edit, not [-1234]" % answer)

            # Switch the drop fault on: the driver's next read gets no answer.
            page.find_element(By.ID, "fault-drop").click()
            wait.until(lambda p: "on" in p.find_element(By.ID, "fault-row-drop").get_attribute("class"))
            answer = driver_read(norvo, plugin, plc, "D0", "int16")
            if answer.get("status") != 8:
                sys.exit("the driver's read with the drop fault on gave %r, not status 8" % answer)

            # The log shows both reads; then the picture.
            wait.until(lambda p: "no answer (drop fault)" in p.find_element(By.ID, "log").text)
            time.sleep(1)
            if not page.save_screenshot(screenshot):
                sys.exit("no screenshot written to " + screenshot)
            print("console ok; screenshot in " + screenshot)
        finally:
            if page is not None:
                page.quit()
            process.terminate()
            process.wait(timeout=WAIT_S)


if __name__ == "__main__":
    main()
