// The browser build in Debian's headless Chromium, driven by Playwright: a session with the
// mouse, the keys and the controls checked from the canvas pixels (Inflate, Closer and Farther,
// the wheel and a pinch included), its saves'
// OBJ, STL and PNG files checked against the native replay tool's export and the canvas and
// confirmed in the page, the layout and its pixels at six screen sizes, Quit and its
// question, the error display with its English line and font, every example script replayed
// in the page and compared pixel for pixel with the native replay tool's screenshots, the Save
// control's numbered save and its script opened again with the Open control, and the canvas of
// the docs' picture of the page, and Open image showing a PNG under the drawing.
//
// Run by tools/test-web.sh (`make test-web`), which builds what it needs; the paths can be
// given in SKETCH3D_SITE (the built site), SKETCH3D_REPLAY (the native replay tool),
// SKETCH3D_WEB_TEST_MODULES (the folder with node_modules) and SKETCH3D_WEB_TEST_WORK.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdirSync, readdirSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

import { DOCS_VIEWPORT, playDocsSession } from './docs-page.mjs';
import { startServer } from './static-server.mjs';

const ROOT = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
const SITE = path.resolve(process.env.SKETCH3D_SITE ?? path.join(ROOT, 'build/web/site'));
const REPLAY_TOOL = path.resolve(
  process.env.SKETCH3D_REPLAY ?? path.join(ROOT, 'build/default/sketch3d-replay'),
);
const MODULES = path.resolve(
  process.env.SKETCH3D_WEB_TEST_MODULES ?? path.join(ROOT, 'build/web-test'),
);
const WORK = path.resolve(process.env.SKETCH3D_WEB_TEST_WORK ?? path.join(ROOT, 'build/test-web'));

const require = createRequire(path.join(MODULES, 'package.json'));
const { chromium } = require('playwright-core');
const { PNG } = require('pngjs');

const CLIENT_WIDTH = 514;
const DRAWN_HEIGHT = 482; // the client area's bottom row is never drawn and stays white
const CENTRE = [257, 241];
const TIMEOUT_MS = 20000;

let server;
let baseUrl;
let browser;


before(async () => {
  mkdirSync(WORK, { recursive: true });
  ({ child: server, url: baseUrl } = await startServer(SITE));
  browser = await chromium.launch({
    executablePath: '/usr/bin/chromium',
    args: [
      '--no-sandbox',
      '--disable-gpu',
      '--disable-background-networking',
      '--disable-component-update',
      '--disable-sync',
      '--no-first-run',
    ],
  });
});

after(async () => {
  await browser?.close();
  server?.kill();
});

async function openPage(query = '') {
  const page = await browser.newPage({ viewport: { width: 800, height: 1000 }, hasTouch: true });
  const problems = [];
  page.on('pageerror', (error) => problems.push(`page error: ${error.message}`));
  await page.goto(baseUrl + query);
  return { page, problems };
}

async function waitFor(what, check) {
  const deadline = Date.now() + TIMEOUT_MS;
  for (;;) {
    const value = await check();
    if (value) return value;
    if (Date.now() > deadline) throw new Error(`timed out waiting for ${what}`);
    await new Promise((resolve) => setTimeout(resolve, 30));
  }
}

// Lets the program run at least one frame: it runs at most every other animation frame.
async function nextFrames(page) {
  await page.evaluate(
    () =>
      new Promise((resolve) =>
        requestAnimationFrame(() => requestAnimationFrame(() => requestAnimationFrame(resolve))),
      ),
  );
}

// The canvas as the page shows it.
function pixel(page, x, y) {
  return page.evaluate(
    ([x, y]) => [
      ...document
        .getElementById('screen')
        .getContext('2d')
        .getImageData(x, y, 1, 1)
        .data.slice(0, 3),
    ],
    [x, y],
  );
}

// How many drawn pixels are lit red (clearly red, little green or blue), pure blue or other;
// whether the bottom row is white; and a checksum to notice any change.
function census(page) {
  return page.evaluate(
    ([width, drawn]) => {
      const canvas = document.getElementById('screen');
      const data = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
      const counts = { red: 0, blue: 0, other: 0, bottomWhite: true, checksum: 0 };
      for (let i = 0; i < width * drawn; ++i) {
        const [r, g, b] = [data[4 * i], data[4 * i + 1], data[4 * i + 2]];
        if (r === 0 && g === 0 && b === 255) counts.blue++;
        else if (r >= 48 && 4 * g <= r && 4 * b <= r) counts.red++;
        else counts.other++;
        counts.checksum = (Math.imul(counts.checksum, 31) + ((r << 16) | (g << 8) | b)) | 0;
      }
      for (let i = width * drawn; i < width * (drawn + 1); ++i)
        if (data[4 * i] !== 255 || data[4 * i + 1] !== 255 || data[4 * i + 2] !== 255)
          counts.bottomWhite = false;
      return counts;
    },
    [CLIENT_WIDTH, DRAWN_HEIGHT],
  );
}

const isBlue = ([r, g, b]) => r === 0 && g === 0 && b === 255;
const isBlack = ([r, g, b]) => r === 0 && g === 0 && b === 0;
const isLitRed = ([r, g, b]) => r >= 48 && 4 * g <= r && 4 * b <= r;

async function isBlueScreen(page) {
  const counts = await census(page);
  return counts.blue === CLIENT_WIDTH * DRAWN_HEIGHT && counts.bottomWhite;
}

function decodePng(bytes) {
  const image = PNG.sync.read(bytes);
  return { width: image.width, height: image.height, data: image.data };
}

// The files that the Save control downloads (`count` of them), by name, and the canvas pixels
// at the moment of the save, read in the same task so that no frame comes between them.
async function saveWithCanvas(page, count) {
  const downloads = [];
  const collect = (download) => downloads.push(download);
  page.on('download', collect);
  const canvas = await page.evaluate(() => {
    document.getElementById('save').click();
    const screen = document.getElementById('screen');
    const data = screen.getContext('2d').getImageData(0, 0, screen.width, screen.height);
    let text = '';
    for (const byte of data.data) text += String.fromCharCode(byte);
    return { width: data.width, height: data.height, data: btoa(text) };
  });
  await waitFor(`the ${count} files of the save`, () => downloads.length >= count);
  page.off('download', collect);
  const files = {};
  for (const download of downloads)
    files[download.suggestedFilename()] = readFileSync(await download.path());
  return { files, canvas: { ...canvas, data: Buffer.from(canvas.data, 'base64') } };
}

// The object lines of OBJ text: positions as [x, y, z] and the face count.
function objMesh(text) {
  const lines = text.split('\n');
  return {
    vertices: lines
      .filter((l) => l.startsWith('v '))
      .map((l) => l.split(' ').slice(1).map(Number)),
    faces: lines.filter((l) => l.startsWith('f ')).length,
  };
}

// The face counts of OBJ text, one a group (`g NAME` starts one); one count for an OBJ without
// groups.
function objGroupFaces(text) {
  const counts = [];
  for (const line of text.split('\n')) {
    if (line.startsWith('g ')) counts.push(0);
    else if (line.startsWith('f ')) {
      if (counts.length === 0) counts.push(0);
      ++counts[counts.length - 1];
    }
  }
  return counts;
}

// The OBJ that the native replay tool exports for the same strokes: the outline through
// `corners`, from the last one round, then a right-click at the centre.
function nativeSheetObj(corners) {
  const lines = ['frames 1', `move ${corners.at(-1).join(' ')}`, 'frames 1', 'down left'];
  for (const corner of corners) lines.push(`move ${corner.join(' ')}`, 'frames 1');
  lines.push('up left', `move ${CENTRE.join(' ')}`, 'frames 1', 'down right', 'frames 1');
  lines.push('up right', 'frames 1');
  const script = path.join(WORK, 'octagon.txt');
  const obj = path.join(WORK, 'octagon.obj');
  writeFileSync(script, lines.join('\n') + '\n');
  rmSync(obj, { force: true });
  execFileSync(REPLAY_TOOL, [script, '--out', WORK, '--obj', obj], { stdio: 'ignore' });
  return readFileSync(obj, 'utf8');
}

test('a session with the mouse, the keys and the control strip', { timeout: 120000 }, async () => {
  const { page, problems } = await openPage();
  // What the page did with the browser's own actions for the right button and the keys.
  await page.evaluate(() => {
    window.defaultsPrevented = [];
    window.addEventListener('contextmenu', (e) =>
      window.defaultsPrevented.push(['menu', e.defaultPrevented]),
    );
    window.addEventListener('keydown', (e) =>
      window.defaultsPrevented.push([e.key, e.defaultPrevented]),
    );
  });
  const box = await page.locator('#screen').boundingBox();
  const move = (x, y) => page.mouse.move(box.x + x + 0.5, box.y + y + 0.5);

  await waitFor('a blue screen with a white bottom row', () => isBlueScreen(page));
  // The product's name in the tab and the header, the frame rate beside it.
  await waitFor("the title 'sketch3d \u2014 fps = N'", async () =>
    /^sketch3d \u2014 fps = \d+$/.test(await page.title()),
  );
  assert.equal(await page.locator('header h1').textContent(), 'sketch3d');
  assert.match(await page.locator('#fps').textContent(), /^fps = \d+$/);

  // An octagon around the middle, drawn with the left button; each corner is held until a
  // frame has drawn the edge to it.
  const corners = [
    [177, 161],
    [257, 121],
    [337, 161],
    [377, 241],
    [337, 321],
    [257, 361],
    [177, 321],
    [137, 241],
  ];
  let previous = corners.at(-1);
  await move(...previous);
  await nextFrames(page);
  await page.mouse.down();
  for (const corner of corners) {
    await move(...corner);
    const middle = [
      Math.floor((previous[0] + corner[0]) / 2),
      Math.floor((previous[1] + corner[1]) / 2),
    ];
    await waitFor(`the stroke to ${corner}`, async () => isBlack(await pixel(page, ...middle)));
    previous = corner;
  }
  await page.mouse.up();
  assert.ok(isBlue(await pixel(page, ...CENTRE)), 'the inside of the outline is blue');

  // The right button inside builds a lit red sheet; the outline is cleared away.
  await move(...CENTRE);
  await nextFrames(page);
  await page.mouse.down({ button: 'right' });
  await waitFor('a lit red sheet', async () => isLitRed(await pixel(page, ...CENTRE)));
  await page.mouse.up({ button: 'right' });
  await waitFor('the outline to go', async () => !isBlack(await pixel(page, 217, 141)));
  for (const point of [
    [257, 241],
    [220, 200],
    [300, 280],
    [220, 280],
    [300, 200],
    [257, 160],
    [257, 320],
  ])
    assert.ok(
      isLitRed(await pixel(page, ...point)),
      `inside ${point} is ${await pixel(page, ...point)}`,
    );
  for (const point of [
    [10, 10],
    [500, 10],
    [10, 470],
    [500, 470],
    [100, 241],
    [420, 241],
    [257, 60],
    [257, 420],
  ])
    assert.ok(
      isBlue(await pixel(page, ...point)),
      `outside ${point} is ${await pixel(page, ...point)}`,
    );
  const sheet = await census(page);
  assert.equal(sheet.other, 0, 'every drawn pixel is lit red or blue');
  // The octagon encloses 38400 square pixels; the stroke and the sampling grid take a little.
  assert.ok(sheet.red >= 34000 && sheet.red <= 38400, `the sheet covers ${sheet.red} pixels`);

  // Save downloads the sheet exactly as the native replay tool exports it for the same strokes,
  // and the client area as the canvas shows it, its white bottom row included; the page says
  // so, near the controls.
  const first = await saveWithCanvas(page, 5);
  assert.deepEqual(Object.keys(first.files).sort(), [
    'sketch3d-001.glb',
    'sketch3d-001.obj',
    'sketch3d-001.png',
    'sketch3d-001.stl',
    'sketch3d-001.txt',
  ]);
  const flatObj = first.files['sketch3d-001.obj'].toString('utf8');
  const flat = objMesh(flatObj);
  assert.ok(flat.vertices.length > 0 && flat.faces > 0, 'the sheet has vertices and faces');
  assert.equal(flatObj, nativeSheetObj(corners));
  assert.equal(firstDifference(first.canvas, decodePng(first.files['sketch3d-001.png'])), null);
  await waitFor('the note of the save', async () =>
    /^\u2714 Saved sketch3d-001 \(obj stl glb png txt\) to your downloads\.$/.test(
      await page.locator('#saved').textContent(),
    ),
  );
  assert.ok(await page.locator('#saved').isVisible());
  await move(...CENTRE);
  await nextFrames(page);

  // A drag of 80 pixels to the right turns it about the vertical axis; turned so, the glossy
  // shading (F2) looks different from the soft one.
  await page.mouse.down({ button: 'right' });
  await move(CENTRE[0] + 80, CENTRE[1]);
  const turned = await waitFor('the sheet to turn', async () => {
    const counts = await census(page);
    return counts.checksum !== sheet.checksum && counts;
  });
  await page.mouse.up({ button: 'right' });
  assert.ok(turned.red > 20000, `the turned sheet shows ${turned.red} lit red pixels`);
  await page.keyboard.down('F2');
  await waitFor(
    'the glossy shading',
    async () => (await census(page)).checksum !== turned.checksum,
  );
  await page.keyboard.up('F2');
  await page.locator('main').screenshot({ path: path.join(WORK, 'web.png') });
  // The screenshot scrolls the page to show all of it: back to the top, where `box` was taken.
  await page.evaluate(() => window.scrollTo(0, 0));

  // A drag of 512 pixels with the right button turns the sheet half a turn: its back is not
  // drawn (but for a few slivers that the edge snapping turned over).
  await move(1, 450);
  await nextFrames(page);
  await page.mouse.down({ button: 'right' });
  await move(513, 450);
  await waitFor('the sheet to turn away', async () => {
    const counts = await census(page);
    return counts.red + counts.other < 400;
  });
  await page.mouse.up({ button: 'right' });

  // The strip's Z, held, faces the sheet to the viewer again; the canvas keeps the focus.
  const stripZ = page.locator('#controls [data-key="90"]');
  await stripZ.hover();
  await page.mouse.down();
  await waitFor('Z to turn the sheet back', async () => !isBlue(await pixel(page, ...CENTRE)));
  await page.mouse.up();
  assert.equal(await page.evaluate(() => document.activeElement.id), 'screen');

  // Z held with the left button pushes the vertices under the cursor into the screen: the
  // sheet saved now has the same vertices and faces, some of them deeper.
  await page.keyboard.down('z');
  await move(300, 241);
  await nextFrames(page);
  await page.mouse.down();
  await nextFrames(page);
  await page.mouse.up();
  await page.keyboard.up('z');
  const relief = objMesh(
    (await saveWithCanvas(page, 5)).files['sketch3d-002.obj'].toString('utf8'),
  );
  assert.equal(relief.vertices.length, flat.vertices.length);
  assert.equal(relief.faces, flat.faces);
  const pushed = relief.vertices.filter(([x, y, z], i) => {
    const [fx, fy, fz] = flat.vertices[i];
    assert.ok(x === fx && y === fy, `vertex ${i + 1} moved across the screen`);
    return z !== fz;
  });
  assert.ok(pushed.length > 0, 'no vertex was pushed');
  assert.equal(await page.evaluate(() => document.activeElement.id), 'screen');
  await move(...CENTRE);

  // The Inflate control turns the sheet into a closed body, which Save downloads as STL too: an
  // 84-byte head with the triangle count, then 50 bytes a triangle, front and back.
  await nextFrames(page);
  const beforeInflate = await census(page);
  await page.locator('#controls [data-key="73"]').hover();
  await page.mouse.down();
  await waitFor('the body', async () => (await census(page)).checksum !== beforeInflate.checksum);
  await page.mouse.up();
  const bodySave = (await saveWithCanvas(page, 5)).files;
  const stl = bodySave['sketch3d-003.stl'];
  const stlTriangles = stl.readUInt32LE(80);
  assert.equal(stl.length, 84 + 50 * stlTriangles);
  assert.ok(stlTriangles > flat.faces, `the body has ${stlTriangles} triangles`);
  // The body is the same bit for bit as the native build's: its heights are solved in floating
  // point, so the session saved with it is replayed natively and the two STL files compared.
  const bodyScript = path.join(WORK, 'body.txt');
  const nativeStl = path.join(WORK, 'body.stl');
  writeFileSync(bodyScript, bodySave['sketch3d-003.txt']);
  rmSync(nativeStl, { force: true });
  execFileSync(REPLAY_TOOL, [bodyScript, '--out', WORK, '--stl', nativeStl], { stdio: 'ignore' });
  assert.ok(stl.equals(readFileSync(nativeStl)), 'the body differs from the native build\'s');
  await move(...CENTRE);

  // Closer and Farther move the eye a notch each: the body shows larger, then as it was, and
  // the canvas keeps the focus. The wheel over the picture does the same, and so do two
  // fingers spread on it, by half again: three notches (a notch is 2^(1/6)), which three
  // clicks of Farther take back.
  await nextFrames(page);
  const atStart = await census(page);
  const backAtStart = async () => (await census(page)).checksum === atStart.checksum;
  await page.locator('#closer').click();
  const nearer = await waitFor('Closer to bring the body nearer', async () => {
    const counts = await census(page);
    return counts.red > atStart.red * 1.05 && counts;
  });
  assert.equal(await page.evaluate(() => document.activeElement.id), 'screen');
  await page.locator('#farther').click();
  await waitFor('Farther to step back again', backAtStart);
  await move(...CENTRE);
  await page.mouse.wheel(0, -100);
  await waitFor('the wheel to bring the body nearer', async () =>
    (await census(page)).checksum === nearer.checksum,
  );
  await page.mouse.wheel(0, 100);
  await waitFor('the wheel to step back', backAtStart);
  await page.evaluate(([x, y]) => {
    const canvas = document.getElementById('screen');
    const box = canvas.getBoundingClientRect();
    const finger = (id, dx, type) =>
      canvas.dispatchEvent(
        new PointerEvent(type, {
          pointerId: id,
          pointerType: 'touch',
          isPrimary: id === 21,
          clientX: box.left + x + (id === 21 ? -dx : dx),
          clientY: box.top + y,
          buttons: type === 'pointerup' ? 0 : 1,
          bubbles: true,
          cancelable: true,
        }),
      );
    finger(21, 40, 'pointerdown');
    finger(22, 40, 'pointerdown');
    for (const spread of [50, 60]) for (const id of [21, 22]) finger(id, spread, 'pointermove');
    for (const id of [21, 22]) finger(id, 60, 'pointerup');
  }, CENTRE);
  await waitFor('the pinch to bring the body nearer', async () => {
    const counts = await census(page);
    return counts.red > nearer.red * 1.1 && counts;
  });
  for (let i = 0; i < 3; ++i) await page.locator('#farther').click();
  await waitFor('three clicks of Farther to step back', backAtStart);
  // A save made nearer holds the notch: its script, replayed natively, ends on the picture
  // the canvas showed.
  await page.locator('#closer').click();
  await waitFor('Closer again', async () => (await census(page)).checksum === nearer.checksum);
  const nearSave = await saveWithCanvas(page, 5);
  const nearScript = path.join(WORK, 'nearer.txt');
  writeFileSync(nearScript, nearSave.files['sketch3d-004.txt'] + 'screenshot nearer\n');
  rmSync(path.join(WORK, 'nearer.png'), { force: true });
  execFileSync(REPLAY_TOOL, [nearScript, '--out', WORK], { stdio: 'ignore' });
  assert.equal(
    firstDifference(decodePng(readFileSync(path.join(WORK, 'nearer.png'))), nearSave.canvas),
    null,
  );
  await page.locator('#farther').click();
  await waitFor('Farther once more', backAtStart);
  await move(...CENTRE);

  // "Add part" keeps the body; a diamond drawn over it and a right-click inside build a second
  // part in front of it. Save holds both: a group each in the OBJ, both shells in the STL.
  const holdControl = async (key) => {
    await page.locator(`#controls [data-key="${key}"]`).hover();
    await page.mouse.down();
    await nextFrames(page);
    await page.mouse.up();
    await nextFrames(page);
  };
  await holdControl(78);
  const diamond = [
    [257, 191],
    [307, 241],
    [257, 291],
    [207, 241],
  ];
  previous = diamond.at(-1);
  await move(...previous);
  await nextFrames(page);
  await page.mouse.down();
  for (const corner of diamond) {
    await move(...corner);
    const middle = [
      Math.floor((previous[0] + corner[0]) / 2),
      Math.floor((previous[1] + corner[1]) / 2),
    ];
    await waitFor(`the part's stroke to ${corner}`, async () =>
      isBlack(await pixel(page, ...middle)),
    );
    previous = corner;
  }
  await page.mouse.up();
  await move(...CENTRE);
  await nextFrames(page);
  // Built with the Behind switch on: Shift goes to the program with the right button, as the
  // saved session shows (a button is written when it changes, a key at the next frame: Shift
  // comes down after the button, before that frame, and goes up after it).
  await page.locator('#behind-mode').click();
  await move(...CENTRE);
  await nextFrames(page);
  await page.mouse.down({ button: 'right' });
  await waitFor("the part's outline to go", async () => !isBlack(await pixel(page, 282, 216)));
  await page.mouse.up({ button: 'right' });
  await page.locator('#behind-mode').click();
  const twoParts = await saveWithCanvas(page, 5);
  const behindSession = twoParts.files['sketch3d-005.txt'].toString('utf8');
  const fromClick = behindSession.slice(behindSession.lastIndexOf('down right'));
  const sameFrame = '(?:(?!frames )[^\\n]*\\n)*';
  assert.match(fromClick, new RegExp(`^down right\\n${sameFrame}key down shift\\n`), 'Shift down');
  assert.match(fromClick, new RegExp(`\\nup right\\n${sameFrame}key up shift\\n`), 'Shift up');
  const partFaces = objGroupFaces(twoParts.files['sketch3d-005.obj'].toString('utf8'));
  assert.equal(partFaces.length, 2, 'two parts');
  assert.equal(
    twoParts.files['sketch3d-005.stl'].readUInt32LE(80),
    stlTriangles + partFaces[1],
    'the STL holds both shells',
  );
  // Tab moves editing on to the body (the canvas keeps the focus), and "Remove part" takes
  // it away: the diamond alone is left.
  await page.keyboard.press('Tab');
  assert.equal(await page.evaluate(() => document.activeElement.id), 'screen');
  await page.locator('#remove-part').hover();
  await page.mouse.down();
  await nextFrames(page);
  await page.mouse.up();
  const left = objGroupFaces(
    (await saveWithCanvas(page, 5)).files['sketch3d-006.obj'].toString('utf8'),
  );
  assert.deepEqual(left, [partFaces[1]], 'the body was removed');
  await move(...CENTRE);

  // F12 throws it away. Undo brings it back as it was shown, Redo throws it away again, and
  // so do Ctrl+Z and Ctrl+Shift+Z on the canvas. Then Save downloads the picture and the
  // session alone.
  await nextFrames(page);
  const kept = await canvasImage(page);
  const isKept = async () => firstDifference(await canvasImage(page), kept) === null;
  await page.keyboard.down('F12');
  await waitFor('F12 to bring the blue screen back', () => isBlueScreen(page));
  await page.keyboard.up('F12');
  for (const [control, what, check] of [
    ['#undo', 'Undo to bring the part back', isKept],
    ['#redo', 'Redo to throw it away again', () => isBlueScreen(page)],
    ['Control+z', 'Ctrl+Z to bring it back', isKept],
    ['Control+Shift+z', 'Ctrl+Shift+Z to throw it away', () => isBlueScreen(page)],
  ]) {
    if (control.startsWith('#')) {
      await page.locator(control).hover();
      await page.mouse.down();
      await nextFrames(page);
      await page.mouse.up();
    } else {
      await page.keyboard.press(control);
    }
    await waitFor(what, check);
  }
  assert.equal(await page.evaluate(() => document.activeElement.id), 'screen');
  const empty = await saveWithCanvas(page, 2);
  assert.deepEqual(Object.keys(empty.files).sort(), ['sketch3d-007.png', 'sketch3d-007.txt']);
  await nextFrames(page);

  // With the strip's right button on, a touch on the canvas builds: outside every outline
  // the whole background becomes the sheet. The tap is shorter than a frame, and the touch
  // is sampled where it came down. The strip's F12 throws the sheet away.
  assert.equal(
    await page.locator('#screen').evaluate((canvas) => getComputedStyle(canvas).touchAction),
    'none',
  );
  await page.locator('#right-mode').click();
  await page.touchscreen.tap(box.x + 450.5, box.y + 100.5);
  await waitFor('the background sheet', async () => isLitRed(await pixel(page, 450, 100)));
  await page.locator('#right-mode').click();
  const stripF12 = page.locator('#controls [data-key="123"]');
  await stripF12.hover();
  await page.mouse.down();
  await waitFor("the strip's F12 to bring the blue screen back", () => isBlueScreen(page));
  await page.mouse.up();

  // Quit asks first; "Keep drawing" leaves the program running, with the canvas focused.
  await page.locator('#quit').click();
  assert.ok(await page.locator('#quit-dialog').isVisible());
  await page.locator('#quit-no').click();
  assert.ok(!(await page.locator('#quit-dialog').isVisible()));
  await nextFrames(page);
  assert.equal(await page.locator('#status').textContent(), '');
  assert.equal(await page.evaluate(() => document.activeElement.id), 'screen');

  // Escape on the canvas ends the program at once, as in the window programs.
  await page.locator('#screen').focus();
  await page.keyboard.press('Escape');
  await waitFor('the end of the program', async () =>
    /has ended \(exit code 0\)/.test(await page.locator('#status').textContent()),
  );

  const prevented = await page.evaluate(() => window.defaultsPrevented);
  for (const kind of ['menu', 'F2', 'F12', 'Tab', 'Escape']) {
    const seen = prevented.filter(([what]) => what === kind);
    assert.ok(
      seen.length > 0 && seen.every(([, done]) => done),
      `${kind} reached the browser: ${JSON.stringify(seen)}`,
    );
  }
  assert.deepEqual(problems, []);
  await page.close();
});

// Phones held upright and sideways, a tablet, two desktops and a narrow window: the canvas is
// sized to the screen, the whole picture and every control are on it at once without scrolling
// (held upright or narrow, the controls stay at the bottom; sideways and on a desktop, beside
// the picture), every control says what it does and its key, the guide is a short list beside
// or under the picture, pointer positions map through the canvas's displayed size, and a
// stroke taken back leaves the canvas as it was before the stroke. The screen shows the
// picture at the largest whole number of device pixels a picture pixel that fits (`pixels`),
// starting on a whole device pixel, or shrunk smoothly where not one fits (`pixels` 0); a
// screenshot of each, with an outline and a stroke across it, is kept in
// build/test-web/page-NAME.png and read back to check that.
const touchScreen = { isMobile: true, hasTouch: true };
const SCREENS = [
  {
    name: 'phone-upright',
    options: { viewport: { width: 390, height: 844 }, deviceScaleFactor: 3, ...touchScreen },
    touch: true,
    layout: 'docked',
    pixels: 2,
  },
  {
    name: 'phone-sideways',
    options: { viewport: { width: 844, height: 390 }, deviceScaleFactor: 3, ...touchScreen },
    touch: true,
    layout: 'beside',
    pixels: 2,
  },
  {
    name: 'tablet',
    options: { viewport: { width: 768, height: 1024 }, deviceScaleFactor: 2, ...touchScreen },
    touch: true,
    layout: 'below',
    pixels: 2,
  },
  {
    name: 'desktop',
    options: { viewport: { width: 1280, height: 800 } },
    touch: false,
    layout: 'beside',
    pixels: 1,
  },
  {
    name: 'desktop-scale-2',
    options: { viewport: { width: 1400, height: 1100 }, deviceScaleFactor: 2 },
    touch: false,
    layout: 'beside',
    pixels: 4,
  },
  {
    name: 'narrow-window',
    options: { viewport: { width: 390, height: 844 } },
    touch: false,
    layout: 'docked',
    pixels: 0,
  },
];

// Where the screenshot `shot` does not show each pixel of `picture` as a `k` x `k` square of
// device pixels of its colour, the picture's top left at device pixel `origin`; null if it does.
function squaresDiffer(shot, [left, top], k, picture) {
  for (let y = 0; y < picture.height * k; ++y) {
    for (let x = 0; x < picture.width * k; ++x) {
      const at = 4 * ((top + y) * shot.width + left + x);
      const of = 4 * (Math.floor(y / k) * picture.width + Math.floor(x / k));
      for (let c = 0; c < 3; ++c) {
        if (shot.data[at + c] === picture.data[of + c]) continue;
        const rgb = (data, i) => [...data.subarray(i, i + 3)].join(',');
        const colours = `${rgb(shot.data, at)}, not ${rgb(picture.data, of)}`;
        return `device pixel (${x}, ${y}) of the picture is ${colours}`;
      }
    }
  }
  return null;
}

// Where the black stroke from picture pixel `from` to `to`, steep, over blue, shown shrunk by
// `scale` from device pixel `origin`, leaves a device row with less than half a pixel's ink
// (a gap: nearest-pixel shrinking drops whole picture columns and rows); null if it never does.
function gapInStroke(shot, [left, top], scale, from, to) {
  for (let row = Math.ceil((from[1] + 2) * scale); row < (to[1] - 2) * scale; ++row) {
    const y = (row + 0.5) / scale;
    const x = from[0] + ((y - from[1]) * (to[0] - from[0])) / (to[1] - from[1]);
    const column = Math.floor(x * scale);
    let ink = 0;
    for (let c = column - 3; c <= column + 3; ++c)
      ink += (255 - shot.data[4 * ((top + row) * shot.width + left + c) + 2]) / 255;
    if (ink < 0.5) return `device row ${row} of the picture holds ${ink.toFixed(2)} of the stroke`;
  }
  return null;
}

// Whether box `inner` lies within `outer` (both {x, y, width, height}), to a hundredth of a pixel.
const within = (inner, outer) =>
  inner.x >= outer.x - 0.01 &&
  inner.y >= outer.y - 0.01 &&
  inner.x + inner.width <= outer.x + outer.width + 0.01 &&
  inner.y + inner.height <= outer.y + outer.height + 0.01;
const overlap = (a, b) =>
  a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;

for (const screen of SCREENS) {
  test(`the page and a session on ${screen.name}`, { timeout: 120000 }, async () => {
    const page = await browser.newPage(screen.options);
    const problems = [];
    page.on('pageerror', (error) => problems.push(`page error: ${error.message}`));
    await page.goto(baseUrl);
    assert.match(
      await page.locator('meta[name="viewport"]').getAttribute('content'),
      /width=device-width/,
    );
    await waitFor('a blue screen with a white bottom row', () => isBlueScreen(page));
    const box = await page.locator('#screen').boundingBox();
    const viewport = screen.options.viewport;
    const screenBox = { x: 0, y: 0, ...viewport };
    const ratio = screen.options.deviceScaleFactor ?? 1;
    assert.equal(await page.evaluate(() => window.scrollY), 0);
    assert.ok(within(box, screenBox), `the canvas ${JSON.stringify(box)} is off the screen`);
    assert.ok(Math.abs(box.height / box.width - 483 / CLIENT_WIDTH) < 0.01, 'the picture keeps its shape');
    // In device pixels: where the picture starts, and its size.
    const shown = [box.x, box.y, box.width, box.height].map((v) => v * ratio);
    const whole = (v) => Math.abs(v - Math.round(v)) < 0.02;
    assert.ok(shown.every(whole), `the picture covers device pixels ${shown}`);
    if (screen.pixels) {
      assert.ok(
        Math.abs(shown[2] - screen.pixels * CLIENT_WIDTH) < 0.02 &&
          Math.abs(shown[3] - screen.pixels * 483) < 0.02,
        `${shown[2]} x ${shown[3]} device pixels, not ${screen.pixels} a picture pixel`,
      );
    } else {
      assert.ok(shown[2] < CLIENT_WIDTH && shown[3] < 483, `${shown[2]} x ${shown[3]}`);
      // Its smoothly shrunk copy covers it, one canvas pixel a device pixel.
      const copy = await page.locator('#view').boundingBox();
      assert.deepEqual(
        [copy.x, copy.y, copy.width, copy.height].map(Math.round),
        [box.x, box.y, box.width, box.height].map(Math.round),
      );
      assert.deepEqual(
        await page.locator('#view').evaluate((view) => [view.width, view.height]),
        shown.slice(2).map(Math.round),
      );
    }
    // Open image is there where the program offers it.
    const openImage = await page.locator('#open-image-control').isVisible();
    const controls = await page
      .locator('#controls button:visible, #controls .control:visible')
      .all();
    assert.equal(controls.length, 32 + (openImage ? 1 : 0), 'the controls');
    const places = [];
    for (const button of controls) {
      const place = await button.boundingBox();
      const label = (await button.innerText()).replace(/\s+/g, ' ').trim();
      assert.ok(within(place, screenBox), `"${label}" at ${JSON.stringify(place)} is off the screen`);
      assert.ok(!overlap(place, box), `"${label}" covers the picture`);
      assert.ok(place.height >= 44 && place.width >= 44, `"${label}" is ${place.width} x ${place.height}`);
      // Named by what it does, the key in smaller type under it; no tooltip needed.
      const key = button.locator('.key');
      assert.equal(await key.count(), 1, `"${label}" names no key`);
      const sizes = await button.evaluate((b) => [
        parseFloat(getComputedStyle(b).fontSize),
        parseFloat(getComputedStyle(b.querySelector('.key')).fontSize),
      ]);
      assert.ok(sizes[1] < sizes[0], `"${label}": the key is not in smaller type`);
      assert.equal(await button.getAttribute('title'), null, `"${label}" relies on a tooltip`);
      places.push([label, place]);
    }
    const labels = places.map(([label]) => label).join(' | ');
    for (const name of ['Face front / push Z', 'Soft F1', 'Glossy F2', 'Banded F3', 'Discard F12',
      'Inflate I', 'Undo Ctrl+Z', 'Redo Ctrl+Y', 'Add part N', 'Mirror part M', 'Next part Tab',
      'Remove part Backspace', 'Save Ctrl+S', 'Open a saved .txt', 'Quit Esc', 'Brush smaller [',
      'Brush larger ]', 'Closer wheel up', 'Farther wheel down', 'Behind Shift', 'Animate A',
      'Record R', 'Play/Pause Space', ...(openImage ? ['Open image PNG or BMP'] : [])])
      assert.ok(labels.includes(name), `no "${name}" among ${labels}`);
    // The eight colour swatches, keys 1 to 8, in one row or two rows of four, the black pen
    // chosen at the start.
    const swatchTops = await page
      .locator('#swatches button')
      .evaluateAll((all) => all.map((b) => [b.innerText.trim(), b.getBoundingClientRect().top]));
    assert.deepEqual(swatchTops.map(([key]) => key), ['1', '2', '3', '4', '5', '6', '7', '8']);
    const rows = swatchTops.map(([, top]) => top);
    assert.ok(
      new Set(rows).size === 1 || (new Set(rows.slice(0, 4)).size === 1 &&
        new Set(rows.slice(4)).size === 1 && rows[4] > rows[0]),
      `the swatches' rows: ${rows}`,
    );
    assert.equal(
      await page.locator('#swatches [aria-pressed="true"]').getAttribute('data-key'),
      '49',
    );
    const help = page.locator('#help li');
    assert.ok((await help.count()) >= 3 && (await help.count()) <= 8, 'the guide is a short list');
    const helpBox = await page.locator('#help').boundingBox();
    if (screen.layout === 'docked') {
      // Narrower than the picture: the canvas takes the width, and the controls sit at the
      // bottom of the screen, with the guide just under the picture.
      assert.ok(box.width > 340, `canvas ${box.width}`);
      const dockBox = await page.locator('#dock').boundingBox();
      assert.ok(Math.abs(dockBox.y + dockBox.height - viewport.height) < 1, `dock at ${dockBox.y}`);
      assert.ok(helpBox.y < dockBox.y && helpBox.y - (box.y + box.height) < 40, 'guide not under the picture');
    } else if (screen.layout === 'beside') {
      // The controls and the guide beside the picture, all of it within the screen's height.
      for (const [label, place] of places)
        assert.ok(place.x >= box.x + box.width, `"${label}" is not beside the picture`);
      assert.ok(helpBox.x >= box.x + box.width && helpBox.y < viewport.height, 'guide not beside');
    } else {
      assert.ok(helpBox.y >= box.y + box.height, 'guide not under the picture');
    }
    const css = (x, y) => [
      box.x + ((x + 0.5) * box.width) / CLIENT_WIDTH,
      box.y + ((y + 0.5) * box.height) / (DRAWN_HEIGHT + 1),
    ];
    // A polyline through picture pixels, by touch or with the mouse; each point is held until a
    // frame has drawn the segment to it (a black pixel next to its middle).
    const cdp = screen.touch ? await page.context().newCDPSession(page) : null;
    const touch = (type, points) =>
      cdp.send('Input.dispatchTouchEvent', {
        type,
        touchPoints: points.map(([x, y]) => ({ x, y })),
      });
    const nearBlack = async ([x, y]) => {
      for (const [dx, dy] of [[0, 0], [1, 0], [-1, 0], [0, 1], [0, -1]])
        if (isBlack(await pixel(page, x + dx, y + dy))) return true;
      return false;
    };
    async function polyline(points) {
      if (screen.touch) await touch('touchStart', [css(...points[0])]);
      else {
        await page.mouse.move(...css(...points[0]));
        await nextFrames(page);
        await page.mouse.down();
      }
      await nextFrames(page);
      for (let i = 1; i < points.length; ++i) {
        if (screen.touch) await touch('touchMove', [css(...points[i])]);
        else await page.mouse.move(...css(...points[i]));
        const middle = points[i].map((v, k) => Math.floor((v + points[i - 1][k]) / 2));
        await waitFor(`the stroke to ${points[i]}`, () => nearBlack(middle));
      }
      if (screen.touch) await touch('touchEnd', []);
      else await page.mouse.up();
      await nextFrames(page);
    }

    const corners = [
      [137, 241], [177, 161], [257, 121], [337, 161], [377, 241], [337, 321], [257, 361],
      [177, 321], [137, 241],
    ];
    await polyline(corners);
    const outline = await census(page);
    // A stray stroke across the outline, taken back with the strip's Undo on the phone and
    // with Backspace on the desktop: the canvas is the outline alone again.
    await polyline([[60, 60], [300, 400]]);
    assert.notEqual((await census(page)).checksum, outline.checksum);
    const shot = decodePng(
      await page.screenshot({ path: path.join(WORK, `page-${screen.name}.png`) }),
    );
    const origin = shown.slice(0, 2).map(Math.round);
    const difference = screen.pixels
      ? squaresDiffer(shot, origin, screen.pixels, await canvasImage(page))
      : gapInStroke(shot, origin, shown[2] / CLIENT_WIDTH, [60, 60], [300, 400]);
    assert.equal(difference, null, `on the screen: ${difference}`);
    if (screen.touch) await page.locator('#undo').tap();
    else await page.keyboard.press('Backspace');

    await waitFor('the stroke to be taken back', async () => {
      const counts = await census(page);
      return counts.checksum === outline.checksum;
    });

    // The right button inside builds the sheet: a tap with the strip's switch on, a right
    // press with the mouse.
    if (screen.touch) {
      await page.locator('#right-mode').tap();
      await page.touchscreen.tap(...css(...CENTRE));
    } else {
      await page.mouse.move(...css(...CENTRE));
      await nextFrames(page);
      await page.mouse.down({ button: 'right' });
    }
    await waitFor('a lit red sheet', async () => isLitRed(await pixel(page, ...CENTRE)));
    if (!screen.touch) await page.mouse.up({ button: 'right' });
    await waitFor('the outline to go', async () => !isBlack(await pixel(page, 217, 141)));
    const sheet = await census(page);
    assert.equal(sheet.other, 0, 'every drawn pixel is lit red or blue');
    assert.ok(sheet.red >= 34000 && sheet.red <= 38400, `the sheet covers ${sheet.red} pixels`);
    assert.deepEqual(problems, []);
    await page.close();
  });
}

test('Quit asks first, then says how to start again', { timeout: 60000 }, async () => {
  const { page, problems } = await openPage();
  await waitFor('a blue screen with a white bottom row', () => isBlueScreen(page));
  await page.locator('#quit').click();
  const dialog = page.locator('#quit-dialog');
  assert.ok(await dialog.isVisible());
  assert.match(await dialog.innerText(), /Quit sketch3d\?/);
  // Escape in the question answers no.
  await page.keyboard.press('Escape');
  assert.ok(!(await dialog.isVisible()));
  await nextFrames(page);
  assert.equal(await page.locator('#status').textContent(), '');
  await page.locator('#quit').click();
  await page.locator('#quit-yes').click();
  await waitFor('the end of the program', async () =>
    /has ended \(exit code 0\)/.test(await page.locator('#status').textContent()),
  );
  // The way back is a button; it reloads the page, and the program starts afresh.
  await Promise.all([page.waitForEvent('load'), page.locator('#start-again').click()]);
  await waitFor('a blue screen again', () => isBlueScreen(page));
  assert.equal(await page.locator('#status').textContent(), '');
  assert.deepEqual(problems, []);
  await page.close();
});

test('error messages appear in the page, with an English line', { timeout: 60000 }, async () => {
  // The first allocation of start-up fails: its message, then no frame.
  const { page, problems } = await openPage('?fail-allocation=1');
  const text = await waitFor('the message', () =>
    page.locator('.message-text').first().textContent(),
  );
  const size = /^(\d+)byteの領域の確保に失敗しました。$/.exec(text);
  assert.ok(size, text);
  assert.equal(await page.locator('.message strong').first().textContent(), 'Error');
  assert.equal(
    await page.locator('.message-english').first().textContent(),
    `Could not allocate ${size[1]} bytes of memory.`,
  );
  // The English line is under the Japanese text, as readable: the same size, weight and
  // colour, dark on the box's light ground.
  const japanese = await page.locator('.message-text').first().boundingBox();
  const english = await page.locator('.message-english').first().boundingBox();
  assert.ok(english.y >= japanese.y + japanese.height - 1, 'the English line is not under the text');
  const looks = (selector) =>
    page.locator(selector).first().evaluate((line) => {
      const style = getComputedStyle(line);
      const ground = getComputedStyle(line.closest('.message')).backgroundColor;
      return { size: style.fontSize, weight: style.fontWeight, color: style.color, ground };
    });
  const look = await looks('.message-text');
  assert.deepEqual(await looks('.message-english'), look);
  assert.ok(contrast(look.color, look.ground) >= 7, JSON.stringify(look));
  // Every Japanese glyph of the text comes from the page's own font, so it shows on a system
  // without a Japanese font too; its ASCII comes from the English line's font.
  await page.evaluate(() => document.fonts.ready);
  const cdp = await page.context().newCDPSession(page);
  const { root } = await cdp.send('DOM.getDocument');
  await cdp.send('CSS.enable');
  const fontsOf = async (selector) => {
    const { nodeId } = await cdp.send('DOM.querySelector', { nodeId: root.nodeId, selector });
    const { fonts } = await cdp.send('CSS.getPlatformFontsForNode', { nodeId });
    return fonts.map((font) => [font.familyName, font.isCustomFont, font.glyphCount]);
  };
  const englishFonts = await fontsOf('.message-english');
  assert.equal(englishFonts.length, 1, JSON.stringify(englishFonts));
  const ascii = [...text].filter((c) => c < '\x80').length;
  assert.deepEqual(
    (await fontsOf('.message-text')).sort(),
    [['sketch3d messages', true, text.length - ascii], [englishFonts[0][0], false, ascii]].sort(),
  );
  await waitFor('the start-up failure', async () =>
    /could not start \(exit code 1\)/.test(await page.locator('#status').textContent()),
  );
  assert.equal(await page.title(), 'sketch3d');
  await page.screenshot({ path: path.join(WORK, 'page-error.png') });
  assert.deepEqual(problems, []);
  await page.close();
});

// An opened document only shows: its Ctrl+S downloads nothing, its nine boxes of one text
// become one note with their count, the page says how far it has got, and Escape ends it
// while it plays (three million frames would take many minutes).
test('an opened document saves nothing, lists its boxes once and stops at Escape', {
  timeout: 60000,
}, async () => {
  const { page, problems } = await openPage();
  await waitFor('a blue screen', () => isBlueScreen(page));
  const lines = ['frames 2'];
  for (let i = 0; i < 3; ++i)
    lines.push('key down ctrl', 'key down s', 'frames 1', 'key up s', 'key up ctrl', 'frames 1');
  lines.push('move 230 241', 'frames 1', 'down left');
  for (let i = 0; i <= 16; ++i) {
    const angle = (2 * Math.PI * i) / 16;
    const x = 200 + Math.round(30 * Math.cos(angle));
    lines.push(`move ${x} ${241 + Math.round(30 * Math.sin(angle))}`, 'frames 1');
  }
  lines.push('up left', 'frames 1', 'move 200 241', 'frames 1', 'down right', 'frames 1');
  lines.push('up right', 'frames 1');
  for (let i = 0; i < 40; ++i) lines.push('key down m', 'frames 1', 'key up m', 'frames 1');
  lines.push('frames 1000000', 'frames 1000000', 'frames 1000000');
  const opened = path.join(WORK, 'long.txt');
  writeFileSync(opened, `${lines.join('\n')}\n`);
  const downloads = [];
  page.on('download', (download) => downloads.push(download));
  await page.locator('#open').setInputFiles(opened);
  await waitFor('the progress', async () =>
    /^Opening long\.txt: \d+%$/.test(await page.locator('#status').textContent()),
  );
  assert.match(await page.title(), /opening long\.txt: \d+%/);
  assert.equal(await page.locator('.message').count(), 0);
  await page.locator('#screen').focus();
  await page.keyboard.press('Escape');
  await waitFor('the end of the program', async () =>
    /has ended \(exit code 0\)/.test(await page.locator('#status').textContent()),
  );
  assert.equal(downloads.length, 0);
  assert.equal(await page.locator('.message').count(), 1);
  assert.match(await page.locator('.message strong').textContent(), /9 times/);
  assert.deepEqual(problems, []);
  await page.close();
});

// The contrast ratio of two CSS colours 'rgb(R, G, B)', as the WCAG defines it.
function contrast(...colours) {
  const [a, b] = colours.map((colour) => {
    const [r, g, bl] = colour.match(/\d+/g).slice(0, 3).map((v) => {
      const c = v / 255;
      return c <= 0.04045 ? c / 12.92 : ((c + 0.055) / 1.055) ** 2.4;
    });
    return 0.2126 * r + 0.7152 * g + 0.0722 * bl;
  });
  return (Math.max(a, b) + 0.05) / (Math.min(a, b) + 0.05);
}

// Where two images first differ, or null when they are the same.
function firstDifference(native, web) {
  if (native.width !== web.width || native.height !== web.height)
    return `size ${web.width} x ${web.height} instead of ${native.width} x ${native.height}`;
  for (let i = 0; i < native.data.length; ++i) {
    if (native.data[i] === web.data[i]) continue;
    const at = Math.floor(i / 4);
    const rgba = (data) => [...data.subarray(4 * at, 4 * at + 4)].join(',');
    const where = `(${at % native.width}, ${Math.floor(at / native.width)})`;
    return `pixel ${where} is ${rgba(web.data)}, natively ${rgba(native.data)}`;
  }
  return null;
}

// The log without the output folder, which differs between the two runs (screenshots, and the
// files an export writes).
const withoutFolder = (log) => log.replace(/: \S*\/([^/\s]+)$/gm, ': $1');

test(
  'every example script replays in the page exactly as natively',
  { timeout: 120000 },
  async () => {
    const { page, problems } = await openPage();
    const scripts = readdirSync(path.join(ROOT, 'examples')).filter((name) =>
      name.endsWith('.txt'),
    );
    assert.ok(scripts.length > 0, 'no example scripts');
    for (const script of scripts) {
      const name = script.slice(0, -4);
      const folder = path.join(WORK, 'native', name);
      rmSync(folder, { recursive: true, force: true });
      const nativeLog = execFileSync(
        REPLAY_TOOL,
        [path.join(ROOT, 'examples', script), '--out', folder],
        {
          encoding: 'utf8',
        },
      );
      const text = readFileSync(path.join(ROOT, 'examples', script), 'utf8');
      const web = await page.evaluate(async (text) => {
        const result = await window.sketch3d.replay(text);
        const base64 = (bytes) =>
          btoa(Array.from(bytes, (byte) => String.fromCharCode(byte)).join(''));
        return {
          ...result,
          screenshots: result.screenshots.map((s) => ({ name: s.name, png: base64(s.png) })),
        };
      }, text);
      assert.equal(web.exitCode, 0, `${script}: ${web.error}`);
      assert.equal(withoutFolder(web.log), withoutFolder(nativeLog), `${script}: the logs differ`);
      const nativeShots = readdirSync(folder)
        .filter((file) => file.endsWith('.png'))
        .map((file) => file.slice(0, -4));
      assert.deepEqual(
        web.screenshots.map((s) => s.name).sort(),
        nativeShots.sort(),
        `${script}: screenshots`,
      );
      for (const shot of web.screenshots) {
        const native = decodePng(readFileSync(path.join(folder, `${shot.name}.png`)));
        const difference = firstDifference(native, decodePng(Buffer.from(shot.png, 'base64')));
        assert.equal(difference, null, `${script}, ${shot.name}: ${difference}`);
      }
    }
    assert.deepEqual(problems, []);
    await page.close();
  },
);

// The figure's bodies joined into one solid: the union is solved in floating point, so the page's
// exports of examples/figure.txt, up to where it throws the figure away, must be the native
// tool's bytes, STL and GLB.
test('a figure of overlapping bodies exports as natively', { timeout: 120000 }, async () => {
  const { page, problems } = await openPage();
  const example = readFileSync(path.join(ROOT, 'examples/figure.txt'), 'utf8');
  const end = example.indexOf('# F12 throws');
  assert.ok(end > 0, 'examples/figure.txt no longer throws its figure away');
  const text = `${example.slice(0, end)}export figure.stl\nexport figure.glb\n`;
  const script = path.join(WORK, 'figure-export.txt');
  const folder = path.join(WORK, 'native', 'figure-export');
  writeFileSync(script, text);
  rmSync(folder, { recursive: true, force: true });
  execFileSync(REPLAY_TOOL, [script, '--out', folder], { stdio: 'ignore' });
  const web = await page.evaluate(async (text) => {
    const result = await window.sketch3d.replay(text);
    const base64 = (bytes) =>
      btoa(Array.from(bytes, (byte) => String.fromCharCode(byte)).join(''));
    const exports = {};
    for (const [name, bytes] of Object.entries(result.exports)) exports[name] = base64(bytes);
    return { exitCode: result.exitCode, error: result.error, exports };
  }, text);
  assert.equal(web.exitCode, 0, web.error);
  assert.deepEqual(Object.keys(web.exports).sort(), ['figure.glb', 'figure.stl']);
  for (const name of ['figure.stl', 'figure.glb']) {
    const native = readFileSync(path.join(folder, name));
    assert.ok(Buffer.from(web.exports[name], 'base64').equals(native), `${name} differs`);
  }
  // The joined solid, not the parts one node each: one mesh named for the figure.
  const glb = readFileSync(path.join(folder, 'figure.glb'));
  const gltf = JSON.parse(glb.subarray(20, 20 + glb.readUInt32LE(12)).toString('utf8'));
  assert.deepEqual(gltf.meshes.map((mesh) => mesh.name), ['sketch3d_figure']);
  assert.deepEqual(problems, []);
  await page.close();
});

// docs/web.png, which `make docs` makes with the same session, shows in its canvas exactly what
// the program draws now: after a change in what the program draws, this asks for `make docs`.
// (Only the canvas is compared: the rest of the page depends on the machine's fonts.)
test('the picture of the page in the docs is up to date', { timeout: 120000 }, async () => {
  const page = await browser.newPage({ viewport: DOCS_VIEWPORT });
  await page.goto(baseUrl);
  await waitFor('the program', async () => /fps = \d+/.test(await page.title()));
  await playDocsSession(page);
  const box = await page.locator('#screen').boundingBox();
  const canvas = await page.evaluate(() => {
    const screen = document.getElementById('screen');
    return Array.from(screen.getContext('2d').getImageData(0, 0, screen.width, screen.height).data);
  });
  const docs = decodePng(readFileSync(path.join(ROOT, 'docs/web.png')));
  assert.ok(Number.isInteger(box.x) && Number.isInteger(box.y), `canvas at ${box.x}, ${box.y}`);
  const crop = { width: CLIENT_WIDTH, height: 483, data: new Uint8Array(CLIENT_WIDTH * 483 * 4) };
  for (let y = 0; y < crop.height; ++y) {
    const from = ((box.y + y) * docs.width + box.x) * 4;
    crop.data.set(docs.data.subarray(from, from + CLIENT_WIDTH * 4), y * CLIENT_WIDTH * 4);
  }
  const live = { width: CLIENT_WIDTH, height: 483, data: Uint8Array.from(canvas) };
  const difference = firstDifference(live, crop);
  assert.equal(difference, null, `docs/web.png: ${difference}; run make docs`);
  await page.close();
});

// The canvas as an image record for firstDifference.
async function canvasImage(page) {
  const canvas = await page.evaluate(() => {
    const screen = document.getElementById('screen');
    const data = screen.getContext('2d').getImageData(0, 0, screen.width, screen.height);
    let text = '';
    for (const byte of data.data) text += String.fromCharCode(byte);
    return { width: data.width, height: data.height, data: btoa(text) };
  });
  return { ...canvas, data: Buffer.from(canvas.data, 'base64') };
}

// The animation controls: a body, Animate, a control point placed on it and another dragged
// while Record is on, Record again: the loop plays, Play/Pause stops it, Save downloads the
// loop as an animated GLB beside the other files, and Animate again shows the rest shape.
test('Animate, Record and Play/Pause pose and loop a body', { timeout: 120000 }, async () => {
  const { page, problems } = await openPage();
  const box = await page.locator('#screen').boundingBox();
  const move = (x, y) => page.mouse.move(box.x + x + 0.5, box.y + y + 0.5);
  const control = async (id) => {
    await page.locator(id).hover();
    await page.mouse.down();
    await nextFrames(page);
    await page.mouse.up();
    await nextFrames(page);
  };
  const click = async (x, y) => {
    await move(x, y);
    await nextFrames(page);
    await page.mouse.down();
    await nextFrames(page);
    await page.mouse.up();
    await nextFrames(page);
  };
  await waitFor('a blue screen', () => isBlueScreen(page));
  const corners = [
    [350, 150],
    [350, 330],
    [150, 330],
    [150, 150],
  ];
  let previous = corners.at(-1);
  await move(...previous);
  await nextFrames(page);
  await page.mouse.down();
  for (const corner of corners) {
    await move(...corner);
    const middle = [(previous[0] + corner[0]) >> 1, (previous[1] + corner[1]) >> 1];
    await waitFor(`the stroke to ${corner}`, async () => isBlack(await pixel(page, ...middle)));
    previous = corner;
  }
  await page.mouse.up();
  await move(250, 240);
  await nextFrames(page);
  await page.mouse.down({ button: 'right' });
  await waitFor('a lit red sheet', async () => isLitRed(await pixel(page, 250, 240)));
  await page.mouse.up({ button: 'right' });
  const sheet = await census(page);
  await control('#controls [data-key="73"]');
  await waitFor('the body', async () => (await census(page)).checksum !== sheet.checksum);
  await nextFrames(page);
  const rest = await canvasImage(page);

  // A point (a green disc) pinned low, and one high up dragged to the right while recording.
  await control('#animate');
  await click(250, 300);
  const green = (rgb) => rgb[0] < 40 && rgb[1] > 200 && rgb[2] < 40;
  await waitFor('the pinned point', async () => green(await pixel(page, 250, 300)));
  await click(250, 180);
  await control('#record');
  await move(250, 180);
  await nextFrames(page);
  await page.mouse.down();
  for (let x = 254; x <= 290; x += 4) {
    await move(x, 180);
    await nextFrames(page);
  }
  await page.mouse.up();
  await nextFrames(page);
  await control('#record');
  // Playing, the picture changes from frame to frame; paused, it stays.
  const playing = await canvasImage(page);
  await waitFor('the loop to move', async () =>
    firstDifference(await canvasImage(page), playing) !== null,
  );
  await control('#play');
  const paused = await canvasImage(page);
  await nextFrames(page);
  await nextFrames(page);
  assert.equal(firstDifference(await canvasImage(page), paused), null, 'the loop did not pause');

  const downloads = [];
  page.on('download', (download) => downloads.push(download));
  await page.locator('#save').click();
  await waitFor('the six files of the save', () => downloads.length >= 6);
  const names = downloads.map((download) => download.suggestedFilename());
  assert.ok(names.includes('sketch3d-001.animation.glb'), names.join(' '));
  const glb = readFileSync(await downloads[names.indexOf('sketch3d-001.animation.glb')].path());
  assert.equal(glb.toString('latin1', 0, 4), 'glTF');

  await control('#animate');
  await waitFor('the rest shape', async () =>
    firstDifference(await canvasImage(page), rest) === null,
  );
  assert.deepEqual(problems, []);
  await page.close();
});

// A square painted with the green swatch's pen, built, coloured yellow with a swatch while it is
// edited, saved and opened again: the stroke shows in the pen's colour and on the sheet, the
// swatch shows the pen chosen (also as the opened session chooses it), and the save downloads
// the OBJ's materials and the part's texture beside it.
test('Save downloads a numbered save, and Open plays it back', { timeout: 120000 }, async () => {
  const { page, problems } = await openPage();
  const box = await page.locator('#screen').boundingBox();
  const move = (x, y) => page.mouse.move(box.x + x + 0.5, box.y + y + 0.5);
  const swatch = (key) => page.locator(`#swatches [data-key="${48 + key}"]`);
  const chosen = async (key) => (await swatch(key).getAttribute('aria-pressed')) === 'true';
  await waitFor('a blue screen', () => isBlueScreen(page));
  // A square outline, each corner held until its edge is drawn, and a sheet built inside it.
  const corners = [
    [350, 150],
    [350, 330],
    [150, 330],
    [150, 150],
  ];
  let previous = corners.at(-1);
  await move(...previous);
  await nextFrames(page);
  await page.mouse.down();
  for (const corner of corners) {
    await move(...corner);
    const middle = [(previous[0] + corner[0]) >> 1, (previous[1] + corner[1]) >> 1];
    await waitFor(`the stroke to ${corner}`, async () => isBlack(await pixel(page, ...middle)));
    previous = corner;
  }
  await page.mouse.up();
  // The green pen: a stroke inside the square in the swatch's colour.
  await swatch(4).click();
  await waitFor('the green pen chosen', () => chosen(4));
  assert.ok(!(await chosen(1)), 'the black pen is still shown chosen');
  const penColour = (await swatch(4).evaluate((b) => getComputedStyle(b).backgroundColor))
    .match(/\d+/g)
    .map(Number);
  assert.ok(penColour[1] > 2 * penColour[0] && penColour[1] > 2 * penColour[2], `${penColour}`);
  await move(200, 200);
  await nextFrames(page);
  await page.mouse.down();
  await nextFrames(page);
  await move(200, 280);
  await waitFor('the green stroke', async () => {
    const shown = await pixel(page, 200, 240);
    return shown.every((v, c) => v === penColour[c]);
  });
  await page.mouse.up();
  await move(250, 240);
  await nextFrames(page);
  await page.mouse.down({ button: 'right' });
  await waitFor('a lit red sheet', async () => isLitRed(await pixel(page, 250, 240)));
  await page.mouse.up({ button: 'right' });
  await nextFrames(page);
  // Painted on the sheet where it was drawn: a lit green pixel by the stroke.
  const litGreen = ([r, g, b]) => g >= 48 && g > 2 * r && g > 2 * b;
  const nearStroke = async () => {
    for (let dx = -2; dx <= 2; ++dx) if (litGreen(await pixel(page, 200 + dx, 240))) return true;
    return false;
  };
  assert.ok(await nearStroke(), 'no green on the sheet by the stroke');
  // In editing mode the yellow swatch colours the sheet and leaves the pen as it was.
  await swatch(3).click();
  await waitFor('a lit yellow sheet', async () => {
    const [r, g, b] = await pixel(page, 300, 240);
    return r >= 48 && g >= r / 2 && 4 * b <= r;
  });
  assert.ok(await chosen(4), 'the pen changed in editing mode');
  assert.ok(await nearStroke(), 'the colour covered the painting');
  await nextFrames(page);

  const downloads = [];
  page.on('download', (download) => downloads.push(download));
  const shown = await canvasImage(page);
  await page.locator('#save').click();
  await waitFor('the seven files of the save', () => downloads.length >= 7);
  const files = {};
  for (const download of downloads)
    files[download.suggestedFilename()] = readFileSync(await download.path());
  assert.deepEqual(Object.keys(files).sort(), [
    'sketch3d-001.glb',
    'sketch3d-001.mtl',
    'sketch3d-001.obj',
    'sketch3d-001.part-1.png',
    'sketch3d-001.png',
    'sketch3d-001.stl',
    'sketch3d-001.txt',
  ]);
  assert.equal(firstDifference(shown, decodePng(files['sketch3d-001.png'])), null);
  assert.match(await page.title(), /saved sketch3d-001/);
  // The OBJ names its materials, which name the texture; the texture holds the stroke's green
  // over the part's yellow.
  assert.match(files['sketch3d-001.obj'].toString(), /^mtllib sketch3d-001\.mtl$/m);
  assert.match(files['sketch3d-001.mtl'].toString(), /^map_Kd sketch3d-001\.part-1\.png$/m);
  const texture = decodePng(files['sketch3d-001.part-1.png']);
  const texels = { green: 0, yellow: 0 };
  for (let i = 0; i < texture.data.length; i += 4) {
    const [r, g, b] = texture.data.subarray(i, i + 3);
    if (g > 2 * r && g > 2 * b) texels.green++;
    else if (r > 200 && g > 200 && b < 50) texels.yellow++;
  }
  assert.ok(texels.green > 0 && texels.yellow > texels.green, JSON.stringify(texels));

  // Thrown away, then opened again: the canvas shows the saved picture, and the program goes on.
  await page.locator('#screen').focus();
  await page.keyboard.down('F12');
  await waitFor('F12 to bring the blue screen back', () => isBlueScreen(page));
  await page.keyboard.up('F12');
  // The black pen again; the opened session starts with it and chooses green as it did.
  await swatch(1).click();
  await waitFor('the black pen chosen', () => chosen(1));
  const saved = path.join(WORK, 'sketch3d-001.txt');
  writeFileSync(saved, files['sketch3d-001.txt']);
  await page.locator('#open').setInputFiles(saved);
  const png = decodePng(files['sketch3d-001.png']);
  await waitFor(
    'the opened picture',
    async () => firstDifference(await canvasImage(page), png) === null,
  );
  assert.ok(await chosen(4), 'the opened session\'s pen is not shown');
  await page.locator('#screen').focus();
  await page.keyboard.down('F12');
  await waitFor('F12 after opening', () => isBlueScreen(page));
  await page.keyboard.up('F12');
  assert.deepEqual(problems, []);
  await page.close();
});

// Open image with a small PNG (this build decodes PNG in the browser and hands the program a
// BMP): a 16 x 8 picture, red above and green below, fitted to the window's width (514 x 257,
// centred) and shown faded toward the blue background under the drawing, the right way up; the
// window above and below it stays blue, and no problem is reported.
test('Open image shows the picture faded under the drawing', { timeout: 60000 }, async () => {
  const { page, problems } = await openPage();
  await waitFor('a blue screen', () => isBlueScreen(page));
  const image = new PNG({ width: 16, height: 8 });
  for (let i = 0; i < 16 * 8; ++i) {
    const top = i < 16 * 4;
    image.data.set([top ? 255 : 0, top ? 0 : 255, 0, 255], 4 * i);
  }
  await page.locator('#open-image').setInputFiles({
    name: 'halves.png',
    mimeType: 'image/png',
    buffer: PNG.sync.write(image),
  });
  const faded = (channel) => channel >= 96 && channel <= 160;
  await waitFor('the picture under the drawing', async () => {
    const [upper, lower] = [await pixel(page, 257, 180), await pixel(page, 257, 300)];
    return faded(upper[0]) && upper[1] === 0 && faded(upper[2]) &&
      lower[0] === 0 && faded(lower[1]) && faded(lower[2]);
  });
  assert.ok(isBlue(await pixel(page, 257, 100)), 'blue above the picture');
  assert.ok(isBlue(await pixel(page, 257, 380)), 'blue below the picture');
  assert.equal(await page.locator('.message').count(), 0, 'a message was shown');
  assert.deepEqual(problems, []);
  await page.close();
});
