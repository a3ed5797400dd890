"""The console's own CPU per camera shown on the wall.

Starts `darvik-host console --simulate N` (the simulated cameras run in the
console's process), waits until every camera delivers pictures, then
measures the process's CPU time (user + system, from /proc) over a window
twice: with no page open, and with a client that does what the wall's tiles
do (each camera's newest snapshot twice a second, with If-None-Match, so an
unchanged picture costs a 304). The difference, divided by N, is what one
tile costs the console; the whole process's CPU per camera is given too.
Runs alternate and repeat; the machine is shared, so medians are quoted.

    python3 bench/console_wall_bench.py build/bin/darvik-host [--cameras 16 64] [--runs 5] [--seconds 10]
"""
import argparse
import http.client
import os
import re
import signal
import statistics
import subprocess
import threading
import time

TICKS = os.sysconf("SC_CLK_TCK")


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS


class Console:
    def __init__(self, host, cameras):
        self.process = subprocess.Popen([host, "console", "--listen", "127.0.0.1:0", "--simulate", str(cameras)],
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        for line in self.process.stdout:
            found = re.search(r"console: http://(\S+?)/", line)
            if found:
                self.host = found.group(1)
                break
        else:
            raise RuntimeError("the console did not start")
        threading.Thread(target=self.process.stdout.read, daemon=True).start()
        self.cameras = cameras

    def get(self, connection, path, headers=None):
        connection.request("GET", path, headers=dict(headers or {}, Host=self.host))
        reply = connection.getresponse()
        return reply.status, reply.getheader("ETag"), reply.read()

    def wait_for_pictures(self, timeout=120):
        connection = http.client.HTTPConnection(self.host, timeout=10)
        deadline = time.time() + timeout
        for camera in range(self.cameras):
            while self.get(connection, f"/api/cameras/{camera}/snapshot.jpg")[0] != 200:
                if time.time() > deadline:
                    raise RuntimeError(f"camera {camera} sent no picture")
                time.sleep(0.2)
        connection.close()

    def stop(self):
        self.process.send_signal(signal.SIGINT)
        self.process.wait(60)


def wall(console, stop, connections=6):
    """Polls every camera's snapshot twice a second over `connections`
    kept-alive connections, as a browser's page does."""
    def run(cameras):
        connection = http.client.HTTPConnection(console.host, timeout=10)
        tags = {}
        while not stop.is_set():
            started = time.time()
            for camera in cameras:
                headers = {"If-None-Match": tags[camera]} if camera in tags else {}
                status, tag, _ = console.get(connection, f"/api/cameras/{camera}/snapshot.jpg", headers)
                if status == 200:
                    tags[camera] = tag
            stop.wait(max(0.0, 0.5 - (time.time() - started)))
        connection.close()

    threads = [threading.Thread(target=run, args=(list(range(i, console.cameras, connections)),))
               for i in range(connections)]
    for thread in threads:
        thread.start()
    return threads


def measure(console, seconds, with_wall):
    stop = threading.Event()
    threads = wall(console, stop) if with_wall else []
    time.sleep(1)  # settle
    before = cpu_seconds(console.process.pid)
    time.sleep(seconds)
    used = cpu_seconds(console.process.pid) - before
    stop.set()
    for thread in threads:
        thread.join()
    return used / seconds


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("host")
    parser.add_argument("--cameras", type=int, nargs="+", default=[16, 64])
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--seconds", type=float, default=10)
    arguments = parser.parse_args()
    for cameras in arguments.cameras:
        console = Console(arguments.host, cameras)
        try:
            console.wait_for_pictures()
            idle, shown = [], []
            for _ in range(arguments.runs):
                idle.append(measure(console, arguments.seconds, False))
                shown.append(measure(console, arguments.seconds, True))
        finally:
            console.stop()
        tile = [(s - i) / cameras for s, i in zip(shown, idle)]
        print(f"{cameras} cameras: whole process {statistics.median(shown) * 100 / cameras:.2f} % of a core per "
              f"camera with the wall open ({statistics.median(idle) * 100 / cameras:.2f} % without); "
              f"the wall's own cost {statistics.median(tile) * 100:.3f} % of a core per tile "
              f"(median of {arguments.runs}, {arguments.seconds:.0f} s windows)", flush=True)


if __name__ == "__main__":
    main()
