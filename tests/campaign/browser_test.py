"""The campaign's report in a real browser: Debian's headless Chromium,
driven over its DevTools protocol on a pipe (JSON messages ended by a NUL
byte, commands on file descriptor 3 and answers on 4), with nothing but
the standard library and no network.

On a campaign of several grades, retests, days and more than one page of
chips: a search lands on the chip's page, a filter shows every chip of
that grade (day, configuration) and no other, a click on a header sorts
the column, every link of the front page and of a chip page leads to a
file and an anchor that exist, and no page is wider than a 1,280 pixel
window.

    python3 browser_test.py QAVREL_CAMPAIGN QAVREL_GEN [EMULATOR...]

Without chromium the test is skipped (status 77) unless QAVREL_REQUIRE_ALL
is set in the environment, when it fails."""
import csv
import json
import os
import re
import select
import shutil
import subprocess
import sys
import tempfile
import time
import urllib.parse

SKIPPED = 77
WIDTH = 1280
# How long a condition may take to come true before the test fails.
PATIENCE_S = 60
# Files of the scale campaign: two per chip, enough chips for two index pages.
SCALE_FILES = 2100
LONG_CHIP = "W" * 80
LONG_CONFIG = "calib-" * 12 + "odd"

campaign = sys.argv[3:] + [os.path.realpath(sys.argv[1])]
generator = sys.argv[3:] + [os.path.realpath(sys.argv[2])]
failures = []
checks = 0


def expect(what, ok, detail=""):
    global checks
    checks += 1
    if not ok:
        failures.append(what)
        print("FAIL: %s%s" % (what, ": " + detail if detail else ""), file=sys.stderr)


class BrowserError(Exception):
    pass


class Browser:
    """A headless Chromium with one page, driven over the pipe."""

    def __init__(self, program, profile):
        commands_read, self.commands = os.pipe()
        self.answers, answers_write = os.pipe()

        def on_3_and_4():
            # Copies first, so that neither end is overwritten by the other.
            read_copy, write_copy = os.dup(commands_read), os.dup(answers_write)
            os.dup2(read_copy, 3)
            os.dup2(write_copy, 4)
            os.set_inheritable(3, True)
            os.set_inheritable(4, True)

        # --no-sandbox: Chromium's sandbox refuses to start as root, and
        # these pages are the report's own files.
        self.process = subprocess.Popen(
            [program, "--headless", "--no-sandbox", "--disable-gpu", "--remote-debugging-pipe",
             "--user-data-dir=" + profile, "--no-first-run", "--disable-background-networking",
             "--disable-component-update", "--disable-sync", "--disable-quic",
             "--window-size=%d,900" % WIDTH],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            close_fds=False, preexec_fn=on_3_and_4)
        os.close(commands_read)
        os.close(answers_write)
        self.buffer = b""
        self.last_id = 0
        self.session = None
        self.exceptions = []  # what scripts threw, on any page
        target = self.send("Target.createTarget", {"url": "about:blank"})["targetId"]
        self.session = self.send("Target.attachToTarget",
                                 {"targetId": target, "flatten": True})["sessionId"]
        self.send("Runtime.enable")
        self.send("Emulation.setDeviceMetricsOverride",
                  {"width": WIDTH, "height": 900, "deviceScaleFactor": 1, "mobile": False})

    def send(self, method, params=None):
        self.last_id += 1
        message = {"id": self.last_id, "method": method, "params": params or {}}
        if self.session and not method.startswith("Target."):
            message["sessionId"] = self.session
        os.write(self.commands, json.dumps(message).encode() + b"\0")
        deadline = time.monotonic() + PATIENCE_S
        while True:
            while b"\0" in self.buffer:
                text, self.buffer = self.buffer.split(b"\0", 1)
                answer = json.loads(text)
                if answer.get("method") == "Runtime.exceptionThrown":
                    details = answer["params"]["exceptionDetails"]
                    self.exceptions.append("%s: %s" % (details.get("url", ""), details.get(
                        "exception", {}).get("description", details.get("text"))))
                if answer.get("id") != self.last_id:
                    continue  # an event, or an answer to no one
                if "error" in answer:
                    raise BrowserError("%s: %s" % (method, answer["error"]))
                return answer["result"]
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.answers], [], [], left)[0]:
                raise BrowserError("no answer to %s in %d s" % (method, PATIENCE_S))
            chunk = os.read(self.answers, 1 << 16)
            if not chunk:
                raise BrowserError("the browser ended while answering %s" % method)
            self.buffer += chunk

    def evaluate(self, expression):
        """The value of a JavaScript expression in the page (a promise awaited)."""
        result = self.send("Runtime.evaluate", {"expression": expression, "returnByValue": True,
                                                "awaitPromise": True})
        if "exceptionDetails" in result:
            raise BrowserError("%s: %s" % (expression, result["exceptionDetails"]))
        return result["result"].get("value")

    def wait_until(self, what, expression):
        """Waits for the expression to be true in the page, a minute at most."""
        deadline = time.monotonic() + PATIENCE_S
        while time.monotonic() < deadline:
            try:
                if self.evaluate(expression):
                    return True
            except BrowserError:
                pass  # the page is being replaced
            time.sleep(0.05)
        raise BrowserError("waited a minute for " + what)

    def open(self, url):
        self.send("Page.navigate", {"url": url})
        self.wait_until_loaded(url)

    def wait_until_loaded(self, url):
        self.wait_until("%s to load" % url,
                        "location.href === %s && document.readyState === 'complete' && "
                        "!!document.querySelector('form.search:not([hidden])')" % json.dumps(url))

    def close(self):
        try:
            self.send("Browser.close")
        except BrowserError:
            pass
        try:
            self.process.wait(timeout=PATIENCE_S)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        os.close(self.commands)
        os.close(self.answers)


def make_campaign(work):
    """The example campaign with retests on later days, beside a campaign
    of more chips than one index page holds."""
    tree = os.path.join(work, "tree")
    subprocess.run(generator + ["--campaign", tree], check=True)
    day = os.path.join(tree, "20261208")
    # 100004 (fail) measured again the next day, failing again, and 100003
    # (C) the day after, passing with the files of an A chip.
    for chip, time_of_day, date, source in (("100004", "090000", "20261209", "103000_vemra100004"),
                                            ("100003", "091500", "20261210", "101500_vemra100001")):
        folder = os.path.join(tree, date, time_of_day + "_vemra" + chip)
        os.makedirs(folder)
        for name in sorted(os.listdir(os.path.join(day, source))):
            if name.endswith("_adc.txt"):
                rest = name.split("_", 2)[2]
                shutil.copy(os.path.join(day, source, name),
                            os.path.join(folder, "%s_vemra%s_%s" % (time_of_day, chip, rest)))
    # A failing chip whose name and configuration run on without a break,
    # which a table must wrap rather than grow wider than the window.
    folder = os.path.join(tree, "20261210", "092000_vemra" + LONG_CHIP)
    os.makedirs(folder)
    source = os.path.join(day, "103000_vemra100004")
    odd = [name for name in os.listdir(source) if name.endswith("odd_adc.txt")][0]
    shutil.copy(os.path.join(source, odd), os.path.join(
        folder, "092000_vemra%s_zorik00_link00_%s_adc.txt" % (LONG_CHIP, LONG_CONFIG)))
    # Two chips whose names differ only in case.
    for chip in ("ab", "AB"):
        folder = os.path.join(tree, "20261210", "093000_vemra" + chip)
        os.makedirs(folder)
        shutil.copy(os.path.join(source, odd), os.path.join(
            folder, "093000_vemra%s_zorik00_link00_20mV_calib-odd_adc.txt" % chip))
    scale = os.path.join(work, "scale")
    subprocess.run(generator + ["--campaign-of", str(SCALE_FILES), scale], check=True)
    out = os.path.join(work, "out")
    run = subprocess.run(campaign + ["-q", "-o", out, tree, scale], stdout=subprocess.PIPE,
                         stderr=subprocess.PIPE, text=True)
    # The example's damaged file fails; everything else is published.
    if run.returncode not in (0, 1) or not os.path.exists(os.path.join(out, "report.html")):
        raise BrowserError("the campaign run ended with %d: %s" % (run.returncode, run.stderr))
    with open(os.path.join(out, "chips.csv"), newline="", encoding="utf-8") as table:
        chips = list(csv.DictReader(table))
    return out, chips


def file_url(out, name):
    return "file://" + urllib.parse.quote(os.path.join(out, name))


def check_search(browser, out):
    # From the front page, the exact name opens the chip's page.
    browser.open(file_url(out, "report.html"))
    browser.evaluate("""(() => {
        const input = document.querySelector('form.search input');
        input.value = '100004';
        input.dispatchEvent(new Event('input'));
        document.querySelector('form.search').requestSubmit();
    })()""")
    browser.wait_until_loaded(file_url(out, "chips/100004.html"))
    expect("the search lands on the chip's page",
           browser.evaluate("document.querySelector('h1').textContent") == "chip 100004")
    # A name as typed opens its own chip, whatever other chips differ from
    # it only in case.
    for chip in ("ab", "AB"):
        browser.open(file_url(out, "report.html"))
        browser.evaluate("""(() => {
            const input = document.querySelector('form.search input');
            input.value = %s;
            input.dispatchEvent(new Event('input'));
            document.querySelector('form.search').requestSubmit();
        })()""" % json.dumps(chip))
        browser.wait_until("the page of chip " + chip,
                           "document.querySelector('h1') && "
                           "document.querySelector('h1').textContent === %s" % json.dumps("chip " + chip))
    browser.open(file_url(out, "chips/100004.html"))
    # From a chip's page, a folder down: a part of a name lists the chips
    # that hold it, each linked to its page.
    browser.evaluate("""(() => {
        const input = document.querySelector('form.search input');
        input.value = '20052';
        input.dispatchEvent(new Event('input'));
    })()""")
    browser.wait_until("the chips found", "document.querySelectorAll('.found li').length > 0")
    found = browser.evaluate("[...document.querySelectorAll('.found li a')].map(a => a.href)")
    expect("the search lists the chips whose names hold the text",
           len(found) == 10 and found[0] == file_url(out, "chips/200520.html"), repr(found))
    browser.evaluate("""(() => {
        const input = document.querySelector('form.search input');
        input.value = 'no-such-chip';
        input.dispatchEvent(new Event('input'));
    })()""")
    browser.wait_until("a search that finds nothing to say so",
                       "document.querySelector('.found').textContent.includes('No chip matches')")


def choose(browser, field, value):
    """Chooses the value of a filter of the list page, as a user would."""
    if not browser.evaluate("""(() => {
        const select = document.querySelector('form.filters select[name=%s]');
        if (![...select.options].some(option => option.value === %s)) return false;
        select.value = %s;
        select.dispatchEvent(new Event('change'));
        return true;
    })()""" % (field, json.dumps(value), json.dumps(value))):
        raise BrowserError("the filter of %s offers no %r" % (field, value))


def filtered_chips(browser, field, value):
    """The chips the list page's filter shows for one value of one field."""
    choose(browser, field, value)
    browser.wait_until("the filtered list", "!!document.querySelector('.filtered table')")
    return browser.evaluate("""[...document.querySelectorAll('.filtered tbody tr')].map(row =>
        [...row.cells].map(cell => cell.textContent))""")


def check_filters(browser, out, chips):
    browser.open(file_url(out, "index/chips-2.html"))
    browser.wait_until("the filters", "!!document.querySelector('form.filters:not([hidden])')")
    # Every chip of that grade, from every page of the list, and no other.
    grades = sorted(set(chip["grade"] for chip in chips))
    expect("a campaign of several grades", len(grades) >= 4, repr(grades))
    for grade in grades:
        rows = filtered_chips(browser, "grade", grade)
        wanted = sorted(chip["chip"] for chip in chips if chip["grade"] == grade)
        expect("the filter by grade %s" % grade,
               sorted(row[0] for row in rows) == wanted and all(row[1] == grade for row in rows),
               "%d rows, %d chips of that grade" % (len(rows), len(wanted)))
        expect("the list's own page gives way to the filtered list",
               browser.evaluate("document.querySelector('.list-page').hidden") is True)
    choose(browser, "grade", "")
    for day in ("2026-12-09", "2026-12-10"):
        rows = filtered_chips(browser, "day", day)
        wanted = sorted(chip["chip"] for chip in chips if chip["latest_measured_at"][:10] == day)
        expect("the filter by day %s" % day, sorted(row[0] for row in rows) == wanted,
               "%r against %r" % ([row[0] for row in rows], wanted))
    choose(browser, "day", "")
    rows = filtered_chips(browser, "config", "20mV_calib-even")
    wanted = sorted(chip["chip"] for chip in chips if chip["worst_config"] == "20mV_calib-even")
    expect("the filter by configuration", sorted(row[0] for row in rows) == wanted,
           "%d rows, %d chips" % (len(rows), len(wanted)))
    choose(browser, "config", "")
    expect("no filter, the list's own page",
           browser.evaluate("document.querySelector('.list-page').hidden") is False and
           browser.evaluate("document.querySelector('.filtered').textContent") == "")


def column(browser, index):
    return browser.evaluate("""[...document.querySelectorAll('table.sortable tbody tr')].map(row =>
        row.cells[%d].textContent)""" % index)


def click_header(browser, index):
    browser.evaluate("document.querySelectorAll('table.sortable thead th')[%d].click()" % index)


def check_sorting(browser, out):
    browser.open(file_url(out, "index/chips-1.html"))
    def numbers(cells):
        return [float(cell.rstrip("%")) for cell in cells if cell]
    before = column(browser, 2)
    click_header(browser, 2)
    after = column(browser, 2)
    expect("a click sorts the column up", numbers(after) == sorted(numbers(before)) and
           sorted(after) == sorted(before), repr(after[:5]))
    expect("empty cells last", after[len(numbers(after)):] == [""] * (len(after) -
                                                                      len(numbers(after))))
    click_header(browser, 2)
    expect("a second click sorts it down",
           numbers(column(browser, 2)) == sorted(numbers(before), reverse=True))
    # Grades by how bad they are, not by their names.
    order = ["A", "B", "C", "no data", "fail", "not analysed"]
    click_header(browser, 1)
    grades = column(browser, 1)
    expect("grades sort worst last", grades == sorted(grades, key=order.index) and
           len(set(grades)) >= 4, repr(sorted(set(grades))))
    chips_column = column(browser, 0)
    click_header(browser, 0)
    expect("names sort as text", column(browser, 0) == sorted(chips_column))


def target_ids(path):
    with open(path, encoding="utf-8", errors="replace") as page:
        return set(re.findall(r'\bid="([^"]*)"', page.read()))


def check_links(browser, out, page):
    browser.open(file_url(out, page))
    links = browser.evaluate("[...document.querySelectorAll('a[href]')].map(a => a.href)")
    expect("%s has links" % page, len(links) > 0)
    own_ids = set(browser.evaluate("[...document.querySelectorAll('[id]')].map(e => e.id)"))
    for link in links:
        parts = urllib.parse.urlsplit(link)
        if parts.scheme != "file":
            expect("%s links only to files" % page, False, link)
            continue
        target = urllib.parse.unquote(parts.path)
        if not os.path.isfile(target):
            expect("%s links to files that exist" % page, False, link)
            continue
        if parts.fragment:
            here = target == os.path.join(out, page)
            ids = own_ids if here else target_ids(target)
            expect("%s links to anchors that exist" % page,
                   urllib.parse.unquote(parts.fragment) in ids, link)
    return len(links)


def check_widths(browser, out, pages):
    for page in pages:
        browser.open(file_url(out, page))
        width = browser.evaluate("document.documentElement.scrollWidth")
        expect("%s fits in %d pixels" % (page, WIDTH), width <= WIDTH, "%d wide" % width)
        broken = browser.evaluate("""[...document.querySelectorAll('.grade')]
            .filter(badge => badge.getClientRects().length > 1).map(badge => badge.textContent)""")
        expect("%s: every badge on one line" % page, broken == [], repr(broken))


def main():
    program = shutil.which("chromium") or shutil.which("chromium-browser")
    if program is None:
        if os.environ.get("QAVREL_REQUIRE_ALL"):
            print("FAIL: no chromium, and QAVREL_REQUIRE_ALL is set", file=sys.stderr)
            return 1
        print("SKIP: the report in a browser (no chromium)")
        return SKIPPED
    work = tempfile.mkdtemp(prefix="qavrel-browser-")
    browser = None
    try:
        out, chips = make_campaign(work)
        expect("a campaign of more than one index page",
               os.path.exists(os.path.join(out, "index", "chips-2.html")))
        browser = Browser(program, os.path.join(work, "profile"))
        check_search(browser, out)
        check_filters(browser, out, chips)
        check_sorting(browser, out)
        links = check_links(browser, out, "report.html")
        links += check_links(browser, out, "chips/100004.html")
        check_widths(browser, out, ["report.html", "chips/100004.html", "chips/100003.html",
                                    "chips/100005.html", "chips/%s.html" % LONG_CHIP,
                                    "index/chips-1.html",
                                    "index/chips-2.html", "index/not-a-1.html",
                                    "index/problems.html"])
        expect("no page's script throws", browser.exceptions == [], repr(browser.exceptions))
    except (BrowserError, OSError, subprocess.CalledProcessError) as error:
        failures.append(str(error))
        print("FAIL: %s" % error, file=sys.stderr)
        for thrown in browser.exceptions if browser is not None else []:
            print("  a page's script threw %s" % thrown, file=sys.stderr)
    finally:
        if browser is not None:
            browser.close()
        shutil.rmtree(work, ignore_errors=True)
    if failures:
        print("%d of %d checks failed" % (len(failures), checks), file=sys.stderr)
        return 1
    print("%d checks passed, %d links followed" % (checks, links))
    return 0


if __name__ == "__main__":
    sys.exit(main())
