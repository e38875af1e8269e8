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


def visit(site, browser):
    """One user's visit, step by step: yields the name of each state the page is left in."""
    def account_text():
        browser.driver.get(site.url + "/account")
        return browser.text()

    def submit(button, *fields):
        for field_id, text in fields:
            browser.driver.find_element(By.ID, field_id).clear()
            browser.driver.find_element(By.ID, field_id).send_keys(text)
        browser.click(SUBMIT.format(button))
        return browser.text()

    assert SIGN_IN_FORM in account_text(), "/account does not offer to sign in"
    yield "sign-in"
    text = submit("Войти", ("user", USER), ("password", "not the password"))
    assert "Неверное имя пользователя или пароль" in text, "a wrong password is not refused"
    yield "sign-in-refused"
    browser.tab_to("user")
    ActionChains(browser.driver).key_down(Keys.CONTROL).send_keys("a").key_up(Keys.CONTROL).perform()
    browser.submit_keys(USER, Keys.TAB, PASSWORD)
    assert ACCOUNT_PAGE in browser.text(), "signing in with the keyboard failed"
    yield "account"
    submit("Получить код")
    code = browser.run("return document.querySelector('.code')?.textContent")
    assert code, "no link code is shown"
    yield "account-link-code"
    token = site.post("/api/link/redeem", json.dumps({"code": code}).encode(), "application/json")["token"]
    link = site.post("/api/shots", PNG, "image/png", token)["url"]
    text = account_text()
    assert "Устройство №" in text, "the linked device is not listed"
    assert link in text, "the uploaded shot is not listed"
    yield "account-device-and-shot"
    is_image = "return document.contentType == 'image/png'"
    browser.click(f"//a[@href='{link}']")
    assert browser.run(is_image), "the shot's link shows no image"
    browser.next_page(browser.driver.back)
    browser.click(f"//li[.//a[@href='{link}']]{SUBMIT.format('Удалить')}")
    assert link not in account_text(), "the deleted shot is still listed"
    browser.driver.get(link)  # the page its visitors now see
    assert not browser.run(is_image), "the deleted shot is still served"
    yield "deleted-shot-link"
    account_text()
    text = submit("Сменить пароль", ("current", "not the password"), ("new", NEW_PASSWORD), ("repeat", NEW_PASSWORD))
    assert "Текущий пароль неверен" in text, "a wrong current password is not refused"
    yield "password-refused"
    browser.tab_to("current")
    browser.submit_keys(PASSWORD, Keys.TAB, NEW_PASSWORD, Keys.TAB, NEW_PASSWORD)
    assert "Пароль изменён" in browser.text(), "changing the password with the keyboard failed"
    yield "password-changed"
    submit("Выйти на всех устройствах")
    assert SIGN_IN_FORM in account_text(), "this browser is still signed in"
    yield "signed-out-everywhere"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    for option in ("--site", "--certificates", "--axe"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()
    problems, state = [], "start"
    with tempfile.TemporaryDirectory(prefix="clipvane-browser-") as scratch, contextlib.ExitStack() as cleanup:
        site = Site(args.site, args.certificates, Path(scratch))
        cleanup.callback(site.stop)
        browser = Browser(Path(scratch) / "profile", args.axe)
        cleanup.callback(browser.driver.quit)
        try:
            for states, state in enumerate(visit(site, browser), 1):
                problems += browser.check(state)
        except Exception:
            print(f"failed after the state {state}, on {browser.driver.current_url}:\n{browser.text()[:600]}")
            raise
    print("\n".join(problems + [f"{states} states, {len(problems)} problems"]))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
