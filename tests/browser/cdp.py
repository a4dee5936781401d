"""A headless Chromium driven over its DevTools pipe, with nothing but the standard library.

Chromium reads commands from its file descriptor 3 and writes answers and events to 4, each
message a JSON text ended by a zero byte. One page (target) is opened and driven through its
session: load a file, collect every request it makes, take its DOM, its size and screenshots.
"""

import base64
import json
import os
import shutil
import struct
import subprocess
import tempfile
import time
import zlib

FLAGS = [
    "--headless",
    "--no-sandbox",
    "--disable-gpu",
    "--disable-quic",
    "--no-first-run",
    "--disable-background-networking",
    "--disable-component-update",
    "--disable-sync",
    "--disable-extensions",
    "--hide-scrollbars",
    "--remote-debugging-pipe",
]


def find_chromium():
    for name in ("chromium", "chromium-browser", "google-chrome"):
        path = shutil.which(name)
        if path:
            return path
    raise SystemExit("no chromium found; install Debian's package chromium")


class Browser:
    def __init__(self):
        self.profile = tempfile.mkdtemp(prefix="fragtally-chromium-")
        to_chromium_read, to_chromium_write = os.pipe()
        from_chromium_read, from_chromium_write = os.pipe()

        def wire_pipes():
            os.dup2(to_chromium_read, 3)
            os.dup2(from_chromium_write, 4)

        self.process = subprocess.Popen(
            [find_chromium(), *FLAGS, "--user-data-dir=" + self.profile, "about:blank"],
            stdin=subprocess.DEVNULL,
            stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL,
            preexec_fn=wire_pipes,
            pass_fds=(3, 4),
        )
        os.close(to_chromium_read)
        os.close(from_chromium_write)
        self.commands = os.fdopen(to_chromium_write, "wb")
        self.answers = os.fdopen(from_chromium_read, "rb")
        self.buffer = b""
        self.next_id = 0
        self.events = []
        target = self.call("Target.createTarget", {"url": "about:blank"})["targetId"]
        self.session = self.call("Target.attachToTarget", {"targetId": target, "flatten": True})[
            "sessionId"
        ]
        for domain in ("Page", "Network", "DOM"):
            self.page_call(domain + ".enable")

    def close(self):
        try:
            self.call("Browser.close")
        except (OSError, RuntimeError):
            pass
        try:
            self.process.wait(timeout=20)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self.commands.close()
        self.answers.close()
        shutil.rmtree(self.profile, ignore_errors=True)

    def _message(self, deadline):
        while b"\0" not in self.buffer:
            if time.monotonic() > deadline:
                raise RuntimeError("chromium did not answer in time")
            chunk = os.read(self.answers.fileno(), 1 << 20)
            if not chunk:
                raise RuntimeError("chromium closed its pipe")
            self.buffer += chunk
        text, self.buffer = self.buffer.split(b"\0", 1)
        return json.loads(text)

    def call(self, method, params=None, session=None, timeout=60):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        self.commands.write(json.dumps(message).encode() + b"\0")
        self.commands.flush()
        deadline = time.monotonic() + timeout
        while True:
            answer = self._message(deadline)
            if answer.get("id") == self.next_id:
                if "error" in answer:
                    raise RuntimeError("%s: %s" % (method, answer["error"]))
                return answer.get("result", {})
            self.events.append(answer)

    def page_call(self, method, params=None):
        return self.call(method, params, session=self.session)

    def wait_for(self, method, timeout=60):
        deadline = time.monotonic() + timeout
        while True:
            for i, event in enumerate(self.events):
                if event.get("method") == method:
                    return self.events.pop(i)
            self.events.append(self._message(deadline))

    def load(self, url, width, height=900, dark=False):
        """Shows url in a window of the given size and colour scheme; returns the URLs of
        every request made while it loaded, the page's own excepted."""
        self.page_call(
            "Emulation.setDeviceMetricsOverride",
            {"width": width, "height": height, "deviceScaleFactor": 1, "mobile": width < 600},
        )
        self.page_call(
            "Emulation.setEmulatedMedia",
            {"features": [{"name": "prefers-color-scheme", "value": "dark" if dark else "light"}]},
        )
        self.events.clear()
        self.page_call("Page.navigate", {"url": url})
        self.wait_for("Page.loadEventFired")
        # Requests that a late layout could start, such as fonts or images a style names.
        self.page_call("Runtime.evaluate", {"expression": "1", "awaitPromise": False})
        time.sleep(0.3)
        self.page_call("DOM.getDocument")
        requests = [
            e["params"]["request"]["url"]
            for e in self.events
            if e.get("method") == "Network.requestWillBeSent"
        ]
        return [r for r in requests if r != url]

    def dom(self):
        root = self.page_call("DOM.getDocument", {"depth": -1})["root"]
        return self.page_call("DOM.getOuterHTML", {"nodeId": root["nodeId"]})["outerHTML"]

    def computed(self, selector, prop):
        """The computed value of a CSS property for every element the selector matches, in
        document order."""
        self.page_call("DOM.enable")
        self.page_call("CSS.enable")
        root = self.page_call("DOM.getDocument")["root"]["nodeId"]
        nodes = self.page_call("DOM.querySelectorAll", {"nodeId": root, "selector": selector})
        values = []
        for node in nodes["nodeIds"]:
            style = self.page_call("CSS.getComputedStyleForNode", {"nodeId": node})
            values.append(next((p["value"] for p in style["computedStyle"] if p["name"] == prop),
                               None))
        return values

    def content_size(self):
        size = self.page_call("Page.getLayoutMetrics")["cssContentSize"]
        return size["width"], size["height"]

    def screenshot(self, path=None, scale=1, most=None):
        """A PNG of the whole page at the given scale (at most `most` pixels high when given),
        written to path when given."""
        width, height = self.content_size()
        height = min(height, most) if most else height
        shot = self.page_call(
            "Page.captureScreenshot",
            {
                "format": "png",
                "captureBeyondViewport": True,
                "clip": {"x": 0, "y": 0, "width": width, "height": height, "scale": scale},
            },
        )
        data = base64.b64decode(shot["data"])
        if path:
            with open(path, "wb") as f:
                f.write(data)
        return data


def png_pixels(data):
    """The pixels of an 8-bit, non-interlaced RGB or RGBA PNG, as a list of byte rows."""
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
    pos, idat = 8, b""
    while pos < len(data):
        length = struct.unpack(">I", data[pos : pos + 4])[0]
        kind, body = data[pos + 4 : pos + 8], data[pos + 8 : pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            assert depth == 8 and colour in (2, 6) and interlace == 0, "unexpected PNG form"
            step = 3 if colour == 2 else 4
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw = zlib.decompress(idat)
    stride = width * step
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        row = bytearray(raw[y * (stride + 1) + 1 : (y + 1) * (stride + 1)])
        for i in range(stride):
            left = row[i - step] if i >= step else 0
            up = previous[i]
            corner = previous[i - step] if i >= step else 0
            if kind == 1:
                row[i] = (row[i] + left) & 0xFF
            elif kind == 2:
                row[i] = (row[i] + up) & 0xFF
            elif kind == 3:
                row[i] = (row[i] + (left + up) // 2) & 0xFF
            elif kind == 4:
                guess = left + up - corner
                near = min((abs(guess - left), 0, left), (abs(guess - up), 1, up),
                           (abs(guess - corner), 2, corner))
                row[i] = (row[i] + near[2]) & 0xFF
        rows.append(bytes(row))
        previous = row
    return [[row[x : x + step] for x in range(0, stride, step)] for row in rows]
