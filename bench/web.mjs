// bench/web.sh's browser side: each image put in the origin-private file system of headless
// Chromium and patched through the module (a new ip each run, the first run, which loads the
// module, not counted), then patched as often by the native command; medians in milliseconds,
// and the gzip size of what a browser fetches for the module.
// usage: node bench/web.mjs SITE BOOTGRAFT  (SITE/bench-files holds disc.iso and disc.chd)
import { execFileSync } from 'node:child_process';
import { randomBytes } from 'node:crypto';
import { readFileSync, truncateSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { gzipSync } from 'node:zlib';
import { open } from '../tests/web/browser.mjs';

const [site, tool] = process.argv.slice(2);
const files = join(site, 'bench-files');
const median = (times) => times.sort((a, b) => a - b)[times.length >> 1];
// name, source, length to give the copy (a 700 MB image: the ISO then zeros), runs.
const images = [['disc.iso', 'disc.iso', 0, 51], ['big.iso', 'disc.iso', 341796 * 2048, 5],
  ['disc.chd', 'disc.chd', 0, 3]];

async function inBrowser(name, source, length, runs) {
  const { patch } = await import('/bootgraft.mjs');
  const folder = await (await navigator.storage.getDirectory()).getDirectoryHandle(name, { create: true });
  const out = await (await folder.getFileHandle(name, { create: true })).createWritable();
  await (await fetch(`bench-files/${source}`)).body.pipeTo(out, { preventClose: true });
  if (length) await out.truncate(length);
  await out.close();
  const times = [];
  const seen = new Set();
  for (let i = 0; i <= runs; i++) {
    const start = performance.now();
    const result = await patch(folder, name, crypto.getRandomValues(new Uint8Array(32768)),
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
  return times;
}

const web = await open(site);
try {
  const page = await web.newPage();
  await page.goto(`${web.origin}/page.css`);  // a document of the site's origin
  console.log('image        module ms  native ms  ratio  progress');
  for (const [name, source, length, runs] of images) {
    const { times, progress } = await page.evaluate(inBrowser, name, source, length, runs);
    const [module, command] = [median(times), median(native(name, source, length, runs))];
    console.log(`${name.padEnd(12)} ${module.toFixed(1).padStart(9)} ${command.toFixed(1).padStart(10)}` +
      ` ${(module / command).toFixed(2).padStart(6)}  ${progress.join(', ')}`);
  }
  if (web.foreign().length) throw new Error(`requests off the origin: ${web.foreign()}`);
} finally {
  await web.close();
}
const fetched = ['bootgraft.mjs', 'worker.mjs', 'bootgraft-engine.mjs', 'bootgraft-engine.wasm'];
const gzip = fetched.reduce((sum, file) => sum + gzipSync(readFileSync(join(site, file)), { level: 9 }).length, 0);
console.log(`gzip -9 of ${fetched.join(' + ')}: ${(gzip / 1024).toFixed(0)} KiB`);
