#!/usr/bin/python3
"""How long an HTML report takes to open in headless Chromium: from the
navigation to the load event plus a forced layout, in seconds (the median of
--runs, each in a fresh tab after a warm-up).

    page_open.py [--runs N] [--chromium PATH] PAGE.html

Chromium is driven through its DevTools protocol over --remote-debugging-pipe
(JSON messages, each ended by a NUL byte, written to its fd 3 and read from its
fd 4), so nothing beyond the standard library is needed.

    page_open.py --collection DIR --make-audio BUILD/make_bench_audio

lays out a collection like a large library instead: 500 HDCD tracks of 70 s
in 100 albums, and 2,000 short tracks without HDCD, one in each of 2,000
albums (hard links of three generated files), for `qv-hdcd-batch scan DIR
--html PAGE.html`.
"""
import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

CHROMIUM_FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                  "--disable-background-networking", "--disable-component-update", "--disable-sync",
                  "--window-size=1280,1000", "--remote-debugging-pipe"]


class Browser:
    def __init__(self, chromium):
        self.profile = tempfile.mkdtemp(prefix="page-open-")
        to_browser_read, self.to_browser = os.pipe()
        self.from_browser, from_browser_write = os.pipe()

        def wire():  # the browser reads commands on fd 3 and writes answers on fd 4
            commands, answers = os.dup(to_browser_read), os.dup(from_browser_write)  # either may be 3 or 4
            os.dup2(commands, 3)  # inheritable, unlike the pipe's own ends
            os.dup2(answers, 4)

        self.process = subprocess.Popen([chromium, *CHROMIUM_FLAGS, "--user-data-dir=" + self.profile, "about:blank"],
                                        preexec_fn=wire, close_fds=False,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(to_browser_read)
        os.close(from_browser_write)
        self.pending = b""
        self.next_id = 0
        self.events = []

    def close(self):
        try:
            self.send("Browser.close")
            self.process.wait(timeout=20)
        except (OSError, subprocess.TimeoutExpired, RuntimeError):
            self.process.kill()
            self.process.wait()
        os.close(self.to_browser)
        os.close(self.from_browser)
        shutil.rmtree(self.profile, ignore_errors=True)

    def message(self):
        while b"\0" not in self.pending:
            chunk = os.read(self.from_browser, 1 << 20)
            if not chunk:
                raise RuntimeError("chromium closed the pipe")
            self.pending += chunk
        text, self.pending = self.pending.split(b"\0", 1)
        return json.loads(text)

    def send(self, method, session=None, **params):
        """Sends a command and returns its result; events that arrive meanwhile are kept."""
        self.next_id += 1
        command = {"id": self.next_id, "method": method, "params": params}
        if session:
            command["sessionId"] = session
        os.write(self.to_browser, json.dumps(command).encode() + b"\0")
        while True:
            answer = self.message()
            if answer.get("id") == self.next_id:
                if "error" in answer:
                    raise RuntimeError("%s: %s" % (method, answer["error"]))
                return answer.get("result", {})
            self.events.append(answer)

    def wait_event(self, method, session):
        while True:
            for index, event in enumerate(self.events):
                if event.get("method") == method and event.get("sessionId") == session:
                    del self.events[index]
                    return event
            self.events.append(self.message())

    def open_timed(self, url):
        """Seconds from the navigation to the load event and a forced layout, in a new tab."""
        target = self.send("Target.createTarget", url="about:blank")["targetId"]
        session = self.send("Target.attachToTarget", targetId=target, flatten=True)["sessionId"]
        self.send("Page.enable", session)
        self.events.clear()
        start = time.perf_counter()
        self.send("Page.navigate", session, url=url)
        self.wait_event("Page.loadEventFired", session)
        height = self.send("Runtime.evaluate", session, expression="document.body.offsetHeight",
                           returnByValue=True)["result"]["value"]
        seconds = time.perf_counter() - start
        self.send("Target.closeTarget", targetId=target)
        return seconds, height


def make_collection(folder, make_audio):
    sources = os.path.join(folder, ".sources")
    os.makedirs(sources, exist_ok=True)
    made = {}
    for name, args in [("hdcd", ["70"]), ("plain", ["--no-packets", "3"])]:
        made[name] = os.path.join(sources, name + ".wav")
        subprocess.run([make_audio, *args, made[name]], check=True)
    for album in range(2000):
        album_folder = os.path.join(folder, "Artist %02d" % (album % 50), "Album %04d" % album)
        os.makedirs(album_folder, exist_ok=True)
        os.link(made["plain"], os.path.join(album_folder, "00 intro.wav"))
        if album % 20 == 0:  # 100 albums of 5 HDCD tracks
            for track in range(1, 6):
                os.link(made["hdcd"], os.path.join(album_folder, "%02d track.wav" % track))
    shutil.rmtree(sources)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("page", nargs="?")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--chromium", default="/usr/bin/chromium")
    parser.add_argument("--collection", help="lay out the benchmark collection in this new folder instead")
    parser.add_argument("--make-audio", help="the make_bench_audio program, for --collection")
    args = parser.parse_args()
    if args.collection:
        if not args.make_audio:
            parser.error("--collection needs --make-audio")
        make_collection(args.collection, args.make_audio)
        return 0
    if not args.page:
        parser.error("no PAGE given")
    url = "file://" + os.path.abspath(args.page)
    browser = Browser(args.chromium)
    try:
        browser.open_timed("about:blank")  # the first tab starts the renderer
        timings = []
        for _ in range(args.runs):
            seconds, height = browser.open_timed(url)
            timings.append(seconds)
            print("%.3f s (page %d px tall)" % (seconds, height), file=sys.stderr)
    finally:
        browser.close()
    print("%.3f" % statistics.median(timings))
    return 0


if __name__ == "__main__":
    sys.exit(main())
