// Plays the browser build as the desktop program would be played: takes kestrove's own options,
// serves the site and the given data folder and script on 127.0.0.1, runs the page in headless
// Chromium, writes the transcript and shots where the options say, and exits with the program's
// exit code (124 when it does not end in time).
import { mkdir, stat, writeFile } from 'node:fs/promises';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { launch } from './browser.mjs';
import { serve } from './server.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
const site = process.env.KESTROVE_SITE || path.resolve(here, '../../build-web/site');
const timeoutMs = 1000 * Number(process.env.KESTROVE_WEB_TIMEOUT || 600);

const argv = process.argv.slice(2);
const query = [];
const mounts = [['/', site]];
let transcript = null;
for (let i = 0; i < argv.length; i++) {
  const a = argv[i];
  const value = () => {
    if (i + 1 >= argv.length) {
      console.error(`web-run: ${a} needs a value`);
      process.exit(2);
    }
    return argv[++i];
  };
  if (a === '--data') {
    const dir = value();
    // The desktop program refuses a data folder it cannot enter; a page would see empty files.
    if (!(await stat(dir).then((s) => s.isDirectory(), () => false))) {
      console.error(`kestrove: cannot use data folder ${dir}: No such file or directory`);
      process.exit(1);
    }
    mounts.push(['/run-data/', path.resolve(dir)]);
    query.push('--data', 'run-data');
  } else if (a === '--script') {
    const file = path.resolve(value());
    mounts.push(['/run-script/', path.dirname(file)]);
    query.push('--script', 'run-script/' + encodeURIComponent(path.basename(file)));
  } else if (a === '--transcript') {
    transcript = path.resolve(value());
    query.push('--transcript', '.transcript');
  } else if (a === '--frames' || a === '--scale') {
    query.push(a, value());
  } else {
    query.push(a);
  }
}

const server = await serve(mounts);
const browser = await launch();
let code = 1;
try {
  const page = await browser.newPage();
  page.on('pageerror', (e) => console.error(`web-run: page error: ${e.message}`));
  const url = `http://127.0.0.1:${server.address().port}/?` +
    query.map((q) => encodeURIComponent(q)).join('&');
  await page.goto(url);
  let result;
  try {
    await page.waitForFunction('window.kestroveResult', { timeout: timeoutMs, polling: 100 });
    result = await page.evaluate(() => window.kestroveResult);
  } catch (e) {
    console.error(`web-run: the program did not end within ${timeoutMs / 1000} s`);
    process.exitCode = 124;
  }
  if (result) {
    for (const line of result.stdout || []) process.stdout.write(line + '\n');
    for (const line of result.stderr || []) process.stderr.write(line + '\n');
    for (const [name, data] of Object.entries(result.files)) {
      const target = name === '.transcript' ? transcript : path.resolve(name);
      if (!target) continue;
      await mkdir(path.dirname(target), { recursive: true });
      await writeFile(target, Buffer.from(data, 'base64'));
    }
    if (process.env.KESTROVE_WEB_FRAME_MS)
      await writeFile(process.env.KESTROVE_WEB_FRAME_MS, `${result.frameMs} ${result.ms}\n`);
    code = result.code;
    process.exitCode = code;
  }
} finally {
  await browser.close();
  server.close();
}
