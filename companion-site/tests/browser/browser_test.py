#!/usr/bin/python3
"""The account pages used in a real browser against the real clipvane-site:
a user signs in, links a device, sees an upload, deletes it, changes the
password and signs out everywhere, partly with the keyboard alone. Each state
in the table is checked as page_checks.py says; screenshots go to --out."""

import argparse
import http.client
import json
import re
import ssl
import subprocess
import sys
import tempfile
import threading
from pathlib import Path

from selenium.webdriver.common.keys import Keys

from page_checks import Browser

USER, PASSWORD, NEW_PASSWORD = "anna", "first secret 1", "second secret 2"
SUBMIT = "//button[normalize-space()='{}']"
SIGN_IN_FORM, ACCOUNT_PAGE = "Имя пользователя", "Выйти на всех устройствах"  # words only these pages show
PNG = (Path(__file__).resolve().parent.parent / "corpus" / "site_png" / "rgb-3x2.png").read_bytes()


def expect(condition, what):
    if not condition:
        raise AssertionError(what)


class Site:
    """The server on a free loopback port over a throw-away SQLite store, with
    certificates from the development script, and the calls the desktop
    program makes to it."""

    def __init__(self, program, certificates_script, folder):
        certificates = folder / "certificates"
        subprocess.run(["/bin/sh", certificates_script, str(certificates)], check=True)
        self.context = ssl.create_default_context(cafile=str(certificates / "ca.pem"))
        store = ["--data", str(folder / "data")]
        subprocess.run([program, "user", "add", USER, "--password-file", "-", *store],
                       input=PASSWORD + "\n", text=True, check=True, capture_output=True)
        self.process = subprocess.Popen(
            [program, "serve", "--listen", "127.0.0.1:0", *store, "--cert", str(certificates / "server.pem"),
             "--key", str(certificates / "server.key")],
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        self.log = []
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

    def stop(self):
        """Ends the server; its exit status must be a clean one."""
        self.process.terminate()
        code = self.process.wait(timeout=60)
        if code != 0:
            raise RuntimeError(f"the server exited with {code}:\n" + "".join(self.log))

    def request(self, method, path, body=None, headers=None):
        """(status, body text) of one HTTPS request."""
        connection = http.client.HTTPSConnection("localhost", self.port, context=self.context, timeout=60)
        try:
            connection.request(method, path, body=body, headers=headers or {})
            answer = connection.getresponse()
            return answer.status, answer.read().decode(errors="replace")
        finally:
            connection.close()

    def post(self, path, body, headers):
        """The answer's JSON, or raises when it is not a success."""
        status, text = self.request("POST", path, body, headers)
        expect(status == 200, f"{path} answered {status}: {text}")
        return json.loads(text)


class Flow:
    """The steps of one user's visit; each leaves the page in a state to check."""

    def __init__(self, site, browser):
        self.site, self.browser = site, browser
        self.code = self.link = None

    def account_text(self):
        self.browser.open(self.site.url + "/account")
        return self.browser.text()

    def open_sign_in(self):
        expect(SIGN_IN_FORM in self.account_text(), "/account does not offer to sign in")

    def wrong_password(self):
        self.browser.fill("user", USER)
        self.browser.fill("password", "not the password")
        self.browser.click(SUBMIT.format("Войти"))
        expect("Неверное имя пользователя или пароль" in self.browser.text(), "a wrong password is not refused")

    def sign_in_by_keyboard(self):
        self.browser.tab_to("user")
        self.browser.select_all()
        self.browser.submit_keys(USER, Keys.TAB, PASSWORD)
        expect(ACCOUNT_PAGE in self.browser.text(), "signing in with the keyboard failed")

    def ask_link_code(self):
        self.browser.click(SUBMIT.format("Получить код"))
        self.code = self.browser.run("return document.querySelector('.code')?.textContent")
        expect(self.code, "no link code is shown")

    def link_device_and_upload(self):
        token = self.site.post("/api/link/redeem", json.dumps({"code": self.code}),
                               {"Content-Type": "application/json"})["token"]
        self.link = self.site.post("/api/shots", PNG, {"Authorization": "Bearer " + token,
                                                       "Content-Type": "image/png"})["url"]
        text = self.account_text()
        expect("Устройство №" in text, "the linked device is not listed")
        expect(self.link in text, "the uploaded shot is not listed")

    def open_and_delete_shot(self):
        self.browser.click(f"//a[@href='{self.link}']")
        expect(self.browser.run("return document.contentType") == "image/png", "the shot's link shows no image")
        self.browser.next_page(self.browser.driver.back)
        self.browser.click(f"//li[.//a[@href='{self.link}']]{SUBMIT.format('Удалить')}")
        expect(self.link not in self.account_text(), "the deleted shot is still listed")
        self.browser.open(self.link)  # the page its visitors now see
        expect(self.browser.run("return document.contentType") != "image/png", "the deleted shot is still served")

    def wrong_current_password(self):
        self.account_text()
        for field, text in (("current", "not the password"), ("new", NEW_PASSWORD), ("repeat", NEW_PASSWORD)):
            self.browser.fill(field, text)
        self.browser.click(SUBMIT.format("Сменить пароль"))
        expect("Текущий пароль неверен" in self.browser.text(), "a wrong current password is not refused")

    def change_password_by_keyboard(self):
        self.browser.tab_to("current")
        self.browser.submit_keys(PASSWORD, Keys.TAB, NEW_PASSWORD, Keys.TAB, NEW_PASSWORD)
        expect("Пароль изменён" in self.browser.text(), "changing the password with the keyboard failed")

    def sign_out_everywhere(self):
        self.browser.click(SUBMIT.format("Выйти на всех устройствах"))
        expect(SIGN_IN_FORM in self.account_text(), "this browser is still signed in")


STATES = (
    ("sign-in", Flow.open_sign_in),
    ("sign-in-refused", Flow.wrong_password),
    ("account", Flow.sign_in_by_keyboard),
    ("account-link-code", Flow.ask_link_code),
    ("account-device-and-shot", Flow.link_device_and_upload),
    ("deleted-shot-link", Flow.open_and_delete_shot),
    ("password-refused", Flow.wrong_current_password),
    ("password-changed", Flow.change_password_by_keyboard),
    ("signed-out-everywhere", Flow.sign_out_everywhere),
)


def visit(site, browser):
    """Goes through the table; the problems found, or raises when a step fails."""
    flow, problems = Flow(site, browser), []
    for state, step in STATES:
        try:
            step(flow)
        except Exception:
            browser.screenshot("failed-step.png")
            print(f"step {state} failed on {browser.driver.current_url}:\n{browser.text()[:600]}")
            raise
        problems += browser.check(state)
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    for option in ("--site", "--certificates", "--axe", "--out"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory(prefix="clipvane-browser-") as scratch:
        site = Site(args.site, args.certificates, Path(scratch))
        try:
            browser = Browser(Path(scratch) / "profile", args.axe, args.out)
            try:
                problems = visit(site, browser)
            finally:
                browser.driver.quit()
        finally:
            site.stop()
    print("screenshots:\n" + "\n".join(f"  {path}" for path in browser.saved))
    print("\n".join(problems + [f"{len(STATES)} states, {len(problems)} problems"]))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
