// bootgraft in the browser: patch() and extract() over a folder the user
// picked (a FileSystemDirectoryHandle), one image file (a
// FileSystemFileHandle), or, where the browser cannot write files in place,
// an array of File objects whose patched copies come back as Blobs. The
// engine runs in a worker; nothing leaves the machine.

let worker = null;
let runs = 0;
const pending = new Map();

// A worker that failed to load, or whose engine failed, is not used again:
// the runs it held fail with it, and the next run starts a new one.
function fail(message) {
  for (const run of pending.values()) run.reject(new Error(message));
  pending.clear();
  worker.terminate();
  worker = null;
}

function engine() {
  if (!worker) {
    worker = new Worker(new URL('./worker.mjs', import.meta.url), { type: 'module' });
    worker.onmessage = ({ data }) => {
      const run = pending.get(data.id);
      if (data.progress) run.onProgress?.(data.progress);
      else if (data.error) fail(data.error);
      else {
        pending.delete(data.id);
        run.resolve(data.result);
      }
    };
    worker.onerror = (event) => fail(event.message);
  }
  return worker;
}

// Every entry of the folder, with its File now: the engine reads these
// snapshots, and the writes go through the handles.
async function listing(folder) {
  if (Array.isArray(folder)) return folder.map((file) => ({ name: file.name, file }));
  const handles = folder.kind === 'file' ? [[folder.name, folder]] : [];
  if (folder.kind !== 'file') for await (const entry of folder.entries()) handles.push(entry);
  return Promise.all(handles.map(async ([name, handle]) =>
    ({ name, handle, file: handle.kind === 'file' ? await handle.getFile() : null })));
}

async function run(what, folder, image, ip, { onProgress } = {}) {
  const go = async () => {
    const entries = await listing(folder);
    // A folder the user let us read but not write refuses a patch as a
    // read-only image does: before anything is read.
    const copies = Array.isArray(folder);
    const writable = copies || !folder.queryPermission ||
      (await folder.queryPermission({ mode: 'readwrite' })) === 'granted';
    return new Promise((resolve, reject) => {
      const id = ++runs;
      pending.set(id, { resolve, reject, onProgress });
      engine().postMessage({ id, what, entries, image, ip, writable, copies });
    });
  };
  // Two runs on one image take turns, across tabs too.
  return navigator.locks ? navigator.locks.request(`bootgraft:${image}`, go) : go();
}

// Writes `ip` (a Uint8Array or a Blob of 32768 bytes) over the System Area
// of `image`: {status: 0 | -1, lines}, and `files` ({name: Blob}, the
// patched copies) where `folder` is an array of Files.
export function patch(folder, image, ip, options) {
  return run('patch', folder, image, ip, options);
}

// Reads the System Area of `image` back out: {status, lines}, and `ip`
// (a Uint8Array) when the status is 0.
export function extract(folder, image, options) {
  return run('extract', folder, image, null, options);
}
