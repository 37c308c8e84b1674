// The site as an app, served from a sub-folder: installable (its manifest parses, Chromium finds
// nothing against installing it); after one visit a reload with the network cut for the page and
// its service worker plays the keyword chain, opened in the page, to the desktop's transcript; a
// new build replaces the cached one whole at the next start, and a half-updated site is refused;
// the player's settings outlive the browser, damaged ones give the defaults.
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { appendFile, cp, mkdtemp, readFile, rm, writeFile } from 'node:fs/promises';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { launch } from './browser.mjs';
import { serve } from './server.mjs';
import { checks, saveRecording, transcript, until } from './game_page.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
const root = path.resolve(here, '../..');
const built = process.env.KESTROVE_SITE || path.join(root, 'build-web/site');
const { check, failures } = checks();

const work = await mkdtemp(path.join(os.tmpdir(), 'kestrove-app-'));
const site = path.join(work, 'site');
await cp(built, site, { recursive: true });
// While "down", the server answers nothing: whatever plays then came from the worker's cache.
let down = false;
const refused = [];
const server = await serve([['/games/kestrove/', site]]);
const [handler] = server.listeners('request');
server.removeAllListeners('request');
server.on('request', (req, res) => {
  if (!down) return handler(req, res);
  refused.push(req.url);
  res.destroy();
});
const base = `http://127.0.0.1:${server.address().port}/games/kestrove/`;
const profile = path.join(work, 'profile');
let browser = await launch({ userDataDir: profile });

const version = (page) => page.$eval('#version', (e) => e.textContent);
// The worker is active and holds every file of this build.
const cached = (page) =>
  page.evaluate(async () => {
    const registration = await navigator.serviceWorker.getRegistration();
    if (!registration || !registration.active) return null;
    const names = await caches.keys();
    const entries = [];
    for (const name of names) entries.push((await (await caches.open(name)).keys()).length);
    return { names, entries, files: Object.keys(window.kestroveBuild.files).length };
  });
const settled = (page) =>
  until(() => cached(page), (c) => c && c.names.length === 1 && c.entries[0] === c.files,
        'the worker does not hold the build');
// Asks for the site's worker again; resolves to how the new one ended up, or 'none'.
const update = (page) =>
  page.evaluate(async () => {
    const registration = await navigator.serviceWorker.getRegistration();
    await registration.update();
    const next = registration.installing || registration.waiting;
    if (!next) return 'none';
    return new Promise((resolve) => {
      const done = () => ['installed', 'redundant'].includes(next.state) && resolve(next.state);
      next.addEventListener('statechange', done);
      done();
    });
  });
const playing = (page) =>
  page.waitForFunction(() => window.kestroveFrames && window.kestroveFrames() > 10,
                       { timeout: 60000 });
const stamp = () => {
  const run = spawnSync('python3', [path.join(root, 'tools/web/stamp_site.py'), site, 'next'],
                        { encoding: 'utf8' });
  assert.equal(run.status, 0, run.stderr);
};

try {
  let page = await browser.newPage();
  await page.setViewport({ width: 1400, height: 1100 });

  await check('the manifest parses and nothing stands against installing', async () => {
    await page.goto(base);
    await playing(page);
    await settled(page);
    const cdp = await page.createCDPSession();
    const manifest = await cdp.send('Page.getAppManifest');
    assert.equal(manifest.url, base + 'manifest.webmanifest');
    assert.deepEqual(manifest.errors, []);
    const parsed = JSON.parse(manifest.data);
    assert.equal(parsed.short_name, 'Kestrove');
    const { installabilityErrors } = await cdp.send('Page.getInstallabilityErrors');
    assert.deepEqual(installabilityErrors, []);
  });

  await check('with no network a reload plays the keyword chain opened in the page', async () => {
    const sw = await browser.waitForTarget(
      (t) => t.type() === 'service_worker' && t.url().startsWith(base));
    const network = (offline) =>
      ({ offline, latency: 0, downloadThroughput: -1, uploadThroughput: -1 });
    const sessions = [await page.createCDPSession(), await sw.createCDPSession()];
    for (const cdp of sessions) {
      await cdp.send('Network.enable');
      await cdp.send('Network.emulateNetworkConditions', network(true));
    }
    down = true;
    try {
      await page.goto(base + '?--transcript=.transcript');
      await playing(page);
      const input = await page.$('#open-file');
      await Promise.all([page.waitForNavigation(), input.uploadFile(
        path.join(root, 'tests/e2e/game/chain.script'))]);
      const golden = await readFile(path.join(root, 'tests/e2e/game/chain.transcript'), 'utf8');
      await until(() => transcript(page), (t) => t === golden, 'the replay says otherwise');
      // Saved offline too, with no --record given: the recording of the replay.
      const file = await saveRecording(browser, page, path.join(work, 'downloads'));
      const record = await readFile(file, 'utf8');
      assert.match(record, /^# recorded by kestrove .*\n(.*\n)*down Down\n/);
      // The browser itself looks for a new worker at each visit, and finds none.
      assert.deepEqual(refused.filter((url) => !url.endsWith('/sw.js')), [],
                       'the page asked the network for files it has');
    } finally {
      for (const cdp of sessions) {
        await cdp.send('Network.emulateNetworkConditions', network(false));
        await cdp.detach();
      }
      down = false;
      await page.close();
    }
  });

  // A browser whose worker DevTools never held: one that was attached to can be left unable to
  // start again, which stalls the hand-over from one build to the next.
  await browser.close();
  browser = await launch({ userDataDir: profile });

  await check('a new build replaces the old whole; a half-updated site is refused', async () => {
    page = await browser.newPage();
    await page.setViewport({ width: 1400, height: 1100 });
    await page.goto(base);
    await playing(page);
    const old = await version(page);
    const oldPage = await readFile(path.join(site, 'kestrove-page.js'));
    await appendFile(path.join(site, 'kestrove-page.js'), '// the next build\n');
    stamp();
    // build.js names the new page script, the site still has the old one.
    const newPage = await readFile(path.join(site, 'kestrove-page.js'));
    await writeFile(path.join(site, 'kestrove-page.js'), oldPage);
    assert.equal(await update(page), 'redundant');
    assert.equal((await cached(page)).names.length, 1);
    await writeFile(path.join(site, 'kestrove-page.js'), newPage);
    assert.equal(await update(page), 'installed');
    await until(() => page.$eval('#update', (e) => e.textContent), (t) => /update is ready/.test(t),
                'the page does not say an update is ready');
    assert.equal(await version(page), old, 'the running page changed build');
    // A reload while the old build's page is open keeps the old build, and plays.
    await page.reload();
    await playing(page);
    assert.equal(await version(page), old);
    // The next start, with no page of the site open, has the new build. Closing a page takes a
    // moment in the browser: a start that still meets the old page gets the old build, and is
    // closed to try again.
    let now = old;
    for (let attempt = 0; attempt < 10 && now === old; attempt++) {
      await page.close();
      page = await browser.newPage();
      await page.setViewport({ width: 1400, height: 1100 });
      await page.goto(base);
      await playing(page);
      now = await version(page);
    }
    assert.match(now, /^Kestrove next, build [0-9a-f]{12}$/);
    const c = await settled(page);
    assert.match(c.names[0], / next [0-9a-f]{12}$/);
    const script = await page.evaluate(async () =>
      (await caches.match(new URL('kestrove-page.js', location.href).href)).text());
    assert.match(script, /the next build/);
  });

  await check('settings outlive the browser; damaged ones give the defaults', async () => {
    const width = () => page.$eval('#screen', (e) => e.getBoundingClientRect().width);
    assert.equal(await width(), 1280); // fits twice
    await page.click('#settings-button');
    await page.select('#set-scale', '1');
    await page.select('#set-controlSize', 'large');
    await page.select('#set-controlOpacity', '0.5');
    await page.select('#set-controlSide', 'left');
    assert.equal(await width(), 640);
    await browser.close();
    browser = await launch({ userDataDir: profile });
    page = await browser.newPage();
    // A large touch screen: the picture fits twice beside the controls, so 1× shows.
    await page.setViewport({ width: 1800, height: 1200, hasTouch: true });
    await page.goto(base);
    await playing(page);
    const shown = () => page.evaluate(() => {
      const box = (id) => document.getElementById(id).getBoundingClientRect();
      return { scale: document.getElementById('set-scale').value,
               size: document.getElementById('set-controlSize').value,
               opacity: getComputedStyle(document.getElementById('fire')).opacity,
               padLeft: box('dpad').x, fireLeft: box('fire').x, pad: box('dpad').width,
               width: box('screen').width };
    });
    const kept = await shown();
    assert.deepEqual([kept.scale, kept.size, kept.opacity, kept.width], ['1', 'large', '0.5', 640]);
    assert.ok(kept.padLeft > kept.fireLeft, JSON.stringify(kept));
    for (const damaged of ['{"scale": "2', '{"scale": 9, "controlOpacity": "0.31"}', '[]']) {
      await page.evaluate((v) => localStorage.setItem('kestrove.settings', v), damaged);
      await page.reload();
      await playing(page);
      const d = await shown();
      assert.deepEqual([d.scale, d.size, d.opacity, d.width], ['fit', 'medium', '1', 1280], damaged);
      assert.ok(d.padLeft < d.fireLeft && d.pad < kept.pad, `${damaged}: ${JSON.stringify(d)}`);
    }
    await page.evaluate(() => localStorage.setItem('kestrove.settings', '{"scale": "1"}'));
    await page.reload();
    await playing(page);
    await page.click('#settings-button');
    await page.click('#reset');
    assert.equal((await shown()).scale, 'fit');
    assert.equal(await page.evaluate(() => localStorage.getItem('kestrove.settings')), null);
  });
} finally {
  await browser.close();
  server.close();
  await rm(work, { recursive: true, force: true });
}
console.log(`app: ${failures() ? 'FAILED' : 'ok'}`);
process.exitCode = failures() ? 1 : 0;
