// What the tests read from a running page: the player's place from the screen, frames, the files
// the program wrote, the lines said; bounded waits; named checks; the walk into 세나 and the
// desktop replay of a page's recording.
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { readdir, readFile, writeFile } from 'node:fs/promises';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
// The player's X and Y as the game draws them at (12, 32) and (12, 52) of the screen in 8 x 16
// digits of ascii.fnt, with a black shadow one pixel right and down; the white face leaves the
// layer clear, so a digit shows as the black of its shadow outside its face. A figure may stand
// over a few pixels.
export async function position(page, font) {
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

export const frames = (page) => page.evaluate(() => window.kestroveFrames());
export async function waitFrames(page, n) {
  const end = (await frames(page)) + n;
  await page.waitForFunction((end) => window.kestroveFrames() >= end, { polling: 'raf' }, end);
}
export const readRun = (page, name) =>
  page.evaluate((name) => {
    try {
      return Module.FS.readFile('/run/' + name, { encoding: 'utf8' });
    } catch (e) {
      return '';
    }
  }, name);
export const transcript = (page) => readRun(page, '.transcript');
export const said = async (page) => (await transcript(page)).split('\n').filter((l) => l.startsWith('> '));
// Waits, within a bound, until check(value()) holds; returns the last value.
export async function until(value, check, what) {
  let v;
  for (let i = 0; i < 600; i++) {
    v = await value();
    if (check(v)) return v;
    await new Promise((r) => setTimeout(r, 50));
  }
  throw new Error(`${what}: ${JSON.stringify(v)}`);
}
// The program has taken every key the page gave it.
export const keysTaken = (page) =>
  page.waitForFunction(() => Module.kestroveKeys.length === 0, { polling: 'raf' });

// Presses the page's Save recording with the browser's downloads going to the folder downloads;
// resolves to the downloaded file's path once it is whole (Chromium names it only then).
export async function saveRecording(browser, page, downloads) {
  await (await browser.target().createCDPSession()).send(
    'Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: downloads });
  await page.click('#save');
  const name = await until(async () => (await readdir(downloads).catch(() => []))
    .find((n) => /^kestrove-recording-.*\.txt$/.test(n)), (n) => n, 'no recording downloaded');
  return path.join(downloads, name);
}

// check(name, body) runs one named check, printing its result; failures() counts the failed.
export function checks() {
  let failed = 0;
  return {
    async check(name, body) {
      try {
        await body();
        console.log(`${name}: ok`);
      } catch (e) {
        failed++;
        console.log(`${name}: FAILED\n${e.stack || e}`);
      }
    },
    failures: () => failed,
  };
}


// Walks from where every run starts into 세나, with press(arrow, down) holding and letting go of
// 'ArrowDown', 'ArrowUp', 'ArrowLeft' or 'ArrowRight' (resolving once the program has it). Down
// the path to her row (Y 622 to 634, one frame either way of the keyword chain's walk), then left
// into her. Frames pass while an input travels to the page, so the row is found by holding, then
// tapping, and walking back to try again. Returns where the talk began.
export async function walkIntoSena(page, font, press) {
  // A brazier stands over the last digit of Y where every run starts.
  const start = { x: 400, y: 379 };
  assert.equal((await position(page, font)).x, start.x);
  // Once the program has taken an input, the next two pictures come from a frame that saw it.
  const hold = async (arrow, stop) => {
    await press(arrow, true);
    for (let i = 0; i < 200 && !stop(await position(page, font)); i++) await waitFrames(page, 1);
    await press(arrow, false);
    await waitFrames(page, 2);
    return position(page, font);
  };
  const tap = async (arrow) => {
    await press(arrow, true);
    await waitFrames(page, 2);
    await press(arrow, false);
    await waitFrames(page, 2);
    return position(page, font);
  };
  const down = await hold('ArrowDown', (p) => p.y >= 580);
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
  return bumped;
}

// Ends the page's game with Esc and replays its recording with the desktop program headless:
// the same transcript, and the player in the same place as the page showed last.
export async function replayOnDesktop(page, font, work, kestrove, dataDir) {
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
  const run = spawnSync(kestrove, ['--headless', '--data', dataDir, '--script', 'replay.txt',
                                   '--transcript', 'replay-said.txt'],
                        { cwd: work, encoding: 'utf8' });
  assert.equal(run.status, 0, run.stderr);
  assert.doesNotMatch(run.stderr, /warning/, 'the recording is not for this data');
  const live = Buffer.from(files['.transcript'], 'base64').toString();
  assert.equal(await readFile(path.join(work, 'replay-said.txt'), 'utf8'), live);
  const at = spawnSync('python3', [path.resolve(here, '../e2e/screen_position.py'),
                                   path.join(work, 'replay.png'), path.join(dataDir, 'ascii.fnt')],
                       { encoding: 'utf8' });
  assert.equal(at.stdout.trim(), `${last.x} ${last.y}`, at.stderr);
  return record;
}
