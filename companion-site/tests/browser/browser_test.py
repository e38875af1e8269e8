#!/usr/bin/python3
"""The account pages used in a real browser against the real clipvane-site:
a user signs in, links a device, sees an upload, deletes it, changes the
password and signs out everywhere, partly with the keyboard alone. Each state
in the table is checked as page_checks.py says; screenshots go to --out."""

import argparse
import sys
import tempfile
from pathlib import Path

from selenium.webdriver.common.keys import Keys

from page_checks import Browser
from site_server import Site, make_png

USER, PASSWORD, NEW_PASSWORD = "anna", "first secret 1", "second secret 2"
SUBMIT = "//button[normalize-space()='{}']"
SIGN_IN_FORM, ACCOUNT_PAGE = "Имя пользователя", "Выйти на всех устройствах"  # words only these pages show


def expect(condition, what):
    if not condition:
        raise AssertionError(what)


class Flow:
    """The steps of one user's visit; each leaves the page in a state to check."""

    def __init__(self, site, browser):
        self.site, self.browser = site, browser
        self.code = self.link = self.other_session = None

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
        self.link = self.site.upload(self.site.redeem(self.code), make_png())
        text = self.account_text()
        expect("Устройство №" in text, "the linked device is not listed")
        expect(self.link in text, "the uploaded shot is not listed")

    def open_and_delete_shot(self):
        self.browser.click(f"//a[@href='{self.link}']")
        expect(self.browser.run("return document.contentType") == "image/png", "the shot's link shows no image")
        self.browser.next_page(self.browser.driver.back)
        self.browser.click(f"//li[.//a[@href='{self.link}']]{SUBMIT.format('Удалить')}")
        expect(self.link not in self.account_text(), "the deleted shot is still listed")
        expect(self.site.status_of(self.link) == 404, "the deleted shot's link does not answer 404")
        self.browser.open(self.link)  # the page its visitors now see

    def wrong_current_password(self):
        self.other_session = self.site.sign_in(USER, PASSWORD)
        self.account_text()
        for field, text in (("current", "not the password"), ("new", NEW_PASSWORD), ("repeat", NEW_PASSWORD)):
            self.browser.fill(field, text)
        self.browser.click(SUBMIT.format("Сменить пароль"))
        expect("Текущий пароль неверен" in self.browser.text(), "a wrong current password is not refused")
        expect(self.site.signed_in(self.other_session), "a refused change ended another session")

    def change_password_by_keyboard(self):
        self.browser.tab_to("current")
        self.browser.submit_keys(PASSWORD, Keys.TAB, NEW_PASSWORD, Keys.TAB, NEW_PASSWORD)
        expect("Пароль изменён" in self.browser.text(), "changing the password with the keyboard failed")
        expect(not self.site.signed_in(self.other_session), "the other session outlived the password change")

    def sign_out_everywhere(self):
        self.other_session = self.site.sign_in(USER, NEW_PASSWORD)
        self.browser.click(SUBMIT.format("Выйти на всех устройствах"))
        expect(SIGN_IN_FORM in self.account_text(), "this browser is still signed in")
        expect(not self.site.signed_in(self.other_session), "the other session is still signed in")


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
    parser.add_argument("--site", required=True, help="the clipvane-site program")
    parser.add_argument("--certificates", required=True, help="the script that makes development certificates")
    parser.add_argument("--axe", required=True, help="axe.min.js from the pinned axe-core")
    parser.add_argument("--out", required=True, type=Path, help="the folder for the screenshots")
    args = parser.parse_args()
    with tempfile.TemporaryDirectory(prefix="clipvane-browser-") as scratch:
        site = Site(args.site, args.certificates, Path(scratch))
        try:
            site.add_user(USER, PASSWORD)
            browser = Browser(Path(scratch) / "profile", args.axe, args.out)
            try:
                problems = visit(site, browser)
            finally:
                browser.quit()
        finally:
            site.stop()
    print("screenshots:\n" + "\n".join(f"  {path}" for path in browser.saved))
    for problem in problems:
        print(problem)
    print(f"{len(STATES)} states, {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
