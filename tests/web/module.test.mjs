// The browser module against the commands: every case the container and CHD scripts kept
// (keep_case.sh) run through bootgraft.mjs as copies of Files in Chromium, Firefox and WebKit, and
// in place in Chromium's origin-private file system, must give the commands' status and lines and
// leave every file as the command left it; extract must give bootgraft-extract's. A write the
// browser refuses (the file held by another) must leave the folder as it was. No request may
// leave the origin.
import assert from 'node:assert/strict';
import { createHash } from 'node:crypto';
import { existsSync, lstatSync, readdirSync, readFileSync } from 'node:fs';
import { join, relative } from 'node:path';
import { test } from 'node:test';
import { engines, open } from './browser.mjs';

const site = process.env.BOOTGRAFT_SITE ?? new URL('../../build/web/', import.meta.url).pathname;
const cases = process.env.BOOTGRAFT_CASES ?? join(site, 'tests/web/cases');
const held = ['containers.sh.1', 'chd_patch.sh.1'];  // a track file written in place, a CHD replaced

const sha = (bytes) => createHash('sha256').update(bytes).digest('hex');
const text = (dir, file) => readFileSync(join(dir, file), 'utf8').replace(/\n$/, '').split('\n');
const said = ([status, ...lines]) => ({ status: status === '0' ? 0 : -1, lines });
// A folder's files by their hashes; null where it holds a link, which no browser folder has.
function hashes(dir) {
  const names = readdirSync(dir).filter((n) => !lstatSync(join(dir, n)).isDirectory());
  if (names.some((n) => lstatSync(join(dir, n)).isSymbolicLink())) return null;
  return Object.fromEntries(names.sort().map((n) => [n, sha(readFileSync(join(dir, n)))]));
}

// In the page: the case's folder as it was, in the origin-private file system or as Files, then
// the patch and the extraction over it; `held` the file another holds open through the patch.
async function inBrowser({ url, image, names, folders, copies, held }) {
  const { patch, extract } = await import('/bootgraft.mjs');
  const hex = async (blob) => [...new Uint8Array(await crypto.subtle.digest('SHA-256',
    await blob.arrayBuffer()))].map((b) => b.toString(16).padStart(2, '0')).join('');
  const fetched = async (path) => (await fetch(`${url}/${path}`)).blob();
  let files = await Promise.all(names.map(async (n) =>
    new File([await fetched(`before/${encodeURIComponent(n)}`)], n)));
  const ip = await fetched('ip');
  const root = copies ? null : await navigator.storage.getDirectory();
  await root?.removeEntry('case', { recursive: true }).catch(() => {});
  const dir = root && await root.getDirectoryHandle('case', { create: true });
  for (const n of root ? folders : []) await dir.getDirectoryHandle(n, { create: true });
  for (const file of root ? files : []) {
    const out = await (await dir.getFileHandle(file.name, { create: true })).createWritable();
    await out.write(file).then(() => out.close());
  }
  let holder = null;
  if (held) {  // a worker holds the file's one sync access handle, which no writable can share
    holder = new Worker(URL.createObjectURL(new Blob(['let h; onmessage = async ({ data }) => { ' +
      'if (data === 1) h.close(); else h = await data.createSyncAccessHandle(); postMessage(0); };'])));
    const step = (message) => new Promise((done) => { holder.onmessage = done; holder.postMessage(message); });
    await step(await dir.getFileHandle(held));
    holder.release = () => step(1);
  }
  const patched = await patch(copies ? files : dir, image, copies ? ip : new Uint8Array(await ip.arrayBuffer()));
  await holder?.release();
  if (copies) files = files.map((f) => (patched.files[f.name] ? new File([patched.files[f.name]], f.name) : f));
  else files = await Promise.all(names.map(async (n) => (await dir.getFileHandle(n)).getFile()));
  const state = Object.fromEntries(await Promise.all(files.map(async (f) => [f.name, await hex(f)])));
  if (held) return { patch: { status: patched.status, lines: patched.lines }, state };
  const { status, lines, ip: taken } = await extract(copies ? files : dir, image);
  return { patch: { status: patched.status, lines: patched.lines }, state,
    extract: { status, lines, ip: taken ? await hex(new Blob([taken])) : null } };
}

for (const engine of engines) {
  test(`the module gives what the commands give, case by case, in ${engine}`, { timeout: 300_000 }, async (t) => {
    const web = await open(site, engine);
    t.after(() => web.close());
    const page = await web.newPage();
    await page.goto(`${web.origin}/page.css`);  // a document of the site's origin, without the page's script
    assert.ok(held.every((name) => existsSync(join(cases, name))), `no cases kept in ${cases}`);
    for (const name of readdirSync(cases).sort()) {
      const dir = join(cases, name);
      const before = hashes(join(dir, 'before'));
      if (!before) { await t.test(name, { skip: 'a link, which no browser folder holds' }); continue; }
      const [image, ...patched] = text(dir, 'patch');
      const argument = { url: `/${relative(site, dir)}`, image, names: Object.keys(before),
        folders: readdirSync(join(dir, 'before')).filter((n) => lstatSync(join(dir, 'before', n)).isDirectory()) };
      const ip = existsSync(join(dir, 'extract.ip')) ? sha(readFileSync(join(dir, 'extract.ip'))) : null;
      const expected = { patch: said(patched), state: hashes(join(dir, 'after')),
        extract: { ...said(text(dir, 'extract')), ip } };
      await t.test(name, async () => {
        // Only Chromium writes files in place; the others make copies.
        for (const copies of engine === 'chromium' ? [false, true] : [true]) {
          assert.deepEqual(await page.run(inBrowser, { ...argument, copies }), expected, `${name}, copies: ${copies}`);
        }
        if (!held.includes(name) || engine !== 'chromium') return;
        const file = Object.keys(before).find((n) => before[n] !== expected.state[n]);
        assert.deepEqual(await page.run(inBrowser, { ...argument, held: file }),
          { patch: { status: -1, lines: [...expected.patch.lines, `can't write image(${file})`] }, state: before });
      });
    }
    assert.deepEqual(web.foreign(), []);
  });
}
