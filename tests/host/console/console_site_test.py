"""darvik-host console --site: the site file read at the start and written
back on every change from the page, entries it refuses, the limit of 64
cameras, and that no camera password leaves the console."""
import json
import os
import signal
import socket
import stat
import subprocess
import sys
import tempfile
import threading
import time
import unittest

from console_support import Console, host_binary, wait_for

HOST = host_binary(sys.argv)

# Closed loopback ports: the cameras fail, which costs nothing here.
CLOSED = "127.0.0.1:9"
SECRETS = ["given-secret-91", "added-secret-27", "changed-secret-55", "refused-secret-13"]


def write_site(path, cameras):
    with open(path, "w") as site:
        json.dump({"cameras": cameras}, site)


def read_site(path):
    with open(path) as site:
        return json.load(site)["cameras"]


def event_bytes(console, seconds):
    """The raw event stream of the console for a while."""
    port = int(console.host.split(":")[1])
    seen = b""
    with socket.create_connection(("127.0.0.1", port), timeout=1) as stream:
        stream.sendall(f"GET /events HTTP/1.1\r\nHost: {console.host}\r\n\r\n".encode())
        deadline = time.time() + seconds
        while time.time() < deadline:
            try:
                chunk = stream.recv(65536)
            except socket.timeout:
                continue
            if not chunk:
                break
            seen += chunk
    return seen


class SiteFile(unittest.TestCase):
    def setUp(self):
        self.directory = tempfile.TemporaryDirectory()
        self.addCleanup(self.directory.cleanup)
        self.site = os.path.join(self.directory.name, "site.json")

    def start(self, *arguments):
        console = Console(HOST, "--site", self.site, *arguments)
        self.addCleanup(console.stop)
        return console

    def test_round_trip_through_the_page_and_a_restart(self):
        # An absent file is created, mode 0600, with the --camera given.
        console = self.start("--camera", CLOSED, "--user", "admin", "--password", SECRETS[0])
        self.assertEqual(stat.S_IMODE(os.stat(self.site).st_mode), 0o600)
        self.assertEqual(read_site(self.site), [
            {"address": CLOSED, "user": "admin", "password": SECRETS[0], "label": "", "stream": "mjpeg"}])
        answers = []

        status, answer = console.post("api/cameras", {"address": "127.0.0.1:10", "user": "op", "label": "Gate",
                                                      "password": SECRETS[1], "stream": "mpeg"})
        answers.append(answer)
        self.assertEqual(status, 200, answer)
        added = answer["camera"]
        status, answer = console.post("api/cameras/0/change", {"label": "Door", "password": SECRETS[2]})
        answers.append(answer)
        self.assertEqual(status, 200, answer)
        self.assertEqual([(c["label"], c["password"]) for c in read_site(self.site)],
                         [("Door", SECRETS[2]), ("Gate", SECRETS[1])])
        # A change without a password keeps the one the camera has.
        status, answer = console.post(f"api/cameras/{added}/change", {"user": "op2"})
        self.assertEqual(status, 200, answer)
        self.assertEqual(read_site(self.site)[1]["password"], SECRETS[1])
        self.assertEqual(stat.S_IMODE(os.stat(self.site).st_mode), 0o600)

        # The same cameras come back, in the same order, after a restart;
        # the site is no longer changed when --camera names a camera it has.
        self.assertEqual(console.stop(), 0, console.output)
        before = read_site(self.site)
        console = self.start("--camera", CLOSED, "--user", "admin")
        self.assertEqual(read_site(self.site), before)
        status, listed = console.request("api/cameras")
        self.assertEqual([(c["address"], c["label"], c["user"], c["stream"]) for c in listed["cameras"]],
                         [(CLOSED, "Door", "admin", "mjpeg"), ("127.0.0.1:10", "Gate", "op2", "mpeg")])
        status, answer = console.post("api/cameras/0/remove", {})
        self.assertEqual(status, 200, answer)
        self.assertEqual([c["label"] for c in read_site(self.site)], ["Gate"])
        self.assertEqual(console.request("api/health")[1]["cameras"], 1)

        # No password in any answer, event or line of the log.
        seen = json.dumps(answers).encode() + json.dumps(listed).encode() + event_bytes(console, 2)
        seen += console.request("")[1] + console.request("console.js")[1]
        self.assertEqual(console.stop(), 0, console.output)
        for secret in SECRETS:
            self.assertNotIn(secret.encode(), seen)
            self.assertNotIn(secret, console.output)

    def test_the_page_gets_a_422_naming_the_field(self):
        console = self.start("--camera", CLOSED)
        refused = {
            "address": [{"user": "x"}, {"address": ""}, {"address": "cam:99999"}, {"address": "a b"},
                        {"address": 7}],
            "user": [{"address": "cam", "user": "a:b"}, {"address": "cam", "user": "x" * 65}],
            "password": [{"address": "cam", "password": "new\nline"}, {"address": "cam", "password": "\u20ac"}],
            "label": [{"address": "cam", "label": "x" * 101}],
            "stream": [{"address": "cam", "stream": "h264"}],
            "colour": [{"address": "cam", "colour": "red", "password": SECRETS[3]}],
        }
        for field, bodies in refused.items():
            for body in bodies:
                status, answer = console.post("api/cameras", body)
                self.assertEqual((status, answer.get("field")), (422, field), body)
                self.assertNotIn(SECRETS[3], json.dumps(answer))
        status, answer = console.post("api/cameras/0/change", {"stream": "h264"})
        self.assertEqual((status, answer.get("field")), (422, "stream"))
        # The same rules as every change: the console's own origin only.
        status, _ = console.request("api/cameras", {"address": "127.0.0.1:11"}, {"Origin": "http://evil.example"})
        self.assertEqual(status, 403)
        status, _ = console.request("api/cameras/0/remove", {})
        self.assertEqual(status, 403)
        self.assertEqual(len(read_site(self.site)), 1)
        self.assertEqual(console.request("api/health")[1]["cameras"], 1)

    def test_a_bad_site_ends_the_start_with_one_line(self):
        def refusal(content):
            with open(self.site, "w") as site:
                site.write(content)
            run = subprocess.run([HOST, "console", "--listen", "127.0.0.1:0", "--site", self.site],
                                 capture_output=True, text=True, timeout=30)
            self.assertNotEqual(run.returncode, 0)
            lines = run.stderr.strip().splitlines()
            self.assertEqual(len(lines), 1, run.stderr)
            self.assertIn(self.site, lines[0])
            self.assertNotIn("console:", run.stdout)
            return lines[0]

        good = {"address": CLOSED}
        line = refusal(json.dumps({"cameras": [good, {"address": CLOSED, "stream": "h264"}]}))
        self.assertIn("camera 2: stream", line)
        line = refusal(json.dumps({"cameras": [good, good, {"address": "cam:0", "password": SECRETS[3]}]}))
        self.assertIn("camera 3: address", line)
        self.assertNotIn(SECRETS[3], line)
        self.assertIn("not JSON", refusal('{"cameras": ['))
        self.assertIn("cameras", refusal(json.dumps([good])))
        self.assertIn("at most 64", refusal(json.dumps({"cameras": [good] * 65})))
        os.chmod(self.site, 0)
        if os.geteuid() != 0:  # root reads it anyway
            self.assertIn("cannot be read", refusal(json.dumps({"cameras": [good]})))

    def test_at_most_64_cameras(self):
        write_site(self.site, [{"address": CLOSED, "label": "camera %d" % i} for i in range(63)])
        run = subprocess.run([HOST, "console", "--listen", "127.0.0.1:0", "--site", self.site,
                              "--camera", "127.0.0.1:10", "--simulate", "1"],
                             capture_output=True, text=True, timeout=30)
        self.assertNotEqual(run.returncode, 0)
        self.assertIn("at most 64", run.stderr)
        console = self.start("--camera", "127.0.0.1:10")
        self.assertEqual(console.request("api/health")[1]["cameras"], 64)
        status, answer = console.post("api/cameras", {"address": "127.0.0.1:11"})
        self.assertEqual((status, answer.get("field")), (422, "cameras"))
        self.assertEqual(len(read_site(self.site)), 64)
        # Room again after a removal.
        self.assertEqual(console.post("api/cameras/3/remove", {})[0], 200)
        self.assertEqual(console.post("api/cameras", {"address": "127.0.0.1:11"})[0], 200)
        self.assertEqual(len(read_site(self.site)), 64)

    def test_the_file_survives_a_kill_during_changes(self):
        write_site(self.site, [{"address": CLOSED, "label": "first"}])
        console = Console(HOST, "--site", self.site)
        stop = threading.Event()

        def change():
            n = 0
            while not stop.is_set():
                n += 1
                try:
                    console.post("api/cameras/0/change", {"label": "label %d" % n, "password": "p" * (n % 100)})
                except OSError:
                    return

        changer = threading.Thread(target=change)
        changer.start()
        wait_for(lambda: read_site(self.site)[0]["label"] != "first", 20, "a change on disk")
        time.sleep(0.3)
        console.process.send_signal(signal.SIGKILL)
        console.process.wait()
        stop.set()
        changer.join()
        cameras = read_site(self.site)  # whole JSON: the old file or the new one
        self.assertEqual(len(cameras), 1)
        self.assertTrue(cameras[0]["label"].startswith("label "))


if __name__ == "__main__":
    unittest.main(verbosity=2)
