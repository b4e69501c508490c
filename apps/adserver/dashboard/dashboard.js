'use strict';
// Reads report rows from this listener and draws them. Every text from the
// database goes into the page as textContent, never as markup.
const $ = (id) => document.getElementById(id);
const kTables = ['ad', 'product', 'advertiser'];
const kColumns = ['views', 'clicks', 'ctr', 'reports'];
const charts = {};

const isoDay = (date) => date.toISOString().slice(0, 10);
const percent = (rate) => (rate * 100).toFixed(2) + '%';

function query(by) {
  return new URLSearchParams({ by, since: $('since').value, until: $('until').value }).toString();
}

async function rows(by) {
  const response = await fetch('report.json?' + query(by));
  const text = await response.text();
  if (!response.ok) throw new Error(text.trim());
  return text.split('\n').filter((line) => line).map((line) => JSON.parse(line));
}

// Every day of the range, those without reports included.
function daysOfRange() {
  const days = [];
  const last = new Date($('until').value + 'T00:00:00Z');
  for (let d = new Date($('since').value + 'T00:00:00Z'); d <= last && days.length < 3660; d.setUTCDate(d.getUTCDate() + 1))
    days.push(isoDay(d));
  return days;
}

function draw(id, type, labels, datasets, options = {}) {
  if (charts[id]) {
    charts[id].data.labels = labels;
    charts[id].data.datasets = datasets;
    charts[id].update();
    return;
  }
  charts[id] = new Chart($(id), {
    type, data: { labels, datasets },
    options: { animation: false, responsive: true, maintainAspectRatio: false, ...options },
  });
}

function drawDays(list) {
  const byDay = new Map(list.map((row) => [row.day, row]));
  const labels = daysOfRange();
  const pick = (key) => labels.map((day) => (byDay.has(day) ? byDay.get(day)[key] : 0));
  draw('counts', 'bar', labels, [
    { label: 'Views', data: pick('views'), backgroundColor: '#3f51b5' },
    { label: 'Clicks', data: pick('clicks'), backgroundColor: '#ef6c00' },
  ]);
  draw('ctr', 'line', labels, [
    { label: 'CTR %', data: pick('ctr').map((rate) => +(rate * 100).toFixed(2)), borderColor: '#2e7d32', backgroundColor: '#2e7d32' },
  ], { scales: { y: { beginAtZero: true } } });
}

function sortBy(table, column, ascending) {
  const head = table.tHead.rows[0].cells[column];
  for (const cell of table.tHead.rows[0].cells) cell.removeAttribute('aria-sort');
  head.setAttribute('aria-sort', ascending ? 'ascending' : 'descending');
  const body = table.tBodies[0];
  const value = (tr) => tr.cells[column].dataset.value;
  const order = [...body.rows].sort((a, b) => {
    const x = value(a), y = value(b);
    const c = column === 0 ? x.localeCompare(y) : Number(x) - Number(y);
    return ascending ? c : -c;
  });
  body.append(...order);
}

function fillTable(key, list) {
  const table = $(key);
  if (!table.tHead) {
    const tr = table.createTHead().insertRow();
    [key, ...kColumns].forEach((name, column) => {
      const th = document.createElement('th');
      th.textContent = name;
      th.addEventListener('click', () => sortBy(table, column, th.getAttribute('aria-sort') !== 'ascending'));
      tr.append(th);
    });
    table.createTBody();
  }
  const body = table.tBodies[0];
  body.replaceChildren();
  for (const row of list) {
    const tr = body.insertRow();
    for (const name of [key, ...kColumns]) {
      const td = tr.insertCell();
      td.dataset.value = row[name];
      td.textContent = name === 'ctr' ? percent(row[name]) : row[name];
    }
  }
  const heads = [...table.tHead.rows[0].cells];
  const sorted = heads.findIndex((th) => th.hasAttribute('aria-sort'));
  if (sorted >= 0) sortBy(table, sorted, heads[sorted].getAttribute('aria-sort') === 'ascending');
}

async function refresh() {
  const status = $('status');
  status.textContent = 'Loading…';
  try {
    const [days, ...tables] = await Promise.all(['day', ...kTables].map(rows));
    drawDays(days);
    kTables.forEach((key, i) => fillTable(key, tables[i]));
    for (const key of ['day', ...kTables]) $(key + '-csv').href = 'report.csv?' + query(key);
    status.textContent = 'Updated ' + new Date().toLocaleTimeString();
    document.body.dataset.range = $('since').value + '/' + $('until').value;
  } catch (error) {
    status.textContent = 'Cannot load the reports: ' + error.message;
  }
}

window.addEventListener('DOMContentLoaded', () => {
  const today = new Date();
  $('until').value = isoDay(today);
  today.setUTCDate(today.getUTCDate() - 29);
  $('since').value = isoDay(today);
  $('range').addEventListener('submit', (event) => {
    event.preventDefault();
    refresh();
  });
  refresh();
});
