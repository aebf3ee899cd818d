// bootgraft in the browser: patch() and extract() over a folder the user
// picked (a FileSystemDirectoryHandle), one image file (a
// FileSystemFileHandle), files dropped on a page (an array of
// FileSystemFileHandles), or, where the browser cannot write files in
// place, an array of File objects whose patched copies come back as Blobs.
// The engine runs in a worker, and a CHD's hunks are decoded in more, one
// per core; nothing leaves the machine.

// The single-file page carries the workers' script and the engine's
// WebAssembly inside it; the folder site keeps them beside this module.
const carried = globalThis.document?.getElementById('bootgraft-worker');
const script = carried ? URL.createObjectURL(new Blob([carried.textContent], { type: 'text/javascript' }))
  : new URL('./worker.js', import.meta.url);
let wasm = null;
let worker = null;
let decoders = [];
let loading = null;
let runs = 0;
const pending = new Map();

function start() {
  if (carried) {
    wasm ??= Uint8Array.from(atob(document.getElementById('bootgraft-wasm').textContent), (c) => c.charCodeAt(0));
  }
  const started = new Worker(script);
  started.postMessage({ wasm, probe: new Blob(['?']) });
  return started;
}

// What a worker that cannot read the page's Files asks of them, read here: none where a file
// changed or went since it was chosen.
async function serve(to, ranges) {
  const read = await Promise.all(ranges.map(({ file, at, length }) => file.slice(at, at + length).arrayBuffer()))
    .catch(() => null);
  to.postMessage({ read }, read ?? []);
}

// A worker that failed to load, or whose engine failed, is not used again:
// the runs it held fail with it, and the next run starts new ones.
function fail(message) {
  for (const run of pending.values()) run.reject(new Error(message));
  pending.clear();
  [worker, ...decoders].forEach((w) => w?.terminate());
  [worker, decoders, loading] = [null, [], null];
}

// The decoders, made when a CHD's digests first need them: one a core. What they and the
// engine's worker say to each other passes through here, buffers moved, not copied.
function decoding() {
  decoders = Array.from({ length: navigator.hardwareConcurrency || 1 }, start);
  decoders.forEach((decoder, from) => {
    decoder.onmessage = ({ data }) => {
      if (data.relay) worker.postMessage({ answer: data.relay, from }, data.buffers);
      else if (data.read) serve(decoder, data.read);
      else if (data.error) fail(data.error);
    };
    decoder.onerror = (event) => fail(event.message);
  });
  worker.postMessage({ decoders: decoders.length });
}

// The engine's worker, started once; resolves when its engine has loaded,
// so that a page may start it before the user has chosen anything.
export function ready() {
  if (!worker) {
    worker = start();
    loading = new Promise((loaded, failed) => {
      const failing = (message) => {
        failed(new Error(message));
        fail(message);
      };
      worker.onmessage = ({ data }) => {
        const run = pending.get(data.id);
        if (data.ready) loaded();
        else if (data.decoders) decoding();
        else if (data.relay) decoders[data.to].postMessage({ asked: data.relay }, data.buffers);
        else if (data.read) serve(worker, data.read);
        else if (data.progress) run.onProgress?.(data.progress);
        else if (data.error) failing(data.error);
        else {
          pending.delete(data.id);
          run.resolve(data.result);
        }
      };
      worker.onerror = (event) => failing(event.message);
    });
    loading.catch(() => {});  // a run that fails with it says so
  }
  return loading;
}

// Every entry, with its File now: the engine reads these snapshots, and
// the writes go through the handles.
async function listing(folder) {
  const items = Array.isArray(folder) ? folder.map((item) => [item.name, item])
    : folder.kind === 'file' ? [[folder.name, folder]] : [];
  if (folder.kind === 'directory') for await (const entry of folder.entries()) items.push(entry);
  return Promise.all(items.map(async ([name, item]) => (item instanceof Blob ? { name, file: item }
    : { name, handle: item, file: item.kind === 'file' ? await item.getFile() : null })));
}

// Whether the engine may write: files the user let us read but not write
// refuse a patch as a read-only image does, before anything is read.
async function writable(folder) {
  const holders = (Array.isArray(folder) ? folder : [folder]).filter((h) => h.queryPermission);
  const states = await Promise.all(holders.map((h) => h.queryPermission({ mode: 'readwrite' })));
  return states.every((state) => state === 'granted');
}

async function run(what, folder, image, blob, { onProgress } = {}) {
  const go = async () => {
    const entries = await listing(folder);
    // Only its length matters to a refusal: no more than one byte too many is read.
    const ip = blob && new Uint8Array(await new Blob([blob]).slice(0, 32769).arrayBuffer());
    const copies = entries.every((entry) => !entry.handle);
    const may = await writable(folder);
    ready();
    return new Promise((resolve, reject) => {
      const id = ++runs;
      pending.set(id, { resolve, reject, onProgress });
      worker.postMessage({ id, what, entries, image, ip, writable: may, copies });
    });
  };
  // Two runs on one image take turns, across tabs too.
  return navigator.locks ? navigator.locks.request(`bootgraft:${image}`, go) : go();
}

// Writes `ip` (a Uint8Array or a Blob of 32768 bytes) over the System Area
// of `image`: {status: 0 | -1, lines}; with status 0, `before` (a
// Uint8Array), the System Area as it was where the image held it whole;
// and `files` ({name: Blob}, the patched copies) where `folder` is Files.
export function patch(folder, image, ip, options) {
  return run('patch', folder, image, ip, options);
}

// Reads the System Area of `image` back out: {status, lines}, and `ip`
// (a Uint8Array) when the status is 0.
export function extract(folder, image, options) {
  return run('extract', folder, image, null, options);
}
