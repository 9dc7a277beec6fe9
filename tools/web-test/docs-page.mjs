// The picture of the page in the docs (docs/web.png): the page in headless Chromium at 1100 x
// 780, after the outline of examples/inflate.txt was drawn with the mouse, painted inside with
// two waves of the yellow and cyan swatches' pens, built, inflated with the Inflate control,
// turned a little and shaded glossy. The frame rate is hidden, since it
// differs from run to run; everything else is as a user sees it.
//
//   node tools/web-test/docs-page.mjs SITE OUT.png   (`make docs` runs it)
//
// The session is also exported for the browser test, which checks that the picture's canvas is
// what the program draws now.
import { readFileSync } from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const ROOT = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
export const DOCS_VIEWPORT = { width: 1100, height: 780 };
const TIMEOUT_MS = 20000;

// The stroke of examples/inflate.txt: its first position and every move while the left button
// is down.
function exampleOutline() {
  const points = [];
  let drawing = false;
  let last = null;
  for (const line of readFileSync(path.join(ROOT, 'examples/inflate.txt'), 'utf8').split('\n')) {
    const words = line.trim().split(/\s+/);
    if (words[0] === 'move') last = [Number(words[1]), Number(words[2])];
    if (words[0] === 'down' && words[1] === 'left') {
      drawing = true;
      points.push(last);
    } else if (words[0] === 'up' && words[1] === 'left') break;
    else if (drawing && words[0] === 'move') points.push(last);
  }
  return points;
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

function canvasSum(page) {
  return page.evaluate(() => {
    const canvas = document.getElementById('screen');
    const data = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
    let sum = 0;
    for (let i = 0; i < data.length; ++i) sum = (Math.imul(sum, 31) + data[i]) | 0;
    return sum;
  });
}

async function changes(page, what, act) {
  const before = await canvasSum(page);
  await act();
  await waitFor(what, async () => (await canvasSum(page)) !== before);
}

// Plays the session on an opened page (the program running, the canvas shown one CSS pixel a
// picture pixel); each step waits until a frame has shown it, so the pixels do not depend on
// the frame timing.
export async function playDocsSession(page) {
  const box = await page.locator('#screen').boundingBox();
  const move = (x, y) => page.mouse.move(box.x + x + 0.5, box.y + y + 0.5);
  // Whether the pixel at (x, y) or one beside it is `colour` ([r, g, b]).
  const shows = ([x, y], colour) =>
    page.evaluate(
      ([x, y, colour]) => {
        const context = document.getElementById('screen').getContext('2d');
        for (const [dx, dy] of [[0, 0], [1, 0], [-1, 0], [0, 1], [0, -1]]) {
          const [r, g, b] = context.getImageData(x + dx, y + dy, 1, 1).data;
          if (r === colour[0] && g === colour[1] && b === colour[2]) return true;
        }
        return false;
      },
      [x, y, colour],
    );
  // A stroke through `points` in `colour`, each segment held until a frame has drawn it.
  const stroke = async (points, colour) => {
    await move(...points[0]);
    await page.waitForTimeout(100);
    await page.mouse.down();
    for (let i = 1; i < points.length; ++i) {
      await move(...points[i]);
      const middle = points[i].map((v, k) => Math.floor((v + points[i - 1][k]) / 2));
      await waitFor(`the stroke to ${points[i]}`, () => shows(middle, colour));
    }
    await page.mouse.up();
    await page.waitForTimeout(100);
  };
  // A swatch pressed: the colour its pen draws, once the program has chosen it.
  const pen = async (key) => {
    const swatch = page.locator(`#swatches [data-key="${48 + key}"]`);
    await swatch.click();
    await waitFor(`pen ${key}`, async () => (await swatch.getAttribute('aria-pressed')) === 'true');
    const colour = await swatch.evaluate((b) => getComputedStyle(b).backgroundColor);
    return colour.match(/\d+/g).map(Number);
  };
  await stroke(exampleOutline(), [0, 0, 0]);
  const wave = (y, sign) => [160, 208, 257, 306, 354].map((x, i) => [x, y + sign * (i % 2) * 16]);
  await stroke(wave(214, -1), await pen(3));
  await stroke(wave(256, 1), await pen(5));
  await move(257, 241);
  await page.waitForTimeout(100);
  await changes(page, 'the sheet', () => page.mouse.down({ button: 'right' }));
  await page.mouse.up({ button: 'right' });
  await page.waitForTimeout(100);
  const hold = async (selector, what) => {
    await page.locator(selector).hover();
    await changes(page, what, () => page.mouse.down());
    await page.mouse.up();
    await page.waitForTimeout(100);
  };
  await hold('#controls [data-key="73"]', 'the body');
  // A turn of 60 picture pixels down and 90 across, in one move between two frames.
  await move(200, 200);
  await page.waitForTimeout(100);
  await page.mouse.down({ button: 'right' });
  await page.waitForTimeout(100);
  await changes(page, 'the turn', () => move(290, 260));
  await page.waitForTimeout(100);
  await page.mouse.up({ button: 'right' });
  await hold('#controls [data-key="113"]', 'the glossy shading');
  await page.locator('#fps').evaluate((rate) => {
    rate.style.visibility = 'hidden';
  });
  await page.mouse.move(0, DOCS_VIEWPORT.height - 1);
  await page.waitForTimeout(200);
}

async function main([site, out]) {
  const { createRequire } = await import('node:module');
  const { startServer } = await import('./static-server.mjs');
  const modules = process.env.SKETCH3D_WEB_TEST_MODULES ?? path.join(ROOT, 'build/web-test');
  const { chromium } = createRequire(path.join(modules, 'package.json'))('playwright-core');
  const { child, url } = await startServer(path.resolve(site));
  const browser = await chromium.launch({
    executablePath: '/usr/bin/chromium',
    args: ['--no-sandbox', '--disable-gpu', '--no-first-run'],
  });
  try {
    const page = await browser.newPage({ viewport: DOCS_VIEWPORT });
    await page.goto(url);
    await waitFor('the program', async () => /fps = \d+/.test(await page.title()));
    await playDocsSession(page);
    await page.screenshot({ path: out });
    console.log(out);
  } finally {
    await browser.close();
    child.kill();
  }
}

if (process.argv[1] === fileURLToPath(import.meta.url)) {
  main(process.argv.slice(2)).catch((error) => {
    console.error(`docs-page: ${error.message}`);
    process.exit(1);
  });
}
