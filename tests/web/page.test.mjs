// The single file, bootgraft.html, driven by keyboard in every engine, as a double-click opens it
// (file://, no flag): Firefox and WebKit patch a CHD as a copy and extract; Chromium takes drops of
// real files and folders as handles, compares and extracts through them. Chromium patches in place
// only once its permission prompt is answered, which nothing can answer from here: that path is
// driven over HTTP instead, the same file served, with the origin-private file system standing in
// for the pickers' folder. The native command's results on the same files are the oracle; no
// request leaves the file or the origin. Each run keeps its screenshots, light and dark, at 1024
// and 360 pixels wide (447 in WebKit, whose MiniBrowser window is no narrower).
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { createHash, randomBytes } from 'node:crypto';
import { copyFileSync, mkdirSync, mkdtempSync, readFileSync, truncateSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { test } from 'node:test';
import { engines, open } from './browser.mjs';

const here = (path) => new URL(path, import.meta.url).pathname;
const site = process.env.BOOTGRAFT_SITE ?? here('../../build/web/');
const tool = process.env.BOOTGRAFT ?? here('../../build/release/bootgraft');
const at = ((dir) => (name) => join(dir, name))(mkdtempSync(join(tmpdir(), 'bootgraft-page-')));
const sha = (bytes) => createHash('sha256').update(bytes).digest('hex');
// The System Area an ISO holds, old.bin, and the ip file: a first row of bytes at the edges of
// what shows as text, a second the same in both, the rest random.
const [old, ip] = [randomBytes(32768), randomBytes(32768)];
old.set([31, 32, 126, 127]);
ip.copy(old, 16, 16, 32);
const differ = old.filter((b, i) => b !== ip[i]).length;
// In the folder disc: that ISO, the CHD of it grown to 4096 sectors (512 hunks: two whole
// batches of decoding, one for each decoder of two cores), and a note; beside it, each image as
// the command patches it.
[mkdirSync(at('volume')), mkdirSync(at('disc')), writeFileSync(at('volume/noise'), randomBytes(1 << 20))];
[writeFileSync(at('old.bin'), old), writeFileSync(at('ip.bin'), ip), writeFileSync(at('disc/about.txt'), 'a note')];
execFileSync('genisoimage', ['-quiet', '-o', at('disc/disc.iso'), at('volume')]);
execFileSync(tool, [at('disc/disc.iso'), at('old.bin')]);
[copyFileSync(at('disc/disc.iso'), at('grown.iso')), truncateSync(at('grown.iso'), 4096 * 2048)];
execFileSync('chdman', ['createcd', '-i', at('grown.iso'), '-o', at('disc/disc.chd')], { stdio: 'ignore' });
for (const name of ['disc.iso', 'disc.chd']) {
  copyFileSync(at(`disc/${name}`), at(`patched-${name}`));
  execFileSync(tool, [at(`patched-${name}`), at('ip.bin')]);
}
// The preview's table as od shows the same rows: the first 8 that differ, the image's above the ip file's.
const od = (file, o) => /^(\w+) (.*)  >(.*)<$/.exec(execFileSync('od', ['-A', 'x', '-t', 'x1z', '-N', '16', '-j', `${o}`, at(file)],
  { encoding: 'utf8', env: { LC_ALL: 'C' } }).split('\n')[0]).slice(1);
const rows = [['offset', 'hex', 'text'], ...Array.from({ length: 2048 }, (_, r) => r * 16).filter((o) => old.compare(ip, o, o + 16, o, o + 16))
  .slice(0, 8).flatMap((o) => ['old.bin', 'ip.bin'].map((file, i) => od(file, o).map((cell, c) => (c ? cell : i ? '' : cell.padStart(8, '0')))))];

// In the page: the engine loaded; every object URL's Blob kept until it is revoked, to be read
// back; the progress label's texts while it shows; the handles of every drop, as a script's own.
async function watch() {
  await globalThis.bootgraft.ready();
  const [made, seen, create, revoke] = [new Map(), new Set(), URL.createObjectURL, URL.revokeObjectURL];
  URL.createObjectURL = (blob) => made.set(create(blob), blob) && [...made.keys()].pop();
  URL.revokeObjectURL = (url) => made.delete(url) && revoke(url);
  const working = document.getElementById('working');
  new MutationObserver(() => working.hidden || seen.add(document.getElementById('progress-label').textContent))
    .observe(working, { subtree: true, childList: true, characterData: true, attributes: true });
  document.addEventListener('drop', (event) => {
    window.dropped = [...event.dataTransfer.items].map((item) => item.getAsFileSystemHandle?.());
  }, true);
  const sha = async (blob) => [...new Uint8Array(await crypto.subtle.digest('SHA-256', await blob.arrayBuffer()))]
    .map((b) => b.toString(16).padStart(2, '0')).join('');
  Object.assign(window, { made, seen, sha });
}
// The result's class and text, once there is one and no run is under way or waiting (or after two
// minutes as it is), and the
// SHA-256 of each download it offers, by the link's text; every object URL not offered revoked.
async function result() {
  for (let i = 0; i < 2400 && (!document.querySelector('#result p') || !document.getElementById('working').hidden ||
    (await navigator.locks.query()).held.length); i++) await new Promise((wait) => setTimeout(wait, 50));
  const links = [...document.querySelectorAll('#result a')];
  const shown = document.getElementById('result');
  return { text: `${shown.className}: ${shown.innerText.replace(/\s+/g, ' ').trim()}`, kept: window.made.size - links.length,
    seen: [...window.seen], files: Object.fromEntries(await Promise.all(links.map(async (a) => [a.textContent, await window.sha(window.made.get(a.href))]))) };
}
// Chromium's pickers over an origin-private folder (the first folder asked for closed unchosen)
// and a count of the workers the page starts, made before the page runs.
function pickers(images) {
  const folder = (async () => {
    const dir = await (await navigator.storage.getDirectory()).getDirectoryHandle('disc', { create: true });
    for (const [name, base64] of Object.entries(images)) {
      const out = await (await dir.getFileHandle(name, { create: true })).createWritable();
      await out.write(Uint8Array.from(atob(base64), (c) => c.charCodeAt(0))).then(() => out.close());
    }
    return dir;
  })();
  let asked = 0;
  window.showDirectoryPicker = async () => (asked++ ? folder : Promise.reject(new DOMException('closed', 'AbortError')));
  window.showOpenFilePicker = async () => [window.picked = await (await folder).getFileHandle('disc.iso')];
  window.workers = 0;
  window.Worker = class extends Worker {
    constructor(...args) {
      super(...args);
      window.workers += 1;
    }
  };
}
const inPlace = async (name) => window.sha(await (await (await (await navigator.storage.getDirectory())
  .getDirectoryHandle('disc')).getFileHandle(name)).getFile());
// What Firefox and WebKit give a drop of a folder: one entry, whose reader lists its files (and a
// folder within, which the page leaves), here the files in the field.
async function dropFolder() {
  const files = [...document.getElementById('files').files];
  const entries = [{ isFile: false }, ...files.map((file) => ({ isFile: true, file: (done) => done(file) }))];
  const folder = { isDirectory: true, name: 'disc', createReader: () => ({ readEntries: (done) => done(entries.splice(0, 2)) }) };
  const drop = new DragEvent('drop', { bubbles: true });
  Object.defineProperty(drop, 'dataTransfer', { value: { items: [{ kind: 'file', webkitGetAsEntry: () => folder }], files: [] } });
  document.getElementById('image-step').dispatchEvent(drop);
}

// A step is a key (Enter, Shift+Tab), where the next Tab must land (an id or a link's text), or one
// of these, by its first word.
const act = {
  upload: async (page, ...files) => page.upload(await page.run(async () => document.activeElement.id), ...files.map(at)),
  // Chromium's drop of real files, as a file manager makes one, the zone marked while it is over it.
  async drop(page, id, ...files) {
    const box = await page.page.$eval(`#${id}`, (e) => (e.scrollIntoView(), JSON.parse(JSON.stringify(e.getBoundingClientRect()))));
    const cdp = await page.page.createCDPSession();
    const data = { items: [], files: files.map(at), dragOperationsMask: 1 };
    for (const type of ['dragEnter', 'dragOver', 'drop']) {
      await cdp.send('Input.dispatchDragEvent', { type, x: box.x + 9, y: box.y + 9, data });
      assert.equal(await page.page.$eval(`#${id}`, (e) => e.classList.contains('over')), type !== 'drop', type);
    }
  },
  folder: (page) => page.run(dropFolder),
  // An element's text once it is what is asked (a string, or a pattern it matches), or after ten
  // seconds as it is; none while the element is hidden.
  text: async (page, id, want) => {
    const got = await page.run(async (of, source, flags) => {
      const now = (e = document.getElementById(of)) => (e.closest('[hidden]') ? '' : e.textContent);
      const good = () => (flags === null ? now() === source : new RegExp(source, flags).test(now()));
      for (let i = 0; i < 200 && !good(); i++) await new Promise((wait) => setTimeout(wait, 50));
      return now();
    }, id, want.source ?? want, want.flags ?? null);
    assert.ok(want.test?.(got) ?? got === want, `${id}: ${got}`);
  },
  rows: async (page) => {
    await act.text(page, 'preview', new RegExp(`^The patch changes ${differ} of the 32768 bytes of the System Area\\.`));
    assert.deepEqual(await page.run(async () => [...document.querySelectorAll('#preview tr')].map((tr) => [...tr.cells].map((c) => c.textContent))), rows);
  },
  result: async (page, pattern, files) => {
    const got = await page.run(result);
    assert.match(got.text, pattern);
    assert.deepEqual(got.files, Object.fromEntries(Object.entries(files).map(([link, file]) => [link, sha(readFileSync(at(file)))])));
    assert.equal(got.kept, 0, 'object URLs no longer offered are revoked');
  },
  'in place': async (page, name) => assert.equal(await page.run(inPlace, name), sha(readFileSync(at(`patched-${name}`)))),
  seen: async (page, ...patterns) => {
    const { seen } = await page.run(result);
    for (const pattern of patterns) assert.ok(seen.some((shown) => pattern.test(shown)), `${pattern} in ${seen}`);
  },
  // The engine's worker, started with the page, and the decoders, one a core, once a CHD needs them.
  workers: async (page, decoders) => assert.equal(await page.run(async (more) => window.workers - more * navigator.hardwareConcurrency, decoders), 1),
  // The browser's prompt for leave to write, answered no, once.
  deny: (page) => page.run(async () => { window.picked.requestPermission = async function no() { return delete this.requestPermission && 'denied'; }; }),
  remove: (page, name) => page.run(async (gone) => (await (await navigator.storage.getDirectory()).getDirectoryHandle('disc')).removeEntry(gone), name),
  // The module itself, over the folder dropped last, where the page was let read but not write.
  'read-only': async (page, image) => assert.deepEqual(await page.run(async (name) => ({
    ...await globalThis.bootgraft.patch(await window.dropped[0], name, new Uint8Array(32768)) }), image),
  { status: -1, lines: [`can't open image(${image})`] }),
};
const before = { 'Download ip-before.bin, the System Area as it was': 'old.bin' };
const patched = 'The image stores 2048-byte sectors; the ip file is written into the first 16.';
const extracted = /^ok: Extracted: download ip.bin below\. sector size:2048 The image stores 2048-byte sectors; ip.bin holds the data of the first 16\. Download ip.bin$/;
const runs = {
  // Files chosen in the field; nothing run without them or without an ip file; a wrong ip file
  // compared; the same files dropped as a folder; the CHD, likeliest, patched as a copy.
  copies: ['files', 'ip', 'patch', 'Enter', ['result', /^failed: Choose an image first \(step 1\)\.$/, {}], 'Shift+Tab', 'Shift+Tab',
    ['upload', 'disc/disc.iso', 'disc/disc.chd'], ['text', 'chosen', 'Chosen: 2 files'], 'image', 'ip', 'patch', 'Enter',
    ['result', /^failed: Choose an ip file first \(step 2\)\.$/, {}], 'extract', 'Enter', ['result', extracted, { 'Download ip.bin': 'old.bin' }],
    'Download ip.bin', 'Shift+Tab', 'Shift+Tab', 'Shift+Tab', ['upload', 'disc/about.txt'],
    ['text', 'preview', 'The ip file is 6 bytes long, not 32768.'], ['upload', 'ip.bin'], ['rows'], ['folder'],
    ['text', 'chosen', 'Folder “disc”: 2 files'], 'patch', 'Enter',
    ['result', new RegExp(`^ok: Patched copy ready: the files you chose are unchanged; save the copy below\\. sector size:2048 ${patched}`),
      { 'Download the patched disc.chd': 'patched-disc.chd', ...before }],
    'extract', 'Download the patched disc.chd', 'Download ip-before.bin, the System Area as it was'],
  // Real files and a folder dropped, taken as handles, compared and read back through them; the
  // module refuses to patch what it may only read.
  dropped: [['drop', 'ip-step', 'ip.bin'], ['drop', 'image-step', 'disc/about.txt'], ['text', 'chosen', 'Dropped: 1 file'],
    ['text', 'preview', 'about.txt cannot be patched: unknown image'], ['drop', 'image-step', 'disc'],
    ['text', 'chosen', 'Folder “disc”: 3 files'], ['rows'], 'pick-folder', 'pick-file', 'image', 'ip', 'patch', 'extract', 'Enter',
    ['result', extracted, { 'Download ip.bin': 'old.bin' }], ['read-only', 'disc.chd']],
  // In place: a folder picker closed unchosen says nothing; the folder's CHD patched, its progress
  // shown, then patched again with the same ip; then one file chosen, patched by two quick presses
  // that must start one run, refused where the browser is not let write, and gone.
  'in place': [['workers', false], 'pick-folder', 'Enter', ['text', 'result', ''], 'Enter', ['text', 'chosen', 'Folder “disc”: 3 files'],
    'pick-file', 'image', 'ip', ['upload', 'ip.bin'], ['text', 'preview', /^The patch changes/], 'patch', 'Enter',
    ['result', new RegExp(`^ok: Patched: disc.chd now holds the ip file\\. sector size:2048 ${patched}`), before], ['in place', 'disc.chd'],
    ['seen', /^Recomputing the CHD's hashes… \d+%$/, /^Writing… \d+%$/], ['workers', true],
    ['text', 'preview', 'The ip file is what the image holds already: the patch changes nothing.'], 'Enter',
    ['result', /^ok: Patched: disc.chd now holds the ip file\./, { 'Download ip-before.bin, the System Area as it was': 'ip.bin' }],
    ['in place', 'disc.chd'], 'extract', 'Download ip-before.bin, the System Area as it was', 'Shift+Tab', 'Shift+Tab', 'Shift+Tab',
    'Shift+Tab', 'Shift+Tab', 'Enter', ['text', 'chosen', 'Chosen: 1 file'], ['text', 'preview', /^The patch changes/], 'image', 'ip',
    'patch', 'Enter', 'Enter', ['result', new RegExp(`^ok: Patched: disc.iso now holds the ip file\\. sector size:2048 ${patched}`), before],
    ['in place', 'disc.iso'], ['deny'], 'Enter',
    ['result', /^failed: Not patched: the browser was not allowed to change the image\.$/, {}], ['remove', 'disc.iso'], 'Enter',
    ['result', /^failed: Could not run: /, {}]],
};
// Where each engine opens the page for which run.
const plans = { chromium: [['file', 'dropped'], ['http', 'in place']], firefox: [['file', 'copies']], webkit: [['file', 'copies']] };
const images = Object.fromEntries(['disc.iso', 'disc.chd', 'about.txt'].map((name) => [name, readFileSync(at(`disc/${name}`)).toString('base64')]));

for (const engine of engines) {
  for (const dark of [false, true]) {
    test(`the single file, by keyboard, in ${engine}${dark ? ', dark' : ''}`, { timeout: 300_000 }, async () => {
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
