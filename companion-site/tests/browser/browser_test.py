#!/usr/bin/python3
"""The account pages in headless Chromium (page scripts off, as the pages
need none) against the real clipvane-site: a user signs in, links a device,
sees an upload, deletes it, changes the password and signs out everywhere,
partly with the keyboard alone. Every state passes the same checks: nothing
blocked by the content security policy, a sound layout and sound fields at
three widths (page.js), no serious or critical finding of axe-core, and a
focus order that follows the page with the focus always visible."""

import argparse
import contextlib
import json
import re
import ssl
import subprocess
import sys
import tempfile
import threading
import urllib.request
from pathlib import Path

from selenium import webdriver
from selenium.common.exceptions import WebDriverException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.wait import WebDriverWait

USER, PASSWORD, NEW_PASSWORD = "anna", "first secret 1", "second secret 2"
SUBMIT = "//button[normalize-space()='{}']"
SIGN_IN_FORM, ACCOUNT_PAGE = "Имя пользователя", "Выйти на всех устройствах"  # words only these pages show
HERE = Path(__file__).resolve().parent
PNG = (HERE.parent / "corpus" / "site_png" / "rgb-3x2.png").read_bytes()
PAGE_JS = (HERE / "page.js").read_text(encoding="utf-8")
WIDTHS = (1280, 768, 360)  # the phone's last: the focus walk and axe run there
NAME_JS = "const nameOf = e => `<${e.localName}> ${(e.textContent || e.name || '').trim().slice(0, 30)}`;"
FOCUSABLES_JS = NAME_JS + """return [...document.querySelectorAll(
  'a[href],button,input:not([type=hidden]),select,textarea,[tabindex]')]
  .filter(e => e.tabIndex >= 0 && !e.disabled && e.getClientRects().length).map(e => [e, nameOf(e)]);"""
FOCUS_JS = NAME_JS + """const e = document.activeElement, box = e.getBoundingClientRect(), style = getComputedStyle(e);
const shown = style.outlineStyle !== 'none' && parseFloat(style.outlineWidth) > 0 || style.boxShadow !== 'none';
return [e, nameOf(e), box.top + scrollY, box.bottom + scrollY, box.left + scrollX, shown];"""


def expect(condition, what):
    if not condition:
        raise AssertionError(what)


class Site:
    """The server on a free loopback port over a throw-away SQLite store, with
    certificates from the development script; its exit must be a clean one."""

    def __init__(self, program, certificates_script, folder):
        certificates = folder / "certificates"
        subprocess.run(["/bin/sh", certificates_script, str(certificates)], check=True)
        self.context = ssl.create_default_context(cafile=str(certificates / "ca.pem"))
        store = ["--data", str(folder / "data")]
        subprocess.run([program, "user", "add", USER, "--password-file", "-", *store],
                       input=PASSWORD + "\n", text=True, check=True, capture_output=True)
        self.process = subprocess.Popen(
            [program, "serve", "--listen", "127.0.0.1:0", *store, "--cert", str(certificates / "server.pem"),
             "--key", str(certificates / "server.key")], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        self.log = []
        for line in self.process.stdout:
            self.log.append(line)
            if found := re.search(r"listening on (https://localhost:\d+)", line):
                self.url = found.group(1)
                break
        else:
            raise RuntimeError("the server did not start:\n" + "".join(self.log))
        # Drained, so that a full pipe never stalls the server.
        threading.Thread(target=lambda: self.log.extend(self.process.stdout), daemon=True).start()

    def stop(self):
        self.process.terminate()
        if code := self.process.wait(timeout=60):
            raise RuntimeError(f"the server exited with {code}:\n" + "".join(self.log))

    def post(self, path, body, content_type, token=""):
        """The answer's JSON, as the desktop program posts; raises unless a success."""
        headers = {"Content-Type": content_type} | ({"Authorization": "Bearer " + token} if token else {})
        request = urllib.request.Request(self.url + path, body, headers)
        with urllib.request.urlopen(request, context=self.context, timeout=60) as answer:
            return json.load(answer)


class Browser:
    def __init__(self, profile, axe_script):
        options = webdriver.ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        for argument in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                         "--disable-background-networking", "--disable-component-update", "--disable-sync",
                         f"--user-data-dir={profile}"):
            options.add_argument(argument)
        options.accept_insecure_certs = True  # the test's own certificate authority, for this browser only
        options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
        self.driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        self.driver.set_script_timeout(60)
        self.scripts(False)
        self.axe_source = Path(axe_script).read_text(encoding="utf-8")

    def scripts(self, on):
        """Page scripts stay off across navigations; the test's own probes run
        through the driver all the same, and axe needs timers only while it runs."""
        self.driver.execute_cdp_cmd("Emulation.setScriptExecutionDisabled", {"value": not on})

    def run(self, script, *arguments):
        return self.driver.execute_script(script, *arguments)

    def text(self):
        return self.driver.find_element(By.TAG_NAME, "body").text

    def next_page(self, action):
        """Does what leads to another page, and waits until it is there."""
        old = self.driver.find_element(By.TAG_NAME, "html")
        action()

        # While the old page is torn down Chromium may answer for its nodes
        # with a plain error instead of a stale reference: both mean it is gone.
        def gone(_):
            try:
                old.is_enabled()
            except WebDriverException:
                return True
            return False
        WebDriverWait(self.driver, 60).until(gone)

    def click(self, xpath):
        self.next_page(self.driver.find_element(By.XPATH, xpath).click)

    def keys(self, *keys):
        ActionChains(self.driver).send_keys(*keys).perform()

    def submit_keys(self, *keys):
        """Types into the focused field and onwards, then presses Enter."""
        self.next_page(lambda: self.keys(*keys, Keys.ENTER))

    def tab_to(self, field_id):
        """Presses Tab until the field has the focus, as a keyboard user would."""
        for _ in range(40):
            self.keys(Keys.TAB)
            if self.run("return document.activeElement.id") == field_id:
                return
        raise AssertionError(f"Tab never reaches #{field_id}")

    def check(self, state):
        """Every problem the page shows in this state, each on one line."""
        problems = [f"the CSP blocked: {entry['message']}" for entry in self.driver.get_log("browser")
                    if "Content Security Policy" in entry["message"]]
        for width in WIDTHS:
            self.driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
                "width": width, "height": 800, "deviceScaleFactor": 1, "mobile": width < 600})
            problems += [f"at {width} px: {problem}" for problem in self.run(PAGE_JS, width)]
        return [f"{state}: {problem}" for problem in problems + self.axe() + self.focus_order()]

    def axe(self):
        self.scripts(True)
        try:
            self.run(self.axe_source)
            result = self.driver.execute_async_script(
                "const done = arguments[0]; axe.run(document).then(done, error => done({error: String(error)}))")
        finally:
            self.scripts(False)
        if "error" in result:
            return [f"axe failed: {result['error']}"]
        return [f"axe {v['id']} ({v['impact']}): {v['help']} at {', '.join(str(n['target'][0]) for n in v['nodes'][:3])}"
                for v in result["violations"] if v["impact"] in ("serious", "critical")]

    def focus_order(self):
        """Walks the page with Tab: every control in document order, each
        below or right of the one before, each showing its focus."""
        expected = self.run(FOCUSABLES_JS)
        if not expected:
            return []
        stops = []
        for _ in range(2 * len(expected) + 2):
            self.keys(Keys.TAB)
            stops.append(self.run(FOCUS_JS))
        elements = [stop[0] for stop in stops]
        if expected[0][0] not in elements:
            return [f"Tab never reaches {expected[0][1]}"]
        walk = stops[elements.index(expected[0][0]):][:len(expected)]
        if [stop[0] for stop in walk] != [element for element, _ in expected]:
            return [f"Tab goes {[stop[1] for stop in walk]}, the page reads {[name for _, name in expected]}"]
        problems = [f"{stop[1]} shows no focus" for stop in walk if not stop[5]]
        for (_, before, top, bottom, left, _), (_, after, top2, bottom2, left2, _) in zip(walk, walk[1:]):
            if bottom2 <= top or (top2 < bottom and bottom2 > top and left2 < left):
                problems.append(f"Tab jumps back from {before} to {after}")
        return problems


class Flow:
    """The steps of one user's visit; each leaves the page in a state to check."""

    def __init__(self, site, browser):
        self.site, self.browser = site, browser

    def account_text(self):
        self.browser.driver.get(self.site.url + "/account")
        return self.browser.text()

    def submit(self, button, *fields):
        for field_id, text in fields:
            field = self.browser.driver.find_element(By.ID, field_id)
            field.clear()
            field.send_keys(text)
        self.browser.click(SUBMIT.format(button))
        return self.browser.text()

    def open_sign_in(self):
        expect(SIGN_IN_FORM in self.account_text(), "/account does not offer to sign in")

    def wrong_password(self):
        text = self.submit("Войти", ("user", USER), ("password", "not the password"))
        expect("Неверное имя пользователя или пароль" in text, "a wrong password is not refused")

    def sign_in_by_keyboard(self):
        self.browser.tab_to("user")
        ActionChains(self.browser.driver).key_down(Keys.CONTROL).send_keys("a").key_up(Keys.CONTROL).perform()
        self.browser.submit_keys(USER, Keys.TAB, PASSWORD)
        expect(ACCOUNT_PAGE in self.browser.text(), "signing in with the keyboard failed")

    def ask_link_code(self):
        self.submit("Получить код")
        self.code = self.browser.run("return document.querySelector('.code')?.textContent")
        expect(self.code, "no link code is shown")

    def link_device_and_upload(self):
        token = self.site.post("/api/link/redeem", json.dumps({"code": self.code}).encode(), "application/json")["token"]
        self.link = self.site.post("/api/shots", PNG, "image/png", token)["url"]
        text = self.account_text()
        expect("Устройство №" in text, "the linked device is not listed")
        expect(self.link in text, "the uploaded shot is not listed")

    def open_and_delete_shot(self):
        is_image = "return document.contentType == 'image/png'"
        self.browser.click(f"//a[@href='{self.link}']")
        expect(self.browser.run(is_image), "the shot's link shows no image")
        self.browser.next_page(self.browser.driver.back)
        self.browser.click(f"//li[.//a[@href='{self.link}']]{SUBMIT.format('Удалить')}")
        expect(self.link not in self.account_text(), "the deleted shot is still listed")
        self.browser.driver.get(self.link)  # the page its visitors now see
        expect(not self.browser.run(is_image), "the deleted shot is still served")

    def wrong_current_password(self):
        self.account_text()
        text = self.submit("Сменить пароль", ("current", "not the password"), ("new", NEW_PASSWORD),
                           ("repeat", NEW_PASSWORD))
        expect("Текущий пароль неверен" in text, "a wrong current password is not refused")

    def change_password_by_keyboard(self):
        self.browser.tab_to("current")
        self.browser.submit_keys(PASSWORD, Keys.TAB, NEW_PASSWORD, Keys.TAB, NEW_PASSWORD)
        expect("Пароль изменён" in self.browser.text(), "changing the password with the keyboard failed")

    def sign_out_everywhere(self):
        self.submit("Выйти на всех устройствах")
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


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    for option in ("--site", "--certificates", "--axe"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()
    problems = []
    with tempfile.TemporaryDirectory(prefix="clipvane-browser-") as scratch, contextlib.ExitStack() as cleanup:
        site = Site(args.site, args.certificates, Path(scratch))
        cleanup.callback(site.stop)
        browser = Browser(Path(scratch) / "profile", args.axe)
        cleanup.callback(browser.driver.quit)
        flow = Flow(site, browser)
        for state, step in STATES:
            try:
                step(flow)
            except Exception:
                print(f"step {state} failed on {browser.driver.current_url}:\n{browser.text()[:600]}")
                raise
            problems += browser.check(state)
    print("\n".join(problems + [f"{len(STATES)} states, {len(problems)} problems"]))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
