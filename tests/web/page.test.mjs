// The page end to end in headless Chromium, on simulated transceivers behind a stand-in for
// navigator.hid (standin.js). One table of flows; each runs in a fresh browser context (its
// own storage). Every wait is on a condition in the page, with a generous limit; nothing
// depends on how fast the machine is. The two timings the page is built for are printed as
// figures, never asserted.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import puppeteer from 'puppeteer-core';

const here = path.dirname(fileURLToPath(import.meta.url));
const pageDir = process.env.SV_PAGE_DIR || path.resolve(here, '../../build-web/page');
const standin = fs.readFileSync(path.join(here, 'standin.js'), 'utf8');
const kLimit = 30000; // ms for any one wait
const kUnit = 'model = DW730 TONAL\nfirmware = 201036\nreply_interval_us = 0\n';

function within(promise, what, ms = kLimit) {
  let timer;
  const limit = new Promise((_, reject) => {
    timer = setTimeout(() => reject(new Error(`no ${what} within ${ms} ms`)), ms);
  });
  return Promise.race([promise, limit]).finally(() => clearTimeout(timer));
}

const types = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css', '.wasm': 'application/wasm' };
let server, origin, browser, temp;
const figures = { plugToSettingsMs: [], applyExchangeUs: [] };

before(async () => {
  assert.ok(fs.existsSync(path.join(pageDir, 'index.html')), `no page in ${pageDir}: build it first`);
  server = http.createServer((req, res) => {
    const name = path.normalize(decodeURIComponent(new URL(req.url, 'http://x').pathname)).replace(/^\/+/, '') || 'index.html';
    const file = path.join(pageDir, name);
    if (!file.startsWith(pageDir) || !fs.existsSync(file)) {
      res.writeHead(404).end();
      return;
    }
    res.writeHead(200, { 'content-type': types[path.extname(file)] || 'application/octet-stream' });
    fs.createReadStream(file).pipe(res);
  });
  await within(new Promise((resolve) => server.listen(0, '127.0.0.1', resolve)), 'server');
  origin = `http://127.0.0.1:${server.address().port}`;
  temp = fs.mkdtempSync(path.join(os.tmpdir(), 'sv-page-'));
  browser = await within(puppeteer.launch({
    executablePath: process.env.SV_CHROMIUM || '/usr/bin/chromium',
    headless: true,
    userDataDir: path.join(temp, 'profile'),
    args: ['--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage'],
  }), 'browser');
});

after(async () => {
  await browser?.close();
  server?.close();
  if (temp) fs.rmSync(temp, { recursive: true, force: true });
  const median = (list) => [...list].sort((a, b) => a - b)[Math.floor(list.length / 2)];
  if (figures.plugToSettingsMs.length)
    console.log(`figure: plug-in to settings shown: median ${median(figures.plugToSettingsMs).toFixed(0)} ms, max ${Math.max(...figures.plugToSettingsMs).toFixed(0)} ms (n=${figures.plugToSettingsMs.length})`);
  if (figures.applyExchangeUs.length)
    console.log(`figure: Apply exchange (command to next command, unit answering at once): median ${median(figures.applyExchangeUs).toFixed(0)} us (n=${figures.applyExchangeUs.length})`);
});

// A page of its own, the stand-in in place (unless hid is false), started.
async function open({ hid = true } = {}) {
  const context = await browser.createBrowserContext();
  const page = await context.newPage();
  page.setDefaultTimeout(kLimit); // every click and look-up of puppeteer's own
  await page.setViewport({ width: 1280, height: 900 });
  const downloads = fs.mkdtempSync(path.join(temp, 'dl-'));
  const cdp = await page.createCDPSession();
  await cdp.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: downloads, browserContextId: context.id });
  if (hid) await page.evaluateOnNewDocument(standin);
  else await page.evaluateOnNewDocument(() => { delete Navigator.prototype.hid; });
  const errors = [];
  page.on('pageerror', (e) => errors.push(e.message));
  await within(page.goto(origin + '/index.html'), 'page load');
  await waitFor(page, () => document.body.dataset.started === '1' || !document.getElementById('message').hidden, 'page start');
  return { page, context, downloads, errors };
}

async function waitFor(page, fn, what, arg) {
  await within(page.waitForFunction(fn, { timeout: 0, polling: 5 }, arg), what);
}

const count = (page) => page.$eval('#result', (e) => Number(e.dataset.count || 0));
const text = (page, selector) => page.$eval(selector, (e) => e.textContent);

// Plugs the unit, chooses it in the device chooser (it is attached: the page asks for it to be
// plugged in again) and plugs it in again; resolves once its settings are shown.
async function connect(page, profile = kUnit) {
  await within(page.evaluate((p) => window.__units.plug(p), profile), 'unit');
  await page.click('#connect');
  await waitFor(page, () => document.getElementById('status').textContent.includes('plug it in again'), 'request to plug again');
  const t0 = await page.evaluate(() => { window.__units.replug(); return performance.now(); });
  await waitFor(page, () => document.body.dataset.ready === '1' || !document.getElementById('notice').hidden, 'settings shown');
  const t1 = await page.evaluate(() => performance.now());
  if (profile.includes('reply_interval_us = 0')) figures.plugToSettingsMs.push(t1 - t0);
}

// Chooses a value other than the unit's for the setting; returns [from, to].
async function chooseOther(page, name) {
  return page.evaluate((n) => {
    const select = document.getElementById(`choose-${n}`);
    const from = select.value;
    const to = [...select.options].map((o) => o.value).find((v) => v !== from);
    select.value = to;
    select.dispatchEvent(new Event('change'));
    return [from, to];
  }, name);
}

// The result of the run just started: the page has told one more since the click.
async function result(page, before) {
  await waitFor(page, (b) => Number(document.getElementById('result').dataset.count || 0) > b && document.body.dataset.ready === '1', 'result', before);
  return text(page, '#result');
}

async function downloaded(dir, name) {
  const file = path.join(dir, name);
  await within((async () => { while (!fs.existsSync(file)) await new Promise((r) => setTimeout(r, 20)); })(), `download ${name}`);
  return fs.readFileSync(file, 'utf8');
}

async function record(page) {
  return page.$$eval('#record tbody tr', (rows) => rows.map((r) => [...r.cells].map((c) => c.textContent)));
}

const flows = [
  ['connect, show, choose, Apply: backup kept and downloaded, run recorded, CSV', async ({ page, downloads }) => {
    await connect(page);
    assert.equal(await text(page, '[data-field=firmware]'), '201036');
    assert.equal(await text(page, '[data-field=model]'), 'DW730 TONAL');
    assert.equal(await text(page, '[data-field=serial]'), 'SV0000000001');
    const names = await page.$$eval('#settings tbody th', (c) => c.map((e) => e.textContent));
    assert.ok(names.includes('volume') && names.includes('voice-guide'), names.join());
    const [from, to] = await chooseOther(page, 'volume');
    await waitFor(page, () => document.getElementById('changes').textContent.includes('volume'), 'preview');
    assert.match(await text(page, '#changes'), new RegExp(`volume: ${from} -> ${to}`));
    if (process.env.SV_SCREENSHOT) await page.screenshot({ path: process.env.SV_SCREENSHOT, fullPage: false });
    await page.evaluate(() => { window.__sends = []; const s = window.__units.device.sendReport.bind(window.__units.device);
      window.__units.device.sendReport = (...a) => { window.__sends.push(performance.now()); return s(...a); }; });
    await page.click('#apply');
    assert.match(await result(page, 0), /SV0000000001: 1 setting\(s\) changed \(volume\); written and saved/);
    const sends = await page.evaluate(() => window.__sends);
    for (let i = 1; i < sends.length; i++) figures.applyExchangeUs.push((sends[i] - sends[i - 1]) * 1000);
    assert.equal(await page.$eval(`#choose-volume`, (s) => s.value), to);
    const name = await page.$eval('#backup-download', (a) => a.download);
    await page.click('#backup-download');
    const backup = JSON.parse(await downloaded(downloads, name));
    assert.equal(backup.backup.product, 'Sonavelle customize tool');
    assert.equal(backup.settings.volume, from);
    assert.equal(backup.unit.serial, 'SV0000000001');
    await waitFor(page, () => document.querySelectorAll('#record tbody tr').length === 1, 'record line');
    const [line] = await record(page);
    // Apply writes every setting, those not chosen back as the unit holds them.
    assert.deepEqual([line[1], line[2], line[5], line[7]], ['apply', 'SV0000000001', 'saved', name]);
    assert.ok(line[6].split('; ').includes(`volume=${to}`), line[6]);
    await page.click('#csv');
    const csv = await downloaded(downloads, 'service-record.csv');
    assert.match(csv, /^utc,local,tool,run,serial,model,firmware,language,result,before,chosen,written,command,reply,backup,simulated\r\n/);
    assert.match(csv.split('\r\n')[1], new RegExp(`,apply,SV0000000001,DW730 TONAL,201036,.*,saved,.*volume=${to}`));
  }],
  ['restore a kept backup, and Default', async ({ page }) => {
    await connect(page);
    const [from, to] = await chooseOther(page, 'hands-free');
    await page.click('#apply');
    assert.match(await result(page, 0), /written and saved/);
    await waitFor(page, () => document.querySelectorAll('#backups button').length === 1, 'kept backup');
    await page.click('#backups button');
    await waitFor(page, () => document.getElementById('changes').textContent.includes('hands-free'), 'restore preview');
    assert.match(await text(page, '#changes'), new RegExp(`hands-free: ${to} -> ${from}`));
    const applied = await count(page);
    await page.click('#apply');
    assert.match(await result(page, applied), /written and saved/);
    assert.equal(await page.$eval('#choose-hands-free', (s) => s.value), from);
    await waitFor(page, () => document.querySelectorAll('#record tbody tr').length === 2, 'record lines');
    assert.equal((await record(page))[0][1], 'restore');
    const told = await count(page);
    await page.click('#default');
    assert.match(await result(page, told), /factory settings restored and saved/);
    await waitFor(page, () => document.querySelectorAll('#record tbody tr').length === 3, 'record lines');
    assert.equal((await record(page))[0][1], 'default');
  }],
  ['a refused SAVE is told, and recorded', async ({ page }) => {
    await connect(page, kUnit + 'fault.ng = SAVE\n');
    await chooseOther(page, 'volume');
    await page.click('#apply');
    assert.match(await result(page, 0), /did not confirm saving/);
    assert.equal(await page.$eval('#result', (e) => e.className), 'fail');
    await waitFor(page, () => document.querySelectorAll('#record tbody tr').length === 1, 'record line');
    assert.equal((await record(page))[0][5], 'save not confirmed');
  }],
  ['a unit pulled out during Apply', async ({ page }) => {
    // The unit never answers SAVE: the run is certainly under way when the cable is pulled.
    await connect(page, kUnit + 'fault.silent = SAVE\n');
    await chooseOther(page, 'volume');
    await chooseOther(page, 'hands-free');
    await page.click('#apply');
    await waitFor(page, () => document.getElementById('status').textContent.startsWith('Writing') && document.getElementById('progress').value > 0, 'run under way');
    await page.evaluate(() => window.__units.unplug());
    await waitFor(page, () => document.getElementById('result').textContent !== '', 'result');
    assert.match(await text(page, '#result'), /went away during the run/);
    await waitFor(page, () => document.querySelectorAll('#record tbody tr').length === 1, 'record line');
    assert.equal((await record(page))[0][5], 'went away');
  }],
  ['a unit of unsupported firmware', async ({ page }) => {
    await connect(page, 'model = DW730 TONAL\nfirmware = 202000\nreply_interval_us = 0\n');
    assert.match(await text(page, '#notice'), /not supported in this tool/);
    assert.equal(await page.$$eval('#settings tbody tr', (r) => r.length), 0);
    assert.equal(await page.$eval('#apply', (b) => b.disabled), true);
  }],
  ['a file that is not a backup chooses nothing', async ({ page }) => {
    await connect(page);
    const file = path.join(temp, 'not-a-backup.json');
    fs.writeFileSync(file, 'volume is loud\n');
    const input = await page.$('#restore-file');
    await input.uploadFile(file);
    await waitFor(page, () => !document.getElementById('message').hidden, 'message');
    assert.match(await text(page, '#message'), /not-a-backup\.json: not a backup or settings file.*Nothing was chosen/);
    assert.equal(await text(page, '#changes'), '');
  }],
  ['the browser refused to open the unit: the udev rule is named', async ({ page }) => {
    await page.evaluate(() => { window.__units.refuseOpen = true; });
    await within(page.evaluate((p) => window.__units.plug(p), kUnit), 'unit');
    await page.click('#connect');
    await waitFor(page, () => document.body.dataset.refused === '1', 'refusal');
    assert.match(await text(page, '#message'), /70-sonavelle\.rules/);
  }],
  ['no WebHID: the page says where it works', async ({ page }) => {
    assert.equal(await page.$eval('#nohid', (e) => e.hidden), false);
    assert.match(await text(page, '#nohid'), /Chrome or Edge.*HTTPS or from localhost/s);
    assert.equal(await page.$eval('#connect', (b) => b.disabled), true);
  }, { hid: false }],
];

for (const [name, flow, options] of flows) {
  test(name, async () => {
    const opened = await open(options);
    try {
      await flow(opened);
      assert.deepEqual(opened.errors, []);
    } finally {
      await opened.context.close();
    }
  });
}
