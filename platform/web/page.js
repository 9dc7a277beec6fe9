// The page side of the browser program: starts the program's module on the canvas, turns
// pointer, key and control events into its entry points, shows its image, frame rate and
// messages and the chosen pen on the colour swatches, downloads the files of a save (the Save
// control, Ctrl+S) and says so, opens a saved session with Open (and a picture to trace with
// Open image, where the program offers it), asks before Quit, and runs replay scripts in a
// second module (window.sketch3d.replay).
'use strict';

(() => {
  // The shell's button bits and the Windows virtual keys the program asks about.
  const BUTTON_RIGHT = 1;
  const BUTTON_LEFT = 2;
  const KEY_Z = 0x5a;
  const KEY_I = 0x49;
  const KEY_N = 0x4e;
  const KEY_M = 0x4d;
  const KEY_TAB = 0x09;
  const KEY_Y = 0x59;
  const KEY_SHIFT = 0x10;
  const KEY_A = 0x41;
  const KEY_R = 0x52;
  const KEY_COLOUR_FIRST = 0x31;
  // Ctrl and Shift go to the program as keys of their own: Ctrl+Z undoes, Ctrl+Y and
  // Ctrl+Shift+Z redo (Ctrl+S is the page's own, below).
  const NAMED_KEYS = {
    F1: 0x70, F2: 0x71, F3: 0x72, F12: 0x7b, Backspace: 0x08, Delete: 0x2e, Control: 0x11,
    Shift: 0x10, ' ': 0x20,
  };
  const LETTER_KEYS = { Z: KEY_Z, I: KEY_I, N: KEY_N, M: KEY_M, Y: KEY_Y, A: KEY_A, R: KEY_R };
  // The push brush smaller and larger: the keys that type [ and ], or those in their places
  // on a US layout (the Windows keys VK_OEM_4 and VK_OEM_6).
  const BRACKET_KEYS = { '[': 0xdb, ']': 0xdd };
  const BRACKET_CODES = { BracketLeft: 0xdb, BracketRight: 0xdd };
  // A wheel's notch as browsers report it: 100 pixels (Chromium), 3 lines or a page; a
  // touchpad's finer steps add up to notches.
  const WHEEL_NOTCH = { 0: 100, 1: 3, 2: 1 };
  // A pinch's notch: the fingers' distance changed by the factor of one notch of the
  // picture's size (2^(1/6)).
  const PINCH_NOTCH = 2 ** (1 / 6);
  const CHAR_ESCAPE = 27;

  const PRODUCT = 'sketch3d';
  // How long the note of a saved file stays.
  const SAVED_NOTE_MS = 6000;

  const canvas = document.getElementById('screen');
  const context = canvas.getContext('2d', { alpha: false });
  const frame = document.getElementById('window');
  const view = document.getElementById('view');
  const viewContext = view.getContext('2d', { alpha: false });
  const header = document.querySelector('header');
  const frameRate = document.getElementById('fps');
  const stage = document.getElementById('stage');
  const side = document.getElementById('side');
  const messages = document.getElementById('messages');
  const status = document.getElementById('status');
  const saved = document.getElementById('saved');
  const rightMode = document.getElementById('right-mode');
  const behindMode = document.getElementById('behind-mode');
  const dock = document.getElementById('dock');
  const quitDialog = document.getElementById('quit-dialog');
  const swatches = [...document.querySelectorAll('#swatches button')];

  // Code page 932 message texts; the browser's Shift_JIS decoder is the Windows code page.
  const messageDecoder = new TextDecoder('shift_jis');

  let opened = false; // the program's module is ready (its window is open)
  let running = false; // the program has started and not ended
  let savedNote = ''; // the save the page last confirmed
  let openedName = ''; // the file the Open control is playing or played
  let savedTimer = 0;
  let lastPoint = [0, 0];
  let smoothed = false; // the picture is shown through its smoothly shrunk copy (#view)
  const keyboardHeld = new Set(); // virtual keys held on the keyboard
  let behindShift = false; // the Behind switch holds Shift for the program with the right button

  // What the program calls (web_backend.cpp).
  const page = {
    // For trying the error display: ?fail-allocation=K makes the K-th allocation fail.
    failAllocationAfter: Number(new URLSearchParams(location.search).get('fail-allocation')) || 0,
    openWindow(width, height, title) {
      canvas.width = width;
      canvas.height = height;
      // The window background is white where no image is copied.
      context.fillStyle = '#fff';
      context.fillRect(0, 0, width, height);
      fitCanvas();
      page.setTitle(title);
      colourSwatches();
      opened = true;
      running = true;
    },
    showImage(rgba, width, height) {
      const pixels = new Uint8ClampedArray(rgba.buffer, rgba.byteOffset, rgba.length);
      context.putImageData(new ImageData(pixels, width, height), 0, 0);
      if (smoothed) showSmoothed();
    },
    // The program's title is its window's ("TEST", then "fps = N", for a few seconds after a
    // save "fps = N - saved NAME (KINDS)", after a right-click on the stroke "fps = N - nothing
    // built: WHY", once the oldest steps are dropped "fps = N - undo history full: ..."): the
    // page names the product, shows the frame rate beside it, and shows the notice in a note
    // by the controls.
    setTitle(text) {
      const rate = /^fps = \d+/.exec(text);
      frameRate.textContent = rate ? rate[0] : '';
      document.title = rate ? `${PRODUCT} \u2014 ${text}` : PRODUCT;
      const notice = / - ((?:not )?saved.*|nothing built.*|undo history full.*)$/.exec(text);
      if (notice && notice[1] !== savedNote) {
        savedNote = notice[1];
        showSaved(savedNote.replace(/, downloaded$/, ''));
      } else if (!notice) savedNote = '';
    },
    // A message box: its text (code page 932 bytes) and, where it has one, its English line
    // under it.
    showMessage(bytes, caption, english) {
      const text = messageDecoder.decode(bytes);
      console.error(english ? `${caption}: ${text}\n${english}` : `${caption}: ${text}`);
      const note = document.createElement('div');
      note.className = 'message';
      const heading = document.createElement('strong');
      heading.textContent = caption;
      const body = document.createElement('span');
      body.className = 'message-text';
      if (/[^\x00-\x7f]/.test(text)) body.lang = 'ja';
      body.textContent = text;
      note.append(heading, body);
      if (english) {
        const line = document.createElement('span');
        line.className = 'message-english';
        line.textContent = english;
        note.append(line);
      }
      const dismiss = document.createElement('button');
      dismiss.type = 'button';
      dismiss.textContent = 'OK';
      dismiss.addEventListener('click', () => note.remove());
      note.append(dismiss);
      messages.append(note);
    },
    // A file for the user: downloaded as `name` through a link to its bytes. A save hands
    // over several files at once, so each link's bytes are let go only a while later.
    saveFile(name, type, bytes) {
      const url = URL.createObjectURL(new Blob([bytes], { type }));
      const link = document.createElement('a');
      link.href = url;
      link.download = name;
      link.click();
      setTimeout(() => URL.revokeObjectURL(url), 60000);
    },
    // The pen chosen with the colour keys (1..8) is the swatch shown as chosen.
    choosePen(key) {
      swatches.forEach((swatch, i) => swatch.setAttribute('aria-pressed', String(i + 1 === key)));
    },
    openBytes: new Uint8Array(0), // the file Open or Open image read, for the program to copy
    // How far the opened file has got: while it plays (after its first second), in the status
    // line and the page's title; then that it has played, or that the program ended first.
    opening(percent, frames, ended) {
      if (ended === 0) {
        status.textContent = `Opening ${openedName}: ${percent}%`;
        document.title = `${PRODUCT} \u2014 opening ${openedName}: ${percent}%`;
      } else {
        status.textContent =
          ended === 1
            ? `Opened ${openedName} (${frames} frames).`
            : `Stopped opening ${openedName} after ${frames} frames.`;
      }
    },
    programEnded(exitCode, started) {
      running = false;
      page.setTitle('');
      status.textContent = started
        ? `${PRODUCT} has ended (exit code ${exitCode}).`
        : `${PRODUCT} could not start (exit code ${exitCode}).`;
      const again = document.createElement('button');
      again.type = 'button';
      again.id = 'start-again';
      again.textContent = started ? 'Start again (reloads the page)' : 'Try again (reloads the page)';
      again.addEventListener('click', () => location.reload());
      status.append(again);
    },
  };

  const program = {
    sketch3dPage: page,
    print: (text) => console.log(text),
    printErr: (text) => console.error(text),
  };
  createSketch3d(program).then(() => wireOpenImage(), (error) => {
    status.textContent = `The program could not be loaded: ${error}`;
  });

  // A note near the controls that files were saved ("saved sketch3d-001 (obj stl glb png txt)"),
  // into the browser's downloads; it goes after a few seconds.
  function showSaved(text) {
    const done = text.startsWith('saved ');
    const nothing = text.startsWith('nothing built');
    saved.textContent = done
      ? `\u2714 Saved ${text.slice(6)} to your downloads.`
      : nothing
        ? `\u2716 Nothing ${text.slice(8)}.`
        : `\u2716 Not ${text.slice(4)}`;
    saved.classList.toggle('failed', !done);
    clearTimeout(savedTimer);
    savedTimer = setTimeout(() => {
      saved.textContent = '';
      fitCanvas();
    }, SAVED_NOTE_MS);
    fitCanvas();
  }

  // The picture's size on the screen, within the room the layout leaves it: under the header,
  // and either beside the controls (a wide screen, a phone held sideways) or above them (held
  // upright, where they stay at the bottom of the screen and the page leaves room for them).
  // It gets the largest whole number of device pixels per picture pixel that fits, so that
  // every picture pixel is the same square of device pixels and a stroke keeps one width;
  // where not even one fits, the picture is shrunk smoothly to the room, so that thin strokes
  // stay whole lines.
  function fitCanvas() {
    const ratio = window.devicePixelRatio || 1;
    const docked = getComputedStyle(dock).position === 'fixed';
    document.body.style.paddingBottom = docked ? `${dock.offsetHeight}px` : '';
    const beside = getComputedStyle(stage).flexDirection === 'row';
    const stageStyle = getComputedStyle(stage);
    const padding = parseFloat(stageStyle.paddingTop) + parseFloat(stageStyle.paddingBottom);
    const gap = parseFloat(stageStyle.columnGap) || 0;
    const border = 2; // the window's border
    let width = document.documentElement.clientWidth - 2 * parseFloat(stageStyle.paddingLeft);
    if (beside) width -= parseFloat(getComputedStyle(side).minWidth) + gap;
    let height = window.innerHeight - header.offsetHeight - padding;
    if (docked) height -= dock.offsetHeight;
    else if (!beside) height -= side.offsetHeight + gap;
    width -= border;
    height -= border;
    // Held upright, the controls and the guide go below the picture: the picture keeps its
    // natural size there if the screen is wide enough, and the page scrolls to them.
    if (!beside && !docked) height = Math.max(height, canvas.height);
    // The room and the picture's size on the screen in device pixels.
    const roomWidth = Math.max(Math.floor(width * ratio + 0.001), 1);
    const roomHeight = Math.max(Math.floor(height * ratio + 0.001), 1);
    const factor = Math.min(
      Math.floor(roomWidth / canvas.width),
      Math.floor(roomHeight / canvas.height),
    );
    smoothed = factor < 1;
    let shownWidth = factor * canvas.width;
    let shownHeight = factor * canvas.height;
    if (smoothed) {
      shownWidth = Math.max(
        Math.min(roomWidth, Math.floor((roomHeight * canvas.width) / canvas.height)),
        1,
      );
      shownHeight = Math.max(Math.round((shownWidth * canvas.height) / canvas.width), 1);
    }
    frame.style.width = `${shownWidth / ratio}px`;
    frame.style.height = `${shownHeight / ratio}px`;
    // Each canvas is laid out at whole CSS pixels (the picture at its own size, its copy at one
    // CSS pixel a device pixel) and scaled to the device pixels it is given, so that its size on
    // the screen does not depend on how the browser rounds a layout of fractional pixels.
    canvas.style.width = `${canvas.width}px`;
    canvas.style.height = `${canvas.height}px`;
    canvas.style.transform = scaling(
      shownWidth / (canvas.width * ratio),
      shownHeight / (canvas.height * ratio),
    );
    canvas.style.opacity = smoothed ? '0' : '';
    view.hidden = !smoothed;
    if (smoothed) {
      if (view.width !== shownWidth || view.height !== shownHeight) {
        view.width = shownWidth;
        view.height = shownHeight;
      }
      view.style.width = `${shownWidth}px`;
      view.style.height = `${shownHeight}px`;
      view.style.transform = scaling(1 / ratio, 1 / ratio);
      showSmoothed();
    }
    alignFrame(ratio);
  }

  function scaling(x, y) {
    return x === 1 && y === 1 ? '' : `scale(${x}, ${y})`;
  }

  // The picture starts on a whole device pixel: its frame moves by less than a pixel to the
  // nearest one. With a whole device pixel ratio that is a whole CSS pixel, which is also where
  // a browser that rounds its layout to CSS pixels (Chromium's emulated device scale) draws it.
  // (Margins that add up to nothing move it and nothing else.)
  function alignFrame(ratio) {
    frame.style.margin = '';
    const box = canvas.getBoundingClientRect();
    const step = Number.isInteger(ratio) ? 1 : 1 / ratio;
    const x = Math.round((box.left + window.scrollX) / step) * step - box.left - window.scrollX;
    const y = Math.round((box.top + window.scrollY) / step) * step - box.top - window.scrollY;
    frame.style.margin = `${y}px ${-x}px ${-y}px ${x}px`;
  }

  // The picture smoothly shrunk to the copy's device pixels.
  function showSmoothed() {
    viewContext.imageSmoothingEnabled = true;
    viewContext.imageSmoothingQuality = 'high';
    viewContext.drawImage(canvas, 0, 0, view.width, view.height);
  }
  window.addEventListener('resize', fitCanvas);
  // The header's height moves the picture too (its fonts arrive late, say).
  new ResizeObserver(() => fitCanvas()).observe(header);
  fitCanvas();

  // Each swatch in the colour its pen draws, as the program gives it; the first, the black pen,
  // with the red that key gives a part in its corner. Its key number stays legible on it.
  let swatchesColoured = false;
  function colourSwatches() {
    if (swatchesColoured || typeof program._web_colour_key !== 'function') return;
    swatchesColoured = true;
    const css = (rgb) => `#${rgb.toString(16).padStart(6, '0')}`;
    swatches.forEach((swatch, i) => {
      const pen = program._web_colour_key(i + 1, 0);
      const part = program._web_colour_key(i + 1, 1);
      if (pen < 0 || part < 0) return;
      // The same colour but for the pen's 5 bits a channel: the pen's alone.
      const same = [16, 8, 0].every((s) => Math.abs(((pen >> s) & 255) - ((part >> s) & 255)) < 8);
      swatch.style.background = same
        ? css(pen)
        : `linear-gradient(to top left, ${css(part)} 24%, ${css(pen)} 24%)`;
      const light = 0.299 * (pen >> 16) + 0.587 * ((pen >> 8) & 255) + 0.114 * (pen & 255);
      swatch.style.color = light > 140 ? '#000' : '#fff';
    });
  }

  // Pointer position in canvas pixels, also when the canvas is shown scaled.
  function canvasPoint(event) {
    const box = canvas.getBoundingClientRect();
    return [
      Math.floor(((event.clientX - box.left) * canvas.width) / box.width),
      Math.floor(((event.clientY - box.top) * canvas.height) / box.height),
    ];
  }

  // The primary button (a mouse's left, a touch, a pen's tip) is the left button unless the
  // control strip's right button is on; the secondary button is always the right one.
  function heldButtons(event) {
    let bits = 0;
    if (event.buttons & 1)
      bits |= rightMode.getAttribute('aria-pressed') === 'true' ? BUTTON_RIGHT : BUTTON_LEFT;
    if (event.buttons & 2) bits |= BUTTON_RIGHT;
    return bits;
  }

  // With the Behind switch on, Shift goes down with the right button, before it, and up after
  // it: the part that click builds goes behind the part under it. Only with the click, so that
  // Undo (Ctrl+Z) stays undo meanwhile; a Shift held on the keyboard is left to the keyboard.
  function sendButtons(x, y, buttons, touch) {
    const right = (buttons & BUTTON_RIGHT) !== 0;
    if (right && !behindShift && !keyboardHeld.has(KEY_SHIFT) &&
      behindMode.getAttribute('aria-pressed') === 'true') {
      behindShift = true;
      program._web_key(KEY_SHIFT, 1);
    }
    program._web_pointer(x, y, buttons, touch);
    if (!right && behindShift) {
      behindShift = false;
      if (!keyboardHeld.has(KEY_SHIFT)) program._web_key(KEY_SHIFT, 0);
    }
  }

  function sendPointer(event, buttons) {
    if (!running) return;
    lastPoint = canvasPoint(event);
    sendButtons(lastPoint[0], lastPoint[1], buttons, event.pointerType === 'touch' ? 1 : 0);
  }

  // The wheel over the picture moves the eye: whole notches, positive toward the object
  // (turned away from the user, a negative deltaY).
  let wheelRest = 0;
  canvas.addEventListener(
    'wheel',
    (event) => {
      event.preventDefault();
      if (!running) return;
      wheelRest -= event.deltaY / (WHEEL_NOTCH[event.deltaMode] || 100);
      const notches = Math.trunc(wheelRest);
      wheelRest -= notches;
      if (notches !== 0) program._web_wheel(notches);
    },
    { passive: false },
  );

  // Two fingers on the picture pinch: spread, the eye comes nearer a notch each time their
  // distance grows by a notch's factor; closed, it steps back. The first finger's stroke or
  // drag ends when the second comes down, and no finger draws again until both are up.
  const touches = new Map(); // pointer id -> [x, y] of the fingers on the canvas
  let pinch = null; // { distance } once two fingers are down
  function fingerDistance() {
    const [a, b] = [...touches.values()];
    return Math.hypot(a[0] - b[0], a[1] - b[1]);
  }
  function followPinch() {
    if (pinch === null || touches.size < 2 || !running) return;
    const distance = fingerDistance();
    let notches = 0;
    while (distance >= pinch.distance * PINCH_NOTCH) {
      pinch.distance *= PINCH_NOTCH;
      ++notches;
    }
    while (distance <= pinch.distance / PINCH_NOTCH) {
      pinch.distance /= PINCH_NOTCH;
      --notches;
    }
    if (notches !== 0) program._web_wheel(notches);
  }
  canvas.addEventListener('pointerdown', (event) => {
    if (event.pointerType !== 'touch') return;
    touches.set(event.pointerId, [event.clientX, event.clientY]);
    if (touches.size === 2 && pinch === null) {
      pinch = { distance: Math.max(fingerDistance(), 1) };
      if (running) program._web_pointer(lastPoint[0], lastPoint[1], 0, 1);
    }
  });
  canvas.addEventListener('pointermove', (event) => {
    if (!touches.has(event.pointerId)) return;
    touches.set(event.pointerId, [event.clientX, event.clientY]);
    followPinch();
  });
  for (const type of ['pointerup', 'pointercancel']) {
    canvas.addEventListener(type, (event) => {
      touches.delete(event.pointerId);
      if (touches.size === 0) pinch = null;
    });
  }

  // Only the primary pointer draws: a second finger pinches. Button changes while another
  // button is held come as moves, so every event carries the whole button state.
  canvas.addEventListener('pointerdown', (event) => {
    if (!event.isPrimary || pinch !== null) return;
    event.preventDefault();
    canvas.focus({ preventScroll: true });
    // Captured until its last button is up, so moves and releases outside the canvas count.
    try {
      canvas.setPointerCapture(event.pointerId);
    } catch (error) {
      // A pointer that is already gone cannot be captured; its release comes all the same.
    }
    sendPointer(event, heldButtons(event));
  });
  for (const type of ['pointermove', 'pointerup']) {
    canvas.addEventListener(type, (event) => {
      if (event.isPrimary && pinch === null) sendPointer(event, heldButtons(event));
    });
  }
  canvas.addEventListener('pointercancel', (event) => {
    if (!event.isPrimary || !running) return;
    sendButtons(lastPoint[0], lastPoint[1], 0, event.pointerType === 'touch' ? 1 : 0);
  });
  // The right button builds; no menu.
  canvas.addEventListener('contextmenu', (event) => event.preventDefault());

  // Z, I, N, M, Y, A and R follow the keyboard layout like Windows virtual keys; on a layout without
  // Latin letters the keys in their places count. Tab edits the next part, but Shift+Tab is
  // left to the browser, so that the keyboard can always leave the canvas.
  function virtualKey(event) {
    const letter = /^[a-z]$/i.test(event.key)
      ? event.key.toUpperCase()
      : /^Key[A-Z]$/.test(event.code)
        ? event.code.slice(3)
        : '';
    if (Object.hasOwn(LETTER_KEYS, letter)) return LETTER_KEYS[letter];
    if (Object.hasOwn(BRACKET_KEYS, event.key)) return BRACKET_KEYS[event.key];
    if (!/^[a-z]$/i.test(event.key) && Object.hasOwn(BRACKET_CODES, event.code))
      return BRACKET_CODES[event.code];
    if (event.key === 'Tab') return event.shiftKey && event.type === 'keydown' ? -1 : KEY_TAB;
    // The digits 1 to 8 of the top row choose the pen or the part's colour, as the Windows
    // keys VK_1..VK_8 do whatever the layout types on them.
    if (/^Digit[1-8]$/.test(event.code)) return KEY_COLOUR_FIRST + Number(event.code[5]) - 1;
    return Object.hasOwn(NAMED_KEYS, event.key) ? NAMED_KEYS[event.key] : -1;
  }

  // The program's keys act while the canvas has the focus, and do not reach the browser.
  canvas.addEventListener('keydown', (event) => {
    if (event.key === 'Escape') {
      event.preventDefault();
      if (running) program._web_char(CHAR_ESCAPE);
      return;
    }
    const key = virtualKey(event);
    if (key < 0) return;
    event.preventDefault();
    if (!running || event.repeat) return;
    keyboardHeld.add(key);
    program._web_key(key, 1);
  });
  canvas.addEventListener('keyup', (event) => {
    const key = virtualKey(event);
    if (key < 0) return;
    event.preventDefault();
    if (!keyboardHeld.delete(key) || !running) return;
    program._web_key(key, 0);
  });
  // No key-up reaches a canvas without the focus: what was held goes up now.
  canvas.addEventListener('blur', () => {
    for (const key of keyboardHeld) if (running) program._web_key(key, 0);
    keyboardHeld.clear();
  });

  // The control strip: the right button and Behind as switches, the keys held while pressed (a
  // control of two keys, as Undo's Ctrl and Z, presses them in order and lets them go the other
  // way).
  for (const mode of [rightMode, behindMode]) {
    mode.addEventListener('click', () => {
      const on = mode.getAttribute('aria-pressed') !== 'true';
      mode.setAttribute('aria-pressed', String(on));
    });
  }
  // No focus change: the canvas keeps the keyboard.
  behindMode.addEventListener('pointerdown', (event) => event.preventDefault());
  for (const button of document.querySelectorAll('#controls [data-key]')) {
    const keys = button.dataset.key.split(' ').map(Number);
    let held = false;
    const press = () => {
      if (held || !running) return;
      held = true;
      for (const key of keys) program._web_key(key, 1);
    };
    const release = () => {
      if (!held) return;
      held = false;
      if (running) for (const key of [...keys].reverse()) program._web_key(key, 0);
    };
    button.addEventListener('pointerdown', (event) => {
      // No focus change: the canvas keeps the keyboard.
      event.preventDefault();
      try {
        button.setPointerCapture(event.pointerId);
      } catch (error) {
        // Held until the pointer goes up all the same.
      }
      press();
    });
    for (const type of ['pointerup', 'pointercancel', 'lostpointercapture']) {
      button.addEventListener(type, release);
    }
    button.addEventListener('contextmenu', (event) => event.preventDefault());
    // Enter or Space on the focused button: a press that the next frame sees.
    button.addEventListener('click', (event) => {
      if (event.detail !== 0) return;
      press();
      release();
    });
  }
  // Closer and Farther turn the wheel a notch, each click.
  for (const button of document.querySelectorAll('#controls [data-wheel]')) {
    const notches = Number(button.dataset.wheel);
    button.addEventListener('pointerdown', (event) => event.preventDefault());
    button.addEventListener('click', () => {
      if (running) program._web_wheel(notches);
    });
  }
  // Quit ends the program as Escape does, after asking: what was drawn would be lost.
  const quit = document.getElementById('quit');
  quit.addEventListener('pointerdown', (event) => event.preventDefault());
  quit.addEventListener('click', () => {
    if (running && !quitDialog.open) quitDialog.showModal();
  });
  quitDialog.addEventListener('close', () => {
    if (quitDialog.returnValue === 'quit' && running) program._web_char(CHAR_ESCAPE);
    quitDialog.returnValue = '';
    canvas.focus({ preventScroll: true });
  });

  // Save (#save, and Ctrl+S on the canvas): a numbered save as the desktop program makes it,
  // every file downloaded: sketch3d-NNN.obj, .stl, .glb (with something edited), a painted
  // figure's .mtl and .part-N.png textures, .png and .txt.
  function wireSave() {
    const save = () => {
      if (opened) program._web_save();
    };
    const button = document.getElementById('save');
    button.addEventListener('pointerdown', (event) => event.preventDefault());
    button.addEventListener('click', save);
    canvas.addEventListener('keydown', (event) => {
      if (!(event.ctrlKey || event.metaKey) || (event.key !== 's' && event.key !== 'S')) return;
      event.preventDefault();
      save();
    });
  }
  wireSave();

  // Open (#open, a file picker): a session saved or recorded as a script plays into the
  // window, as fast as frames run, and the user goes on from there (web_open). Escape and Quit
  // end it; it saves nothing, and the messages it showed before are listed once each.
  function wireOpen() {
    const picker = document.getElementById('open');
    picker.addEventListener('change', async () => {
      const file = picker.files[0];
      picker.value = '';
      if (!file || !opened) return;
      page.openBytes = new Uint8Array(await file.arrayBuffer());
      openedName = file.name;
      // It plays from the next animation frame on; page.opening says how far it has got.
      const started = program._web_open(page.openBytes.length);
      page.openBytes = new Uint8Array(0);
      if (started >= 0) canvas.focus({ preventScroll: true });
    });
  }
  wireOpen();

  // Open image (#open-image, a file picker for a PNG or BMP): the picture shown under the
  // drawing to trace, an undo step; the program says itself when it refuses one. Offered only
  // by a program that has it: web_open_image copies the bytes from the page as web_open does,
  // open_trace_image takes them in the module's memory. A PNG the program has no decoder for
  // (it answers TEXTURE_ERROR_NO_DECODER, after checking its size) is decoded by the browser
  // and handed over again as a BMP of the same pixels.
  const TEXTURE_ERROR_NO_DECODER = -11;
  function wireOpenImage() {
    const fromPage = typeof program._web_open_image === 'function';
    const inMemory =
      typeof program._open_trace_image === 'function' &&
      typeof program._malloc === 'function' &&
      typeof program._free === 'function';
    if (!fromPage && !inMemory) return;
    const picker = document.getElementById('open-image');
    document.getElementById('open-image-control').hidden = false;
    document.getElementById('open-image-help').hidden = false;
    fitCanvas();
    // The program's answer for the bytes of an image file: 0, or its refusal.
    function handOver(bytes, name) {
      if (fromPage) {
        page.openBytes = bytes;
        try {
          return program._web_open_image(bytes.length);
        } finally {
          page.openBytes = new Uint8Array(0);
        }
      }
      const pointer = program._malloc(Math.max(bytes.length, 1));
      if (pointer === 0) {
        status.textContent = `No memory to open ${name}.`;
        return -1;
      }
      try {
        program.HEAPU8.set(bytes, pointer);
        return program._open_trace_image(pointer, bytes.length);
      } finally {
        program._free(pointer);
      }
    }
    picker.addEventListener('change', async () => {
      const file = picker.files[0];
      picker.value = '';
      if (!file || !running) return;
      const bytes = new Uint8Array(await file.arrayBuffer());
      if (!running) return;
      if (handOver(bytes, file.name) === TEXTURE_ERROR_NO_DECODER) {
        let bitmap = null;
        try {
          bitmap = await bitmapOfImage(bytes);
        } catch (error) {
          page.showMessage(
            new TextEncoder().encode(`image not opened: the browser cannot decode it (${error})`),
            'Open image',
            '',
          );
        }
        if (bitmap === null || !running) return;
        handOver(bitmap, file.name);
      }
      canvas.focus({ preventScroll: true });
    });
  }

  // An image file decoded by the browser, as the bytes of a 24-bit BMP of its pixels: rows
  // from the top (a negative height), each padded to 4 bytes, blue, green, red. Colours are
  // taken as stored (no colour space conversion); alpha is dropped, though the canvas keeps
  // no colour under a fully transparent pixel (it shows black there).
  async function bitmapOfImage(bytes) {
    const image = await createImageBitmap(new Blob([bytes]), {
      premultiplyAlpha: 'none',
      colorSpaceConversion: 'none',
    });
    const { width, height } = image;
    const scratch = document.createElement('canvas');
    scratch.width = width;
    scratch.height = height;
    const context = scratch.getContext('2d');
    context.drawImage(image, 0, 0);
    image.close();
    const rgba = context.getImageData(0, 0, width, height).data;
    const rowBytes = Math.ceil((width * 3) / 4) * 4;
    const headers = 14 + 40;
    const bmp = new Uint8Array(headers + rowBytes * height);
    const fields = new DataView(bmp.buffer);
    fields.setUint8(0, 0x42); // 'B'
    fields.setUint8(1, 0x4d); // 'M'
    fields.setUint32(2, bmp.length, true);
    fields.setUint32(10, headers, true);
    fields.setUint32(14, 40, true);
    fields.setInt32(18, width, true);
    fields.setInt32(22, -height, true);
    fields.setUint16(26, 1, true); // planes
    fields.setUint16(28, 24, true); // bits a pixel; compression 0, no palette
    fields.setUint32(34, rowBytes * height, true);
    for (let y = 0; y < height; ++y) {
      let at = headers + y * rowBytes;
      for (let x = 0; x < width; ++x) {
        const from = (y * width + x) * 4;
        bmp[at++] = rgba[from + 2];
        bmp[at++] = rgba[from + 1];
        bmp[at++] = rgba[from];
      }
    }
    return bmp;
  }

  // Replay scripts in a module of their own, loaded on first use.
  let replayModule = null;
  function loadReplayModule() {
    if (replayModule === null) {
      replayModule = new Promise((resolve, reject) => {
        const script = document.createElement('script');
        script.src = 'sketch3d-replay.js';
        script.onload = () =>
          createSketch3dReplay({
            print: (t) => console.log(t),
            printErr: (t) => console.error(t),
          }).then(resolve, reject);
        script.onerror = () => reject(new Error('cannot load sketch3d-replay.js'));
        document.head.append(script);
      });
    }
    return replayModule;
  }

  function copyString(module, text) {
    const size = module.lengthBytesUTF8(text) + 1;
    const pointer = module._malloc(size);
    if (pointer === 0) throw new Error(`no memory for ${size} bytes of text`);
    module.stringToUTF8(text, pointer, size);
    return pointer;
  }

  let replayRuns = 0;
  // Plays a script as the native replay tool does; returns its exit code, what it printed, the
  // screenshots as PNG files, in the order they were taken, and the files its `export` lines
  // wrote (by name).
  async function replay(scriptText) {
    const module = await loadReplayModule();
    const folder = `/replay/${++replayRuns}`;
    const textPointer = copyString(module, scriptText);
    let folderPointer = 0;
    let exitCode;
    try {
      folderPointer = copyString(module, folder);
      exitCode = module._replay_page_run(textPointer, folderPointer);
    } finally {
      module._free(textPointer);
      module._free(folderPointer);
    }
    const result = {
      exitCode,
      log: module.UTF8ToString(module._replay_page_log()),
      error: module.UTF8ToString(module._replay_page_error()),
      screenshots: [],
      exports: {},
    };
    if (module.FS.analyzePath(folder).exists) {
      // The file system lists a folder in the order its files were made.
      for (const file of module.FS.readdir(folder)) {
        if (file === '.' || file === '..') continue;
        const path = `${folder}/${file}`;
        if (file.endsWith('.png'))
          result.screenshots.push({ name: file.slice(0, -4), png: module.FS.readFile(path) });
        else result.exports[file] = module.FS.readFile(path);
        module.FS.unlink(path);
      }
      module.FS.rmdir(folder);
    }
    return result;
  }
  window.sketch3d = { replay };

  // The replay panel.
  const exampleList = document.getElementById('replay-example');
  const scriptBox = document.getElementById('replay-script');
  const replayLog = document.getElementById('replay-log');
  const replayShots = document.getElementById('replay-shots');
  let shotUrls = [];

  async function showExample() {
    if (!exampleList.value) return;
    const response = await fetch(`examples/${exampleList.value}`);
    scriptBox.value = response.ok ? await response.text() : '';
  }
  fetch('examples/index.json')
    .then((response) => (response.ok ? response.json() : []))
    .then((names) => {
      for (const name of names) exampleList.append(new Option(name, name));
      return showExample();
    })
    .catch(() => {});
  exampleList.addEventListener('change', showExample);

  document.getElementById('replay-run').addEventListener('click', async () => {
    replayLog.textContent = 'Running…';
    for (const url of shotUrls) URL.revokeObjectURL(url);
    shotUrls = [];
    replayShots.replaceChildren();
    try {
      const result = await replay(scriptBox.value);
      replayLog.textContent =
        result.log +
        (result.error ? `error: ${result.error}\n` : '') +
        `exit code ${result.exitCode}`;
      for (const shot of result.screenshots) {
        const url = URL.createObjectURL(new Blob([shot.png], { type: 'image/png' }));
        shotUrls.push(url);
        const figure = document.createElement('figure');
        const image = new Image();
        image.src = url;
        image.alt = shot.name;
        const caption = document.createElement('figcaption');
        caption.textContent = shot.name;
        figure.append(image, caption);
        replayShots.append(figure);
      }
    } catch (error) {
      replayLog.textContent = `The replay failed: ${error}`;
    }
  });
})();
