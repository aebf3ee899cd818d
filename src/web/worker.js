// The module's worker: runs the engine synchronously over File snapshots
// read with FileReaderSync, one run at a time, then makes the one write the
// engine handed out: in place through a writable stream (the browser
// writes a copy and swaps it in on close, so the file is either patched
// whole or left as it was), or as a patched Blob where there are only Files.
import factory from './bootgraft-engine.mjs';

const reader = new FileReaderSync();
const decoder = new TextDecoder();
const chunk = 8 << 20;  // reads ahead and copies in pieces this long: fewer, longer reads cost less
let job = null;  // the run under way

const text = (bytes) => decoder.decode(bytes).replace(/\n$/, '');

const host = {
  names: () => job.entries.map((entry) => entry.name),
  open(name, update) {
    const id = job.entries.findIndex((entry) => entry.name === name);
    return id < 0 || !job.entries[id].file || (update && !job.writable) ? -1 : id;
  },
  size: (id) => job.entries[id].file.size,
  // A read costs a call's overhead and time in proportion to its length: a
  // reader that goes on from the last read (a CHD's hunks, one after
  // another) reads ahead twice as far as that one did, up to a chunk.
  read(id, offset, count) {
    const last = job.cache?.id === id ? job.cache : null;
    const end = last ? last.at + last.bytes.length : -1;
    try {
      if (!last || offset < last.at || offset + count > end) {
        const ahead = Math.max(count, offset >= last?.at && offset <= end ? Math.min(2 * last.bytes.length, chunk) : 1 << 16);
        const slice = job.entries[id].file.slice(offset, offset + ahead);
        job.cache = { id, at: offset, bytes: new Uint8Array(reader.readAsArrayBuffer(slice)) };
      }
      const from = offset - job.cache.at;
      return job.cache.bytes.subarray(from, from + count);
    } catch {
      return null;  // a file changed or gone since it was listed
    }
  },
  line: (bytes) => job.lines.push(text(bytes)),
  progress(what, done, total) {
    const now = performance.now();
    if (done < total && now - job.shown < 100) return;
    job.shown = now;
    postMessage({ id: job.id, progress: { what, done, total } });
  },
  writeBlock: (id, offset, bytes, line) => { job.write = { id, offset, bytes, line }; },
  replaceWhole: (id, pieces, line) => { job.write = { id, pieces, line }; },
};

// Messages that come while the engine loads wait for it in the queue.
let engine = null;
let queue = factory({ host }).then((loaded) => { engine = loaded; });

// The file's new content as runs of the old one and new bytes.
function parts(file, { offset, bytes, pieces }) {
  // A plain image too short for its System Area grows, the gap zeros.
  pieces ??= [{ from: 0, length: offset }, new Uint8Array(Math.max(0, offset - file.size)),
    bytes, { from: offset + bytes.length, length: file.size }];
  return pieces.map((p) => (p instanceof Uint8Array ? new Blob([p]) : file.slice(p.from, p.from + p.length)));
}

async function carryOut(write, files) {
  const { name, file, handle } = job.entries[write.id];
  if (!handle) {
    files[name] = new Blob(parts(file, write));
    return;
  }
  const out = await handle.createWritable({ keepExistingData: !write.pieces });
  try {
    if (!write.pieces) {
      await out.write({ type: 'write', position: write.offset, data: write.bytes });
    } else {
      const total = write.pieces.reduce((sum, p) => sum + p.length, 0);
      let done = 0;
      for (const part of parts(file, write)) {
        for (let at = 0; at < part.size; at += chunk) {
          const piece = part.slice(at, at + chunk);
          await out.write(piece);
          done += piece.size;
          host.progress('writing', done, total);
        }
      }
    }
    await out.close();
  } catch (error) {
    await out.abort().catch(() => {});
    throw error;
  }
}

function call(fn, strings, ...numbers) {
  const pointers = strings.map((s) => {
    const bytes = typeof s === 'string' ? new TextEncoder().encode(`${s}\0`) : s;
    const at = engine._malloc(Math.max(1, bytes.length));
    engine.HEAPU8.set(bytes, at);
    return at;
  });
  try {
    return fn(...pointers, ...numbers);
  } finally {
    pointers.forEach((at) => engine._free(at));
  }
}

async function perform({ id, what, entries, image, ip, writable, copies }) {
  job = { id, entries, writable, lines: [], shown: 0, cache: null, write: null };
  const result = { status: -1, lines: job.lines };
  if (what === 'extract') {
    result.status = call(engine._bootgraft_extract, [image]);
    if (result.status === 0) result.ip = host.ip;
  } else {
    // Only its length matters to a refusal: no more than one byte too many is read.
    const bytes = ip instanceof Blob ? new Uint8Array(reader.readAsArrayBuffer(ip.slice(0, 32769))) : ip;
    result.status = call(engine._bootgraft_patch, [image, bytes], bytes.length);
  }
  if (copies) result.files = {};
  if (result.status === 0 && job.write) {
    try {
      await carryOut(job.write, result.files);
    } catch {
      result.status = -1;
      job.lines.push(text(job.write.line));
    }
  }
  host.ip = null;
  job = null;
  return result;
}

onmessage = ({ data }) => {
  queue = queue.then(() => perform(data)).then(
    (result) => postMessage({ id: data.id, result }),
    (error) => postMessage({ id: data.id, error: String(error) }));
};
