// Real key events in Chromium: physical keys held over frames and typed, read back from the
// transcript and from the player's coordinates drawn on the screen. Also: a data file missing
// from the served folder, the 60 Hz pace, keys released on focus loss, no WebAssembly.
import assert from 'node:assert/strict';
import { mkdtemp, cp, readFile, rm } from 'node:fs/promises';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { launch } from './browser.mjs';
import { serve } from './server.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
const site = process.env.KESTROVE_SITE || path.resolve(here, '../../build-web/site');
const data = path.join(site, 'data');

// The player's X and Y as the game draws them: white 8 x 16 digits of ascii.fnt at (12, 32) and
// (12, 52) of the screen.
async function position(page, font) {
  return page.evaluate((font) => {
    const c = document.getElementById('screen');
    const px = c.getContext('2d').getImageData(0, 0, 64, 72).data;
    const white = (x, y) => {
      const i = (y * 64 + x) * 4;
      return px[i] > 250 && px[i + 1] > 250 && px[i + 2] > 250;
    };
    const glyph = (d) => font.slice((48 + d - 31) * 16, (48 + d - 31) * 16 + 16);
    const read = (top) => {
      let text = '';
      for (let left = 12; left + 8 <= 64; left += 8) {
        const digit = [...Array(10).keys()].find((d) => {
          const rows = glyph(d);
          for (let y = 0; y < 16; y++)
            for (let x = 0; x < 8; x++)
              if (!!(rows[y] & (0x80 >> x)) !== white(left + x, top + y)) return false;
          return true;
        });
        if (digit === undefined) break;
        text += digit;
      }
      return text === '' ? NaN : Number(text);
    };
    return { x: read(32), y: read(52) };
  }, font);
}

const frames = (page) => page.evaluate(() => window.kestroveFrames());
async function waitFrames(page, n) {
  const end = (await frames(page)) + n;
  await page.waitForFunction((end) => window.kestroveFrames() >= end, { polling: 'raf' }, end);
}
const transcript = (page) =>
  page.evaluate(() => {
    try {
      return Module.FS.readFile('/run/.transcript', { encoding: 'utf8' });
    } catch (e) {
      return '';
    }
  });

let failures = 0;
async function check(name, body) {
  try {
    await body();
    console.log(`${name}: ok`);
  } catch (e) {
    failures++;
    console.log(`${name}: FAILED\n${e.stack || e}`);
  }
}

const work = await mkdtemp(path.join(os.tmpdir(), 'kestrove-keys-'));
await cp(data, path.join(work, 'data'), { recursive: true });
await rm(path.join(work, 'data', 'bg_image.jpg'));
const font = [...(await readFile(path.join(data, 'ascii.fnt')))];
const server = await serve([['/', site], ['/keys/', work]]);
const browser = await launch();
const base = `http://127.0.0.1:${server.address().port}/`;
try {
  const page = await browser.newPage();
  await page.setViewport({ width: 1400, height: 1100 });
  await page.goto(base + '?--windowed&--data=keys/data&--transcript=.transcript');
  await page.waitForFunction(() => window.kestroveFrames && window.kestroveFrames() > 10);
  await page.focus('#screen');

  await check('a missing data file is named in the page', async () => {
    const notes = await page.$eval('#notes', (e) => e.textContent);
    assert.match(notes, /bg_image\.jpg is missing/);
  });

  await check('the page keeps 60 frames a second', async () => {
    const before = await frames(page);
    await new Promise((r) => setTimeout(r, 2000));
    const rate = ((await frames(page)) - before) / 2;
    assert.ok(rate > 55 && rate < 65, `${rate} frames a second`);
  });

  await check('held arrows walk, Hangul and English are typed, Esc ends the talk', async () => {
    const start = await position(page, font);
    assert.ok(Number.isFinite(start.x) && Number.isFinite(start.y), JSON.stringify(start));
    await page.keyboard.down('ArrowDown');
    await waitFrames(page, 43);
    await page.keyboard.up('ArrowDown');
    await waitFrames(page, 2);
    const down = await position(page, font);
    assert.equal(down.x, start.x);
    assert.ok(down.y > start.y + 40, `${JSON.stringify(start)} -> ${JSON.stringify(down)}`);
    // Left into 세나: the greeting starts the transcript.
    await page.keyboard.down('ArrowLeft');
    for (let i = 0; i < 60 && !(await transcript(page)); i++) await waitFrames(page, 1);
    await page.keyboard.up('ArrowLeft');
    await waitFrames(page, 2);
    const bumped = await position(page, font);
    assert.ok(bumped.x < down.x - 20, `${JSON.stringify(down)} -> ${JSON.stringify(bumped)}`);
    assert.ok(await transcript(page), 'no conversation started');
    const typeKeys = async (codes) => {
      for (const code of codes) {
        await page.keyboard.press(code);
        await waitFrames(page, 1);
      }
    };
    await typeKeys(['KeyD', 'KeyK', 'KeyS', 'KeyS', 'KeyU', 'KeyD', 'Enter']);
    await typeKeys(['AltRight', 'KeyH', 'KeyI', 'Enter']);
    await page.keyboard.down('ControlLeft');
    await page.keyboard.press('KeyU');
    await page.keyboard.up('ControlLeft');
    await typeKeys(['KeyT', 'KeyP', 'KeyS', 'KeyK', 'Backspace', 'KeyK', 'Enter', 'Escape']);
    await waitFrames(page, 3);
    const said = (await transcript(page)).split('\n').filter((l) => l.startsWith('> '));
    assert.deepEqual(said.slice(1), ['> 안녕', '> hi', '> 세나', '> '], said.join('|'));
    // The talk is over: the arrows walk again.
    await page.keyboard.down('ArrowRight');
    await waitFrames(page, 10);
    await page.keyboard.up('ArrowRight');
    await waitFrames(page, 2);
    const after = await position(page, font);
    assert.ok(after.x > bumped.x, `${JSON.stringify(bumped)} -> ${JSON.stringify(after)}`);
  });

  await check('keys held when the page loses focus are released', async () => {
    await page.keyboard.down('ArrowUp');
    await waitFrames(page, 3);
    await page.evaluate(() => window.dispatchEvent(new Event('blur')));
    await waitFrames(page, 2);
    const a = await position(page, font);
    await waitFrames(page, 10);
    const b = await position(page, font);
    await page.keyboard.up('ArrowUp');
    assert.deepEqual(b, a);
  });

  await check('without WebAssembly the page says so', async () => {
    const bare = await browser.newPage();
    await bare.evaluateOnNewDocument(() => { delete window.WebAssembly; });
    await bare.goto(base);
    const text = await bare.$eval('#error', (e) => (e.style.display === 'block' ? e.textContent : ''));
    assert.match(text, /WebAssembly/);
    await bare.close();
  });
} finally {
  await browser.close();
  server.close();
  await rm(work, { recursive: true, force: true });
}
console.log(`keys: ${failures ? 'FAILED' : 'ok'}`);
process.exitCode = failures ? 1 : 0;
