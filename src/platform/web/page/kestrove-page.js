// Starts the browser build: fetches the data files (and a named script), passes the address's
// query to the program as its command line, feeds it physical keys, shows its frames, and offers
// the files it wrote. window.kestroveResult is set when the program ends (the test runner waits
// for it).
'use strict';
(function () {
  const kDataFiles = ['bg_image.jpg', 'H3.MAF', 'deja1.kv0', 'deja2.kv0', 'ascii.fnt', 'H01.fnt'];
  // Keys the browser keeps even while the game has focus.
  const kBrowserKeys = new Set(['F5', 'F11']);
  const $ = (id) => document.getElementById(id);
  const canvas = $('screen');
  const context = canvas.getContext('2d');

  // "?--headless&--script=walk.script" is the command line --headless --script walk.script.
  function commandLine() {
    const args = [];
    for (const part of location.search.slice(1).split('&')) {
      if (!part) continue;
      let arg = part.replace(/\+/g, ' ');
      try {
        arg = decodeURIComponent(arg);
      } catch (e) {
        // a stray % stays as typed; the program says what it makes of it
      }
      const eq = arg.indexOf('=');
      if (arg.startsWith('--') && eq > 0) args.push(arg.slice(0, eq), arg.slice(eq + 1));
      else args.push(arg);
    }
    return args;
  }

  function note(line) {
    const notes = $('notes');
    notes.textContent += line + '\n';
  }

  function fail(text) {
    canvas.style.display = 'none';
    $('status').style.display = 'none';
    const error = $('error');
    error.style.display = 'block';
    error.textContent = text;
  }

  if (typeof WebAssembly !== 'object' || typeof WebAssembly.instantiate !== 'function') {
    fail('This browser cannot run WebAssembly, which Kestrove needs.\n' +
         'Use a current Chrome, Chromium, Firefox, Edge or Safari.');
    window.kestroveResult = { code: 1, files: {}, error: 'no WebAssembly' };
    return;
  }

  const args = commandLine();
  const valueOf = (name) => {
    const i = args.indexOf(name);
    return i >= 0 && i + 1 < args.length ? i + 1 : -1;
  };
  // Everything the program reads lives in /input, everything it writes under /run.
  const dataArg = valueOf('--data');
  const dataUrl = dataArg >= 0 ? args[dataArg] : 'data';
  if (dataArg >= 0) args[dataArg] = '/input/data';
  else args.push('--data', '/input/data');
  const scriptArg = valueOf('--script');
  const scriptUrl = scriptArg >= 0 ? args[scriptArg] : null;
  if (scriptArg >= 0) args[scriptArg] = '/input/script';
  const headless = args.includes('--headless');

  const folder = (url) => url.replace(/\/*$/, '/');
  const fetchBytes = (url) =>
    fetch(url).then((r) => (r.ok ? r.arrayBuffer().then((b) => new Uint8Array(b)) : null),
                    () => null);
  let loaded = 0;
  const showProgress = () => {
    $('status').textContent = `Loading… ${loaded} of ${kDataFiles.length} data files`;
  };
  showProgress();
  const data = Promise.all(kDataFiles.map((name) =>
    fetchBytes(folder(dataUrl) + name).then((bytes) => {
      loaded++;
      showProgress();
      return [name, bytes];
    })));
  const script = scriptUrl ? fetchBytes(scriptUrl) : Promise.resolve(null);

  // Integer scaling into the stage, black borders, crisp pixels.
  function fit() {
    const stage = $('stage');
    const scale = Math.max(1, Math.floor(Math.min(stage.clientWidth / canvas.width,
                                                  stage.clientHeight / canvas.height)));
    canvas.style.width = canvas.width * scale + 'px';
    canvas.style.height = canvas.height * scale + 'px';
  }
  window.addEventListener('resize', fit);
  document.addEventListener('fullscreenchange', fit);

  let shots = 0;
  function screenshot() {
    canvas.toBlob((blob) => {
      const a = document.createElement('a');
      a.href = URL.createObjectURL(blob);
      a.download = `kestrove-${String(++shots).padStart(4, '0')}.png`;
      a.click();
      setTimeout(() => URL.revokeObjectURL(a.href), 1000);
    }, 'image/png');
  }
  $('shot').addEventListener('click', () => { screenshot(); canvas.focus(); });

  const keys = [];
  let running = false;
  let leftAlt = false;
  // The game takes Caps Lock from the browser at the first key while the page has the focus; the
  // Caps Lock key's own event reports the lock before or after its toggle, depending on the system.
  let syncCaps = true;
  function onKey(e) {
    if (!running || kBrowserKeys.has(e.code)) return;
    e.preventDefault(); // Ctrl+U, Backspace, the arrows... belong to the game
    const down = e.type === 'keydown';
    if (e.code === 'AltLeft') leftAlt = down;
    if (down && leftAlt && (e.code === 'Enter' || e.code === 'NumpadEnter')) {
      if (!e.repeat) {
        if (document.fullscreenElement) document.exitFullscreen();
        else $('stage').requestFullscreen().catch(() => {});
      }
      return;
    }
    if (e.code === 'F12') {
      if (down && !e.repeat) screenshot();
      return;
    }
    const sync = syncCaps && e.code !== 'CapsLock';
    if (sync) syncCaps = false;
    keys.push({ code: e.code, down, repeat: e.repeat, syncCaps: sync,
                caps: !!(e.getModifierState && e.getModifierState('CapsLock')) });
  }
  window.addEventListener('keydown', onKey, true);
  window.addEventListener('keyup', onKey, true);
  const release = () => { leftAlt = false; syncCaps = true; keys.push({ blur: true }); };
  window.addEventListener('blur', release);
  document.addEventListener('visibilitychange', () => { if (document.hidden) release(); });

  let image = null;
  let frames = 0;
  const started = { at: 0, frameTimes: [] };

  function listFiles(FS, dir, prefix, out) {
    for (const name of FS.readdir(dir)) {
      if (name === '.' || name === '..') continue;
      const path = dir + '/' + name;
      if (FS.isDir(FS.stat(path).mode)) listFiles(FS, path, prefix + name + '/', out);
      else out[prefix + name] = FS.readFile(path);
    }
    return out;
  }

  function offerFiles(files) {
    const box = $('files');
    for (const [name, bytes] of Object.entries(files)) {
      const a = document.createElement('a');
      a.href = URL.createObjectURL(new Blob([bytes]));
      a.download = name.replace(/\//g, '_');
      a.textContent = name;
      box.appendChild(a);
    }
  }

  const toBase64 = (bytes) => {
    let s = '';
    for (let i = 0; i < bytes.length; i += 0x8000)
      s += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
    return btoa(s);
  };

  const stdout = [];
  const stderr = [];
  let finished = false;
  function finish(code, why) {
    if (finished) return;
    finished = true;
    running = false;
    let files = {};
    try { files = listFiles(Module.FS, '/run', '', {}); } catch (e) { /* nothing written */ }
    offerFiles(files);
    const encoded = {};
    for (const [name, bytes] of Object.entries(files)) encoded[name] = toBase64(bytes);
    const times = started.frameTimes;
    const frameMs = times.length > 1 ?
      (times[times.length - 1][0] - times[0][0]) / (times[times.length - 1][1] - times[0][1]) : 0;
    if (code !== 0) {
      const fatal = stderr.filter((l) => /Runtime error|Assertion failure/.test(l));
      fail('Kestrove stopped: ' + (why || (fatal.length ? fatal.join('\n') : `exit code ${code}`)) +
           (stderr.length ? '\n\n' + stderr.join('\n') : ''));
    } else if (!headless) {
      $('status').textContent = 'The game has ended. Reload the page to play again.';
      $('status').style.display = 'block';
      canvas.style.display = 'none';
    }
    window.kestroveResult = { code, files: encoded, frameMs, frames, stdout, stderr,
                              ms: performance.now() - started.at };
  }

  window.Module = {
    canvas,
    print: (line) => {
      console.log(line);
      stdout.push(line);
    },
    printErr: (line) => {
      console.error(line);
      stderr.push(line);
      note(line);
    },
    kestroveKeys: keys,
    // One frame as RGBA bytes in the program's memory; headless runs show every 30th.
    kestrovePresent(pointer, width, height, flips) {
      if (!image || image.width !== width || image.height !== height) {
        image = new ImageData(width, height);
        canvas.width = width;
        canvas.height = height;
        fit();
      }
      image.data.set(Module.HEAPU8.subarray(pointer, pointer + width * height * 4));
      context.putImageData(image, 0, 0);
      frames++;
      if (flips) started.frameTimes.push([performance.now(), flips]);
    },
    kestroveCursor(visible) { canvas.style.cursor = visible ? 'auto' : 'none'; },
    kestroveMessage(caption, text) { note(`${caption}: ${text}`); },
    onExit: (code) => finish(code),
    onAbort: (what) => finish(1, String(what)),
    onRuntimeInitialized() {
      Promise.all([data, script]).then(([files, scriptBytes]) => {
        const FS = Module.FS;
        FS.mkdir('/input');
        FS.mkdir('/input/data');
        FS.mkdir('/run');
        for (const [name, bytes] of files) if (bytes) FS.writeFile('/input/data/' + name, bytes);
        if (scriptUrl) {
          if (scriptBytes) {
            FS.writeFile('/input/script', scriptBytes);
            // Shots go to folders next to the transcript, as the caller's working folder has.
            const text = new TextDecoder().decode(scriptBytes);
            for (const m of text.matchAll(/^\s*shot\s+(.*\S)\s*$/gm)) {
              let dir = '/run';
              for (const part of m[1].split('/').slice(0, -1)) {
                dir += '/' + part;
                try { FS.mkdir(dir); } catch (e) { /* exists */ }
              }
            }
          } else {
            args[scriptArg] = scriptUrl; // the program says it cannot read it
          }
        }
        FS.chdir('/run');
        $('status').style.display = 'none';
        canvas.style.display = 'block';
        fit();
        canvas.focus();
        running = true;
        started.at = performance.now();
        Module.callMain(args);
      });
    },
  };

  const loader = document.createElement('script');
  loader.src = 'kestrove.js';
  loader.onerror = () => fail('kestrove.js could not be loaded.');
  document.body.appendChild(loader);
  window.kestroveFrames = () => frames;
})();
