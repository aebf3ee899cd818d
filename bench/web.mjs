// bench/web.sh's browser side, every engine beside the native command in one table: the single
// file's size; the time from opening it from disk to its engine's ready (median of 9 loads after
// one to warm up); then each image patched through the module over HTTP (a new ip each run, after
// a first run that loads the engine), in place in Chromium's origin-private file system and as
// copies of Files in Firefox and WebKit, as their users' pages do, and the CHD as copies in
// Chromium too, against the native command on the same file; and the gzip size of what the
// folder site fetches.
// usage: node bench/web.mjs SITE BOOTGRAFT  (SITE/bench-files holds disc.iso and disc.chd)
import { execFileSync } from 'node:child_process';
import { randomBytes } from 'node:crypto';
import { readFileSync, statSync, truncateSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { gzipSync } from 'node:zlib';
import { engines, open } from '../tests/web/browser.mjs';

const [site, tool] = process.argv.slice(2);
const files = join(site, 'bench-files');
const median = (times) => times.sort((a, b) => a - b)[times.length >> 1];
// row, name, source, length to give the copy (a 700 MB image: the ISO then zeros), runs, and
// whether as copies in Chromium too (where the others always make copies).
const images = [['disc.iso', 'disc.iso', 'disc.iso', 0, 51], ['big.iso', 'big.iso', 'disc.iso', 341796 * 2048, 5],
  ['disc.chd', 'disc.chd', 'disc.chd', 0, 3], ['disc.chd as copies', 'disc.chd', 'disc.chd', 0, 3, true]];

async function ready() {
  await globalThis.bootgraft.ready();
  return performance.now();
}

async function inBrowser(name, source, length, runs, copies) {
  const { patch } = await import('/bootgraft.mjs');
  let blob = await (await fetch(`bench-files/${source}`)).blob();
  if (length) blob = new Blob([blob, new Uint8Array(length - blob.size)]);
  const folder = copies ? null : await (await navigator.storage.getDirectory()).getDirectoryHandle(name, { create: true });
  if (folder) {
    const out = await (await folder.getFileHandle(name, { create: true })).createWritable();
    await out.write(blob).then(() => out.close());
  }
  const times = [];
  const seen = new Set();
  for (let i = 0; i <= runs; i++) {
    const start = performance.now();
    const result = await patch(folder ?? [new File([blob], name)], name, crypto.getRandomValues(new Uint8Array(32768)),
      { onProgress: ({ what }) => seen.add(what) });
    if (result.status !== 0) throw new Error(`${name}: ${result.lines.join(' ')}`);
    if (i) times.push(performance.now() - start);
  }
  return { times, progress: [...seen] };
}

function native(name, source, length, runs) {
  const image = join(files, `native-${name}`);
  writeFileSync(image, readFileSync(join(files, source)));
  if (length) truncateSync(image, length);
  const times = [];
  for (let i = 0; i < runs; i++) {
    writeFileSync(join(files, 'ip.bin'), randomBytes(32768));
    const start = performance.now();
    execFileSync(tool, [image, join(files, 'ip.bin')]);
    times.push(performance.now() - start);
  }
  return median(times);
}

const rows = { 'ready from disk (ms)': {} };
for (const [row] of images) rows[`${row} (ms)`] = {};
for (const engine of engines) {
  const web = await open(site, engine);
  try {
    const page = await web.newPage();
    const loads = [];
    for (let i = 0; i <= 9; i++) {
      await page.goto(`file://${join(site, 'bootgraft.html')}`);
      if (i) loads.push(await page.run(ready));
    }
    rows['ready from disk (ms)'][engine] = median(loads);
    await page.goto(`${web.origin}/page.css`);  // a document of the site's origin
    for (const [row, name, source, length, runs, copies] of images) {
      const { times, progress } = await page.run(inBrowser, name, source, length, runs, copies || engine !== 'chromium');
      rows[`${row} (ms)`][engine] = median(times);
      console.error(`${engine} ${row}: ${times.map((t) => t.toFixed(0)).join(' ')} ms; progress: ${progress.join(', ')}`);
    }
    if (web.foreign().length) throw new Error(`requests off the origin: ${web.foreign()}`);
  } finally {
    await web.close();
  }
}
for (const [row, name, source, length, runs] of images) rows[`${row} (ms)`].command = native(name, source, length, runs);

console.log(`bootgraft.html: ${(statSync(join(site, 'bootgraft.html')).size / 1024).toFixed(0)} KiB`);
const columns = [...engines, 'command'];
console.log(['', ...columns].map((c, i) => (i ? c.padStart(10) : c.padEnd(26))).join(''));
for (const [row, values] of Object.entries(rows)) {
  const cells = columns.map((c) => (values[c] === undefined ? '' : values[c].toFixed(1)).padStart(10));
  const ratios = engines.filter((e) => values.command).map((e) => `${e} ${(values[e] / values.command).toFixed(2)}`);
  console.log(`${row.padEnd(26)}${cells.join('')}${ratios.length ? `   ÷ command: ${ratios.join(', ')}` : ''}`);
}
const fetched = ['bootgraft.mjs', 'worker.js', 'bootgraft-engine.js', 'bootgraft-engine.wasm'];
const gzip = fetched.reduce((sum, file) => sum + gzipSync(readFileSync(join(site, file)), { level: 9 }).length, 0);
console.log(`gzip -9 of ${fetched.join(' + ')}: ${(gzip / 1024).toFixed(0)} KiB`);
