// The page's controls: an image chosen as a folder, one file or files read into memory, or
// dropped; an ip file, chosen or dropped; what the patch will change; then a patch or an
// extraction through the module, its lines shown with what they mean.
import { extract, patch, ready } from './bootgraft.mjs';

globalThis.bootgraft = { patch, extract, ready };  // for scripts and tests
const $ = (id) => document.getElementById(id);
// The endings a user most likely means, best first: a sheet before the track files it names.
const likely = ['.cue', '.toc', '.nrg', '.ccd', '.mds', '.cdi', '.chd', '.iso', '.bin', '.img'];
// Each line the tool can say, by its start, in plain words (the README's message table).
const meanings = [
  ["can't open ip(", 'The ip file could not be opened.'],
  ['ip size is not 32768', 'The ip file must be exactly 32768 bytes long, and this one is not.'],
  ["can't read ip(", 'The ip file could not be read in full.'],
  ["can't open image(", 'The image, or a track file its sheet names, is missing from the ' +
    'folder, read-only, or has a twin whose name differs only in letter case.'],
  ['unknown image', 'This file is not an image the tool knows, or its table is damaged.'],
  ['image size is too small', 'The image, or its data track, is shorter than 16 sectors.'],
  ["can't read image(", 'The first sectors of the image could not be read.'],
  ["can't write image(", 'Writing failed (a full disk, or the browser refused it).'],
];
const inPlace = typeof window.showDirectoryPicker === 'function';
let folder = null; // what the module reads: a folder or file handle, or an array of handles or Files
let busy = false;
let urls = [];
let shown = 0; // the last preview asked for: one that ends after a later one is not shown

function offer(source, names, where) {
  folder = source;
  const rank = (n) => (likely.findIndex((e) => n.toLowerCase().endsWith(e)) + 99) % 99;
  names.sort();
  $('image').replaceChildren(...names.map((n) => new Option(n, n)));
  $('image').value = names.reduce((best, n) => (rank(n) < rank(best) ? n : best), names[0]);
  $('chosen').textContent = `${where}: ${names.length} file${names.length === 1 ? '' : 's'}`;
  $('chosen').hidden = false;
  $('image-row').hidden = !names.length;
  preview();
}

async function offerFolder(dir) {
  const names = [];
  for await (const [name, handle] of dir.entries()) if (handle.kind === 'file') names.push(name);
  offer(dir, names, `Folder “${dir.name}”`);
}

const pickFolder = async () => offerFolder(await window.showDirectoryPicker({ id: 'bootgraft', mode: 'readwrite' }));

async function pickFile() {
  const [file] = await window.showOpenFilePicker({ id: 'bootgraft' });
  offer(file, [file.name], 'Chosen');
}

// A dropped folder's files, through the entries every engine gives a drop.
async function filesOf(dir) {
  const reader = dir.createReader();
  const entries = [];
  for (let more; (more = await new Promise((done, failed) => reader.readEntries(done, failed))).length;) {
    entries.push(...more);
  }
  return Promise.all(entries.filter((e) => e.isFile).map((e) => new Promise((done, failed) => e.file(done, failed))));
}

// Dropped on step 1, taken as if picked: in Chromium as handles, which are written in place once
// the browser allows it; elsewhere as Files, of which the patch makes copies. What the drop holds
// must be taken before the handler returns.
async function dropImage(data) {
  const items = [...data.items].filter((item) => item.kind === 'file');
  if (inPlace) {
    const handles = (await Promise.all(items.map((item) => item.getAsFileSystemHandle())));
    if (handles.length === 1 && handles[0].kind === 'directory') return offerFolder(handles[0]);
    const files = handles.filter((handle) => handle.kind === 'file');
    return offer(files, files.map((handle) => handle.name), 'Dropped');
  }
  const dir = items.length === 1 && items[0].webkitGetAsEntry();
  const files = dir.isDirectory ? await filesOf(dir) : [...data.files];
  offer(files, files.map((file) => file.name), dir.isDirectory ? `Folder “${dir.name}”` : 'Dropped');
}

function dropIp(data) {
  if (!data.files.length) return;
  const chosen = new DataTransfer();
  chosen.items.add(data.files[0]);
  $('ip').files = chosen.files;
  preview();
}

function say(headline, ok, lines = [], status = -1, job = 'patch') {
  const parts = [Object.assign(document.createElement('p'), { textContent: headline })];
  const list = document.createElement('dl');
  for (const line of lines.map((l) => l.trimEnd()).filter(Boolean)) {
    const size = /^sector size:(\d+)$/.exec(line);
    const done = job === 'patch' ? 'the ip file is written into' : 'ip.bin holds the data of';
    const meaning = size
      ? `The image stores ${size[1]}-byte sectors${status === 0 ? `; ${done} the first 16` : ''}.`
      : (meanings.find(([start]) => line.startsWith(start)) ?? ['', ''])[1];
    list.append(Object.assign(document.createElement('dt'), { textContent: line }));
    list.append(Object.assign(document.createElement('dd'), { textContent: meaning }));
  }
  if (lines.length) parts.push(list);
  $('result').className = ok ? 'ok' : 'failed';
  $('result').replaceChildren(...parts);
}

const element = (tag, text = '', className = '') => Object.assign(document.createElement(tag), { textContent: text, className });
const hex = (bytes) => [...bytes].map((b) => b.toString(16).padStart(2, '0')).join(' ');
const printable = (bytes) => String.fromCharCode(...bytes.map((b) => (b >= 32 && b < 127 ? b : 46)));

// What the patch will change: the image's System Area, read out, against the ip file; the first
// rows of 16 bytes that differ, as they are above as they will be. Shown unless a later one was
// asked for meanwhile.
async function preview() {
  const asked = ++shown;
  const nodes = await changes().catch((error) => [element('p', `Could not compare: ${error.message}`)]);
  if (asked === shown) $('preview').replaceChildren(...nodes);
}

async function changes() {
  const [name, ip] = [$('image').value, $('ip').files[0]];
  if (!folder || !name || !ip) return [];
  const [taken, bytes] = await Promise.all([extract(folder, name), ip.arrayBuffer()]);
  const [old, now] = [taken.ip, new Uint8Array(bytes)];
  if (taken.status !== 0) return [element('p', `${name} cannot be patched: ${taken.lines.join(' ')}`)];
  if (now.length !== 32768) return [element('p', `The ip file is ${now.length} bytes long, not 32768.`)];
  const rows = [];
  let differ = 0;
  for (const at of Array.from({ length: 2048 }, (_, row) => row * 16)) {
    const changed = now.subarray(at, at + 16).filter((b, i) => b !== old[at + i]).length;
    differ += changed;
    if (changed && rows.length < 8) rows.push(at);
  }
  if (!differ) return [element('p', 'The ip file is what the image holds already: the patch changes nothing.')];
  const table = element('table');
  table.createTHead().insertRow().append(...['offset', 'hex', 'text'].map((title) => element('th', title)));
  for (const at of rows) {
    for (const [from, kind] of [[old, 'old'], [now, 'new']]) {
      const row = table.insertRow();
      const line = from.subarray(at, at + 16);
      row.className = kind;
      row.append(element('td', kind === 'old' ? at.toString(16).padStart(8, '0') : ''), element('td', hex(line)),
        element('td', printable(line)));
    }
  }
  const wrap = element('div', '', 'rows');
  wrap.append(table);
  return [element('p', `The patch changes ${differ} of the 32768 bytes of the System Area. The first rows ` +
    'of 16 bytes that differ, the image\'s above the ip file\'s:'), wrap];
}

function download(blob, name, text) {
  const url = URL.createObjectURL(blob);
  urls.push(url);
  const link = Object.assign(document.createElement('a'), { href: url, download: name });
  link.textContent = text;
  $('result').append(link);
}

function progress({ what, done, total }) {
  const bar = $('progress');
  bar.max = total;
  bar.value = done;
  const percent = total ? ` ${Math.floor((100 * done) / total)}%` : '';
  $('progress-label').textContent =
    what === 'hashing' ? `Recomputing the CHD's hashes…${percent}` : `Writing…${percent}`;
}

// Leave to write, asked of the browser for what the user chose, as the click allows it.
async function allowed() {
  const holders = (Array.isArray(folder) ? folder : [folder]).filter((h) => h.requestPermission);
  const states = await Promise.all(holders.map((h) => h.requestPermission({ mode: 'readwrite' })));
  return states.every((state) => state === 'granted');
}

async function run(job) {
  const name = $('image').value;
  const ip = $('ip').files[0];
  if (busy) return;
  if (!folder || !name) return say('Choose an image first (step 1).', false);
  if (job === 'patch' && !ip) return say('Choose an ip file first (step 2).', false);
  busy = true;
  urls.forEach((url) => URL.revokeObjectURL(url));
  urls = [];
  $('result').replaceChildren();
  $('progress').removeAttribute('value');
  $('progress-label').textContent = 'Working…';
  $('working').hidden = false;
  try {
    if (job === 'patch' && !(await allowed())) {
      return say('Not patched: the browser was not allowed to change the image.', false);
    }
    const result = job === 'patch' ? await patch(folder, name, ip, { onProgress: progress })
                                   : await extract(folder, name, { onProgress: progress });
    const { status, lines, ip: bytes, before, files = {} } = result;
    const copies = Object.keys(files).length > 0;
    const headline = status !== 0 ? `Not ${job}ed: the image is unchanged.`
      : job === 'extract' ? 'Extracted: download ip.bin below.'
      : copies ? 'Patched copy ready: the files you chose are unchanged; save the copy below.'
      : `Patched: ${name} now holds the ip file.`;
    say(headline, status === 0, lines, status, job);
    if (bytes) download(new Blob([bytes]), 'ip.bin', 'Download ip.bin');
    for (const [file, blob] of Object.entries(files)) {
      download(blob, file, `Download the patched ${file}`);
    }
    if (before) download(new Blob([before]), 'ip-before.bin', 'Download ip-before.bin, the System Area as it was');
    if (job === 'patch') preview();
  } catch (error) {
    say(`Could not run: ${error.message}`, false);
  } finally {
    busy = false;
    $('working').hidden = true;
  }
}

// A picker the user closes is no error worth showing; anything else is.
const quietly = (pick) => (...args) => pick(...args).catch((error) => {
  if (error.name !== 'AbortError') say(`Could not open that: ${error.message}`, false);
});
$('unserved')?.remove();
$('pickers').hidden = !inPlace;
$('copy-mode').hidden = inPlace;
$('copy-pick').hidden = inPlace;
$('pick-folder').addEventListener('click', quietly(pickFolder));
$('pick-file').addEventListener('click', quietly(pickFile));
$('files').addEventListener('change', (event) => {
  const files = [...event.target.files];
  offer(files, files.map((file) => file.name), 'Chosen');
});
$('image').addEventListener('change', preview);
$('ip').addEventListener('change', preview);
$('patch').addEventListener('click', () => run('patch'));
$('extract').addEventListener('click', () => run('extract'));
// A drop anywhere else would open the file in place of the page.
for (const type of ['dragover', 'drop']) document.addEventListener(type, (event) => event.preventDefault());
for (const [zone, take] of [[$('image-step'), quietly(dropImage)], [$('ip-step'), dropIp]]) {
  for (const type of ['dragenter', 'dragover']) zone.addEventListener(type, () => zone.classList.add('over'));
  zone.addEventListener('dragleave', () => zone.classList.remove('over'));
  zone.addEventListener('drop', (event) => {
    zone.classList.remove('over');
    take(event.dataTransfer);
  });
}
ready();
