#!/usr/bin/python3
"""The page's first load in chromium, headless: from navigation to the month drawn (the page
marks body[data-loaded] once the month and the day are drawn), signed in, over a database
file given as the first argument. Prints the median of 7 loads as a TIME line in
microseconds. Usage: bench/web_page_load.py DATABASE [BUILD_DIR]"""
import os
import shutil
import statistics
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "web"))
build = sys.argv[2] if len(sys.argv) > 2 else os.path.join(os.path.dirname(__file__), "..", "build")
os.environ.setdefault("MONDREL_WEB", os.path.join(build, "web", "mondrel-web"))
os.environ.setdefault("MONDREL_DB", os.path.join(build, "tools", "mondrel-db"))

from selenium import webdriver  # noqa: E402
from selenium.webdriver.chrome.service import Service  # noqa: E402
from selenium.webdriver.support.ui import WebDriverWait  # noqa: E402

from webserver import WebServer  # noqa: E402

web = WebServer()
shutil.copy(sys.argv[1], web.database)
options = webdriver.ChromeOptions()
for argument in ["--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync", "--no-first-run"]:
    options.add_argument(argument)
options.binary_location = "/usr/bin/chromium"
driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
try:
    driver.set_window_size(1280, 900)
    web.sign_in()
    driver.get(web.origin + "/no-such-page")
    name, value = web.cookie.split("=", 1)
    driver.add_cookie({"name": name, "value": value, "path": "/"})
    times = []
    for _ in range(7):
        driver.get(web.origin + "/")
        WebDriverWait(driver, 30).until(
            lambda d: d.execute_script("return document.body.dataset.loaded"))
        times.append(driver.execute_script(
            "return Number(document.body.dataset.loaded) - performance.timeOrigin"))
    print("loads (ms):", ", ".join("%.0f" % t for t in times))
    print("TIME web_page_first_load_to_month %.0f" % (statistics.median(times) * 1000))
finally:
    driver.quit()
    web.close()
