// make bench-web: the shell's frame of the demonstration's sheet in relief in the WebAssembly
// build (build/web/bench-site/, timed in the page with performance.now()) against the native
// frame tool, in alternating rounds so that drift in the machine's speed falls on both alike.
// Prints a table of the rounds and the median ratio, and fails when the two builds draw
// different pixels.
//
// Run by tools/bench-web.sh, which builds what it needs and gives the paths in
// SKETCH3D_BENCH_SITE, SKETCH3D_BENCH_FRAME and SKETCH3D_WEB_TEST_MODULES.
import { execFileSync } from 'node:child_process';
import { createRequire } from 'node:module';
import path from 'node:path';

import { startServer } from './static-server.mjs';

const SITE = path.resolve(process.env.SKETCH3D_BENCH_SITE);
const FRAME_TOOL = path.resolve(process.env.SKETCH3D_BENCH_FRAME);
const MODULES = path.resolve(process.env.SKETCH3D_WEB_TEST_MODULES);
const require = createRequire(path.join(MODULES, 'package.json'));
const { chromium } = require('playwright-core');

const ROUNDS = Number(process.env.BENCH_WEB_ROUNDS ?? 9);
const RUNS = Number(process.env.BENCH_WEB_RUNS ?? 40);


const median = (values) => {
  const sorted = [...values].sort((a, b) => a - b);
  const middle = sorted.length >> 1;
  return sorted.length % 2 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
};

const { child: server, url } = await startServer(SITE);
const browser = await chromium.launch({
  executablePath: '/usr/bin/chromium',
  args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking', '--no-first-run'],
});
let failed = false;
try {
  const page = await browser.newPage();
  await page.goto(url);
  await page.evaluate(() => window.benchReady);
  console.log(`${await browser.version()}; ${ROUNDS} rounds of ${RUNS} runs each\n`);
  console.log('| round | native ms/frame | WebAssembly ms/frame | WebAssembly / native |');
  console.log('|---|---|---|---|');
  const natives = [];
  const webs = [];
  const ratios = [];
  for (let round = 1; round <= ROUNDS; ++round) {
    // Alternate which goes first, so that neither always follows the other.
    const measureNative = () =>
      JSON.parse(execFileSync(FRAME_TOOL, [String(RUNS)], { encoding: 'utf8' }));
    const measureWeb = () => page.evaluate((runs) => window.benchRuns(runs), RUNS);
    let native;
    let web;
    if (round % 2) {
      native = measureNative();
      web = await measureWeb();
    } else {
      web = await measureWeb();
      native = measureNative();
    }
    if (web.checksum !== native.checksum) {
      console.error(`round ${round}: the pages differ (${web.checksum}, ${native.checksum})`);
      failed = true;
    }
    natives.push(native.median_ms);
    webs.push(web.median_ms);
    ratios.push(web.median_ms / native.median_ms);
    console.log(
      `| ${round} | ${native.median_ms.toFixed(3)} | ${web.median_ms.toFixed(3)} | ` +
        `${(web.median_ms / native.median_ms).toFixed(2)} |`,
    );
  }
  const ratio = median(ratios);
  console.log(
    `| median | ${median(natives).toFixed(3)} | ${median(webs).toFixed(3)} | ` +
      `${ratio.toFixed(2)} (target <= 2: ${ratio <= 2 ? 'met' : 'MISSED'}) |`,
  );
} finally {
  await browser.close();
  server.kill();
}
process.exit(failed ? 1 : 0);
