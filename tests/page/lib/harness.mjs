// Runs the handler page in Chromium the way Internet Explorer runs a context-menu
// page: loaded from its file:// address, with external.menuArguments standing for
// the window in which the user right-clicked a link.
import { readFileSync } from 'node:fs';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';

import { chromium } from 'playwright-core';

const here = path.dirname(fileURLToPath(import.meta.url));

// The service table as the build exported it (RUVO_SERVICES_FILE, set by run.sh):
// each service with its configured address; without a build, the source table and its
// default addresses.
export const serviceTableFile = process.env.RUVO_SERVICES_FILE ||
  path.join(here, '..', '..', '..', 'src', 'handler_page', 'services.json');
const table = JSON.parse(readFileSync(serviceTableFile, 'utf8'));
const byFamily = (pick) => Object.freeze(Object.fromEntries(
  table.services.map((service) => [service.name.toLowerCase(), pick(service)])));

// The default addresses (the reference page carries these) and the page's own.
const defaultServices = byFamily((service) => service.defaultAddress);
export const services = byFamily((service) => service.address ?? service.defaultAddress);

// Where each family's service takes the link's address.
export const serviceEntry = byFamily(
  (service) => (service.address ?? service.defaultAddress) + service.pathAndQuery);

// The addresses a case of cases.mjs must open, in order: each service's entry with the
// link's address as its one parameter.
export function addressesToOpen(testCase) {
  const parameter = testCase.encoded ?? encodeURIComponent(testCase.href);
  return testCase.opens.map((family) => serviceEntry[family] + parameter);
}

export const alertText = table.unsupportedAlert;

// The document in which links are right-clicked, unless a case names another.
export const defaultLinkBase = 'https://www.example.com/pages/index.html';

export function pageFilePath() {
  const file = process.env.RUVO_PAGE_FILE;
  if (!file) {
    throw new Error(
      'RUVO_PAGE_FILE is not set: run tests/page/run.sh PAGE_WRITER, which writes the page ' +
        'with the installer\'s own writer and points RUVO_PAGE_FILE at it');
  }
  return path.resolve(file);
}

// The bytes the installer writes: the reference page of the logic's tests, with the
// three service addresses this build uses.
export function expectedPageBytes() {
  const reference = readFileSync(
    path.join(here, '..', '..', 'logic', 'data', 'expected_ruvo.htm'), 'latin1');
  let text = reference;
  for (const family of ['scribe', 'grid', 'deck']) {
    text = text.replace(`targeturl = '${defaultServices[family]}/`,
      `targeturl = '${services[family]}/`);
  }
  return Buffer.from(text, 'latin1');
}

export async function launchBrowser() {
  return chromium.launch({
    executablePath: '/usr/bin/chromium',
    // launch() gives every browser a fresh, temporary user-data folder of its own.
    args: [
      '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
    ],
  });
}

// Runs in the handler page before any of its own scripts. `link` describes the
// right-clicked link as a case of cases.mjs does: its href attribute (absent when
// undefined), the base address of its document, the elements inside it of which the
// innermost took the click, whether it is an image-map area, and a further link around it.
function installMenuContext(link) {
  if (window.top !== window) return;  // only the handler page itself

  const opens = [];
  const alerts = [];
  // Record instead of opening or showing anything: nothing may leave the page.
  window.open = function (...args) {
    opens.push(args.map(String));
    return null;
  };
  window.alert = function (...args) {
    alerts.push(args.map(String));
  };

  let menuWindow = null;
  let linkElement = null;
  function rightClickedWindow() {
    // A real second document, holding a real link, so that href is the browser's
    // own absolute form of the address.
    const frame = document.createElement('iframe');
    frame.hidden = true;
    (document.body || document.documentElement).appendChild(frame);
    const win = frame.contentWindow;
    const doc = win.document;
    const base = doc.createElement('base');
    base.href = link.base;
    doc.head.appendChild(base);
    let holder = doc.body;
    if (link.outerHref !== undefined) {
      const outer = doc.createElement('a');
      outer.setAttribute('href', link.outerHref);
      holder = holder.appendChild(outer);
    }
    linkElement = doc.createElement(link.area ? 'area' : 'a');
    if (link.href !== undefined) linkElement.setAttribute('href', link.href);
    if (link.area) {
      // <map name=m><area shape=rect ...></map><img usemap=#m>: the area takes the click.
      const map = doc.createElement('map');
      map.name = 'ruvo-map';
      linkElement.shape = 'rect';
      linkElement.coords = '0,0,40,20';
      linkElement.alt = 'link';
      map.appendChild(linkElement);
      const image = doc.createElement('img');
      image.useMap = '#ruvo-map';
      holder.append(map, image);
    } else {
      holder.appendChild(linkElement);
    }
    let clicked = linkElement;
    for (const tag of link.inner ?? []) {
      clicked = clicked.appendChild(doc.createElement(tag));
    }
    if (clicked.localName === 'img') clicked.alt = 'link';
    else if (!link.area) clicked.textContent = 'link';
    // The user's right click on the innermost element: the menu's window keeps that
    // event, whose srcElement is that element, as its current one while the page runs.
    let menuEvent = null;
    win.addEventListener('contextmenu', (e) => {
      menuEvent = e;
      e.preventDefault();
    }, { once: true });
    clicked.dispatchEvent(
      new win.MouseEvent('contextmenu', { bubbles: true, cancelable: true, button: 2 }));
    win.event = menuEvent;
    return win;
  }
  // The page's document must exist to hold the link's window, so it is made on first use.
  Object.defineProperty(window.external, 'menuArguments', {
    get() {
      menuWindow ??= rightClickedWindow();
      return menuWindow;
    },
  });

  Object.defineProperty(window, '__ruvoHarness', {
    value: Object.freeze({
      record: () => ({ opens: opens.slice(), alerts: alerts.slice() }),
      linkHref: () => (linkElement ? linkElement.href : null),
      clickedTag: () => (menuWindow ? menuWindow.event.srcElement.localName : null),
      linkRan: () => window.ruvoLinkRan === true || menuWindow?.ruvoLinkRan === true,
    }),
  });
}

// One browser and one tab for a test file; every link loads the page afresh.
export class HandlerPageRunner {
  constructor(browser, page) {
    this.browser = browser;
    this.page = page;
    this.pageUrl = pathToFileURL(pageFilePath()).href;
    this.seen = null;
    page.on('pageerror', (e) => this.seen?.pageErrors.push(e.message));
    page.on('request', (r) => {
      if (r.url() !== this.pageUrl) this.seen?.requests.push(r.url());
    });
    page.on('popup', (p) => this.seen?.popups.push(p.url()));
    page.on('dialog', (d) => {
      this.seen?.dialogs.push(d.message());
      d.dismiss().catch(() => {});
    });
  }

  static async start() {
    const browser = await launchBrowser();
    const context = await browser.newContext();
    return new HandlerPageRunner(browser, await context.newPage());
  }

  async close() {
    await this.browser.close();
  }

  // Loads the page with the menu context for `link`, then, when `choose` is true, does
  // what choosing the menu entry does. Returns everything the page did.
  async run(link, { choose = true } = {}) {
    this.seen = { pageErrors: [], requests: [], popups: [], dialogs: [] };
    const menuContext = await this.page.addInitScript(
      installMenuContext, { ...link, base: link.base ?? defaultLinkBase });
    try {
      await this.page.goto(this.pageUrl, { waitUntil: 'load' });
      const outcome = await this.page.evaluate((choose) => {
        const harness = window.__ruvoHarness;
        const atLoad = harness.record();
        let thrown = null;
        if (choose) {
          try {
            // Chromium does not run VBScript: these are the page's VBScript block's three
            // statements, performed here as Internet Explorer runs them.
            const oWindow = external.menuArguments;
            const doc = external.menuArguments.document;  // bound and unused, as in the page
            void doc;
            ruvoCheck(oWindow.event.srcElement);
          } catch (e) {
            thrown = `${e.name}: ${e.message}`;
          }
        }
        const functions = {};
        for (const name of ['ruvoCheck', 'isRuvoScribeCompatible', 'isRuvoGridCompatible',
          'isRuvoDeckCompatible', 'isRuvoGridRCompatible', 'isRuvoScribeRCompatible']) {
          functions[name] = typeof window[name];
        }
        return { atLoad, thrown, ...harness.record(), href: harness.linkHref(),
                 clickedTag: harness.clickedTag(), linkRan: harness.linkRan(), functions };
      }, choose);
      return { ...outcome, ...this.seen, frameUrls: this.page.frames().map((f) => f.url()),
               pageUrl: this.page.url() };
    } finally {
      await menuContext.dispose();
    }
  }
}
