// The module's workers, one classic script (the single-file page makes them from a Blob, where
// module workers cannot start) in two roles. The engine's worker runs a patch or an extraction
// synchronously over File snapshots read with FileReaderSync, one run at a time, then makes the
// one write the engine handed out: in place through a writable stream (the browser writes a copy
// and swaps it in on close, so the file is either patched whole or left as it was), or as a
// patched Blob where there are only Files. For a CHD's digests it reads batches of hunks for
// the decoding workers, which it reaches through the page, and hashes what comes back in order.
// Where a worker cannot read the Files it is given (WebKit, with the page opened from disk), the
// page reads for it. The engine is part of this script in the single-file page, and lies beside
// it in the folder site.
if (typeof bootgraftEngine === 'undefined') importScripts('bootgraft-engine.js');

const reader = new FileReaderSync();
const decoder = new TextDecoder();
const chunk = 8 << 20;  // reads ahead this far at most: fewer, longer reads cost less
const span = 64 << 20;  // writes a new file this much at a time: 8 MiB at a time took twice as long
const batch = 256;  // hunks decoded for one message: 4.8 MiB of CD frames
const asked = 3;  // batches each decoder holds at once, so that none waits for the next
let job = null;  // the run under way
let engine = null;
let loaded = null;  // the engine's loading, then every run after it, in turn
let decoders = 0;  // how many the module made, once a CHD needed them
let given = null;  // resolves with that number
let answered = null;  // takes the decoders' answers for the run under way
let serve;  // whether the page reads for this worker, found at its start
let answer = null;  // resolves with what the page read
const spares = [];  // a decoder's buffers for the batches it decodes, handed back

const text = (bytes) => decoder.decode(bytes).replace(/\n$/, '');
// To another of the page's workers, through the page (Firefox moves buffers between two workers'
// own ports thirty times slower): a decoder, by its number, or the engine's worker.
const relay = (message, buffers, to) => postMessage({ relay: message, to, buffers }, buffers);

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
        job.cache = { id, at: offset, bytes: load(job.entries[id].file, offset, ahead) };
      }
      const from = offset - job.cache.at;
      return job.cache.bytes.subarray(from, from + count);
    } catch {
      return null;  // a file changed or gone since it was listed
    }
  },
  // A decoder's batch's bytes, read as any read is, or none where they came with it.
  readAhead: (id, offset, count) => host.read(id, offset, count),
  decoded: (bytes) => { host.hunks = copied(bytes); },
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

// `bytes` copied into a buffer of their own to hand to another worker, one handed back by it
// where there is one: making a new one for every batch took longer than decoding it.
function copied(bytes) {
  const buffer = spares.at(-1)?.byteLength >= bytes.length ? spares.pop() : new ArrayBuffer(bytes.length);
  const copy = new Uint8Array(buffer, 0, bytes.length);
  copy.set(bytes);
  return copy;
}

// `length` bytes of `file` from `at`, fewer at its end: read here, or where the page reads for
// this worker, from what it read, a read it has not made yet noted for it to make.
function load(file, at, length) {
  if (!serve) return new Uint8Array(reader.readAsArrayBuffer(file.slice(at, at + length)));
  const end = Math.min(at + length, file.size);
  const page = job.pages.find((p) => p.file === file && p.at <= at && end <= p.at + p.bytes.length);
  if (page) return page.bytes.subarray(at - page.at, end - page.at);
  if (!job.unread) job.missing.push({ file, at, length: end - at });
  throw new Error('not read yet');
}

// One call of the engine. Where the page reads for this worker, a call that missed a read is made
// again once the page has read what it missed, until one misses nothing (or the page could not
// read, and the reads fail): only what that one said and handed out counts.
async function step(call) {
  for (;;) {
    const said = job.lines.length;
    job.missing = [];
    const status = call();
    if (!job.missing.length) return status;
    job.lines.length = said;
    job.write = null;
    const read = await new Promise((resolve) => {
      answer = resolve;
      postMessage({ read: job.missing });
    });
    job.unread = !read;
    job.pages.push(...job.missing.map((page, i) => ({ ...page, bytes: new Uint8Array(read?.[i] ?? 0) })));
    job.pages.splice(0, job.pages.length - 8);  // a decoder's batch needs one or two
  }
}

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
        for (let at = 0, next; (next = part.slice(at, at + span)).size; at += span) {
          await out.write(next);
          done += next.size;
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

// The engine's function called with strings and byte arrays in its memory, and numbers.
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

// A CHD's hunks, decoded in batches by the decoders (each given the next as it answers, no more
// than `asked` batches ahead of it) and hashed here in order: then the patch's last step.
async function hashHunks(entry, image) {
  const count = engine._bootgraft_hunks_to_hash();
  if (count > 0) {
    decoders ||= await new Promise((resolve) => {
      given = resolve;
      postMessage({ decoders: true });
    });
    await hashed(entry, image, count);
  }
  return engine._bootgraft_finish();
}

function hashed(entry, image, count) {
  const run = job.id;
  const decoded = new Map();
  let next = 0;
  let sent = 0;
  let over = false;  // once the run has ended, at a damaged hunk or an error: nothing more is asked
  return new Promise((finished, failed) => {
    // Each batch's bytes are read here, where this worker can read them, and without waiting:
    // decoders reading at once would each wait on the others, and this worker hashes while the
    // browser reads. A read that fails leaves the decoder to read, and fail as any read does.
    const ask = async (to) => {
      const [first, hunks] = [sent, Math.min(batch, count - sent)];
      sent += batch;
      host.span = null;
      if (!serve) engine._bootgraft_batch_span(first, hunks);
      const { id, at, end } = host.span ?? {};
      const bytes = end && await job.entries[id].file.slice(at, end).arrayBuffer().catch(() => null);
      relay({ run, first, count: hunks, at, bytes: bytes && new Uint8Array(bytes) }, bytes ? [bytes] : [], to);
    };
    // A decoder's answer: its batch's hunks, none where one did not decode; their buffer goes
    // back to it once they are hashed.
    answered = (from, data) => {
      if (data.run !== run || over) return;  // an answer for a run that has ended
      over = Boolean(data.error);
      if (over) return failed(new Error(data.error));
      decoded.set(data.first, [data.hunks, from]);
      for (; decoded.has(next); next += batch) {
        const [hunks, by] = decoded.get(next);
        decoded.delete(next);
        over = !hunks;
        if (over) return finished(engine._bootgraft_hash(0, -1));
        call(engine._bootgraft_hash, [hunks], hunks.length);
        relay({ spare: hunks.buffer }, [hunks.buffer], by);
        if (next + batch >= count) return finished();
      }
      if (sent < count) ask(from);
    };
    for (let to = 0; to < decoders; to++) {
      relay({ run, entries: [entry], image }, [], to);
      for (let i = 0; i < asked && sent < count; i++) ask(to);
    }
  });
}

// What the patch reads, read first: the System Area as it was, for the user to put back.
async function extracted(image) {
  const lines = job.lines;
  job.lines = [];
  const status = await step(() => call(engine._bootgraft_extract, [image]));
  job.lines = lines;
  return status === 0 ? host.ip : null;
}

async function perform({ id, what, entries, image, ip, writable, copies }) {
  job = { id, entries, writable, lines: [], shown: 0, cache: null, write: null, pages: [] };
  const result = { status: -1, lines: job.lines };
  if (what === 'extract') {
    result.status = await step(() => call(engine._bootgraft_extract, [image]));
    if (result.status === 0) result.ip = host.ip;
  } else {
    const before = await extracted(image);
    result.status = await step(() => call(engine._bootgraft_patch, [image, ip], ip.length));
    if (result.status === 1) {
      result.status = await hashHunks(entries.find((entry) => entry.name === image), image);
    }
    if (result.status === 0 && before) result.before = before;
  }
  if (copies) result.files = {};
  if (result.status === 0 && job.write) {
    try {
      await carryOut(job.write, result.files);
    } catch {
      result.status = -1;
      delete result.before;
      job.lines.push(text(job.write.line));
    }
  }
  host.ip = null;
  job = null;
  return result;
}

// A decoder: the CHD opened once a run, then each batch asked for answered with its hunks
// (transferred, not copied), or with none where one does not decode.
async function decode({ entries, image, run, first, count, at, bytes }) {
  try {
    if (entries) {
      job = { entries, writable: false, lines: [], cache: null, pages: [] };
      await step(() => call(engine._bootgraft_decoder_open, [image]));
    } else {
      job.cache = bytes ? { id: 0, at, bytes } : job.cache;
      const hunks = (await step(() => engine._bootgraft_decode(first, count))) === 0 ? host.hunks : null;
      relay({ run, first, hunks }, hunks ? [hunks.buffer] : []);
    }
  } catch (error) {
    relay({ run, error: String(error) }, []);
  }
}

// The first message starts the engine, with its WebAssembly where the page carries it, and tells
// by a Blob of the page's whether this worker can read the page's Files. Then come how many
// decoders there are, a decoder's answer or, to a decoder, a batch or a buffer back, what the
// page read, or a run, each in its turn.
onmessage = ({ data }) => {
  if (!loaded) {
    try {
      reader.readAsArrayBuffer(data.probe);
    } catch {
      serve = true;
    }
    loaded = bootgraftEngine({ host, wasmBinary: data.wasm }).then((e) => {
      engine = e;
      postMessage({ ready: true });
    }, (error) => postMessage({ error: String(error) }));
  } else if (data.decoders) {
    given(data.decoders);
  } else if (data.answer) {
    answered(data.from, data.answer);
  } else if (data.asked?.spare) {
    spares.push(data.asked.spare);
  } else if (data.asked) {
    loaded = loaded.then(() => decode(data.asked));
  } else if ('read' in data) {
    answer(data.read);
  } else {
    loaded = loaded.then(() => perform(data)).then(
      (result) => postMessage({ id: data.id, result }),
      (error) => postMessage({ id: data.id, error: String(error) }));
  }
};
