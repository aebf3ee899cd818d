// The page's controls: an image chosen as a folder, one file or files read into memory, an ip
// file, then a patch or an extraction through the module, its lines shown with what they mean.
import { extract, patch } from './bootgraft.mjs';

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
let folder = null; // what the module reads: a folder or file handle, or an array of Files
let busy = false;
let urls = [];

function offer(source, names, where) {
  folder = source;
  const rank = (n) => (likely.findIndex((e) => n.toLowerCase().endsWith(e)) + 99) % 99;
  names.sort();
  $('image').replaceChildren(...names.map((n) => new Option(n, n)));
  $('image').value = names.reduce((best, n) => (rank(n) < rank(best) ? n : best), names[0]);
  // The file field says how many files it holds; a picker says nothing.
  $('chosen').textContent = `${where}: ${names.length} file${names.length === 1 ? '' : 's'}`;
  $('chosen').hidden = !inPlace;
  $('image-row').hidden = !names.length;
}

async function pickFolder() {
  const dir = await window.showDirectoryPicker({ id: 'bootgraft', mode: 'readwrite' });
  const names = [];
  for await (const [name, handle] of dir.entries()) if (handle.kind === 'file') names.push(name);
  offer(dir, names, `Folder “${dir.name}”`);
}

async function pickFile() {
  const [file] = await window.showOpenFilePicker({ id: 'bootgraft' });
  offer(file, [file.name], 'Chosen');
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

function download(blob, name, text) {
  const url = URL.createObjectURL(blob);
  urls.push(url);
  const link = Object.assign(document.createElement('a'), { href: url, download: name });
  link.textContent = text;
  $('result').append(link);
}

function progress({ what, done, total }) {
  const bar = $('progress');
  bar.max = total || 1;
  bar.value = done;
  const percent = total ? ` ${Math.floor((100 * done) / total)}%` : '';
  $('progress-label').textContent =
    what === 'hashing' ? `Recomputing the CHD's hashes…${percent}` : `Writing…${percent}`;
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
    if (job === 'patch' && folder.requestPermission &&
        (await folder.requestPermission({ mode: 'readwrite' })) !== 'granted') {
      return say('Not patched: the browser was not allowed to change the image.', false);
    }
    const result = job === 'patch' ? await patch(folder, name, ip, { onProgress: progress })
                                   : await extract(folder, name, { onProgress: progress });
    const { status, lines, ip: bytes, files = {} } = result;
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
  } catch (error) {
    say(`Could not run: ${error.message}`, false);
  } finally {
    busy = false;
    $('working').hidden = true;
  }
}

// A picker the user closes is no error worth showing; anything else is.
const quietly = (pick) => () => pick().catch((error) => {
  if (error.name !== 'AbortError') say(`Could not open that: ${error.message}`, false);
});
$('unserved').hidden = true;
$('pickers').hidden = !inPlace;
$('copy-mode').hidden = inPlace;
$('copy-pick').hidden = inPlace;
$('pick-folder').addEventListener('click', quietly(pickFolder));
$('pick-file').addEventListener('click', quietly(pickFile));
$('files').addEventListener('change', (event) => {
  const files = [...event.target.files];
  offer(files, files.map((file) => file.name));
});
$('patch').addEventListener('click', () => run('patch'));
$('extract').addEventListener('click', () => run('extract'));
