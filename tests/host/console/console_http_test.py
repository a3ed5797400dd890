"""darvik-host console at the HTTP level: who may change things, what a
non-loopback address needs, that viewers cost bounded memory, and that a
hostile camera, a hand-made preset file and a connection flood leave it
serving."""
import contextlib
import http.client
import json
import os
import resource
import socket
import subprocess
import sys
import time
import unittest
import urllib.request

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


def read_events(port, host, until, timeout):
    """Reads the console's event stream until until(events) holds; the
    events as (name, parsed data), in order."""
    events = []
    # The stream is chunked; http.client takes the chunks apart. The console
    # sends a comment every second, so a read never waits long.
    stream = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
    with contextlib.closing(stream):
        stream.request("GET", "/events", headers={"Host": host})
        reply = stream.getresponse()
        buffer = b""
        deadline = time.time() + timeout
        while time.time() < deadline:
            chunk = reply.read1(65536)
            if not chunk:
                break
            buffer += chunk
            while b"\n\n" in buffer:
                block, buffer = buffer.split(b"\n\n", 1)
                fields = dict(line.split(b": ", 1) for line in block.split(b"\n") if b": " in line)
                if b"event" in fields:
                    # The stream must be UTF-8 throughout: strict decoding.
                    events.append((fields[b"event"].decode(), json.loads(fields[b"data"].decode("utf-8"))))
            if until(events):
                return events
    raise AssertionError("the event stream did not show what was waited for: %r" % events[-20:])


def latest(events, name):
    found = [data for event, data in events if event == name]
    return found[-1] if found else None


class HostileData(unittest.TestCase):
    """A camera whose product id is not text and that claims 2^31-1 inputs,
    a preset file in ISO-8859-1 with a name in it, and floods of idle,
    trickling and streaming connections."""

    MAC = "00-DE-C0-00-21-07"

    @classmethod
    def setUpClass(cls):
        cls.preset_file = os.path.join(os.path.dirname(HOST), "Darvik_%s.preset" % cls.MAC.replace("-", ""))
        with open(cls.preset_file, "wb") as presets:
            presets.write(b"<?xml version='1.0' encoding='iso-8859-1'?>\n<Darvik><PtzChannel01>"
                          b"<Preposition000><Name value=\"Caf\xe9\"/><Slot value=\"0\"/></Preposition000>"
                          b"</PtzChannel01></Darvik>\n")
        cls.console = Console(HOST, "--simulate", "--sim-mac", cls.MAC, "--outputs", "5000",
                              "--sim-product-id", os.fsdecode(b"\xff\xfe7"), "--sim-claimed-inputs", "2147483647")
        cls.port = int(cls.console.host.split(":")[1])

    @classmethod
    def tearDownClass(cls):
        status = cls.console.stop()
        os.remove(cls.preset_file)
        assert status == 0, f"Ctrl-C did not stop the console cleanly ({status}):\n{cls.console.output}"

    def test_text_that_is_not_utf8_and_absurd_counts(self):
        events = read_events(self.port, self.console.host, lambda seen: (
            (latest(seen, "caps") or {}).get("outcome") == "succeeded" and latest(seen, "presets")
            and latest(seen, "presets")["names"] and latest(seen, "io") and latest(seen, "io")["outputs"]), 30)
        caps = latest(events, "caps")
        self.assertEqual(caps["model"], "Darvik \u00ff\u00fe7")
        self.assertEqual(caps["alarmInputs"], 1024, "the module reports at most 1024 inputs")
        self.assertEqual(latest(events, "presets")["names"], ["Caf\u00e9"])
        self.assertLessEqual(len(latest(events, "io")["inputs"]), 1024)
        # 5000 outputs asked for on the command line are 1024 in the console.
        self.assertEqual(len(latest(events, "io")["outputs"]), 1024)
        status, _ = self.console.post("api/cameras/0/output", {"output": 1024, "on": True})
        self.assertEqual(status, 422)
        self.assertLess(self.console.rss_kib(), 300 * 1024)

        # Names go back to the module in its own encoding, and the file
        # keeps them in ISO-8859-1.
        status, answer = self.console.post("api/cameras/0/preset", {"action": "add", "name": "Gr\u00f6\u00dfe"})
        self.assertEqual((status, answer["ok"]), (200, True), answer)
        with open(self.preset_file, "rb") as presets:
            self.assertIn(b"Gr\xf6\xdfe", presets.read())
        for name in ["nul\u0000x", "\u20ac"]:
            status, answer = self.console.post("api/cameras/0/preset", {"action": "add", "name": name})
            self.assertEqual(status, 422, name)
        events = read_events(self.port, self.console.host,
                             lambda seen: latest(seen, "presets") and len(latest(seen, "presets")["names"]) >= 2, 10)
        self.assertEqual(latest(events, "presets")["names"], ["Caf\u00e9", "Gr\u00f6\u00dfe"])
        # Still serving, and what it serves cannot be embedded elsewhere.
        with urllib.request.urlopen(self.console.url + "api/health", timeout=5) as reply:
            self.assertEqual(reply.headers["Cross-Origin-Resource-Policy"], "same-origin")
        self.assertIsNone(self.console.process.poll())

    def test_a_connection_flood_leaves_room_for_ordinary_requests(self):
        hostile = []
        try:
            for i in range(250):
                connection = socket.create_connection(("127.0.0.1", self.port), timeout=5)
                if i % 3 == 0:
                    pass  # connects and says nothing
                elif i % 3 == 1:
                    connection.sendall(b"GET / HTTP/1.1\r\nX-Slow: ")  # headers that never end
                else:
                    connection.sendall(f"GET /events HTTP/1.1\r\nHost: {self.console.host}\r\n\r\n".encode())
                hostile.append(connection)
            time.sleep(0.5)
            started = time.time()
            status, health = self.console.request("api/health")
            self.assertEqual(status, 200)
            self.assertLess(time.time() - started, 3.0, "an ordinary request waited behind the flood")
            self.assertLessEqual(health["eventStreams"] + health["pictureStreams"], 32)
            # Streams beyond the cap were told so.
            refused = 0
            for connection in hostile[2::3]:
                connection.settimeout(0.2)
                try:
                    refused += connection.recv(64).startswith(b"HTTP/1.1 503")
                except socket.timeout:
                    pass
            self.assertGreater(refused, 40)
            # Headers must be complete within the deadline, trickled or not,
            # on a new connection and on one kept alive after a request.
            kept = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
            kept.request("GET", "/api/health", headers={"Host": self.console.host})
            self.assertEqual(kept.getresponse().read()[:1], b"{")
            kept.sock.sendall(b"GET / HTTP/1.1\r\nX-Slow: ")
            tricklers = {"new": hostile[1], "kept alive": kept.sock}
            deadline = time.time() + 25
            while time.time() < deadline and tricklers:
                for name, trickle in list(tricklers.items()):
                    try:
                        trickle.sendall(b"x")
                        trickle.settimeout(1)
                        if trickle.recv(64) == b"":
                            del tricklers[name]
                    except socket.timeout:
                        pass
                    except OSError:
                        del tricklers[name]
            self.assertEqual(list(tricklers), [], "connections trickling their headers were kept")
            kept.close()
        finally:
            for connection in hostile:
                connection.close()
        wait_for(lambda: self.console.request("api/health")[1]["eventStreams"] == 0, 10, "the streams to end")

    def test_connection_limits_per_address_and_in_total(self):
        """384 connections from one address, 512 in all; the clients take
        addresses of 127/8 no other test uses, so nothing else counts."""
        soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
        resource.setrlimit(resource.RLIMIT_NOFILE, (max(soft, min(hard, 4096)), hard))

        def connect(source):
            connection = socket.socket()
            connection.bind((source, 0))
            connection.settimeout(20)
            connection.connect(("127.0.0.1", self.port))
            return connection

        def hold(source):
            # A request whose body never comes: past the header deadline,
            # it holds its connection.
            connection = connect(source)
            connection.sendall(f"POST /api/cameras/0/ptz HTTP/1.1\r\nHost: {self.console.host}\r\n"
                               "Content-Type: application/json\r\nContent-Length: 64\r\n\r\n".encode())
            return connection

        def ask(source):
            connection = connect(source)
            try:
                connection.sendall(f"GET /api/health HTTP/1.1\r\nHost: {self.console.host}\r\n"
                                   "Connection: close\r\n\r\n".encode())
            except (BrokenPipeError, ConnectionResetError):
                pass  # closed at once; recv says so
            return connection

        def answer(connection):
            """The start of the answer; b"" when closed unanswered."""
            try:
                with connection:
                    return connection.recv(64)
            except ConnectionResetError:
                return b""

        held = []
        try:
            held += [hold("127.0.0.4") for _ in range(384)]
            self.assertEqual(answer(ask("127.0.0.4")), b"", "a 385th connection from one address was served")
            self.assertTrue(answer(ask("127.0.0.5")).startswith(b"HTTP/1.1 200"))
            held += [hold("127.0.0.5") for _ in range(128)]
            self.assertEqual(answer(ask("127.0.0.6")), b"", "a 513th connection was served")
            for connection in held[-16:]:
                connection.close()
            wait_for(lambda: answer(ask("127.0.0.6")).startswith(b"HTTP/1.1 200"), 20, "room after some left")
        finally:
            for connection in held:
                connection.close()
        wait_for(lambda: answer(ask("127.0.0.4")).startswith(b"HTTP/1.1 200"), 20, "the held connections to go")


if __name__ == "__main__":
    unittest.main(verbosity=2)
