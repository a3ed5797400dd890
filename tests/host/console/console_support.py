"""Starts `darvik-host console` as a user does and talks to it over HTTP."""
import json
import os
import re
import signal
import subprocess
import time
import urllib.error
import urllib.request


class Console:
    def __init__(self, host_binary, *arguments):
        self.process = subprocess.Popen(
            [host_binary, "console", "--listen", "127.0.0.1:0", *arguments],
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        self.output = ""
        self.control = None
        self.mac = None
        deadline = time.time() + 30
        while time.time() < deadline:
            line = self.process.stdout.readline()
            if not line:
                raise RuntimeError("darvik-host console ended:\n" + self.output)
            self.output += line
            found = re.search(r"control (\S+), MAC address (\S+)", line)
            if found and self.control is None:
                self.control, self.mac = found.group(1), found.group(2)
            found = re.search(r"console: (http://\S+)", line)
            if found:
                self.url = found.group(1)
                self.host = self.url.split("/")[2]
                return
        raise RuntimeError("no console URL:\n" + self.output)

    def request(self, path, body=None, headers=None, base=None):
        """(status, parsed JSON or raw bytes) of a GET, or a POST when body is given."""
        data = None if body is None else json.dumps(body).encode()
        request = urllib.request.Request((base or self.url) + path.lstrip("/"), data=data,
                                         headers=headers or {}, method="GET" if body is None else "POST")
        try:
            with urllib.request.urlopen(request, timeout=10) as reply:
                status, raw = reply.status, reply.read()
        except urllib.error.HTTPError as error:
            status, raw = error.code, error.read()
        try:
            return status, json.loads(raw)
        except ValueError:
            return status, raw

    def post(self, path, body):
        return self.request(path, body, {"Origin": "http://" + self.host, "Content-Type": "application/json"})

    def simulator(self, path, post=False):
        return self.request(path, {} if post else None, base=self.control)[1]

    def rss_kib(self):
        with open(f"/proc/{self.process.pid}/status") as status:
            return int(re.search(r"VmRSS:\s+(\d+)", status.read()).group(1))

    def stop(self, timeout=20):
        """Ctrl-C; the exit status."""
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGINT)
        try:
            self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            return None
        self.output += self.process.stdout.read()
        return self.process.returncode


def wait_for(condition, timeout, what):
    deadline = time.time() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.time() > deadline:
            raise AssertionError(f"timed out after {timeout} s waiting for {what}")
        time.sleep(0.1)


def host_binary(argv):
    path = argv[1] if len(argv) > 1 else os.environ.get("DARVIK_HOST", "build/bin/darvik-host")
    del argv[1:]
    return os.path.abspath(path)


class Farm:
    """darvik-camsim --farm: cameras that outlive a console, made and faulted
    through the farm's JSON interface."""

    def __init__(self, camsim_binary):
        self.process = subprocess.Popen([camsim_binary, "--farm", "--port", "0"], stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        line = self.process.stdout.readline()
        found = re.search(r"Farm: (http://\S+)", line)
        if not found:
            self.process.kill()
            raise RuntimeError("no farm URL: " + line)
        self.url = found.group(1)

    def call(self, path, body=None, method=None):
        data = None if body is None else json.dumps(body).encode()
        request = urllib.request.Request(self.url + path, data=data, method=method or ("GET" if body is None else "POST"),
                                         headers={"Content-Type": "application/json"})
        with urllib.request.urlopen(request, timeout=10) as reply:
            return json.loads(reply.read())

    def camera(self, **config):
        """A new camera: (farm id, "127.0.0.1:port")."""
        made = self.call("/simulators", {"config": config})
        return made["id"], "127.0.0.1:%d" % made["port"]

    def streams(self, camera):
        """{"active": streams open now, "frames": frames sent so far}."""
        return self.call("/simulators/%d/control/streams" % camera)

    def stop(self):
        self.process.stdin.close()
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


def camsim_binary(host):
    return os.environ.get("DARVIK_CAMSIM", os.path.join(os.path.dirname(host), "darvik-camsim"))
