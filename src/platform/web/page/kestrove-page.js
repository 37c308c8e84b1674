// Starts the browser build: fetches the data files (and a named script, or replays an opened
// recording), passes the address's query to the program as its command line, feeds it physical
// keys and the touch controls, shows its frames, keeps the player's settings, saves the
// session's recording, and offers the files it wrote. The service worker (sw.js) keeps the site
// for offline play. window.kestroveResult is set when the program ends (the test runner waits
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
    for (const id of ['osk', 'dpad', 'fire', 'ctrl']) $(id).hidden = true;
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

  // The player's choices, kept in the browser; anything unreadable there is the default.
  const kSettingsKey = 'kestrove.settings';
  const kChoices = {
    scale: ['fit', 'fill', '1', '2', '3'],
    controlSize: ['small', 'medium', 'large'],
    controlOpacity: ['0.3', '0.5', '0.7', '1'],
    controlSide: ['right', 'left'],
  };
  const kDefaults = { scale: 'fit', controlSize: 'medium', controlOpacity: '1', controlSide: 'right' };
  function loadSettings() {
    const chosen = { ...kDefaults };
    let stored = null;
    try {
      stored = JSON.parse(localStorage.getItem(kSettingsKey));
    } catch (e) {
      // no storage here, or not ours to read
    }
    if (stored && typeof stored === 'object')
      for (const key of Object.keys(kDefaults))
        if (kChoices[key].includes(stored[key])) chosen[key] = stored[key];
    return chosen;
  }
  let settings = loadSettings();
  function storeSettings() {
    try {
      localStorage.setItem(kSettingsKey, JSON.stringify(settings));
    } catch (e) {
      // kept for this visit only
    }
  }

  // A recording opened in the page waits in the tab's storage across the reload that replays it,
  // once: taken out at once, so that a damaged one cannot stop every later visit.
  const kOpenKey = 'kestrove.open';
  const fromBase64 = (text) => Uint8Array.from(atob(text), (c) => c.charCodeAt(0));
  let opened = null;
  try {
    const kept = JSON.parse(sessionStorage.getItem(kOpenKey));
    sessionStorage.removeItem(kOpenKey);
    if (kept && typeof kept.name === 'string' && typeof kept.data === 'string')
      opened = { name: kept.name, bytes: fromBase64(kept.data) };
  } catch (e) {
    // none, or not ours
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
  let scriptArg = valueOf('--script');
  if (opened && scriptArg < 0) {
    args.push('--script', '');
    scriptArg = args.length - 1;
  }
  const scriptUrl = opened ? opened.name : scriptArg >= 0 ? args[scriptArg] : null;
  if (scriptArg >= 0) args[scriptArg] = '/input/script';
  const headless = args.includes('--headless');
  // Every session is recorded, for "Save recording": where --record says, else beside the run.
  const recordArg = valueOf('--record');
  const recordPath = recordArg < 0 ? '/session/recording'
                   : args[recordArg].startsWith('/') ? args[recordArg] : '/run/' + args[recordArg];
  if (recordArg < 0) args.push('--record', recordPath);

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
  const script = opened ? Promise.resolve(opened.bytes)
               : scriptUrl ? fetchBytes(scriptUrl) : Promise.resolve(null);

  let running = false;
  let Module_keyboardLayout = () => {}, Module_keyboard = () => {};
  // Touch controls: shown on a device with touch until a physical key or a gamepad is used, and
  // again at the next touch. The program turns what they do into keys (web_presenter.cpp).
  const controls = [];
  const hasTouch = navigator.maxTouchPoints > 0;
  let lastInput = hasTouch ? 'touch' : 'key';
  let keyboard = { open: false, highlight: -1, names: [], shifted: false, source: 'none' };
  let layout = [];
  const keyButtons = [];
  const touchShown = () => hasTouch && lastInput === 'touch' && running;

  // The picture as large as the stage allows: whole steps where it fits, crisp pixels, scaled
  // down on small screens; room kept for the touch controls beside it (landscape) or below it
  // (portrait), and for the on-screen keyboard below it in portrait.
  const place = (el, x, y, w, h) => {
    el.style.left = x + 'px';
    el.style.top = y + 'px';
    el.style.width = w + 'px';
    el.style.height = h + 'px';
  };
  function fit() {
    const stage = $('stage');
    const W = stage.clientWidth, H = stage.clientHeight;
    const portrait = H > W;
    const touch = touchShown();
    const grow = { small: 0.75, medium: 1, large: 1.3 }[settings.controlSize];
    const below = portrait && (touch || keyboard.open) ? Math.min(240 * grow, H * 0.5) : 0;
    const side = !portrait && touch ? Math.min(170 * grow, W * 0.26) : 0;
    const room = Math.min((W - 2 * side) / canvas.width, (H - below) / canvas.height);
    // Fit: whole steps where they fit; a fixed size shrinks to that when it does not.
    const fitted = room >= 1 ? Math.floor(room) : room;
    let scale = settings.scale === 'fill' ? room
              : settings.scale === 'fit' ? fitted : Math.min(Number(settings.scale), fitted);
    scale = Math.max(scale, 0.1);
    const cw = canvas.width * scale, ch = canvas.height * scale;
    // In portrait the controls sit under the picture, the pair nearer the top, within thumb reach.
    const cx = Math.round((W - cw) / 2), cy = Math.round((H - ch - below) / (below ? 4 : 2));
    place(canvas, cx, cy, cw, ch);
    // The keyboard: over the world view (8, 304, 360 x 160 of the picture), which does not move
    // during a talk, or below the picture; never over the console or the input window.
    const osk = $('osk');
    osk.hidden = !keyboard.open || !running;
    if (portrait) place(osk, 4, cy + ch + 4, W - 8, below - 8);
    else place(osk, cx + 8 * scale, cy + 304 * scale, 360 * scale, 160 * scale);
    const ow = parseFloat(osk.style.width), oh = parseFloat(osk.style.height);
    layout.forEach(([row, x, width], i) => {
      place(keyButtons[i], x * ow / 20 + 1, row * oh / 4 + 1, width * ow / 20 - 2, oh / 4 - 2);
    });
    // The walking controls: hidden while the keyboard is open, as the player stands still then.
    const walk = touch && !keyboard.open;
    for (const id of ['dpad', 'fire', 'ctrl']) $(id).hidden = !walk;
    if (!walk) {
      for (const release of walkReleases) release(); // hidden under a finger
      return;
    }
    let pad, buttons;
    if (portrait) {
      const size = Math.min(below - 16, W * 0.45);
      pad = [12, cy + ch + (below - size) / 2, size];
      buttons = [W - 12 - size * 0.8, cy + ch + (below - size) / 2, size * 0.8];
    } else {
      const size = Math.min(side - 16, H * 0.45);
      pad = [(side - size) / 2, H - size - 16, size];
      buttons = [W - side + (side - size * 0.8) / 2, H - size - 16, size * 0.8];
    }
    // For the left hand: the same places, mirrored.
    if (settings.controlSide === 'left') {
      pad[0] = W - pad[0] - pad[2];
      buttons[0] = W - buttons[0] - buttons[2];
    }
    for (const id of ['dpad', 'fire', 'ctrl']) $(id).style.opacity = settings.controlOpacity;
    place($('dpad'), pad[0], pad[1], pad[2], pad[2]);
    place($('fire'), buttons[0], buttons[1], buttons[2], buttons[2] * 0.55);
    place($('ctrl'), buttons[0], buttons[1] + buttons[2] * 0.62, buttons[2], buttons[2] * 0.38);
  }
  window.addEventListener('resize', fit);
  document.addEventListener('fullscreenchange', fit);

  const send = (e) => { if (running) controls.push(e); };
  // A touch anywhere brings the touch controls back.
  $('stage').addEventListener('pointerdown', (e) => {
    if (e.pointerType !== 'touch' || !running) return;
    send({ kind: 5 });
    if (lastInput !== 'touch') {
      lastInput = 'touch';
      fit();
    }
  }, true);
  // The d-pad follows one finger, which may slide from one direction to another.
  const dpad = $('dpad');
  let padPointer = null;
  const padAt = (e) => {
    const r = dpad.getBoundingClientRect();
    const radius = r.width / 2;
    send({ kind: 1, a: 1, x: (e.clientX - r.left - radius) / radius,
           y: (e.clientY - r.top - radius) / radius });
  };
  dpad.addEventListener('pointerdown', (e) => {
    e.preventDefault();
    if (padPointer !== null) return; // one finger steers
    padPointer = e.pointerId;
    try { dpad.setPointerCapture(e.pointerId); } catch (err) { /* a synthetic pointer */ }
    padAt(e);
  });
  dpad.addEventListener('pointermove', (e) => { if (e.pointerId === padPointer) padAt(e); });
  const padUp = (e) => {
    if (e.pointerId !== padPointer) return;
    padPointer = null;
    send({ kind: 1, a: 0 });
  };
  for (const type of ['pointerup', 'pointercancel', 'lostpointercapture'])
    dpad.addEventListener(type, padUp);
  const walkReleases = [() => { if (padPointer !== null) padUp({ pointerId: padPointer }); }];
  // A button or key held by the pointers on it: down with the first, up with the last. Returns
  // what lets go of it at once.
  function holdable(el, onChange) {
    const on = new Set();
    const down = (e) => {
      e.preventDefault();
      if (on.size === 0) onChange(true);
      on.add(e.pointerId);
    };
    const up = (e) => {
      if (!on.delete(e.pointerId) || on.size) return;
      onChange(false);
    };
    el.addEventListener('pointerdown', down);
    for (const type of ['pointerup', 'pointercancel', 'pointerleave', 'lostpointercapture'])
      el.addEventListener(type, up);
    // A screen reader's activation is a click with no pointer down.
    el.addEventListener('click', (e) => {
      if (e.detail !== 0 || on.size) return;
      onChange(true);
      onChange(false);
    });
    return () => {
      if (!on.size) return;
      on.clear();
      onChange(false);
    };
  }
  walkReleases.push(holdable($('fire'), (down) => send({ kind: 2, a: down ? 1 : 0 })));
  walkReleases.push(holdable($('ctrl'), (down) => send({ kind: 3, a: down ? 1 : 0 })));

  function showKeyboard() {
    keyButtons.forEach((b, i) => {
      const name = keyboard.names[i] || '';
      b.setAttribute('aria-label', name);
      b.textContent = name === 'Hangul/English' ? '한/A' : name === 'Backspace' ? '⌫' : name;
      b.classList.toggle('highlight', i === keyboard.highlight && keyboard.source === 'gamepad');
      b.classList.toggle('on', name === 'Shift' && keyboard.shifted);
    });
  }
  Module_keyboardLayout = (keys) => {
    layout = keys;
    const osk = $('osk');
    keys.forEach((key, i) => {
      const b = document.createElement('button');
      b.type = 'button';
      holdable(b, (down) => send({ kind: 4, a: i, x: down ? 1 : 0 }));
      osk.appendChild(b);
      keyButtons.push(b);
    });
    showKeyboard();
    fit();
  };
  Module_keyboard = (state) => {
    const wasOpen = keyboard.open;
    keyboard = state;
    if (state.source === 'gamepad' && lastInput === 'touch') lastInput = 'pad';
    showKeyboard();
    if (wasOpen !== state.open || lastInput === 'pad') fit();
  };

  const full = $('full');
  full.hidden = !document.fullscreenEnabled; // iPhone Safari has no full screen
  // Buttons hand the focus back to the game: their own keys would not reach it.
  full.addEventListener('click', () => {
    if (document.fullscreenElement) document.exitFullscreen();
    else $('stage').requestFullscreen().catch(() => {});
    canvas.focus();
  });

  const panel = $('settings');
  const showSettings = () => {
    for (const key of Object.keys(kDefaults)) $('set-' + key).value = settings[key];
  };
  showSettings();
  for (const key of Object.keys(kDefaults)) {
    $('set-' + key).addEventListener('change', (e) => {
      if (!kChoices[key].includes(e.target.value)) return;
      settings[key] = e.target.value;
      storeSettings();
      fit();
    });
  }
  $('reset').addEventListener('click', () => {
    settings = { ...kDefaults };
    try {
      localStorage.removeItem(kSettingsKey);
    } catch (e) {
      // nothing was kept
    }
    showSettings();
    fit();
  });
  $('settings-button').addEventListener('click', () => {
    panel.hidden = !panel.hidden;
    $('settings-button').setAttribute('aria-expanded', String(!panel.hidden));
    if (panel.hidden) canvas.focus();
    else $('set-scale').focus();
  });

  function download(blob, name) {
    const a = document.createElement('a');
    a.href = URL.createObjectURL(blob);
    a.download = name;
    a.click();
    setTimeout(() => URL.revokeObjectURL(a.href), 1000);
  }
  let shots = 0;
  function screenshot() {
    canvas.toBlob((blob) => download(blob, `kestrove-${String(++shots).padStart(4, '0')}.png`),
                  'image/png');
  }
  $('shot').addEventListener('click', () => { screenshot(); canvas.focus(); });

  // Save recording: the program writes out what it has recorded (it answers with
  // kestroveRecordingWritten), then the file so far is downloaded.
  function saveRecording() {
    let bytes;
    try {
      bytes = Module.FS.readFile(recordPath);
    } catch (e) {
      note('There is no recording to save: the game has not started, or could not record.');
      return;
    }
    const at = new Date();
    const two = (n) => String(n).padStart(2, '0');
    const stamp = `${at.getFullYear()}-${two(at.getMonth() + 1)}-${two(at.getDate())}-` +
                  `${two(at.getHours())}${two(at.getMinutes())}${two(at.getSeconds())}`;
    download(new Blob([bytes], { type: 'text/plain' }), `kestrove-recording-${stamp}.txt`);
  }
  $('save').addEventListener('click', () => {
    if (running) controls.push({ kind: 6 });
    else saveRecording();
    canvas.focus();
  });

  // Open recording (or drop one on the page): the page starts again and replays it.
  const kMaxRecording = 16 << 20; // the most a script may be
  function openRecording(file) {
    if (!file) return;
    if (file.size > kMaxRecording) {
      note(`${file.name} is larger than 16 MiB, the most a recording may be.`);
      return;
    }
    file.arrayBuffer().then((buffer) => {
      const bytes = new Uint8Array(buffer);
      let text = '';
      for (let i = 0; i < bytes.length; i += 0x8000)
        text += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
      try {
        sessionStorage.setItem(kOpenKey, JSON.stringify({ name: file.name, data: btoa(text) }));
      } catch (e) {
        // The tab's storage keeps about 5 MB, a third of it lost to base64.
        note(`${file.name} cannot be opened here: the page can keep about 3 MB while it restarts.`);
        return;
      }
      location.reload();
    }, () => note(`${file.name} could not be read.`));
  }
  $('open').addEventListener('click', () => {
    $('open-file').click();
    canvas.focus();
  });
  $('open-file').addEventListener('change', (e) => openRecording(e.target.files[0]));
  const drop = $('drop');
  const dragging = (e) => e.dataTransfer && [...e.dataTransfer.types].includes('Files');
  document.addEventListener('dragover', (e) => {
    if (!dragging(e)) return;
    e.preventDefault();
    drop.style.display = 'flex';
  });
  document.addEventListener('dragleave', (e) => {
    if (!e.relatedTarget) drop.style.display = 'none';
  });
  document.addEventListener('drop', (e) => {
    if (!dragging(e)) return;
    e.preventDefault();
    drop.style.display = 'none';
    openRecording(e.dataTransfer.files[0]);
  });

  const keys = [];
  let leftAlt = false;
  // The game takes Caps Lock from the browser at the first key while the page has the focus; the
  // Caps Lock key's own event reports the lock before or after its toggle, depending on the system.
  let syncCaps = true;
  function onKey(e) {
    if (!running || kBrowserKeys.has(e.code)) return;
    const down = e.type === 'keydown';
    // The buttons and the settings take their own keys (Tab, Space, the arrows in a list); a
    // release still reaches the game, which drops one of a key it never saw go down.
    const own = e.target instanceof Element && e.target.closest('header, #settings');
    if (own && down) return;
    if (!own) e.preventDefault(); // Ctrl+U, Backspace, the arrows... belong to the game
    if (down && lastInput !== 'key') {
      lastInput = 'key';
      fit();
    }
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
    fit(); // the controls go with the game
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
      $('status').style.display = 'flex';
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
    kestroveControls: controls,
    kestroveKeyboardLayout: (keys) => Module_keyboardLayout(keys),
    kestroveKeyboard: (state) => Module_keyboard(state),
    // One frame as RGBA bytes in the program's memory, of which rows top to bottom changed;
    // headless runs show every 30th.
    kestrovePresent(pointer, width, height, flips, top, bottom) {
      if (!image || image.width !== width || image.height !== height) {
        image = new ImageData(width, height);
        canvas.width = width;
        canvas.height = height;
        fit();
        top = 0;
        bottom = height;
      }
      if (bottom > top) {
        const from = pointer + top * width * 4, to = pointer + bottom * width * 4;
        image.data.set(Module.HEAPU8.subarray(from, to), top * width * 4);
        context.putImageData(image, 0, 0, 0, top, width, bottom - top);
      }
      frames++;
      if (flips) started.frameTimes.push([performance.now(), flips]);
    },
    // The console's lines and the input line, mirrored for screen readers; the last lines only.
    kestroveMirror(inputLine, text) {
      if (inputLine) {
        $('typing').textContent = text;
        return;
      }
      if (!text) return;
      const said = $('said');
      const line = document.createElement('p');
      line.textContent = text;
      said.appendChild(line);
      while (said.childNodes.length > 40) said.removeChild(said.firstChild);
    },
    kestroveCursor(visible) { canvas.style.cursor = visible ? 'auto' : 'none'; },
    kestroveMessage(caption, text) { note(`${caption}: ${text}`); },
    kestroveRecordingWritten: () => saveRecording(),
    onExit: (code) => finish(code),
    onAbort: (what) => finish(1, String(what)),
    onRuntimeInitialized() {
      Promise.all([data, script]).then(([files, scriptBytes]) => {
        const FS = Module.FS;
        FS.mkdir('/input');
        FS.mkdir('/input/data');
        FS.mkdir('/run');
        FS.mkdir('/session');
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
        running = true;
        fit();
        canvas.focus();
        started.at = performance.now();
        Module.callMain(args);
      });
    },
  };

  const build = window.kestroveBuild;
  $('version').textContent = build ? `Kestrove ${build.version}, build ${build.id}` : '';

  // Offline play: the service worker keeps this build. An update it finds installs beside it,
  // and the page says so; the browser puts it in place once no page of the site is open, so the
  // next start has it. (Taking over sooner, by skipWaiting, can stall Chromium's fetches from a
  // page that is reloading.)
  const workers = window.isSecureContext && navigator.serviceWorker;
  function watchUpdates() {
    if (!workers) return;
    const ready = () => {
      $('update').textContent =
        'An update is ready: it loads the next time Kestrove starts, once every page of it is closed.';
    };
    // An installed worker beside an active one is an update; the first install is not.
    const watch = (registration, next) => {
      if (!next) return;
      const check = () => { if (next.state === 'installed' && registration.active) ready(); };
      next.addEventListener('statechange', check);
      check();
    };
    workers.register('sw.js', { updateViaCache: 'none' }).then((registration) => {
      // The browser's own look for an update may have begun before this.
      watch(registration, registration.waiting || registration.installing);
      registration.addEventListener('updatefound',
                                    () => watch(registration, registration.installing));
    }, () => { /* no offline play here; the page plays on */ });
  }
  const loader = document.createElement('script');
  loader.src = 'kestrove.js';
  loader.onerror = () => fail('kestrove.js could not be loaded.');
  document.body.appendChild(loader);
  watchUpdates();
  window.kestroveFrames = () => frames;
})();
