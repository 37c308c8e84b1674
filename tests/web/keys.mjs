// Real key events in Chromium: physical keys held over frames and typed, read back from the
// transcript and from the player's coordinates drawn on the screen. Also: a data file missing
// from the served folder, the 60 Hz pace, keys released on focus loss, no WebAssembly. The
// session is recorded, and its recording replayed by the desktop program headless says the same
// lines and leaves the player in the same place.
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { mkdtemp, cp, readFile, rm, writeFile } from 'node:fs/promises';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { launch } from './browser.mjs';
import { serve } from './server.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
const site = process.env.KESTROVE_SITE || path.resolve(here, '../../build-web/site');
const data = path.join(site, 'data');

// The player's X and Y as the game draws them at (12, 32) and (12, 52) of the screen in 8 x 16
// digits of ascii.fnt, with a black shadow one pixel right and down; the white face leaves the
// layer clear, so a digit shows as the black of its shadow outside its face. A figure may stand
// over a few pixels.
async function position(page, font) {
  return page.evaluate((font) => {
    const c = document.getElementById('screen');
    const px = c.getContext('2d').getImageData(0, 0, 80, 80).data;
    const black = (x, y) => {
      const i = (y * 80 + x) * 4;
      return px[i] + px[i + 1] + px[i + 2] === 0;
    };
    const read = (top) => {
      let text = '';
      for (let left = 12; left + 8 <= 80; left += 8) {
        let best = -1, bestScore = -1;
        for (let d = 0; d < 10; d++) {
          const rows = font.slice((48 + d - 31) * 16, (48 + d - 31) * 16 + 16);
          const bit = (x, y) => x >= 0 && y >= 0 && !!(rows[y] & (0x80 >> x));
          let hit = 0, miss = 0, extra = 0;
          for (let y = 1; y < 16; y++)
            for (let x = 1; x < 8; x++) {
              const want = bit(x - 1, y - 1) && !bit(x, y), b = black(left + x, top + y);
              if (want && b) hit++;
              else if (want) miss++;
              else if (b) extra++;
            }
          const score = hit - miss - 2 * extra;
          if (hit > 0 && miss * 5 <= hit + miss && extra <= 3 && score > bestScore) {
            best = d;
            bestScore = score;
          }
        }
        if (best < 0) break;
        text += best;
      }
      return text === '' ? -1 : Number(text);
    };
    return { x: read(32), y: read(52) };
  }, font);
}

const frames = (page) => page.evaluate(() => window.kestroveFrames());
async function waitFrames(page, n) {
  const end = (await frames(page)) + n;
  await page.waitForFunction((end) => window.kestroveFrames() >= end, { polling: 'raf' }, end);
}
const readRun = (page, name) =>
  page.evaluate((name) => {
    try {
      return Module.FS.readFile('/run/' + name, { encoding: 'utf8' });
    } catch (e) {
      return '';
    }
  }, name);
const transcript = (page) => readRun(page, '.transcript');
const said = async (page) => (await transcript(page)).split('\n').filter((l) => l.startsWith('> '));
// Waits, within a bound, until check(value()) holds; returns the last value.
async function until(value, check, what) {
  let v;
  for (let i = 0; i < 600; i++) {
    v = await value();
    if (check(v)) return v;
    await new Promise((r) => setTimeout(r, 50));
  }
  throw new Error(`${what}: ${JSON.stringify(v)}`);
}
// The program has taken every key the page gave it.
const keysTaken = (page) =>
  page.waitForFunction(() => Module.kestroveKeys.length === 0, { polling: 'raf' });

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
const kestrove = process.env.KESTROVE_DESKTOP || path.resolve(here, '../../build/kestrove');
const browser = await launch();
const base = `http://127.0.0.1:${server.address().port}/`;
try {
  const page = await browser.newPage();
  await page.setViewport({ width: 1400, height: 1100 });
  await page.goto(base + '?--windowed&--data=keys/data&--transcript=.transcript&--record=.record');
  await page.waitForFunction(() => window.kestroveFrames && window.kestroveFrames() > 10);
  await page.focus('#screen');

  await check('a missing data file is named in the page', async () => {
    const notes = await page.$eval('#notes', (e) => e.textContent);
    assert.match(notes, /bg_image\.jpg is missing/);
  });

  // Never faster than 60 Hz; slower only when a loaded machine cannot keep up (the figure is
  // printed, not checked). Frames and time are both taken in the page: a slow answer from it
  // would otherwise stretch the time.
  await check('the page keeps 60 frames a second', async () => {
    const rate = await page.evaluate(async () => {
      const f0 = window.kestroveFrames(), t0 = performance.now();
      await new Promise((r) => setTimeout(r, 2000));
      return (window.kestroveFrames() - f0) / ((performance.now() - t0) / 1000);
    });
    console.log(`${rate.toFixed(1)} frames a second`);
    assert.ok(rate > 0 && rate < 64, `${rate} frames a second`); // 4 late ticks may catch up
  });

  await check('held arrows walk, Hangul and English are typed, Esc ends the talk', async () => {
    // Where every run starts; a brazier stands over the last digit of Y there.
    const start = { x: 400, y: 379 };
    assert.equal((await position(page, font)).x, start.x);
    // Down the path to the row of 세나 (Y 622 to 634, one frame either way of the keyword
    // chain's walk), then left into her. Frames pass while a key travels to the page, so the
    // row is found by holding, then tapping, and walking back to try again. Once the program
    // has taken a key, the next two pictures come from a frame that saw it.
    const settled = async () => {
      await keysTaken(page);
      await waitFrames(page, 2);
    };
    const hold = async (code, until) => {
      await page.keyboard.down(code);
      for (let i = 0; i < 200 && !until(await position(page, font)); i++) await waitFrames(page, 1);
      await page.keyboard.up(code);
      await settled();
      return position(page, font);
    };
    const tap = async (code) => {
      await page.keyboard.down(code);
      await settled();
      await page.keyboard.up(code);
      await settled();
      return position(page, font);
    };
    let down = await hold('ArrowDown', (p) => p.y >= 580);
    assert.equal(down.x, start.x);
    assert.ok(down.y >= 580, `${JSON.stringify(start)} -> ${JSON.stringify(down)}`);
    let bumped = down;
    for (let attempt = 0; attempt < 6 && !(await transcript(page)); attempt++) {
      for (let i = 0; i < 40 && bumped.y < 622; i++) bumped = await tap('ArrowDown');
      for (let i = 0; i < 40 && bumped.y > 634; i++) bumped = await tap('ArrowUp');
      bumped = await hold('ArrowLeft', (p) => p.x < 200);
      if (!(await transcript(page))) bumped = await hold('ArrowRight', (p) => p.x >= 400);
    }
    assert.ok(await transcript(page), `no conversation started at ${JSON.stringify(bumped)}`);
    assert.ok(bumped.x < start.x - 20, JSON.stringify(bumped));
    const typeKeys = async (codes) => {
      for (const code of codes) {
        await page.keyboard.press(code);
        await waitFrames(page, 1);
      }
    };
    // Each line is waited for in the transcript; keys are typed a frame apart, as a person would.
    const says = async (line, codes) => {
      const before = (await said(page)).filter((l) => l === line).length;
      await typeKeys(codes);
      await until(() => said(page), (s) => s.filter((l) => l === line).length > before,
                  `'${line}' not said`);
    };
    const holding = async (code, body) => {
      await page.keyboard.down(code);
      await waitFrames(page, 1);
      await body();
      await page.keyboard.up(code);
      await waitFrames(page, 1);
    };
    await says('> 안녕', ['KeyD', 'KeyK', 'KeyS', 'KeyS', 'KeyU', 'KeyD', 'Enter']);
    await typeKeys(['AltRight']); // right Alt: English
    await says('> hi', ['KeyH', 'KeyI', 'Enter']);
    await holding('AltLeft', () => typeKeys(['AltRight'])); // still the Hangul key with left Alt
    await says('> hello', ['KeyH', 'KeyE', 'KeyL', 'KeyL', 'KeyO', 'Enter']);
    // The Hangul/English key, which puppeteer's keyboard does not know.
    const cdp = await page.createCDPSession();
    for (const type of ['rawKeyDown', 'keyUp'])
      await cdp.send('Input.dispatchKeyEvent',
                     { type, code: 'Lang1', key: 'HangulMode', windowsVirtualKeyCode: 21 });
    await waitFrames(page, 1);
    await holding('ShiftLeft', () => typeKeys(['KeyH']));
    await says('> Hi', ['KeyI', 'Enter']);
    // Enter puts the input method back into Hangul mode; Backspace takes back a letter.
    await says('> 세나', ['KeyT', 'KeyP', 'KeyS', 'KeyK', 'Backspace', 'KeyK', 'Enter']);
    await typeKeys(['CapsLock']);
    await holding('ControlLeft', () => typeKeys(['KeyU']));
    await says('> OK', ['KeyO', 'KeyK', 'Enter']);
    await typeKeys(['CapsLock']);
    // Shift held across Alt+Enter, which the page keeps for full screen.
    await page.keyboard.down('ShiftLeft');
    await holding('AltLeft', () => typeKeys(['Enter']));
    await typeKeys(['KeyR']);
    await page.keyboard.up('ShiftLeft');
    await says('> 까', ['KeyK', 'Enter']);
    await says('> ', ['Escape']);
    assert.deepEqual((await said(page)).slice(1),
                     ['> 안녕', '> hi', '> hello', '> Hi', '> 세나', '> OK', '> 까', '> '],
                     (await said(page)).join('|'));
    // The talk is over: the arrows walk again.
    await page.keyboard.down('ArrowRight');
    const after = await until(() => position(page, font), (p) => p.x > bumped.x + 12,
                              'the player does not walk after the talk');
    await page.keyboard.up('ArrowRight');
    assert.ok(after.x > bumped.x, `${JSON.stringify(bumped)} -> ${JSON.stringify(after)}`);
  });

  await check('browser shortcuts do not reach the browser', async () => {
    await page.evaluate(() => {
      window.seen = [];
      document.addEventListener('keydown', (e) => window.seen.push(e.defaultPrevented));
    });
    await page.keyboard.down('ControlLeft');
    await page.keyboard.press('KeyU');
    await page.keyboard.up('ControlLeft');
    await page.keyboard.press('Backspace');
    await page.keyboard.press('ArrowLeft');
    assert.deepEqual(await page.evaluate(() => window.seen), [true, true, true, true]);
  });

  // The release reaches the game through its queue, so the recording has it too.
  await check('keys held when the page loses focus are released', async () => {
    const start = await position(page, font);
    await page.keyboard.down('ArrowUp');
    await until(() => position(page, font), (p) => p.y < start.y, 'the player does not walk');
    await page.evaluate(() => window.dispatchEvent(new Event('blur')));
    await keysTaken(page);
    await until(() => readRun(page, '.record'), (r) => /\nup Up\n(wait \d+\n)*$/.test(r),
                'no release in the recording');
    // The frame that was running when the release was taken may still move the player.
    await waitFrames(page, 4);
    const a = await position(page, font);
    await waitFrames(page, 20);
    const b = await position(page, font);
    await page.keyboard.up('ArrowUp');
    assert.deepEqual(b, a);
  });

  await check('the recording replays on the desktop to the same lines and place', async () => {
    await keysTaken(page);
    await waitFrames(page, 4);
    const last = await position(page, font);
    await page.keyboard.press('Escape'); // ends the game
    await page.waitForFunction(() => window.kestroveResult, { polling: 100, timeout: 60000 });
    const files = await page.evaluate(() => window.kestroveResult.files);
    const record = Buffer.from(files['.record'], 'base64').toString();
    const lines = record.split('\n');
    const quit = lines.lastIndexOf('down Esc');
    assert.ok(quit > 0, 'no Esc in the recording');
    lines.splice(quit, 0, 'shot replay.png');
    await writeFile(path.join(work, 'replay.txt'), lines.join('\n'));
    const run = spawnSync(kestrove, ['--headless', '--data', path.join(work, 'data'), '--script',
                                     'replay.txt', '--transcript', 'replay-said.txt'],
                          { cwd: work, encoding: 'utf8' });
    assert.equal(run.status, 0, run.stderr);
    assert.doesNotMatch(run.stderr, /warning/, 'the recording is not for this data');
    const live = Buffer.from(files['.transcript'], 'base64').toString();
    assert.equal(await readFile(path.join(work, 'replay-said.txt'), 'utf8'), live);
    const at = spawnSync('python3', [path.resolve(here, '../e2e/screen_position.py'),
                                     path.join(work, 'replay.png'), path.join(data, 'ascii.fnt')],
                         { encoding: 'utf8' });
    assert.equal(at.stdout.trim(), `${last.x} ${last.y}`, at.stderr);
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
