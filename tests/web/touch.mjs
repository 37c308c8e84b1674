// Play without a keyboard, in Chromium: on a phone and a tablet (puppeteer's device emulation)
// the whole picture is in sight in both orientations and no control covers the console or the
// input window; by touch alone (CDP touch events, two fingers at once) and by a gamepad alone (a
// stubbed navigator.getGamepads) the talk with 세나 says what the keyboard says, and the page's
// recording replays on the desktop to the same lines and place; the page keeps its pace with the
// CPU slowed four times.
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { cp, mkdtemp, readFile, rm, writeFile } from 'node:fs/promises';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { KnownDevices } from 'puppeteer-core';
import { launch } from './browser.mjs';
import { serve } from './server.mjs';
import { checks, position, replayOnDesktop, said, transcript, until, waitFrames, walkIntoSena }
  from './game_page.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
const site = process.env.KESTROVE_SITE || path.resolve(here, '../../build-web/site');
const data = path.join(site, 'data');
const kestrove = process.env.KESTROVE_DESKTOP || path.resolve(here, '../../build/kestrove');
const { check, failures } = checks();

// The talk the keyboard has with 세나, played by the desktop program: what touch and pads must
// say too.
const work = await mkdtemp(path.join(os.tmpdir(), 'kestrove-touch-'));
await cp(data, path.join(work, 'data'), { recursive: true });
await writeFile(path.join(work, 'talk.script'), [
  'wait 2', 'down Down', 'wait 43', 'up Down', 'down Left', 'wait 25', 'up Left', 'wait 2',
  'type dkssud', 'press Enter', 'wait 1', 'press Hangul', 'type hi', 'press Enter', 'wait 1',
  'press Esc', 'wait 2', ''].join('\n'));
const keyboardRun = spawnSync(kestrove, ['--headless', '--data', 'data', '--script', 'talk.script',
                                         '--transcript', 'keyboard.txt'],
                              { cwd: work, encoding: 'utf8' });
assert.equal(keyboardRun.status, 0, keyboardRun.stderr);
const keyboardSaid = await readFile(path.join(work, 'keyboard.txt'), 'utf8');
assert.match(keyboardSaid, /^> hi$/m);

const font = [...(await readFile(path.join(data, 'ascii.fnt')))];
const server = await serve([['/', site]]);
const base = `http://127.0.0.1:${server.address().port}/`;
const browser = await launch();

// Boxes in CSS pixels: {x, y, width, height}.
const overlap = (a, b) => a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height &&
  b.y < a.y + a.height;
const within = (a, v) => a.x >= 0 && a.y >= 0 && a.x + a.width <= v.width + 0.5 &&
  a.y + a.height <= v.height + 0.5;
// The console and the input window, on the screen, from where the canvas lies.
async function windows(page) {
  return page.evaluate(() => {
    const r = document.getElementById('screen').getBoundingClientRect();
    const s = r.width / 640;
    const at = (x, y, w, h) => ({ x: r.x + x * s, y: r.y + y * s, width: w * s, height: h * s });
    return { picture: { x: r.x, y: r.y, width: r.width, height: r.height },
             console: at(376, 8, 248, 384), input: at(376, 400, 248, 80) };
  });
}
// Every visible touch control and key, by its accessible name.
async function controlBoxes(page) {
  return page.evaluate(() => [...document.querySelectorAll('.control, #dpad span, #osk button')]
    .filter((e) => e.offsetParent !== null && !e.closest('[hidden]'))
    .map((e) => {
      const r = e.getBoundingClientRect();
      return { name: e.getAttribute('aria-label'), x: r.x, y: r.y, width: r.width, height: r.height };
    }));
}
async function checkLayout(page, what) {
  const view = await page.evaluate(() => ({ width: innerWidth, height: innerHeight }));
  const w = await windows(page);
  assert.ok(within(w.picture, view), `${what}: the picture ${JSON.stringify(w.picture)} is not ` +
            `inside the ${view.width} x ${view.height} viewport`);
  const boxes = await controlBoxes(page);
  assert.ok(boxes.length > 0, `${what}: no controls shown`);
  for (const b of boxes) {
    assert.ok(b.name, `${what}: a control without a name`);
    assert.ok(within(b, view), `${what}: ${b.name} is outside the viewport`);
    for (const win of ['console', 'input'])
      assert.ok(!overlap(b, w[win]), `${what}: ${b.name} covers the ${win} window`);
  }
  return boxes;
}

async function open(device, query = '?--windowed&--transcript=.transcript&--record=.record',
                    prepare = null) {
  const page = await browser.newPage();
  if (prepare) await page.evaluateOnNewDocument(prepare);
  await page.emulate(device);
  await page.goto(base + query);
  await page.waitForFunction(() => window.kestroveFrames && window.kestroveFrames() > 10);
  return page;
}

// Fingers through CDP: each touch event lists every finger still down.
function fingers(page, cdp) {
  const down = new Map();
  const points = () => [...down].map(([id, p]) => ({ id, x: p.x, y: p.y }));
  const taken = () => page.waitForFunction(() => Module.kestroveControls.length === 0,
                                           { polling: 'raf' });
  return {
    async put(id, x, y) {
      const type = down.has(id) ? 'touchMove' : 'touchStart';
      down.set(id, { x, y });
      await cdp.send('Input.dispatchTouchEvent', { type, touchPoints: points() });
      await taken();
    },
    async lift(id) {
      down.delete(id);
      await cdp.send('Input.dispatchTouchEvent', { type: 'touchEnd', touchPoints: points() });
      await taken();
    },
  };
}
const middle = async (page, name) => {
  const e = await page.$(`aria/${name}`);
  assert.ok(e, `no control named ${name}`);
  const b = await e.boundingBox();
  return { x: b.x + b.width / 2, y: b.y + b.height / 2 };
};
const keyboardOpen = (page) => page.evaluate(() => !document.getElementById('osk').hidden);

try {
  const devices = [['Pixel 5', KnownDevices['Pixel 5']],
                   ['Pixel 5 landscape', KnownDevices['Pixel 5 landscape']],
                   ['iPad Pro 11', KnownDevices['iPad Pro 11']],
                   ['iPad Pro 11 landscape', KnownDevices['iPad Pro 11 landscape']]];
  await check('the picture fits and no control covers the console or the input window',
              async () => {
    for (const [name, device] of devices) {
      const page = await open(device, '?--windowed');
      const names = (await checkLayout(page, name)).map((b) => b.name);
      for (const want of ['Up', 'Down', 'Left', 'Right', 'Fire', 'Walk without turning'])
        assert.ok(names.includes(want), `${name}: no ${want} in ${names}`);
      // A key hides them; the next touch brings them back.
      const shown = () => page.evaluate(() => !document.getElementById('dpad').hidden);
      await page.keyboard.press('KeyQ');
      await until(shown, (s) => !s, `${name}: the controls stay after a key`);
      const cdp = await page.createCDPSession();
      // Half-way down the stage's edge: nearer the header, Chromium's touch adjustment would give
      // the touch to one of its buttons.
      const y = await page.evaluate(() => {
        const r = document.getElementById('stage').getBoundingClientRect();
        return r.y + r.height / 2;
      });
      await cdp.send('Input.dispatchTouchEvent', { type: 'touchStart',
                                                   touchPoints: [{ id: 1, x: 2, y }] });
      await cdp.send('Input.dispatchTouchEvent', { type: 'touchEnd', touchPoints: [] });
      await until(shown, (s) => s, `${name}: the controls do not come back at a touch`);
      await page.close();
    }
  });

  for (const [name, device] of [['Pixel 5 landscape', KnownDevices['Pixel 5 landscape']],
                                ['Pixel 5', KnownDevices['Pixel 5']]]) {
    await check(`${name}: by touch alone, the talk says what the keyboard says`, async () => {
      const page = await open(device);
      const cdp = await page.createCDPSession();
      const hand = fingers(page, cdp);
      const pad = await middle(page, 'Up');
      const centre = { x: pad.x, y: (pad.y + (await middle(page, 'Down')).y) / 2 };
      const reach = centre.y - pad.y;
      const aim = { ArrowUp: [0, -1], ArrowDown: [0, 1], ArrowLeft: [-1, 0], ArrowRight: [1, 0] };
      const fire = await middle(page, 'Fire');
      await walkIntoSena(page, font, async (arrow, down) => {
        if (!down) {
          if (arrow === 'ArrowLeft') await hand.lift(2);
          return hand.lift(1);
        }
        // A finger lands left of the middle and slides to the direction.
        await hand.put(1, centre.x - reach * 0.2, centre.y + reach * 0.2);
        await hand.put(1, centre.x + aim[arrow][0] * reach, centre.y + aim[arrow][1] * reach);
        if (arrow === 'ArrowLeft') await hand.put(2, fire.x, fire.y); // firing while walking
      });
      await until(() => keyboardOpen(page), (o) => o, 'the keyboard does not open by itself');
      await checkLayout(page, `${name} talking`);
      const tapKeys = async (names) => {
        for (const key of names) {
          const at = await middle(page, key);
          await hand.put(3, at.x, at.y);
          await waitFrames(page, 1);
          await hand.lift(3);
        }
      };
      const says = async (line, names) => {
        await tapKeys(names);
        await until(() => said(page), (s) => s.includes(line), `'${line}' not said`);
      };
      await says('> 안녕', ['ㅇ', 'ㅏ', 'ㄴ', 'ㄴ', 'ㅕ', 'ㅇ', 'Enter']);
      await tapKeys(['Hangul/English']);
      await until(() => page.$('aria/h'), (e) => e, 'the keys do not show English');
      await says('> hi', ['h', 'i', 'Enter']);
      await says('> ', ['Esc']);
      await until(() => keyboardOpen(page), (o) => !o, 'the keyboard stays open');
      assert.equal(await transcript(page), keyboardSaid);
      const record = await replayOnDesktop(page, font, work, kestrove, data);
      assert.match(record, /down Left\n(.*\n)*down z\n(.*\n)*up Left/,
                   `no shot while walking left:\n${record}`);
      await page.close();
    });
  }

  await check('by a gamepad alone, the talk says what the keyboard says', async () => {
    const page = await open(KnownDevices['Pixel 5 landscape'], undefined, () => {
      const button = () => ({ pressed: false, touched: false, value: 0 });
      window.testPad = { id: 'test pad', index: 0, connected: true, mapping: 'standard',
                         buttons: Array.from({ length: 17 }, button), axes: [0, 0, 0, 0] };
      navigator.getGamepads = () => [window.testPad];
    });
    // The standard mapping's buttons.
    const A = 0, Y = 3, BACK = 8, START = 9, UP = 12, DOWN = 13, LEFT = 14, RIGHT = 15;
    const set = async (b, on) => {
      await page.evaluate((b, on) => { window.testPad.buttons[b].pressed = on; }, b, on);
      await waitFrames(page, 2);
    };
    const arrows = { ArrowUp: UP, ArrowDown: DOWN, ArrowLeft: LEFT, ArrowRight: RIGHT };
    await walkIntoSena(page, font, (arrow, down) => set(arrows[arrow], down));
    await until(() => keyboardOpen(page), (o) => o, 'the keyboard does not open by itself');
    assert.deepEqual(await page.evaluate(() => document.getElementById('dpad').hidden), true,
                     'the touch controls stay after the pad is used');
    // The highlighted key, and the place of each key by its name.
    const keys = () => page.evaluate(() => [...document.querySelectorAll('#osk button')].map(
      (b) => ({ name: b.getAttribute('aria-label'), on: b.classList.contains('highlight'),
                x: b.offsetLeft + b.offsetWidth / 2, y: b.offsetTop + b.offsetHeight / 2 })));
    const pressKey = async (name) => {
      for (let moves = 0; ; moves++) {
        assert.ok(moves < 40, `cannot reach ${name}`);
        const all = await keys();
        const at = all.find((k) => k.on), want = all.find((k) => k.name === name);
        assert.ok(at && want, `no highlight or no ${name}`);
        if (at === want || at.name === name) break;
        const b = Math.abs(want.y - at.y) > 2 ? (want.y > at.y ? DOWN : UP) :
          (want.x > at.x ? RIGHT : LEFT);
        await set(b, true);
        await set(b, false);
      }
      await set(A, true);
      await set(A, false);
    };
    const says = async (line, body) => {
      await body();
      await until(() => said(page), (s) => s.includes(line), `'${line}' not said`);
    };
    await says('> 안녕', async () => {
      for (const key of ['ㅇ', 'ㅏ', 'ㄴ', 'ㄴ', 'ㅕ', 'ㅇ']) await pressKey(key);
      await set(START, true);
      await set(START, false);
    });
    await set(Y, true);
    await set(Y, false);
    await says('> hi', async () => {
      for (const key of ['h', 'i']) await pressKey(key);
      await set(START, true);
      await set(START, false);
    });
    await says('> ', () => set(BACK, true)); // held until the talk ends
    await set(BACK, false);
    assert.equal(await transcript(page), keyboardSaid);
    await replayOnDesktop(page, font, work, kestrove, data);
    await page.close();
  });

  // 60 frames a second at a quarter of the CPU. A loaded machine slows every page, so a rate
  // below that passes only when the frames' own main-thread time, four times over, still fits in
  // a 60 Hz frame with a fifth to spare: then the machine's load, not the page, was short.
  await check('with the controls shown and the CPU slowed 4 times, the page keeps 60 Hz',
              async () => {
    const page = await open(KnownDevices['Pixel 5 landscape'], '?--windowed');
    assert.ok(!(await page.evaluate(() => document.getElementById('dpad').hidden)));
    const cdp = await page.createCDPSession();
    await cdp.send('Performance.enable');
    const sample = async () => {
      const metrics = (await cdp.send('Performance.getMetrics')).metrics;
      const thread = metrics.find((m) => m.name === 'ThreadTime').value;
      return page.evaluate(async (thread) => {
        const f0 = window.kestroveFrames(), t0 = performance.now();
        await new Promise((r) => setTimeout(r, 3000));
        return { frames: window.kestroveFrames() - f0, seconds: (performance.now() - t0) / 1000,
                 thread };
      }, thread).then(async (s) => {
        const after = (await cdp.send('Performance.getMetrics')).metrics;
        const cpu = after.find((m) => m.name === 'ThreadTime').value - s.thread;
        return { rate: s.frames / s.seconds, cpuMs: (1000 * cpu) / s.frames };
      });
    };
    const plain = await sample();
    await cdp.send('Emulation.setCPUThrottlingRate', { rate: 4 });
    await waitFrames(page, 30);
    const slowed = await sample();
    await cdp.send('Emulation.setCPUThrottlingRate', { rate: 1 });
    console.log(`${slowed.rate.toFixed(1)} frames a second with the CPU slowed 4 times; ` +
                `${plain.cpuMs.toFixed(2)} ms of main thread a frame at full speed`);
    assert.ok(slowed.rate < 64, `${slowed.rate} frames a second`);
    assert.ok(slowed.rate >= 57 || 4 * plain.cpuMs <= 0.8 * 1000 / 60,
              `${slowed.rate.toFixed(1)} frames a second, ${plain.cpuMs.toFixed(2)} ms a frame`);
    await page.close();
  });
} finally {
  await browser.close();
  server.close();
  await rm(work, { recursive: true, force: true });
}

console.log(`touch: ${failures() ? 'FAILED' : 'ok'}`);
process.exitCode = failures() ? 1 : 0;
