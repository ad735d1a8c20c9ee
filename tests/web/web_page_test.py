"""The page in Debian's chromium, headless, driven by selenium through chromium-driver: the
browser users run, and nothing fetched at test time. Each flow runs on a laptop's width and on
a phone's 390x844."""
import os
import struct
import tempfile
import time
import unittest
import zlib

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import Select, WebDriverWait

from webserver import WebServer

FLAG_RGB = (0x00, 0x90, 0x30)


def png_pixels(data):
    """Width, height and a function giving (r, g, b) of a pixel of an 8-bit RGB(A) PNG."""
    width, height, depth, kind = struct.unpack(">IIBB", data[16:26])
    assert depth == 8 and kind in (2, 6), (depth, kind)
    chunks, at = b"", 8
    while at < len(data):
        length, name = struct.unpack(">I4s", data[at:at + 8])
        if name == b"IDAT":
            chunks += data[at + 8:at + 8 + length]
        at += 12 + length
    raw, size = zlib.decompress(chunks), 4 if kind == 6 else 3
    stride, rows, previous = width * size, [], bytearray(width * size)
    for y in range(height):
        line = raw[y * (stride + 1):(y + 1) * (stride + 1)]
        kind_of_filter, row = line[0], bytearray(line[1:])
        for i in range(stride):
            left = row[i - size] if i >= size else 0
            up, corner = previous[i], previous[i - size] if i >= size else 0
            if kind_of_filter == 1:
                row[i] = (row[i] + left) & 255
            elif kind_of_filter == 2:
                row[i] = (row[i] + up) & 255
            elif kind_of_filter == 3:
                row[i] = (row[i] + (left + up) // 2) & 255
            elif kind_of_filter == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                row[i] = (row[i] + (left if pa <= pb and pa <= pc else up if pb <= pc else corner)) & 255
        rows.append(row)
        previous = row
    return width, height, lambda x, y: tuple(rows[y][x * size:x * size + 3])


class WebPageTest(unittest.TestCase):
    def setUp(self):
        self.web = WebServer()
        self.web.tool("flags", self.web.database, "add", "Vacation", "--variable", "Vacation",
                      "--color", "#%02X%02X%02X" % FLAG_RGB)
        options = webdriver.ChromeOptions()
        for argument in ["--headless", "--no-sandbox", "--disable-gpu",
                         "--disable-background-networking", "--disable-component-update",
                         "--disable-sync", "--no-first-run", "--force-device-scale-factor=1"]:
            options.add_argument(argument)
        options.binary_location = "/usr/bin/chromium"
        self.driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        self.wait = WebDriverWait(self.driver, 10)

    def tearDown(self):
        self.driver.quit()
        self.web.close()

    def find(self, selector):
        return self.driver.find_element(By.CSS_SELECTOR, selector)

    def loaded_after(self, mark, action):
        """Runs action, then waits until the page has drawn what it read afterwards."""
        action()
        self.wait.until(lambda d: d.execute_script("return document.body.dataset.loaded") != mark)

    def redraw(self, action):
        self.loaded_after(self.driver.execute_script("return document.body.dataset.loaded"), action)

    def sign_in(self, width, height):
        self.driver.set_window_size(width, height)
        self.driver.get(self.web.origin + "/")
        self.wait.until(lambda d: d.find_element(By.ID, "password").is_displayed())
        self.find("#password").send_keys(self.web.password)
        self.loaded_after(None, lambda: self.find("#sign-in button").click())

    def day_cell(self, day):
        return self.find('.day[data-date="%s"]' % day)

    def flow(self, width, height):
        self.sign_in(width, height)
        driver, title = self.driver, self.find("#month-title").text
        self.redraw(lambda: self.find("#next-month").click())
        self.assertNotEqual(self.find("#month-title").text, title)
        self.redraw(lambda: self.find("#prev-month").click())
        self.assertEqual(self.find("#month-title").text, title)

        month = time.strftime("%Y-%m")
        day = month + "-15"
        self.redraw(lambda: self.day_cell(day).click())
        self.find("#add").click()
        editor = self.find("#editor")
        self.wait.until(lambda d: editor.is_displayed())
        # The time field's segments follow the browser's locale: its value is set directly.
        driver.execute_script("arguments[0].value = '07:30'", editor.find_element(By.NAME, "time"))
        editor.find_element(By.NAME, "description").send_keys("Bins out")
        editor.find_element(By.NAME, "script").send_keys("bins.sh")
        self.redraw(lambda: self.find("#save").click())
        self.assertIn("Bins out", self.day_cell(day).text)
        self.assertEqual(self.find(".appointment .description").text, "Bins out")

        # Someone else changes it meanwhile: the save is refused and the form keeps the text.
        self.find(".appointment .edit").click()
        self.wait.until(lambda d: editor.is_displayed())
        field = editor.find_element(By.NAME, "description")
        field.clear()
        field.send_keys("Bins out early")
        [row] = self.web.tool("list", self.web.database).splitlines()[1:-1]
        self.web.tool("edit", self.web.database, row.split()[0], "--value", "grey")
        self.find("#save").click()
        self.wait.until(lambda d: "someone else" in d.find_element(By.ID, "editor-error").text)
        self.assertEqual(field.get_attribute("value"), "Bins out early")
        self.redraw(lambda: self.find("#cancel").click() or driver.execute_script(
            "window.dispatchEvent(new Event('focus'))"))
        self.find(".appointment .edit").click()
        self.wait.until(lambda d: editor.is_displayed())
        field.clear()
        field.send_keys("Bins out early")
        self.redraw(lambda: self.find("#save").click())
        self.assertEqual(self.find(".appointment .description").text, "Bins out early")

        def delete():
            self.find(".appointment .delete").click()
            alert = driver.switch_to.alert
            self.assertIn("Bins out early", alert.text)
            alert.accept()
        self.redraw(delete)
        self.assertEqual(driver.find_elements(By.CSS_SELECTOR, ".appointment"), [])

        # A flag over three days, seen in its colour on each, and on no other.
        Select(self.find("#range-flag")).select_by_visible_text("Vacation")
        driver.execute_script("document.getElementById('range-to').value = arguments[0]",
                              month + "-17")
        self.redraw(lambda: self.find("#range-set").click())
        png = driver.get_screenshot_as_png()
        _, _, pixel = png_pixels(png)
        for date, flagged in [("-14", False), ("-15", True), ("-16", True), ("-17", True),
                              ("-18", False)]:
            stripes = self.day_cell(month + date).find_elements(By.CSS_SELECTOR, ".flag")
            colours = [pixel(int(s.rect["x"]) + 1, int(s.rect["y"] + s.rect["height"] / 2))
                       for s in stripes]
            self.assertEqual(FLAG_RGB in colours, flagged, (date, colours))

        # A hostile description is text, never markup.
        hostile = "<img src=x onerror=alert(1)>"
        self.web.tool("add", self.web.database, "--date", day, "--time", "08:00",
                      "--description", hostile)
        self.redraw(lambda: driver.execute_script("window.dispatchEvent(new Event('focus'))"))
        self.assertEqual(self.find(".appointment .description").text, hostile)
        self.assertEqual(driver.find_elements(By.CSS_SELECTOR, "main img"), [])
        self.assertEqual(driver.execute_script("return document.documentElement.scrollWidth"),
                         driver.execute_script("return document.documentElement.clientWidth"))

    def test_keys_more_dark_scheme_contrast_and_switcher(self):
        # Restarted over three calendars: this one, another, and one that cannot be opened.
        other_dir = tempfile.mkdtemp(prefix="mondrel-web-other-")
        other = os.path.join(other_dir, "Second.sdb")
        self.web.tool("init", other)
        month = time.strftime("%Y-%m")
        self.web.tool("add", other, "--date", month + "-03", "--time", "09:00",
                      "--description", "Dentist")
        self.web.close()
        self.web = WebServer(["--database", other, "--database", "/nonexistent/Broken.sdb"])
        for hour in range(5):
            self.web.tool("add", self.web.database, "--date", month + "-15", "--time",
                          "%02d:00" % (8 + hour), "--description", "Item %d" % hour)
        driver = self.driver
        self.sign_in(390, 844)

        def day_opened():
            # The day stands at the top of the window (on a phone it is below the month).
            return driver.execute_script("return Math.abs(document.getElementById('day-title')"
                                         ".parentElement.getBoundingClientRect().top) < 2")

        # Arrows move the selected day (across a week too), Enter opens it.
        self.redraw(lambda: self.day_cell(month + "-07").click())
        driver.execute_script("window.scrollTo(0, 0)")
        self.redraw(lambda: self.find("#month-grid").send_keys(Keys.ARROW_RIGHT))
        self.redraw(lambda: self.find("#month-grid").send_keys(Keys.ARROW_DOWN))
        self.assertEqual(self.find(".day.selected").get_attribute("data-date"), month + "-15")
        self.assertFalse(day_opened())
        self.redraw(lambda: self.find("#month-grid").send_keys(Keys.ENTER))
        self.wait.until(lambda d: day_opened())

        # "+4 more" (one fits on a phone) opens the day with all five.
        driver.execute_script("window.scrollTo(0, 0)")
        self.assertFalse(day_opened())
        more = self.day_cell(month + "-15").find_element(By.CSS_SELECTOR, ".more")
        self.assertEqual(more.text, "+4 more")
        self.redraw(more.click)
        self.wait.until(lambda d: day_opened())
        self.assertEqual(len(driver.find_elements(By.CSS_SELECTOR, ".appointment")), 5)

        # The dark scheme follows the system's setting.
        def background():
            _, _, pixel = png_pixels(driver.get_screenshot_as_png())
            return sum(pixel(1, 1))
        self.assertGreater(background(), 600)
        driver.execute_cdp_cmd("Emulation.setEmulatedMedia", {
            "features": [{"name": "prefers-color-scheme", "value": "dark"}]})
        self.assertLess(background(), 150)

        # A flag's colour that hardly stands out from a day is warned of.
        self.redraw(lambda: self.find('#views [data-view="flags"]').click())
        Select(self.find(".add-flag .color-field select")).select_by_value("custom")
        picker = self.find(".add-flag .color-field input[type=color]")
        warning = self.find(".add-flag .color-field .warning")
        for colour, warned in [("#ffff40", True), ("#003300", False)]:
            driver.execute_script("arguments[0].value = arguments[1];"
                                  "arguments[0].dispatchEvent(new Event('input'))", picker, colour)
            self.assertEqual("contrast" in warning.text, warned, (colour, warning.text))

        # The switcher: the broken calendar says why and cannot be chosen; the other one shows.
        switcher = Select(self.find("#calendar"))
        broken = switcher.options[2]
        self.assertIn("cannot be opened", broken.text)
        self.assertIn("/nonexistent/Broken.sdb", broken.text)
        self.assertFalse(broken.is_enabled())
        self.redraw(lambda: self.find('#views [data-view="month"]').click())
        self.redraw(lambda: switcher.select_by_value("1"))
        self.assertIn("Dentist", self.day_cell(month + "-03").text)
        self.assertNotIn("Item", self.day_cell(month + "-15").text)
        os.remove(other)
        os.rmdir(other_dir)

    def test_laptop(self):
        self.flow(1280, 900)

    def test_phone(self):
        self.flow(390, 844)


if __name__ == "__main__":
    unittest.main()
