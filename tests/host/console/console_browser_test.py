"""darvik-host console --simulate in headless Chromium: the page a person
uses, checked against the simulated camera's own control interface."""
import os
import random
import shutil
import sys
import time
import unittest

from console_support import Console, host_binary, wait_for

HOST = host_binary(sys.argv)
SCREENSHOT = os.environ.get("DARVIK_CONSOLE_SCREENSHOT")

try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.action_chains import ActionChains
    from selenium.webdriver.common.by import By
    from selenium.common.exceptions import StaleElementReferenceException
except ImportError:
    webdriver = None


def chromium():
    options = webdriver.ChromeOptions()
    options.binary_location = shutil.which("chromium") or "/usr/bin/chromium"
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                     "--window-size=1500,1250"):
        options.add_argument(argument)
    return webdriver.Chrome(service=Service(shutil.which("chromedriver") or "/usr/bin/chromedriver"),
                            options=options)


@unittest.skipIf(webdriver is None or not shutil.which("chromium"), "chromium and python3-selenium are needed")
class ConsoleInChromium(unittest.TestCase):
    def setUp(self):
        mac = "00-DE-C1-%02X-%02X-%02X" % tuple(random.randrange(256) for _ in range(3))
        self.console = Console(HOST, "--simulate", "--sim-mac", mac)
        self.preset_file = os.path.join(os.path.dirname(HOST), "Darvik_%s.preset" % mac.replace("-", ""))
        self.browser = chromium()
        self.browser.get(self.console.url)

    def tearDown(self):
        self.browser.quit()
        status = self.console.stop()
        if os.path.exists(self.preset_file):
            os.remove(self.preset_file)
        self.assertEqual(status, 0, self.console.output)

    # The page re-renders parts of itself whenever the console sends news (the
    # inputs on every reading), so the test never holds an element across a
    # wait: checks read what the page shows in one script call, and actions
    # find their element again each time they try.
    def shown(self, selector, attribute=None):
        """The text (or the attribute) of the element the page shows now, or None."""
        return self.browser.execute_script("""
            const element = document.querySelector(arguments[0]);
            if (!element) return null;
            return arguments[1] ? element.getAttribute(arguments[1]) : element.innerText;""",
                                           selector, attribute)

    def texts(self, selector):
        return self.browser.execute_script(
            "return Array.from(document.querySelectorAll(arguments[0]), (e) => e.innerText);", selector)

    def act(self, selector, action, timeout=20):
        """Finds the element and does action(element), again while it goes stale under a re-render."""
        def attempt():
            elements = self.browser.find_elements(By.CSS_SELECTOR, selector)
            if not elements:
                return False
            try:
                action(elements[0])
            except StaleElementReferenceException:
                return False
            return True
        wait_for(attempt, timeout, selector)

    def picture(self):
        return self.browser.execute_script("""
            const img = document.querySelector('#camera-0 .live');
            if (!img.complete || img.naturalWidth === 0) return null;
            const canvas = document.createElement('canvas');
            canvas.width = img.naturalWidth; canvas.height = img.naturalHeight;
            canvas.getContext('2d').drawImage(img, 0, 0);
            return [img.naturalWidth, img.naturalHeight, canvas.toDataURL('image/png')];""")

    def test_live_picture_state_ptz_presets_and_io(self):
        # The picture arrives at the camera's size and keeps changing.
        first = wait_for(self.picture, 20, "the live picture")
        self.assertEqual(first[:2], [352, 288])
        wait_for(lambda: self.picture()[2] != first[2], 10, "a newer picture")
        wait_for(lambda: self.shown("#camera-0 .state") == "online", 20, "the state online")

        # Holding a direction moves the head; letting go stops it.
        left = '#camera-0 .pad [data-dir="left"]'
        self.act(left, lambda pad: ActionChains(self.browser).click_and_hold(pad).perform())
        wait_for(lambda: self.console.simulator("ptz")["motion"]["pan"]["direction"] == -1, 15, "the pan to start")
        pan = self.console.simulator("ptz")["position"]["pan"]
        wait_for(lambda: self.console.simulator("ptz")["position"]["pan"] < pan - 1, 15, "the head to turn")
        # Released where the pointer is, so a re-rendered pad cannot keep the button down.
        ActionChains(self.browser).release().perform()
        wait_for(lambda: self.console.simulator("ptz")["motion"]["pan"]["direction"] == 0, 15, "the pan to stop")
        stopped = self.console.simulator("ptz")["position"]["pan"]
        time.sleep(0.5)
        self.assertEqual(self.console.simulator("ptz")["position"]["pan"], stopped)

        # A preset added on the page is listed and lands in the preset file.
        self.act("#camera-0 .preset-name", lambda field: field.send_keys("Gate 7"))
        self.act('#camera-0 .preset-add button[type="submit"]', lambda button: button.click())
        wait_for(lambda: "Gate 7" in self.texts("#camera-0 .presets .name"), 10, "the preset in the list")
        with open(self.preset_file, encoding="iso-8859-1") as presets:
            self.assertIn("Gate 7", presets.read())

        # An input flipped at the camera shows within one polling period (4 s).
        input_1 = '#camera-0 .input[data-input="1"]'
        wait_for(lambda: self.shown(input_1, "data-state") is not None, 10, "inputs")
        self.console.simulator("inputs/flip?input=1", post=True)
        wait_for(lambda: self.shown(input_1, "data-state") == "high", 15, "input 1 to read high")

        # Switching an output reaches the camera.
        self.act('#camera-0 .output[data-output="0"]', lambda box: box.click())
        wait_for(lambda: {"output": 1, "value": 2} in self.console.simulator("outputs")["writes"], 10,
                 "the output write at the camera")

        if SCREENSHOT:
            self.browser.execute_script("document.querySelector('#camera-0 .log').scrollTop = 0")
            self.browser.save_screenshot(SCREENSHOT)


if __name__ == "__main__":
    unittest.main(verbosity=2)
