#!/usr/bin/python3
"""The pages in real headless Chromium against a real `tovalen-rec serve` on 127.0.0.1.

Logs in, adds a reservation through the page a few seconds ahead, watches it record (録画中 with
a growing frame count and a still picture, then 録画済み), changes and removes another one, and
downloads the recording, whose bytes must be the file's.

Usage: web_browser_test.py TOVALEN_REC
Exits 77 (skipped) only when chromium or chromedriver is missing, and says so loudly.
"""
import concurrent.futures
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request
from datetime import datetime, timedelta

SKIPPED = 77
PASSWORD = 'browser-test-pass'
# About 25 s on a quiet machine; the deadline is for a machine that is very busy. Each wait is
# bounded on its own too.
DEADLINE_S = 150


STARTED = time.monotonic()


def step(what):
    # Where the time went, for a run that fails or comes close to its deadline.
    print(f'[{time.monotonic() - STARTED:5.1f} s] {what}', file=sys.stderr, flush=True)


def fail(message):
    raise AssertionError(message)


def stamp(when):
    return when.strftime('%Y-%m-%dT%H:%M:%S')


def cli_time(when):
    return when.strftime('%Y-%m-%d %H:%M:%S')


def free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


def run(args, env, stdin=None):
    step(' '.join(os.path.basename(a) for a in args[:2]))
    done = subprocess.run(args, env=env, input=stdin, capture_output=True, text=True, timeout=30)
    if done.returncode != 0:
        fail(f'{" ".join(args)} failed ({done.returncode}): {done.stderr.strip()}')
    return done.stdout


class Server:
    """tovalen-rec serve on a free loopback port, with its output kept for a failure report."""

    def __init__(self, rec, schedule, videos, env, work):
        self.log_path = os.path.join(work, 'serve.log')
        for _ in range(3):  # another program may take the free port before serve binds it
            self.port = free_port()
            with open(self.log_path, 'w') as log:
                self.process = subprocess.Popen(
                    [rec, 'serve', schedule, '--listen', f'127.0.0.1:{self.port}', '--allow', videos],
                    env=env, stdout=log, stderr=subprocess.STDOUT)
            if self.wait_until_answering():
                return
        fail(f'serve did not answer on 127.0.0.1:\n{self.log()}')

    @property
    def base(self):
        return f'http://127.0.0.1:{self.port}'

    def wait_until_answering(self):
        end = time.monotonic() + 20
        while time.monotonic() < end:
            if self.process.poll() is not None:
                return False
            try:
                with urllib.request.urlopen(f'{self.base}/api/session', timeout=2) as answer:
                    return answer.status == 200
            except OSError:
                time.sleep(0.1)
        return False

    def log(self):
        with open(self.log_path, errors='replace') as log:
            return log.read()[-4000:]

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                return self.process.wait(timeout=20)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
                fail('serve did not end on SIGTERM')
        return self.process.returncode


def open_browser(work, downloads):
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service

    options = webdriver.ChromeOptions()
    options.binary_location = shutil.which('chromium')
    for flag in ('--headless=new', '--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage',
                 f'--user-data-dir={work}/chromium', '--window-size=1280,1000', '--no-first-run',
                 '--disable-background-networking', '--disable-component-update', '--disable-sync',
                 '--disable-default-apps', '--disable-extensions', '--lang=ja',
                 # Nothing leaves the machine: every name but the loopback address fails to resolve.
                 '--host-resolver-rules=MAP * ~NOTFOUND , EXCLUDE 127.0.0.1'):
        options.add_argument(flag)
    options.set_capability('goog:loggingPrefs', {'browser': 'ALL'})
    options.add_experimental_option('prefs', {
        'download.default_directory': downloads, 'download.prompt_for_download': False,
        'safebrowsing.enabled': False})
    driver = webdriver.Chrome(service=Service(shutil.which('chromedriver')), options=options)
    driver.execute_cdp_cmd('Page.setDownloadBehavior', {'behavior': 'allow', 'downloadPath': downloads})
    return driver


class Page:
    def __init__(self, driver):
        from selenium.common.exceptions import StaleElementReferenceException
        from selenium.webdriver.common.by import By
        from selenium.webdriver.support.ui import WebDriverWait

        self.driver = driver
        self.By = By
        self.WebDriverWait = WebDriverWait
        self.stale = StaleElementReferenceException

    def wait(self, what, condition, timeout_s=15, seen=None):
        step(f'waiting for {what}')
        try:
            return self.WebDriverWait(self.driver, timeout_s, poll_frequency=0.2,
                                      ignored_exceptions=[self.stale]).until(lambda _: condition())
        except Exception as e:
            fail(f'gave up waiting for {what} after {timeout_s} s ({type(e).__name__}); '
                 f'page says: {self.text("notice")!r} {self.text("activity")!r}'
                 + (f'; seen: {seen()}' if seen else ''))

    def find(self, css):
        found = self.driver.find_elements(self.By.CSS_SELECTOR, css)
        return found[0] if found else None

    def by_id(self, element_id):
        return self.driver.find_element(self.By.ID, element_id)

    def text(self, element_id):
        element = self.find(f'#{element_id}')
        return element.text if element else ''

    def row(self, start):
        return self.find(f'#reservations tr[data-start="{start}"]')

    def row_state(self, start):
        # Read in one step: the rows are built anew every second while a recording runs.
        return tuple(self.driver.execute_script(
            "const row = document.querySelector(`#reservations tr[data-start='${arguments[0]}']`);"
            "return row ? [row.dataset.state, Number(row.dataset.frames),"
            "              row.querySelector('.badge').textContent] : [null, 0, ''];", start))

    def type(self, element_id, text):
        element = self.by_id(element_id)
        element.clear()
        element.send_keys(text)

    def set_date_time(self, element_id, value):
        # The picker's keyboard order follows the locale; the value is what the form sends.
        self.driver.execute_script(
            "arguments[0].value = arguments[1]; arguments[0].dispatchEvent(new Event('input'));",
            self.by_id(element_id), value)

    def click(self, css):
        # No second try: a waiting row's button must stay the same element while the page polls.
        self.find(css).click()


def log_in(page):
    page.wait('the login form', lambda: page.by_id('login').is_displayed())
    page.type('password', 'wrong password')
    page.click('#login-form button[type=submit]')
    page.wait('the wrong password refused', lambda: page.text('login-message') == 'パスワードが違います。')
    if page.by_id('app').is_displayed():
        fail('the list is shown after a wrong password')
    page.type('password', PASSWORD)
    page.click('#login-form button[type=submit]')
    page.wait('the list after the login', lambda: page.by_id('app').is_displayed())


def add_through_the_page(page, file_name, title):
    """Adds a reservation of 8 s a few seconds ahead, first trying a past start; returns its start."""
    page.click('#add')
    page.wait('the editor', lambda: page.by_id('editor').is_displayed())
    # A start in the past: the server refuses it with the editor's own message, shown in the form.
    page.set_date_time('start', stamp(datetime.now() - timedelta(minutes=5)))
    page.click('#span-length')
    page.type('length', '0:00:08')
    page.type('file', file_name)
    page.type('title', title)
    page.click('#save')
    page.wait('the past start refused',
              lambda: page.text('editor-message') == '録画開始時刻を未来の時刻にしてください。')
    # A very busy machine may take longer than the lead to send the form: then it is refused
    # as past again, and a later start is tried.
    for _ in range(3):
        start = stamp(datetime.now().replace(microsecond=0) + timedelta(seconds=6))
        page.set_date_time('start', start)
        page.click('#save')
        page.wait('the editor to close or refuse again',
                  lambda: not page.by_id('editor').is_displayed() or page.text('editor-message'))
        if not page.by_id('editor').is_displayed():
            return start
        step(f'refused: {page.text("editor-message")}')
    fail('the page could not add a reservation a few seconds ahead')


def change_title(page, start, title):
    page.click(f'#reservations button[data-action="edit"][data-start="{start}"]')
    # The field leaves out ":00" seconds.
    page.wait('the editor with the reservation',
              lambda: page.by_id('start').get_attribute('value') in (start, start.removesuffix(':00')))
    page.type('title', title)
    page.click('#save')
    page.wait('the changed title in the list',
              lambda: page.driver.execute_script(
                  "const row = document.querySelector(`#reservations tr[data-start='${arguments[0]}']`);"
                  "return row && row.querySelector('.title').textContent;", start) == title)


def download(page, start, downloads):
    """Downloads the recording of the reservation at start; returns its name and bytes."""
    link = page.wait('the download link', lambda: page.find(f'#recordings tr[data-start="{start}"] a'))
    name = link.text
    link.click()

    def finished():
        names = os.listdir(downloads)
        return name in names and not any(n.endswith('.crdownload') for n in names)

    page.wait('the download', finished, timeout_s=20)
    with open(os.path.join(downloads, name), 'rb') as f:
        return name, f.read()


def test(rec, work):
    videos = os.path.join(work, 'videos')
    downloads = os.path.join(work, 'downloads')
    os.makedirs(videos)
    os.makedirs(downloads)
    env = dict(os.environ, HOME=work, XDG_CONFIG_HOME=os.path.join(work, 'config'), LC_ALL='C.UTF-8')
    # Chromium takes seconds to start on a busy machine: it starts while the recorder is set up.
    with concurrent.futures.ThreadPoolExecutor(max_workers=1) as starter:
        browser = starter.submit(open_browser, work, downloads)
        try:
            serve_and_browse(rec, work, env, videos, downloads, browser)
        finally:
            try:
                browser.result(timeout=60).quit()
            except Exception:  # the browser's own failure, if any, is reported by the test itself
                pass


def serve_and_browse(rec, work, env, videos, downloads, browser):
    schedule = os.path.join(work, 'tv.yyk')
    # Each command takes seconds on a busy machine: the three that do not depend on each other
    # run at once.
    with concurrent.futures.ThreadPoolExecutor(max_workers=3) as commands:
        created = commands.submit(run, [rec, 'new', schedule], env)
        listed = commands.submit(run, [rec, 'devices'], env)
        commands.submit(run, [rec, 'serve-password'], env, f'{PASSWORD}\n').result()
        created.result()
        devices = [line for line in listed.result().splitlines() if line[:1].isdigit()]
    run([rec, 'set', schedule, '--device', devices[-1].split(',')[0]], env)  # the test pattern
    later = datetime.now().replace(microsecond=0) + timedelta(hours=2)
    run([rec, 'add', schedule, '--start', cli_time(later), '--length', '60',
         '--file', os.path.join(videos, 'gone.avi'), '--title', '消す予約'], env)
    step('starting serve')
    server = Server(rec, schedule, videos, env, work)
    step('serve answers')
    try:
        driver = browser.result(timeout=60)
        step('the browser is up')
        page = Page(driver)
        driver.get(server.base + '/')
        log_in(page)
        page.wait('the reservation made on the command line', lambda: page.row(stamp(later)))

        start = add_through_the_page(page, 'browser.avi', 'ブラウザから')
        # On a very busy machine it may already record when the list is first read.
        page.wait('the new reservation waiting', lambda: page.row_state(start)[0] in ('waiting', 'recording'))

        _, first_frames, badge = page.wait(
            'the recording', lambda: (s := page.row_state(start))[0] == 'recording' and s[1] > 0 and s, 30)
        if badge != '録画中':
            fail(f'a recording reservation reads {badge!r}')
        page.wait('the frame count to grow', lambda: page.row_state(start)[1] > first_frames,
                  seen=lambda: f'{first_frames} frames, then {page.row_state(start)}')
        page.wait('the still picture',
                  lambda: driver.execute_script("const s = document.getElementById('still');"
                                                "return !s.hidden && s.complete && s.naturalWidth > 0;"))
        page.wait('the recording to finish', lambda: page.row_state(start)[0] == 'recorded', 30)
        if page.row_state(start)[2] != '録画済み':
            fail(f'a finished reservation reads {page.row_state(start)[2]!r}')

        change_title(page, stamp(later), '変えた予約')
        if '変えた予約' not in run([rec, 'list', schedule], env):
            fail('the title changed on the page is not in the schedule file')
        page.click(f'#reservations button[data-action="remove"][data-start="{stamp(later)}"]')
        page.wait('the removed reservation to leave the list', lambda: page.row(stamp(later)) is None)
        if '変えた予約' in run([rec, 'list', schedule], env):
            fail('the reservation removed on the page is still in the schedule file')

        # A start the runner takes up late records into another name beside the one asked for.
        name, downloaded = download(page, start, downloads)
        if not (name.startswith('browser') and name.endswith('.avi')):
            fail(f'the recording of browser.avi is listed as {name!r}')
        with open(os.path.join(videos, name), 'rb') as f:
            recorded = f.read()
        if downloaded != recorded or not recorded.startswith(b'RIFF'):
            fail(f'the download ({len(downloaded)} bytes) is not the recording ({len(recorded)} bytes)')
        # Refusals the test asked for are logged as failed loads; anything else (a script error,
        # a blocked script or style) is a fault of the pages.
        errors = [entry['message'] for entry in driver.get_log('browser')
                  if entry['level'] == 'SEVERE' and 'Failed to load resource' not in entry['message']]
        if errors:
            fail('the browser reported errors:\n' + '\n'.join(errors))
    except Exception:
        print(f'serve said:\n{server.log()}', file=sys.stderr)
        raise
    finally:
        code = server.stop()
    if code != 0:
        fail(f'serve ended with {code} on SIGTERM:\n{server.log()}')


def on_deadline(_signal, _frame):
    raise TimeoutError(f'the browser test took longer than {DEADLINE_S} s')


def main():
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    missing = [tool for tool in ('chromium', 'chromedriver') if shutil.which(tool) is None]
    if missing:
        print('*' * 72 + f'\n*** SKIPPED: the browser test needs {" and ".join(missing)}; '
              'run scripts/install-deps ***\n' + '*' * 72, file=sys.stderr)
        return SKIPPED
    # A hung browser or server ends the test, through the cleanup below, instead of holding CI.
    signal.signal(signal.SIGALRM, on_deadline)
    signal.alarm(DEADLINE_S)
    work = tempfile.mkdtemp(prefix='tovalen-web-')
    try:
        test(os.path.abspath(sys.argv[1]), work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print('web browser test passed')
    return 0


if __name__ == '__main__':
    sys.exit(main())
