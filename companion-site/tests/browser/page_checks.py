"""Headless Chromium with page scripts off, as the site's pages need none, and
the checks every page passes in every state: nothing blocked by its content
security policy, a sound layout at three widths, no serious or critical
finding of axe-core, a label and a visible edge on every field, and a focus
order that follows the page with the focus always visible."""

import base64
import shutil
from pathlib import Path

from selenium import webdriver
from selenium.common.exceptions import WebDriverException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.wait import WebDriverWait


def gone(element):
    try:
        element.is_enabled()
        return False
    except WebDriverException:  # a stale reference, or a node no longer in the document
        return True


WIDTHS = (1280, 768, 360)  # the phone's last: the focus walk and axe run there
SCREENSHOT_WIDTHS = (360, 1280)
HERE = Path(__file__).resolve().parent
LAYOUT_JS, FIELDS_JS = ((HERE / name).read_text(encoding="utf-8") for name in ("layout.js", "fields.js"))
NAME_JS = "const nameOf = e => `<${e.localName}> ${(e.textContent || e.name || '').trim().slice(0, 30)}`;"
FOCUSABLES_JS = NAME_JS + """return [...document.querySelectorAll(
  'a[href],button,input:not([type=hidden]),select,textarea,[tabindex]')]
  .filter(e => e.tabIndex >= 0 && !e.disabled && e.getClientRects().length).map(e => [e, nameOf(e)]);"""
FOCUS_JS = NAME_JS + """const e = document.activeElement, box = e.getBoundingClientRect(), style = getComputedStyle(e);
const shown = style.outlineStyle !== 'none' && parseFloat(style.outlineWidth) > 0 || style.boxShadow !== 'none';
return [e, nameOf(e), box.top + scrollY, box.bottom + scrollY, box.left + scrollX, shown];"""


class Browser:
    def __init__(self, profile, axe_script, screenshots):
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
        self.screenshots = Path(screenshots)
        shutil.rmtree(self.screenshots, ignore_errors=True)  # no picture left from an earlier run
        self.screenshots.mkdir(parents=True)
        self.saved = []

    def scripts(self, on):
        """Page scripts stay off across navigations; the test's own probes run
        through the driver all the same, and axe needs timers only while it runs."""
        self.driver.execute_cdp_cmd("Emulation.setScriptExecutionDisabled", {"value": not on})

    def run(self, script, *arguments):
        return self.driver.execute_script(script, *arguments)

    # ------------------------------------------------------------ acting

    def open(self, url):
        self.driver.get(url)

    def text(self):
        return self.driver.find_element(By.TAG_NAME, "body").text

    def fill(self, field_id, text):
        field = self.driver.find_element(By.ID, field_id)
        field.clear()
        field.send_keys(text)

    def next_page(self, action):
        """Does what leads to another page, and waits until it is there."""
        old = self.driver.find_element(By.TAG_NAME, "html")
        action()
        # While the old page is torn down Chromium may answer for its nodes
        # with a plain error instead of a stale reference: both mean it is gone.
        WebDriverWait(self.driver, 60).until(lambda _: gone(old))

    def click(self, xpath):
        self.next_page(self.driver.find_element(By.XPATH, xpath).click)

    def submit_keys(self, *keys):
        """Types into the focused field and onwards, then presses Enter."""
        self.next_page(lambda: self.keys(*keys, Keys.ENTER))

    def keys(self, *keys):
        ActionChains(self.driver).send_keys(*keys).perform()

    def select_all(self):
        ActionChains(self.driver).key_down(Keys.CONTROL).send_keys("a").key_up(Keys.CONTROL).perform()

    def tab_to(self, field_id):
        """Presses Tab until the field has the focus, as a keyboard user would."""
        for _ in range(40):
            self.keys(Keys.TAB)
            if self.run("return document.activeElement.id") == field_id:
                return
        raise AssertionError(f"Tab never reaches #{field_id}")

    # ------------------------------------------------------------ checking

    def check(self, state):
        """Every problem the page shows in this state, each on one line."""
        problems = [f"the CSP blocked: {entry['message']}" for entry in self.driver.get_log("browser")
                    if "Content Security Policy" in entry["message"]]
        for width in WIDTHS:
            self.driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
                "width": width, "height": 800, "deviceScaleFactor": 1, "mobile": width < 600})
            problems += [f"at {width} px: {problem}" for problem in self.run(LAYOUT_JS, width)]
            if width in SCREENSHOT_WIDTHS:
                self.screenshot(f"{state}-{width}.png")
        problems += self.run(FIELDS_JS)
        return [f"{state}: {problem}" for problem in problems + self.axe(state) + self.focus_order()]

    def screenshot(self, name):
        shot = self.driver.execute_cdp_cmd("Page.captureScreenshot", {"format": "png", "captureBeyondViewport": True})
        path = self.screenshots / name
        path.write_bytes(base64.b64decode(shot["data"]))
        self.saved.append(path)

    def axe(self, state):
        self.scripts(True)
        try:
            self.run(self.axe_source)
            result = self.driver.execute_async_script(
                "const done = arguments[0]; axe.run(document).then(done, error => done({error: String(error)}))")
        finally:
            self.scripts(False)
        if "error" in result:
            return [f"axe failed: {result['error']}"]
        grave = [v for v in result["violations"] if v["impact"] in ("serious", "critical")]
        others = sorted(f"{v['id']} ({v['impact']})" for v in result["violations"] if v not in grave)
        print(f"  axe on {state}: {len(grave)} serious or critical; others: {', '.join(others) or 'none'}")
        return [f"axe {v['id']} ({v['impact']}): {v['help']} at "
                f"{', '.join(str(node['target'][0]) for node in v['nodes'][:3])}" for v in grave]

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
        start = elements.index(expected[0][0])
        walk = stops[start:start + len(expected)]
        if [stop[0] for stop in walk] != [element for element, _ in expected]:
            return [f"Tab goes {[stop[1] for stop in walk]}, the page reads {[name for _, name in expected]}"]
        problems = [f"{stop[1]} shows no focus" for stop in walk if not stop[5]]
        for (_, before, top, bottom, left, _), (_, after, top2, bottom2, left2, _) in zip(walk, walk[1:]):
            same_row = top2 < bottom and bottom2 > top
            if bottom2 <= top or (same_row and left2 < left):
                problems.append(f"Tab jumps back from {before} to {after}")
        return problems
