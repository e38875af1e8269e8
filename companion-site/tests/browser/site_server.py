"""The real clipvane-site for the browser test, and the calls the desktop
program makes to it: certificates from the development script, one user in a
throw-away SQLite store, the server on a free loopback port."""

import http.client
import json
import re
import ssl
import struct
import subprocess
import threading
import urllib.parse
import zlib


def make_png(width=64, height=40):
    """A real RGB image, made here rather than by the code under test."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    rows = b"".join(b"\0" + bytes(v for x in range(width) for v in (x * 4 % 256, y * 6 % 256, 140))
                    for y in range(height))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


class Site:
    def __init__(self, program, certificates_script, folder):
        certificates = folder / "certificates"
        subprocess.run(["/bin/sh", certificates_script, str(certificates)], check=True)
        self.context = ssl.create_default_context(cafile=str(certificates / "ca.pem"))
        self.program, self.store = program, ["--data", str(folder / "data")]
        self.log = []
        self.process = subprocess.Popen(
            [program, "serve", "--listen", "127.0.0.1:0", *self.store, "--cert", str(certificates / "server.pem"),
             "--key", str(certificates / "server.key")],
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        for line in self.process.stdout:
            self.log.append(line)
            found = re.search(r"listening on (https://localhost:(\d+))", line)
            if found:
                self.url, self.port = found.group(1), int(found.group(2))
                break
        else:
            raise RuntimeError("the server did not start:\n" + "".join(self.log))
        # Drained, so that a full pipe never stalls the server.
        threading.Thread(target=lambda: self.log.extend(self.process.stdout), daemon=True).start()

    def add_user(self, name, password):
        subprocess.run([self.program, "user", "add", name, "--password-file", "-", "--free", *self.store],
                       input=password + "\n", text=True, check=True, capture_output=True)

    def stop(self):
        """Ends the server; its exit status must be a clean one."""
        self.process.terminate()
        try:
            code = self.process.wait(timeout=60)
        except subprocess.TimeoutExpired:
            self.process.kill()
            raise
        if code != 0:
            raise RuntimeError(f"the server exited with {code}:\n" + "".join(self.log))

    def request(self, method, path, body=None, headers=None):
        """(status, headers, body text) of one HTTPS request."""
        connection = http.client.HTTPSConnection("localhost", self.port, context=self.context, timeout=60)
        try:
            connection.request(method, path, body=body, headers=headers or {})
            answer = connection.getresponse()
            return answer.status, answer.headers, answer.read().decode(errors="replace")
        finally:
            connection.close()

    def redeem(self, code):
        """Links a device with the code shown on the account page; its token."""
        status, _, body = self.request("POST", "/api/link/redeem", json.dumps({"code": code}),
                                       {"Content-Type": "application/json"})
        if status != 200:
            raise AssertionError(f"redeeming {code} answered {status}: {body}")
        return json.loads(body)["token"]

    def upload(self, token, png):
        """Uploads a shot as the program does; its public link."""
        status, _, body = self.request("POST", "/api/shots", png,
                                       {"Authorization": "Bearer " + token, "Content-Type": "image/png"})
        if status != 200:
            raise AssertionError(f"the upload answered {status}: {body}")
        return json.loads(body)["url"]

    def status_of(self, url):
        return self.request("GET", urllib.parse.urlsplit(url).path)[0]

    def sign_in(self, user, password):
        """A second browser's session: its cookie ("__Host-session=...")."""
        _, headers, page = self.request("GET", "/account")
        cookie = headers["Set-Cookie"].split(";")[0]
        token = re.search(r'name="form" value="([^"]+)"', page).group(1)
        form = urllib.parse.urlencode({"form": token, "user": user, "password": password})
        status, headers, _ = self.request("POST", "/account/sign-in", form, {
            "Cookie": cookie, "Content-Type": "application/x-www-form-urlencoded"})
        if status != 303:
            raise AssertionError(f"signing in over HTTP answered {status}")
        return headers["Set-Cookie"].split(";")[0]

    def signed_in(self, cookie):
        """Whether the account page still knows this session."""
        return 'action="/account/sign-out"' in self.request("GET", "/account", headers={"Cookie": cookie})[2]
