// What the browser tests share: the built site served on loopback only, headless Chromium over
// it, and every request its pages make kept, to check that none leaves the origin.
import { readFile } from 'node:fs/promises';
import { createServer } from 'node:http';
import { extname, join, normalize } from 'node:path';
import puppeteer from 'puppeteer-core';

const types = { '.html': 'text/html', '.mjs': 'text/javascript', '.js': 'text/javascript',
  '.css': 'text/css', '.wasm': 'application/wasm' };

// options: puppeteer's launch options beside the fixed ones (downloadBehavior, for one).
export async function open(site, options = {}) {
  const server = createServer(async (request, response) => {
    const path = normalize(decodeURIComponent(new URL(request.url, 'http://host').pathname));
    try {
      const body = await readFile(join(site, path.endsWith('/') ? `${path}index.html` : path));
      response.writeHead(200, { 'content-type': types[extname(path)] ?? 'application/octet-stream' });
      response.end(body);
    } catch {
      response.writeHead(404).end();
    }
  });
  await new Promise((listening) => server.listen(0, '127.0.0.1', listening));
  const origin = `http://127.0.0.1:${server.address().port}`;
  // A bare machine has no locale, and without UTF-8 in it Chromium's origin-private file system
  // refuses names beyond ASCII (TypeMismatchError): the browser gets C.UTF-8, which every glibc has.
  const browser = await puppeteer.launch({ executablePath: '/usr/bin/chromium', headless: true,
    args: ['--no-sandbox'], env: { ...process.env, LC_ALL: 'C.UTF-8' }, ...options });
  const requests = [];
  return {
    origin,
    async newPage() {
      const page = await browser.newPage();
      page.on('request', (request) => requests.push(request.url()));
      return page;
    },
    // Requests anywhere but this origin's files and its own object URLs.
    foreign: () => requests.filter((url) => !url.startsWith(`${origin}/`) &&
      !url.startsWith(`blob:${origin}/`) && !url.startsWith('data:')),
    async close() {
      await browser.close();
      server.close();
    },
  };
}
