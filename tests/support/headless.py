# SPDX-License-Identifier: LGPL-2.1-or-later
"""Headless Chromium through selenium, as the browser tests drive it
(Debian's chromium, chromium-driver and python3-selenium)."""
from selenium import webdriver
from selenium.webdriver.chrome.service import Service


def browser(profile, size="1280,800"):
    """A fresh browser with its own profile folder, quiet on the network."""
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--user-data-dir=" + profile, "--window-size=" + size):
        options.add_argument(flag)
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
