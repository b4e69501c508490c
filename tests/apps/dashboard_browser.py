#!/usr/bin/env python3
"""The dashboard in a real browser: headless Chromium driven by Selenium against
a server whose database holds known reports. The page's figures must equal
`orvane-adserver report`'s for the same range, a range change must redraw the
charts, text from the database must stay text, and the page must run under
its Content-Security-Policy without a console error.

usage: dashboard_browser.py ADSERVER SCREENSHOT"""
import datetime, json, os, random, shutil, sqlite3, subprocess, sys, tempfile, urllib.error, urllib.request

SKIP = 77
CHROMIUM, DRIVER = shutil.which('chromium'), shutil.which('chromedriver')
if not CHROMIUM or not DRIVER or not os.path.exists('/usr/share/javascript/chart.js/chart.min.js'):
    print('chromium, chromium-driver or libjs-chart.js is not installed: skipped')
    sys.exit(SKIP)
sys.path.append('/usr/lib/python3/dist-packages')  # Debian's python3-selenium under another interpreter
from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

ADSERVER, SCREENSHOT = sys.argv[1], sys.argv[2]
HOSTILE = '<img src=x onerror="document.title=\'owned\'">'
# The table layout a database of the first schema version has; the server
# upgrades it and fills the rollups from these rows.
SCHEMA = ["CREATE TABLE reports (id VARCHAR(36) PRIMARY KEY, received_at VARCHAR(32) NOT NULL, peer TEXT NOT NULL,"
          " product_guid TEXT NOT NULL, rating INTEGER NOT NULL, age_range INTEGER NOT NULL, gender TEXT NOT NULL,"
          " postal_code TEXT NOT NULL, country_code TEXT NOT NULL)",
          "CREATE TABLE report_ads (report_id VARCHAR(36) NOT NULL REFERENCES reports(id), position INTEGER NOT NULL,"
          " ad_guid TEXT NOT NULL, views INTEGER NOT NULL, clicks INTEGER NOT NULL,"
          " last_view_time DOUBLE PRECISION NOT NULL, PRIMARY KEY (report_id, position))"]


def seed(path, ads, today, rng):
    db = sqlite3.connect(path)
    for statement in SCHEMA:
        db.execute(statement)
    products = ['{0C000000-0000-4000-8000-000000000001}', '{0C000000-0000-4000-8000-000000000002}', HOSTILE]
    for n in range(120):
        day = today - datetime.timedelta(days=rng.randrange(20))
        received = f'{day.isoformat()}T{rng.randrange(24):02}:00:00.000Z'
        db.execute('INSERT INTO reports VALUES (?, ?, ?, ?, 20, 3, ?, ?, ?)',
                   (f'r{n}', received, '127.0.0.1', rng.choice(products), 'F', '12345', 'DE'))
        for position, ad in enumerate(rng.sample(ads, 2)):
            views = rng.randrange(1, 40)
            db.execute('INSERT INTO report_ads VALUES (?, ?, ?, ?, ?, 0)',
                       (f'r{n}', position, ad, views, rng.randrange(views // 4 + 1)))
    db.commit()
    db.close()


def report(db, by, since, until):
    out = subprocess.run([ADSERVER, 'report', '--db', db, '--by', by, '--since', since, '--until', until,
                          '--format', 'json'], check=True, capture_output=True, text=True).stdout
    return [json.loads(line) for line in out.splitlines()]


def table(driver, key):
    """The table's rows as report rows, read from the cells' shown text."""
    rows = driver.execute_script(
        'return [...document.getElementById(arguments[0]).tBodies[0].rows].map(r => [...r.cells].map(c => c.textContent))',
        key)
    return sorted(rows)


def expected(rows, key):
    return sorted([[str(r[key]), str(r['views']), str(r['clicks']), f"{r['ctr'] * 100:.2f}%", str(r['reports'])]
                   for r in rows])


def check_range(driver, db, since, until):
    WebDriverWait(driver, 10).until(
        lambda d: d.execute_script('return document.body.dataset.range') == f'{since}/{until}')
    for key in ('ad', 'product', 'advertiser'):
        want = expected(report(db, key, since, until), key)
        got = table(driver, key)
        assert got == want, f'{key} table for {since}..{until}:\n{got}\n!=\n{want}'
    days = {r['day']: r for r in report(db, 'day', since, until)}
    chart = driver.execute_script(
        'const c = Chart.getChart("counts"); return [c.data.labels, c.data.datasets[0].data, c.data.datasets[1].data]')
    assert chart[0][0] == since and chart[0][-1] == until, chart[0]
    for label, views, clicks in zip(*chart):
        row = days.get(label, {'views': 0, 'clicks': 0})
        assert (views, clicks) == (row['views'], row['clicks']), (label, views, clicks, row)
    assert sum(chart[1]) > 0
    return chart


def main():
    seed_value = int(os.environ.get('ORVANE_SEED', random.randrange(1 << 30)))
    print('seed', seed_value)
    rng = random.Random(seed_value)
    work = tempfile.mkdtemp(prefix='orvane-dashboard-')
    server = driver = None
    try:
        campaign = os.path.join(work, 'campaign')
        subprocess.run([ADSERVER, 'sample-campaign', campaign], check=True, capture_output=True)
        with open(os.path.join(campaign, 'campaign.json')) as f:
            spec = json.load(f)
        spec['ads'][1]['AdvertiserGUID'] = spec['ads'][0]['AdvertiserGUID']  # one advertiser with two ads
        with open(os.path.join(campaign, 'campaign.json'), 'w') as f:
            json.dump(spec, f)
        today = datetime.datetime.now(datetime.timezone.utc).date()
        seed(os.path.join(work, 'reports.db'), [ad['AdGUID'] for ad in spec['ads'][:5]], today, rng)
        db = 'sqlite:' + os.path.join(work, 'reports.db')

        server = subprocess.Popen([ADSERVER, 'serve', '--campaign', campaign, '--db', db, '--listen', '127.0.0.1:0',
                                   '--admin-listen', '127.0.0.1:0', '--access-log', 'off'],
                                  stdout=subprocess.PIPE, text=True)
        admin = None
        for line in server.stdout:
            if 'admin listening on ' in line:
                admin = 'http://' + line.split('admin listening on ')[1].strip()
                break
        assert admin, 'the server did not start its admin listener'

        with urllib.request.urlopen(admin + '/dashboard/') as response:
            assert "script-src 'self'" in response.headers['Content-Security-Policy']
        since, until = (today - datetime.timedelta(days=29)).isoformat(), today.isoformat()
        csv = subprocess.run([ADSERVER, 'report', '--db', db, '--by', 'day', '--since', since, '--until', until,
                              '--format', 'csv'], check=True, capture_output=True).stdout
        with urllib.request.urlopen(f'{admin}/dashboard/report.csv?by=day&since={since}&until={until}') as response:
            assert response.read() == csv
        for path, status in (('report.json?by=postal', 400), ('report.csv?since=2026-13-01', 400),
                             ('report.json?by=ad,age', 400), ('nothing', 404), ('../healthz', 404)):
            try:
                urllib.request.urlopen(f'{admin}/dashboard/{path}')
                assert False, path
            except urllib.error.HTTPError as error:
                assert error.code == status, (path, error.code)

        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        for flag in ('--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
                     '--disable-background-networking', '--disable-component-update', '--disable-sync',
                     '--disable-dev-shm-usage', '--window-size=1280,1100', '--user-data-dir=' + work + '/chromium'):
            options.add_argument(flag)
        options.set_capability('goog:loggingPrefs', {'browser': 'ALL'})
        driver = webdriver.Chrome(service=Service(DRIVER), options=options)
        driver.get(admin + '/')  # the root leads to the dashboard
        first = check_range(driver, db, since, until)
        assert HOSTILE in [row[0] for row in table(driver, 'product')] and driver.title != 'owned'

        # A shorter range redraws the same charts with its own days.
        since = (today - datetime.timedelta(days=6)).isoformat()
        field = driver.find_element(By.ID, 'since')
        driver.execute_script('arguments[0].value = arguments[1]', field, since)
        driver.find_element(By.CSS_SELECTOR, 'button[type=submit]').click()
        second = check_range(driver, db, since, until)
        assert len(second[0]) == 7 and second != first

        # Sorting by views puts the largest first on a second click.
        heads = driver.find_elements(By.CSS_SELECTOR, '#ad th')
        heads[1].click()
        heads[1].click()
        views = [int(v) for v in driver.execute_script(
            'return [...document.querySelectorAll("#ad tbody tr")].map(r => r.cells[1].textContent)')]
        assert views == sorted(views, reverse=True), views

        errors = [entry for entry in driver.get_log('browser') if entry['level'] == 'SEVERE']
        assert not errors, errors
        driver.find_element(By.TAG_NAME, 'h1').click()
        driver.save_screenshot(SCREENSHOT)
        print('screenshot saved to', SCREENSHOT)
    finally:
        if driver:
            driver.quit()
        if server:
            server.terminate()
            server.wait(10)
        shutil.rmtree(work, ignore_errors=True)


if __name__ == '__main__':
    main()
