// The single-file page, bootgraft.html, put together from the site the web build makes: the
// page, its style, the module and the page's script as one inline module script, the workers'
// script (the engine's JavaScript, then worker.js) and the engine's WebAssembly as data blocks,
// which the module turns into workers. It fetches nothing, so it works opened from disk.
// usage: node single_file.mjs SITE   (writes SITE/bootgraft.html)
import { createHash } from 'node:crypto';
import { readFileSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';

const site = process.argv[2];
const read = (name) => readFileSync(join(site, name), 'utf8');
const hash = (text) => `'sha256-${createHash('sha256').update(text).digest('base64')}'`;
function replaced(text, pattern, by) {
  if (!pattern.test(text)) throw new Error(`single_file: ${pattern} is not in the page`);
  return text.replace(pattern, () => by);
}

// The module inlined where the page imports it, in a scope of its own, so that the names of the
// two never meet.
const imported = /^import \{ ([\w, ]+) \} from '\.\/bootgraft\.mjs';$/m;
const names = imported.exec(read('page.mjs'))?.[1];
const module = read('bootgraft.mjs').replace(/^export /gm, '');
const script = replaced(read('page.mjs'), imported, `const { ${names} } = (() => {\n${module}\n` +
  `return { ${names} };\n})();`);
const style = read('page.css');
const worker = `${read('bootgraft-engine.js')}\n${read('worker.js')}`;
if (/<\/script|<!--/i.test(script + worker)) throw new Error('single_file: a script would end its element early');

const policy = [
  "default-src 'none'",  // nothing that is not named below: no request of any kind leaves the file
  `script-src ${hash(script)} 'wasm-unsafe-eval'`,  // the one script, by its hash; the engine's WebAssembly
  'worker-src blob:',  // the workers, made from the script the page carries
  `style-src ${hash(style)}`,  // the one style sheet, by its hash
  'img-src data:',  // the empty icon, which keeps the browser from asking for one
  "base-uri 'none'", "form-action 'none'",
].join('; ');
const comment = `<!-- The page's policy: nothing outside this file is loaded or sent. Its one script and
     one style sheet run by their hashes. The workers are made from blob: URLs of the script in
     #bootgraft-worker and keep this policy, under which 'wasm-unsafe-eval' lets them compile the
     engine's WebAssembly from #bootgraft-wasm. img-src data: is the empty icon's. -->`;

let page = read('index.html');
page = replaced(page, /<!-- Only the page's own files load[\s\S]*?-->\n<meta http-equiv="Content-Security-Policy"[^>]*>/,
  `${comment}\n<meta http-equiv="Content-Security-Policy" content="${policy}">`);
page = replaced(page, /<link rel="stylesheet" href="page.css">/, `<style>${style}</style>`);
page = replaced(page, /<script type="module" src="page.mjs"><\/script>/, `<script type="module">${script}</script>`);
page = replaced(page, /<p id="unserved"[\s\S]*?<\/p>\n/, '');
page = replaced(page, /<\/body>/, `<script type="text/x-worker" id="bootgraft-worker">${worker}</script>\n` +
  `<script type="application/wasm" id="bootgraft-wasm">${readFileSync(join(site, 'bootgraft-engine.wasm')).toString('base64')}</script>\n</body>`);
writeFileSync(join(site, 'bootgraft.html'), page);
