"""darvik-host console in headless Chromium: the page a person uses, checked
against the simulated cameras' own control interface; one camera's panel,
and the wall of a whole site."""
import json
import os
import random
import shutil
import sys
import tempfile
import time
import unittest

from console_support import Console, Farm, camsim_binary, host_binary, wait_for

HOST = host_binary(sys.argv)
CAMSIM = camsim_binary(HOST)
SCREENSHOT = os.environ.get("DARVIK_CONSOLE_SCREENSHOT")

try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.action_chains import ActionChains
    from selenium.webdriver.common.by import By
    from selenium.webdriver.common.keys import Keys
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


class PageReading:
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


@unittest.skipIf(webdriver is None or not shutil.which("chromium"), "chromium and python3-selenium are needed")
class ConsoleInChromium(PageReading, unittest.TestCase):
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

    def picture(self):
        return self.browser.execute_script("""
            const img = document.querySelector('#camera-0 .live');
            if (!img.complete || img.naturalWidth === 0) return null;
            const canvas = document.createElement('canvas');
            canvas.width = img.naturalWidth; canvas.height = img.naturalHeight;
            canvas.getContext('2d').drawImage(img, 0, 0);
            return [img.naturalWidth, img.naturalHeight, canvas.toDataURL('image/png')];""")

    def test_live_picture_state_ptz_presets_and_io(self):
        # The wall comes first; the camera's panel opens from its tile.
        wait_for(lambda: self.shown("#tile-0 .tile-name"), 20, "the camera's tile")
        self.assertIsNone(self.shown("#camera-0"))
        self.act("#tile-0", lambda tile: tile.click())
        wait_for(lambda: self.shown("#camera-0 .live", "src"), 10, "the camera's panel")
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



@unittest.skipIf(webdriver is None or not shutil.which("chromium") or not os.path.exists(CAMSIM),
                 "chromium, python3-selenium and darvik-camsim are needed")
class SiteWallInChromium(PageReading, unittest.TestCase):
    """A site of 16 cameras from a farm that outlives the console: camera 1
    refuses every connection, camera 2 wants another password, camera 3
    stalls each stream after 20 pictures."""

    SECRETS = ["wrong-pass-7f3a", "right-pass-c91e", "added-pass-5d20"]

    def setUp(self):
        self.farm = Farm(CAMSIM)
        self.addCleanup(self.farm.stop)
        self.directory = tempfile.TemporaryDirectory()
        self.addCleanup(self.directory.cleanup)
        self.site = os.path.join(self.directory.name, "site.json")
        self.ids = []
        entries = []
        for i in range(16):
            config = {"macAddress": "00-DE-C2-%02X-%02X-%02X" % (random.randrange(256), random.randrange(256), i),
                      "jpegFramesPerSecond": 5}
            if i == 1:
                config["faults"] = {"refuseConnections": True}
            if i == 2:
                config.update({"auth": "digest", "user": "admin", "password": self.SECRETS[1]})
            if i == 3:
                config["streamFaults"] = {"stallAfterFrames": 20}
            farm_id, address = self.farm.camera(**config)
            self.ids.append(farm_id)
            entries.append({"address": address, "user": "admin", "password": self.SECRETS[0] if i == 2 else "",
                            "label": "Cam %02d" % i})
        with open(self.site, "w") as site:
            json.dump({"cameras": entries}, site)
        self.console = Console(HOST, "--site", self.site)
        self.browser = chromium()
        self.addCleanup(self.browser.quit)
        self.browser.get(self.console.url)

    def tearDown(self):
        self.assertEqual(self.console.stop(), 0, self.console.output)
        for secret in self.SECRETS:
            self.assertNotIn(secret, self.console.output, "a password in the console's log")

    def tiles(self):
        """Every tile as the page shows it now: {label: {...}}."""
        return {tile["name"]: tile for tile in self.browser.execute_script("""
            return Array.from(document.querySelectorAll('#wall .tile'), (tile) => ({
              id: Number(tile.dataset.camera), name: tile.querySelector('.tile-name').innerText,
              state: tile.dataset.state || '', picture: tile.dataset.picture || '',
              failure: tile.querySelector('.tile-failure').innerText,
              width: tile.querySelector('.tile-picture').naturalWidth }));""")}

    def pictures_change(self, labels, timeout):
        first = wait_for(lambda: (lambda t: t if all(t.get(l, {}).get("width") for l in labels) else None)(
            self.tiles()), timeout, "pictures on %s" % labels)
        wait_for(lambda: all(self.tiles()[l]["picture"] != first[l]["picture"] for l in labels), timeout,
                 "newer pictures on %s" % labels)

    def health(self):
        return self.console.request("api/health")[1]

    def test_the_wall_of_a_site(self):
        healthy = ["Cam %02d" % i for i in range(16) if i not in (1, 2, 3)]
        wait_for(lambda: len(self.tiles()) == 16, 30, "16 tiles")
        self.pictures_change(healthy, 60)
        # The two faulty cameras say why.
        wait_for(lambda: self.tiles()["Cam 01"]["state"] == "failed" and self.tiles()["Cam 01"]["failure"], 30,
                 "the refusing camera to fail")
        wait_for(lambda: self.tiles()["Cam 02"]["state"] == "failed" and self.tiles()["Cam 02"]["failure"], 30,
                 "the camera with the wrong password to fail")
        self.assertEqual(self.tiles()["Cam 01"]["width"], 0)
        # The stalled camera says so, while the others keep moving.
        wait_for(lambda: self.tiles()["Cam 03"]["state"] in ("signal lost", "failed"), 60, "the stall to show")
        self.pictures_change(healthy, 30)
        # The wall runs no live stream: the tiles fetch snapshots.
        self.assertEqual(self.health()["pictureStreams"], 0)

        # A camera added from the page appears live, and its password never
        # comes back.
        farm_id, address = self.farm.camera(jpegFramesPerSecond=5)
        self.act("#add-camera", lambda button: button.click())
        for name, value in (("address", address), ("user", "admin"), ("password", self.SECRETS[2]),
                            ("label", "Added gate")):
            self.act('#camera-form [name="%s"]' % name, lambda field, value=value: field.send_keys(value))
        self.act('#camera-form [type="submit"]', lambda button: button.click())
        wait_for(lambda: "Added gate" in self.tiles(), 20, "the added tile")
        self.pictures_change(["Added gate"], 30)
        self.assertEqual(self.browser.execute_script(
            "return document.querySelector('#camera-form [name=\"password\"]').value"), "")

        # Its panel opens from the keyboard with the live stream; Back ends it.
        self.act("#tile-%d" % self.tiles()["Cam 05"]["id"], lambda tile: tile.send_keys(Keys.ENTER))
        wait_for(lambda: self.health()["pictureStreams"] == 1, 15, "the panel's live stream")
        self.act("#back", lambda button: button.click())
        wait_for(lambda: self.health()["pictureStreams"] == 0, 15, "the live stream to end")

        # A removed camera is gone, and its driver with it: nothing reads the
        # camera any more.
        removed = self.tiles()["Cam 05"]["id"]
        self.act("#tile-%d" % removed, lambda tile: tile.click())
        self.act("#camera-%d .remove" % removed, lambda button: button.click())
        self.act("#camera-%d .remove" % removed, lambda button: button.click())
        wait_for(lambda: "Cam 05" not in self.tiles() and self.shown("#wall", "class") == "", 20, "the removal")
        wait_for(lambda: self.farm.streams(self.ids[5])["active"] == 0, 15, "the camera's stream to end")
        frames = self.farm.streams(self.ids[5])["frames"]
        time.sleep(1.5)
        self.assertEqual(self.farm.streams(self.ids[5])["frames"], frames)

        page = self.browser.page_source + json.dumps(self.console.request("api/cameras")[1])
        for secret in self.SECRETS:
            self.assertNotIn(secret, page)
        with open(self.site) as site:
            kept = json.load(site)["cameras"]
        self.assertEqual(len(kept), 16)
        self.assertEqual(os.stat(self.site).st_mode & 0o777, 0o600)

        # After a restart with the site, the same wall comes back.
        wall = sorted(self.tiles())
        self.assertEqual(self.console.stop(), 0, self.console.output)
        self.assertIn("camera %d removed; its driver is closed and deleted" % removed, self.console.output)
        self.console = Console(HOST, "--site", self.site)
        self.browser.get(self.console.url)
        wait_for(lambda: sorted(self.tiles()) == wall, 30, "the same wall")
        self.pictures_change(["Added gate", "Cam 00"], 30)


if __name__ == "__main__":
    unittest.main(verbosity=2)
