#!/usr/bin/env python3
# The dashboard in headless Chromium against known reports: its figures equal `report`'s, a range change redraws
# the charts, database text stays text, no console error under its CSP. usage: dashboard_browser.py ADSERVER PNG
import datetime, json, os, random, shutil, sqlite3, subprocess, sys, tempfile, urllib.error, urllib.request

CHROMIUM, DRIVER = shutil.which('chromium'), shutil.which('chromedriver')
if not CHROMIUM or not DRIVER or not os.path.exists('/usr/share/javascript/chart.js/chart.min.js'):
    print('chromium, chromium-driver or libjs-chart.js is not installed: skipped')
    sys.exit(77)
sys.path.append('/usr/lib/python3/dist-packages')  # Debian's python3-selenium under another interpreter
from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

ADSERVER, SCREENSHOT = sys.argv[1], sys.argv[2]
HOSTILE = '<img src=x onerror="document.title=\'owned\'">'
# The first schema version's tables: the server upgrades them and fills the rollups from their rows.
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
        received = f'{today - datetime.timedelta(days=rng.randrange(20))}T{rng.randrange(24):02}:00:00.000Z'
        db.execute('INSERT INTO reports VALUES (?, ?, ?, ?, 20, 3, ?, ?, ?)',
                   (f'r{n}', received, '127.0.0.1', rng.choice(products), 'F', '12345', 'DE'))
        for position, ad in enumerate(rng.sample(ads, 2)):
            views = rng.randrange(1, 40)
            db.execute('INSERT INTO report_ads VALUES (?, ?, ?, ?, ?, 0)',
                       (f'r{n}', position, ad, views, rng.randrange(views // 4 + 1)))
    db.commit()


def report(db, by, since, until, form='json'):
    out = subprocess.run([ADSERVER, 'report', '--db', db, '--by', by, '--since', since, '--until', until,
                          '--format', form], check=True, capture_output=True).stdout
    return out if form == 'csv' else [json.loads(line) for line in out.splitlines()]


def cells(driver, key, column=None):
    return driver.execute_script('return [...document.querySelectorAll(`#${arguments[0]} tbody tr`)].map(r =>'
                                 ' [...r.cells].map(c => c.textContent)).map(r => arguments[1] < 0 ? r : r[arguments[1]])',
                                 key, -1 if column is None else column)


def check_range(driver, db, since, until):
    WebDriverWait(driver, 10).until(lambda d: d.execute_script('return document.body.dataset.range') == f'{since}/{until}')
    for key in ('ad', 'product', 'advertiser'):
        want = sorted([[str(r[key]), str(r['views']), str(r['clicks']), r['ctr'] * 100, str(r['reports'])]
                       for r in report(db, key, since, until)])
        got = sorted(cells(driver, key))  # the rate in percent, rounded to two places either way at a half
        assert [g[:3] + g[4:] for g in got] == [w[:3] + w[4:] for w in want], (key, since, until, got, want)
        assert all(abs(float(g[3][:-1]) - w[3]) < 0.0051 for g, w in zip(got, want)), (got, want)
    days = {r['day']: r for r in report(db, 'day', since, until)}
    chart = driver.execute_script('const c = Chart.getChart("counts");'
                                  ' return [c.data.labels, c.data.datasets[0].data, c.data.datasets[1].data]')
    assert chart[0][0] == since and chart[0][-1] == until and sum(chart[1]) > 0, chart
    for label, views, clicks in zip(*chart):
        assert [views, clicks] == [days.get(label, {}).get(k, 0) for k in ('views', 'clicks')], (label, days)
    return chart


def main():
    seed_value = int(os.environ.get('ORVANE_SEED', random.randrange(1 << 30)))
    print('seed', seed_value)
    work = tempfile.mkdtemp(prefix='orvane-dashboard-')
    server = driver = None
    try:
        campaign, db = os.path.join(work, 'campaign'), 'sqlite:' + os.path.join(work, 'reports.db')
        subprocess.run([ADSERVER, 'sample-campaign', campaign], check=True, capture_output=True)
        with open(os.path.join(campaign, 'campaign.json')) as f:
            listing = json.load(f)
        listing['ads'][1]['AdvertiserGUID'] = listing['ads'][0]['AdvertiserGUID']  # one advertiser with two ads
        with open(os.path.join(campaign, 'campaign.json'), 'w') as f:
            json.dump(listing, f)
        today = datetime.datetime.now(datetime.timezone.utc).date()
        seed(db[7:], [ad['AdGUID'] for ad in listing['ads'][:5]], today, random.Random(seed_value))
        server = subprocess.Popen([ADSERVER, 'serve', '--campaign', campaign, '--db', db, '--listen', '127.0.0.1:0',
                                   '--admin-listen', '127.0.0.1:0', '--access-log', 'off'], stdout=subprocess.PIPE, text=True)
        admin = 'http://' + next(l for l in server.stdout if 'admin listening on ' in l).split(' on ')[1].strip()

        since, until = str(today - datetime.timedelta(days=29)), str(today)
        with urllib.request.urlopen(f'{admin}/dashboard/report.csv?by=day&since={since}&until={until}') as response:
            assert "script-src 'self'" in response.headers['Content-Security-Policy']
            assert response.read() == report(db, 'day', since, until, 'csv')
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
        assert HOSTILE in cells(driver, 'product', 0) and driver.title != 'owned'

        # A shorter range redraws the same charts with its own days.
        since = str(today - datetime.timedelta(days=6))
        driver.execute_script('arguments[0].value = arguments[1]', driver.find_element(By.ID, 'since'), since)
        driver.find_element(By.CSS_SELECTOR, 'button[type=submit]').click()
        second = check_range(driver, db, since, until)
        assert len(second[0]) == 7 and second != first

        for _ in range(2):  # the second click on a heading sorts descending
            driver.find_elements(By.CSS_SELECTOR, '#ad th')[1].click()
        assert (views := [int(v) for v in cells(driver, 'ad', 1)]) == sorted(views, reverse=True), views
        assert not (errors := [e for e in driver.get_log('browser') if e['level'] == 'SEVERE']), errors
        driver.save_screenshot(SCREENSHOT)
    finally:
        if driver:
            driver.quit()
        if server:
            server.terminate()
            server.wait(10)
        shutil.rmtree(work, ignore_errors=True)


main()
