// What the browser tests share: the built site served on loopback only, and each engine over it,
// driven one way: Chromium and Firefox (puppeteer-core, Firefox over WebDriver BiDi), WebKit
// (WebKitWebDriver and its MiniBrowser, under the display xvfb-run gives). No flag grants a page
// more than a user's browser gives it. A bare machine has no locale, and without UTF-8 in it
// Chromium's origin-private file system refuses names beyond ASCII: the browsers get C.UTF-8.
import { spawn } from 'node:child_process';
import { readFile, writeFile } from 'node:fs/promises';
import { createServer } from 'node:http';
import { extname, join, normalize } from 'node:path';
import puppeteer from 'puppeteer-core';
import { Builder, By, Key } from 'selenium-webdriver';

export const engines = ['chromium', 'firefox', 'webkit'];
const types = { '.html': 'text/html', '.mjs': 'text/javascript', '.js': 'text/javascript',
  '.css': 'text/css', '.wasm': 'application/wasm' };
const env = { ...process.env, LC_ALL: 'C.UTF-8' };
const launch = {
  chromium: { executablePath: '/usr/bin/chromium', args: ['--no-sandbox'] },
  firefox: { browser: 'firefox', executablePath: '/usr/bin/firefox-esr', protocol: 'webDriverBiDi' },
};

// A page of puppeteer's, or of WebDriver's through the same few calls: run(fn, ...args) runs an
// async function in the page with JSON arguments and result; key presses a key; upload gives a
// file field files as a file chooser would; shot keeps a screenshot of the whole page.
const puppeteerPage = (page) => ({
  goto: (url) => page.goto(url),
  run: (fn, ...args) => page.evaluate(fn, ...args),
  async key(name) {  // a key, or keys held together (Shift+Tab)
    for (const key of name.split('+')) await page.keyboard.down(key);
    for (const key of name.split('+').reverse()) await page.keyboard.up(key);
  },
  upload: async (id, ...paths) => (await page.$(`#${id}`)).uploadFile(...paths),
  shot: async (path, width) => (await page.setViewport({ width, height: 800 }), page.screenshot({ path, fullPage: true })),
  page,
});
const webDriverPage = (driver) => ({
  goto: (url) => driver.get(url),
  run: async (fn, ...args) => driver.executeAsyncScript(`const done = arguments[1];
    (${fn})(...JSON.parse(arguments[0])).then(done, (e) => done({ thrown: String(e) }))`, JSON.stringify(args)),
  key(name) {
    const keys = name.split('+').map((key) => Key[key.toUpperCase()]);
    return [...keys].reverse().reduce((all, key) => all.keyUp(key), keys.reduce((all, key) => all.keyDown(key), driver.actions())).perform();
  },
  upload: (id, ...paths) => driver.findElement(By.id(id)).sendKeys(paths.join('\n')),
  async shot(path, width) {  // at least 447 pixels wide, as MiniBrowser's window is
    await driver.manage().window().setRect({ width, height: 800 });
    const height = await driver.executeScript('scrollTo(0, 0); return document.documentElement.scrollHeight + outerHeight - innerHeight');
    await driver.manage().window().setRect({ width, height });
    await writeFile(path, await driver.takeScreenshot(), 'base64');
  },
});

async function webkit(dark) {
  const port = 4000 + Math.floor(Math.random() * 20000);
  const server = spawn('WebKitWebDriver', [`--port=${port}`], { env, stdio: 'ignore' });
  const binary = '/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser';
  for (let tries = 0; ; tries++) {
    try {
      const driver = await new Builder().usingServer(`http://127.0.0.1:${port}`).withCapabilities({
        browserName: 'MiniBrowser', 'webkitgtk:browserOptions': { binary, args: ['--automation', ...(dark ? ['--dark-mode'] : [])] },
      }).build();
      await driver.manage().setTimeouts({ script: 600000 });
      return { newPage: async () => webDriverPage(driver), close: () => driver.quit().finally(() => server.kill()) };
    } catch (error) {
      if (tries === 50) throw error;
      await new Promise((wait) => setTimeout(wait, 100));  // the driver is still starting
    }
  }
}

// `site` served at `origin`; `engine` started, in dark mode where asked, Chromium with `options`
// beside the fixed ones. foreign() lists what pages asked, but for the pages themselves, of anything
// but this origin and object and data URLs (Chromium and Firefox).
export async function open(site, engine, { dark = false, ...options } = {}) {
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
  const requests = [];
  const browser = engine === 'webkit' ? await webkit(dark) : await puppeteer.launch({ headless: true, env,
    extraPrefsFirefox: { 'ui.systemUsesDarkTheme': dark ? 1 : 0 }, ...launch[engine], ...options });
  return {
    origin,
    async newPage() {
      const page = await browser.newPage();
      if (engine === 'webkit') return page;
      if (dark) await page.emulateMediaFeatures?.([{ name: 'prefers-color-scheme', value: 'dark' }]).catch(() => {});
      page.on('request', (request) => request.isNavigationRequest() || requests.push(request.url()));
      return puppeteerPage(page);
    },
    foreign: () => requests.filter((url) => !url.startsWith(`${origin}/`) && !/^(blob|data):/.test(url)),
    async close() {
      await browser.close();
      server.close();
    },
  };
}
