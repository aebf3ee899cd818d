// The page driven by keyboard alone in headless Chromium: in place through a folder (the
// origin-private one stands in for the picker), and as a copy where files cannot be written.
// The native command's result on the same image and ip is the oracle; no request leaves the origin.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { createHash, randomBytes } from 'node:crypto';
import { copyFileSync, existsSync, mkdirSync, mkdtempSync, readFileSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { test } from 'node:test';
import { open } from './browser.mjs';

const here = (path) => new URL(path, import.meta.url).pathname;
const site = process.env.BOOTGRAFT_SITE ?? here('../../build/web/');
const at = ((dir) => (name) => join(dir, name))(mkdtempSync(join(tmpdir(), 'bootgraft-page-')));
[mkdirSync(at('volume')), mkdirSync(at('saved')), writeFileSync(at('volume/a.txt'), 'a file')];
execFileSync('genisoimage', ['-quiet', '-o', at('disc.iso'), at('volume')]);
[writeFileSync(at('ip.bin'), randomBytes(32768)), copyFileSync(at('disc.iso'), at('expected.iso'))];
execFileSync(process.env.BOOTGRAFT ?? here('../../build/release/bootgraft'), [at('expected.iso'), at('ip.bin')]);
const sha = (bytes) => createHash('sha256').update(Buffer.from(bytes)).digest('hex');

const opfs = async () => [...new Uint8Array(await (await (await (await (await navigator.storage.getDirectory())
  .getDirectoryHandle('disc')).getFileHandle('disc.iso')).getFile()).arrayBuffer())];
async function saved(name) { // a download, once the browser has moved it into place
  for (let i = 0; i < 100 && !existsSync(at(name)); i++) await new Promise((done) => setTimeout(done, 100));
  return readFileSync(at(name));
}
// A step is a key, where the next Tab must land (an id or a link's text), or one of these.
const act = {
  choose: async (page, ...files) => {
    const chooser = page.waitForFileChooser();
    await page.evaluate(() => 0); // the page has turned the chooser's interception on before the key
    await page.keyboard.press('Space');
    await (await chooser).accept(files.map(at));
  },
  shown: (page, selector) => page.waitForSelector(selector),
  says: async (page, text) => assert.match(await (await page.waitForSelector('#result p', { timeout: 60000 }))
    .evaluate((p) => p.parentNode.innerText), text),
  selected: async (page, name) => assert.equal(await page.$eval('#image', (e) => e.value), name),
  same: async (page, got, file) => assert.equal(sha(got === 'opfs' ? await page.evaluate(opfs) : await saved(got)),
    sha(readFileSync(at(file))), got),
};
const runs = {
  'in place': ['pick-folder', 'Enter', ['shown', '#image-row:not([hidden])'], 'pick-file', 'image',
    ['selected', 'disc.iso'], 'ip', ['choose', 'ip.bin'], 'patch', 'Enter',
    ['says', /^Patched: disc.iso now holds the ip file.\s+sector size:2048\s/], ['same', 'opfs', 'expected.iso'],
    'extract', 'Enter', ['says', /^Extracted.*\s+sector size:2048\s/], 'Download ip.bin', 'Enter',
    ['same', 'saved/ip.bin', 'ip.bin']],
  'as a copy': [['shown', '#copy-mode:not([hidden])'], 'files', ['choose', 'disc.iso', 'ip.bin'], 'image',
    ['selected', 'disc.iso'], 'ip', ['choose', 'ip.bin'], 'patch', 'Enter',
    ['says', /^Patched copy ready.*\s+sector size:2048\s/], 'extract', 'Download the patched disc.iso',
    'Enter', ['same', 'saved/disc.iso', 'expected.iso']],
};

test('the page patches and extracts by keyboard alone, and keeps to its origin', async (t) => {
  const web = await open(site, { downloadBehavior: { policy: 'allow', downloadPath: at('saved') } });
  t.after(() => web.close());
  for (const [run, steps] of Object.entries(runs)) {
    const page = await web.newPage();
    await page.evaluateOnNewDocument((inPlace, iso) => {
      const disc = (async () => { // the picker's folder, once it holds an image and a note listed before it
        const folder = await (await navigator.storage.getDirectory()).getDirectoryHandle('disc', { create: true });
        for (const [name, bytes] of [['disc.iso', new Uint8Array(iso)], ['about.txt', 'a note']]) {
          const writable = await (await folder.getFileHandle(name, { create: true })).createWritable();
          await writable.write(bytes).then(() => writable.close());
        }
        return folder;
      })();
      window.showDirectoryPicker = inPlace && (() => disc);
    }, run === 'in place', [...readFileSync(at('disc.iso'))]);
    await page.goto(`${web.origin}/index.html`);
    for (const step of steps) {
      if (Array.isArray(step)) await act[step[0]](page, ...step.slice(1));
      else if (step === 'Enter') await page.keyboard.press(step);
      else {
        await page.keyboard.press('Tab');
        assert.equal(await page.evaluate(() => document.activeElement.id || document.activeElement.textContent), step, run);
      }
    }
    for (const [suffix, width] of [['', 1024], ['-phone', 360]]) {
      await page.setViewport({ width, height: 800 });
      await page.screenshot({ path: join(site, `page${run === 'in place' ? '' : '-copy'}${suffix}.png`), fullPage: true });
    }
  }
  assert.deepEqual(web.foreign(), []);
});
