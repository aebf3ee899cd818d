// The single file, bootgraft.html, driven by keyboard in every engine, as a double-click opens it
// (file://, no flag): Firefox and WebKit patch a CHD as a copy and extract; Chromium takes a drop
// of the image and the ip file as handles and extracts through them. Chromium patches in place
// only once its permission prompt is answered, which nothing can answer from here: that path is
// driven over HTTP instead, the same file served, with the origin-private file system standing in
// for the pickers' folder. The native command's results on the same files are the oracle; no
// request leaves the file or the origin. Each run keeps its screenshots, light and dark, at 1024
// and 360 pixels wide.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { createHash, randomBytes } from 'node:crypto';
import { copyFileSync, mkdirSync, mkdtempSync, readFileSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { test } from 'node:test';
import { engines, open } from './browser.mjs';

const here = (path) => new URL(path, import.meta.url).pathname;
const site = process.env.BOOTGRAFT_SITE ?? here('../../build/web/');
const tool = process.env.BOOTGRAFT ?? here('../../build/release/bootgraft');
const at = ((dir) => (name) => join(dir, name))(mkdtempSync(join(tmpdir(), 'bootgraft-page-')));
const sha = (bytes) => createHash('sha256').update(bytes).digest('hex');
// An ISO whose System Area holds old.bin, its CHD, and each as the command patches it with ip.bin.
mkdirSync(at('volume'));
writeFileSync(at('volume/noise'), randomBytes(1 << 20));
for (const name of ['old.bin', 'ip.bin']) writeFileSync(at(name), randomBytes(32768));
execFileSync('genisoimage', ['-quiet', '-o', at('disc.iso'), at('volume')]);
execFileSync(tool, [at('disc.iso'), at('old.bin')]);
execFileSync('chdman', ['createcd', '-i', at('disc.iso'), '-o', at('disc.chd')], { stdio: 'ignore' });
for (const name of ['disc.iso', 'disc.chd']) {
  copyFileSync(at(name), at(`patched-${name}`));
  execFileSync(tool, [at(`patched-${name}`), at('ip.bin')]);
}
const [old, ip] = [readFileSync(at('old.bin')), readFileSync(at('ip.bin'))];
const differ = old.filter((b, i) => b !== ip[i]).length;

// In the page: the engine loaded, and every object URL's Blob kept, to be read back.
async function watch() {
  await globalThis.bootgraft.ready();
  const made = new Map();
  const create = URL.createObjectURL;
  URL.createObjectURL = (blob) => made.set(create(blob), blob) && [...made.keys()].pop();
  // The progress label's texts, as the page shows them.
  const seen = new Set();
  new MutationObserver(() => seen.add(document.getElementById('progress-label').textContent))
    .observe(document.getElementById('working'), { subtree: true, childList: true, characterData: true, attributes: true });
  Object.assign(window, { made, seen });
}
// The result, once there is one and no run is under way or waiting, and the SHA-256 of each
// download it offers, by the link's text.
async function result() {
  while (!document.querySelector('#result p') || !document.getElementById('working').hidden ||
    (await navigator.locks.query()).held.length) await new Promise((wait) => setTimeout(wait, 50));
  const hex = async (blob) => [...new Uint8Array(await crypto.subtle.digest('SHA-256', await blob.arrayBuffer()))]
    .map((b) => b.toString(16).padStart(2, '0')).join('');
  const links = [...document.querySelectorAll('#result a')];
  return { text: document.getElementById('result').innerText.replace(/\s+/g, ' ').trim(), seen: [...window.seen],
    files: Object.fromEntries(await Promise.all(links.map(async (a) => [a.textContent, await hex(window.made.get(a.href))]))) };
}
// Chromium's folder for the pickers (an origin-private one, with a note listed before the images)
// and its file picker's file, made before the page runs.
function pickers(images) {
  const folder = (async () => {
    const dir = await (await navigator.storage.getDirectory()).getDirectoryHandle('disc', { create: true });
    for (const [name, base64] of Object.entries({ ...images, 'about.txt': 'YQ==' })) {
      const out = await (await dir.getFileHandle(name, { create: true })).createWritable();
      await out.write(Uint8Array.from(atob(base64), (c) => c.charCodeAt(0))).then(() => out.close());
    }
    return dir;
  })();
  window.showDirectoryPicker = () => folder;
  window.showOpenFilePicker = async () => [await (await folder).getFileHandle('disc.iso')];
}
async function inPlace(name) {
  const dir = await (await navigator.storage.getDirectory()).getDirectoryHandle('disc');
  const file = await (await dir.getFileHandle(name)).getFile();
  return [...new Uint8Array(await crypto.subtle.digest('SHA-256', await file.arrayBuffer()))]
    .map((b) => b.toString(16).padStart(2, '0')).join('');
}
// Chromium's drop of real files, as the system's file manager makes one, on an element.
async function drop(page, id, ...files) {
  const box = await page.page.$eval(`#${id}`, (e) => (e.scrollIntoView(), JSON.parse(JSON.stringify(e.getBoundingClientRect()))));
  const cdp = await page.page.createCDPSession();
  const data = { items: [], files: files.map(at), dragOperationsMask: 1 };
  for (const type of ['dragEnter', 'dragOver', 'drop']) await cdp.send('Input.dispatchDragEvent', { type, x: box.x + 9, y: box.y + 9, data });
}


// A step is a key (Enter, Shift+Tab), where the next Tab must land (an id or a link's text), or one
// of these, by its first word.
const previewed = `The patch changes ${differ} of the 32768 bytes of the System Area.`;
const before = { 'Download ip-before.bin, the System Area as it was': 'old.bin' };
const act = {
  upload: async (page, ...files) => page.upload(await page.run(async () => document.activeElement.id), ...files.map(at)),
  drop,
  // An element's text once it starts so, or after ten seconds as it is.
  text: async (page, id, text) => assert.ok((await page.run(async (of, start) => {
    for (let i = 0; i < 200 && !document.getElementById(of).textContent.startsWith(start); i++) await new Promise((wait) => setTimeout(wait, 50));
    return document.getElementById(of).textContent;
  }, id, text)).startsWith(text), `${id}: ${text}`),
  result: async (page, pattern, files) => {
    const got = await page.run(result);
    assert.match(got.text, pattern);
    assert.deepEqual(got.files, Object.fromEntries(Object.entries(files).map(([link, file]) => [link, sha(readFileSync(at(file)))])));
  },
  'in place': async (page, name) => assert.equal(await page.run(inPlace, name), sha(readFileSync(at(`patched-${name}`)))),
  seen: async (page, ...patterns) => {
    const { seen } = await page.run(result);
    for (const pattern of patterns) assert.ok(seen.some((text) => pattern.test(text)), `${pattern} in ${seen}`);
  },
};
const runs = {
  // Files chosen in the field, the CHD taken for the likeliest image, its copy patched and read back.
  copies: ['files', ['upload', 'disc.iso', 'disc.chd'], 'image', 'ip', ['upload', 'ip.bin'], ['text', 'preview', previewed], 'patch',
    'Enter', ['result', /^Patched copy ready: the files you chose are unchanged; save the copy below\. sector size:2048 The image stores 2048-byte sectors; the ip file is written into the first 16\./,
      { 'Download the patched disc.chd': 'patched-disc.chd', ...before }],
    'extract', 'Download the patched disc.chd', 'Download ip-before.bin, the System Area as it was', 'Shift+Tab', 'Shift+Tab', 'Enter',
    ['result', /^Extracted: download ip.bin below\. sector size:2048 The image stores 2048-byte sectors; ip.bin holds the data of the first 16\./,
      { 'Download ip.bin': 'old.bin' }], 'Download ip.bin'],
  // Real files dropped, taken as handles, compared and read back through them.
  dropped: [['drop', 'image-step', 'disc.iso'], ['drop', 'ip-step', 'ip.bin'], ['text', 'chosen', 'Dropped: 1 file'],
    ['text', 'preview', previewed], 'pick-folder', 'pick-file', 'image', 'ip', 'patch', 'extract', 'Enter',
    ['result', /^Extracted: download ip.bin below\. sector size:2048 /, { 'Download ip.bin': 'old.bin' }]],
  // In place: the folder's CHD, its progress shown; then one file chosen, and patched by two quick
  // presses that must start one run.
  'in place': ['pick-folder', 'Enter', ['text', 'chosen', 'Folder “disc”: 3 files'], 'pick-file', 'image', 'ip', ['upload', 'ip.bin'], ['text', 'preview', previewed], 'patch',
    'Enter', ['result', /^Patched: disc.chd now holds the ip file\. sector size:2048 /, before], ['in place', 'disc.chd'],
    ['seen', /^Recomputing the CHD's hashes… \d+%$/, /^Writing… \d+%$/], ['text', 'preview', 'The ip file is what the image holds already'],
    'extract', 'Download ip-before.bin, the System Area as it was', 'Shift+Tab', 'Shift+Tab', 'Shift+Tab', 'Shift+Tab', 'Shift+Tab',
    'Enter', ['text', 'chosen', 'Chosen: 1 file'], 'image', 'ip', 'patch', 'Enter', 'Enter',
    ['result', /^Patched: disc.iso now holds the ip file\. sector size:2048 The image stores 2048-byte sectors; the ip file is written into the first 16\./,
      before], ['in place', 'disc.iso']],
};
// Where each engine opens the page for which run.
const plans = { chromium: [['file', 'dropped'], ['http', 'in place']], firefox: [['file', 'copies']], webkit: [['file', 'copies']] };
const images = Object.fromEntries(['disc.iso', 'disc.chd'].map((name) => [name, readFileSync(at(name)).toString('base64')]));

for (const engine of engines) {
  for (const dark of [false, true]) {
    test(`the single file, by keyboard, in ${engine}${dark ? ', dark' : ''}`, async () => {
      const web = await open(site, engine, { dark });
      try {
        for (const [where, run] of plans[engine]) {
          const page = await web.newPage();
          if (run === 'in place') await page.page.evaluateOnNewDocument(pickers, images);
          await page.goto(where === 'file' ? `file://${join(site, 'bootgraft.html')}` : `${web.origin}/bootgraft.html`);
          await page.run(watch);
          for (const step of runs[run]) {
            if (Array.isArray(step)) await act[step[0]](page, ...step.slice(1));
            else if (step !== 'Enter' && step !== 'Shift+Tab') {
              await page.key('Tab');
              assert.equal(await page.run(async () => document.activeElement.id || document.activeElement.textContent), step, run);
            } else await page.key(step);
          }
          for (const width of [1024, 360]) await page.shot(join(site, `page-${engine}-${run.replace(' ', '-')}${dark ? '-dark' : ''}-${width}.png`), width);
        }
        assert.deepEqual(web.foreign(), []);
      } finally {
        await web.close();
      }
    });
  }
}
