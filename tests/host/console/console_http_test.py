"""darvik-host console at the HTTP level: who may change things, what a
non-loopback address needs, and that viewers cost bounded memory."""
import socket
import subprocess
import sys
import time
import unittest

from console_support import Console, host_binary, wait_for

HOST = host_binary(sys.argv)


class ConsoleHttp(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.console = Console(HOST, "--simulate", "--width", "704", "--height", "576", "--fps", "25")

    @classmethod
    def tearDownClass(cls):
        status = cls.console.stop()
        assert status == 0, f"Ctrl-C did not stop the console cleanly ({status}):\n{cls.console.output}"

    def test_changes_need_the_console_origin(self):
        move = {"action": "move", "direction": "left", "speed": 4}
        refused = [
            self.console.request("api/cameras/0/ptz", move),
            self.console.request("api/cameras/0/ptz", move, {"Origin": "http://evil.example"}),
            self.console.request("api/cameras/0/ptz", move, {"Origin": "http://127.0.0.1:1"}),
        ]
        self.assertEqual([status for status, _ in refused], [403, 403, 403])
        time.sleep(0.5)
        self.assertEqual(self.console.simulator("ptz")["motion"]["pan"]["direction"], 0)
        # A name that resolves to the console is no way in either.
        status, _ = self.console.request("", headers={"Host": "rebound.example:80"})
        self.assertEqual(status, 403)
        status, answer = self.console.post("api/cameras/0/output", {"output": 0, "on": True})
        self.assertEqual((status, answer["ok"]), (200, True))
        status, _ = self.console.post("api/cameras/0/output", {"output": 9, "on": True})
        self.assertEqual(status, 422)
        status, _ = self.console.post("api/cameras/0/ptz", "not an object")
        self.assertEqual(status, 400)

    def test_slow_viewers_skip_pictures_and_leave_nothing_behind(self):
        wait_for(lambda: self.console.request("api/cameras/0/snapshot.jpg")[0] == 200, 20, "a first picture")
        viewers = []
        for _ in range(4):
            viewer = socket.socket()
            viewer.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
            viewer.connect(("127.0.0.1", int(self.console.host.split(":")[1])))
            viewer.sendall(f"GET /api/cameras/0/live.mjpg HTTP/1.1\r\nHost: {self.console.host}\r\n\r\n".encode())
            viewers.append(viewer)
        wait_for(lambda: self.console.request("api/health")[1]["pictureStreams"] == 4, 5, "four viewers")
        time.sleep(1)
        before = self.console.rss_kib()
        time.sleep(8)  # about 100 pictures of 704x576 offered to each viewer that reads none
        grown = self.console.rss_kib() - before
        self.assertLess(grown, 6 * 1024, "the console queues pictures for slow viewers")
        for viewer in viewers:
            viewer.close()
        wait_for(lambda: self.console.request("api/health")[1]["pictureStreams"] == 0, 3, "the streams to end")


class ListenAddress(unittest.TestCase):
    def test_non_loopback_needs_a_password(self):
        # Refused before anything listens.
        run = subprocess.run([HOST, "console", "--simulate", "--listen", "0.0.0.0:0"],
                             capture_output=True, text=True, timeout=30)
        self.assertNotEqual(run.returncode, 0)
        self.assertIn("--console-password", run.stderr)

    def test_password_is_asked_with_digest(self):
        console = Console(HOST, "--simulate", "--console-password", "s3cret", "--password", "camera-secret")
        try:
            status, _ = console.request("")
            self.assertEqual(status, 401)
            # curl, as Python's urllib does not take the lower-case "md5" token.
            curl = ["curl", "-s", "--digest", "-u", "admin:s3cret", "--max-time", "3"]
            page = subprocess.run(curl + [console.url], capture_output=True, timeout=20).stdout
            self.assertIn(b"darvik-host console", page)
            seen = subprocess.run(curl + ["-N", console.url + "events"], capture_output=True, timeout=20).stdout
            self.assertIn(b"event: camera", seen)
            self.assertNotIn(b"camera-secret", seen)
        finally:
            self.assertEqual(console.stop(), 0)


if __name__ == "__main__":
    unittest.main(verbosity=2)
