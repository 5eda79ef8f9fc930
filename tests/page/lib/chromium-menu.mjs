// Chooses "Open with Ruvo Office Suite" through Chromium's own link menu, as a user does:
// Chromium runs with a window on an Xvfb display of its own; real X input (xdotool)
// right-clicks the link, and clicks the menu's entry, found on a screenshot of the menu
// as the one row drawn with a coloured icon (the extension's; Chromium's own entries
// have none or grey ones), so that nothing depends on how many entries a version shows.
import { execFile, spawn } from 'node:child_process';
import { cpSync, existsSync, mkdirSync, rmSync, writeFileSync } from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { promisify } from 'node:util';

import { withChromiumProfile } from './extension.mjs';
import { linkBox } from './real-menu.mjs';

const execFileAsync = promisify(execFile);
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

async function until(what, test, timeout = 15000) {
  for (const deadline = Date.now() + timeout; ;) {
    const value = await test();
    if (value) return value;
    if (Date.now() > deadline) throw new Error(`timed out waiting for ${what}`);
    await sleep(50);
  }
}

// An X server on the first free display from :57 on; -displayfd says when it is ready,
// and -noreset keeps it from resetting, and refusing a browser that starts meanwhile,
// whenever the last one has gone.
export async function startXvfb() {
  for (let number = 57; number < 157; number++) {
    if (existsSync(`/tmp/.X${number}-lock`) || existsSync(`/tmp/.X11-unix/X${number}`)) continue;
    const child = spawn('Xvfb', [`:${number}`, '-displayfd', '3', '-screen', '0', '1280x1024x24',
      '-nolisten', 'tcp', '-noreset'], { stdio: ['ignore', 'ignore', 'pipe', 'pipe'] });
    let errors = '';
    child.stderr.on('data', (data) => { errors += data; });
    const ready = await new Promise((resolve) => {
      child.stdio[3].on('data', () => resolve(true));
      child.on('exit', () => resolve(false));
    });
    if (!ready) {
      if (errors.includes('already active')) continue;
      throw new Error(`Xvfb :${number} did not start: ${errors}`);
    }
    const exited = new Promise((resolve) => child.on('exit', resolve));
    return {
      display: `:${number}`,
      close: async () => {
        if (child.exitCode === null) child.kill('SIGTERM');
        await exited;
      },
    };
  }
  throw new Error('no free X display from :57 to :156');
}

// An executable that runs Chromium seeing `etcFolder` as /etc/chromium, and only it: a
// mount namespace of its own (root only). Playwright's pipes (fds 3 and 4) pass through.
export function chromiumWithEtc(etcFolder, folder) {
  const quote = (text) => `'${text.replace(/'/g, "'\\''")}'`;
  const script = path.join(folder, 'chromium');
  writeFileSync(script, '#!/bin/sh\n' +
    'exec unshare --mount --propagation private /bin/sh -c ' +
    `'mount --bind "$0" /etc/chromium && exec /usr/bin/chromium "$@"' ${quote(etcFolder)} "$@"\n`,
  { mode: 0o755 });
  return script;
}

// A copy of /etc/chromium with one more managed policy file; returns its folder.
export function etcWithPolicy(policy, folder) {
  const etc = path.join(folder, 'etc-chromium');
  cpSync('/etc/chromium', etc, { recursive: true });
  mkdirSync(path.join(etc, 'policies', 'managed'), { recursive: true });
  writeFileSync(path.join(etc, 'policies', 'managed', 'ruvo-linklens.json'),
    `${JSON.stringify(policy, null, 2)}\n`);
  return etc;
}

export class ChromiumMenu {
  constructor(context, profile, display, cdp, worker) {
    Object.assign(this, { context, profile, display, cdp, worker });
    this.id = new URL(worker.url()).host;
    this.noticeUrl = `chrome-extension://${this.id}/notice.html`;
  }

  // Chromium with a window on `display`, once an extension's service worker runs (loaded
  // by `args`, or force-installed by policy, which may take a while).
  static async start({ display, args = [], executablePath = '/usr/bin/chromium',
                       ignoreDefaultArgs = [], extensionTimeout = 60000 }) {
    return withChromiumProfile({
      executablePath, headless: false, viewport: null, ignoreDefaultArgs,
      env: { ...process.env, DISPLAY: display },
      args: [
        '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-sync',
        '--window-position=0,0', '--window-size=1280,1000',
        '--host-resolver-rules=MAP * ~NOTFOUND, EXCLUDE 127.0.0.1', ...args,
      ],
    }, async (context, profile) => {
      const worker = context.serviceWorkers()[0] ??
        await context.waitForEvent('serviceworker', { timeout: extensionTimeout });
      const cdp = await context.browser().newBrowserCDPSession();
      const menu = new ChromiumMenu(context, profile, display, cdp, worker);
      menu.page = context.pages()[0] ?? await context.newPage();
      return menu;
    });
  }

  async close() {
    await this.context.close();
    rmSync(this.profile, { recursive: true, force: true });
  }

  // Runs an X client (xdotool, xwininfo, xprop, import) on this browser's display.
  x(command, args, options = {}) {
    const env = { ...process.env, DISPLAY: this.display };
    return execFileAsync(command, args.map(String), { env, maxBuffer: 64 << 20, ...options })
      .then(({ stdout }) => stdout);
  }

  async pageTargets() {
    const { targetInfos } = await this.cdp.send('Target.getTargets');
    return targetInfos.filter((t) => t.type === 'page');
  }

  // Top-level windows that are menus and drawn. Chromium makes a new window for each
  // menu, typed as it is made, so any other window is looked at once only.
  async menuWindows() {
    this.notMenus ??= new Set();
    const tree = await this.x('xwininfo', ['-root', '-children', '-int']);
    const menus = [];
    for (const [, id] of tree.matchAll(/^\s+([0-9]+) ["(]/gm)) {
      if (this.notMenus.has(id)) continue;
      const type = await this.x('xprop', ['-id', id, '_NET_WM_WINDOW_TYPE']).catch(() => '');
      if (!/_NET_WM_WINDOW_TYPE_(POPUP_)?MENU\b/.test(type)) {
        this.notMenus.add(id);
        continue;
      }
      const info = await this.x('xwininfo', ['-id', id]).catch(() => '');
      if (!/Map State: IsViewable/.test(info)) continue;
      const field = (name) => Number(new RegExp(`${name}:\\s+(-?[0-9]+)`).exec(info)[1]);
      menus.push({ id, left: field('Absolute upper-left X'), top: field('Absolute upper-left Y'),
                   width: field('Width'), height: field('Height') });
    }
    return menus;
  }

  // A screenshot of the menu, and its rows with a coloured icon: runs of pixel rows
  // holding strongly coloured pixels (channels far apart); text and Chromium's own icons
  // are grey.
  async menuShot(menu) {
    const ppm = await this.x('import', ['-window', menu.id, '-depth', '8', 'ppm:-'],
      { encoding: 'buffer' });
    const [header, width, height] = /^P6\s+([0-9]+)\s+([0-9]+)\s+255\s/
      .exec(ppm.toString('latin1', 0, 32));
    const pixels = ppm.subarray(header.length);
    const rows = [];
    let run = null;
    for (let y = 0; y < height; y++) {
      let coloured = 0;
      for (let at = y * width * 3; at < (y + 1) * width * 3; at += 3) {
        const [r, g, b] = pixels.subarray(at, at + 3);
        if (Math.max(r, g, b) - Math.min(r, g, b) >= 64) coloured++;
      }
      if (coloured >= 2) {
        run ??= { top: y, bottom: y, pixels: 0 };
        run.bottom = y;
        run.pixels += coloured;
      } else if (run) {
        rows.push(run);
        run = null;
      }
    }
    if (run) rows.push(run);
    return { ppm, width: Number(width), height: Number(height),
             rows: rows.filter((r) => r.bottom - r.top >= 7 && r.pixels >= 40) };
  }

  // Where the viewport's top left corner is on the screen: the pointer is moved to a
  // point inside it, and the page says where it saw the pointer.
  async viewportOrigin(page, retried = false) {
    const guess = await page.evaluate(() => {
      window.ruvoPointer = null;
      addEventListener('mousemove', (e) => { window.ruvoPointer = [e.clientX, e.clientY]; });
      const border = (outerWidth - innerWidth) / 2;
      return [screenX + border, screenY + outerHeight - innerHeight - border];
    });
    const point = [Math.round(guess[0] + linkBox.left + 5), Math.round(guess[1] + linkBox.top + 5)];
    // From below the window (the screen is taller), so that the pointer surely moves.
    await this.x('xdotool', ['mousemove', '--sync', 5, 1020, 'mousemove', '--sync', ...point]);
    const seen = await until('the page to see the pointer',
      () => page.evaluate(() => window.ruvoPointer));
    const origin = [point[0] - seen[0], point[1] - seen[1]];
    // A window still being placed just after start reports where it was: again, once.
    return origin.some((v) => v < 0) && !retried ? this.viewportOrigin(page, true) : origin;
  }

  // Right-clicks the link of the page at `caseUrl`, chooses the extension's entry, and
  // returns the addresses of the tabs that opened and the text of any notice shown;
  // then closes them.
  async choose(caseUrl) {
    const { page } = this;
    await page.bringToFront();
    await page.goto(caseUrl);
    const [left, top] = await this.viewportOrigin(page);
    const linkPoint = [left + linkBox.left + linkBox.width / 2,
                       top + linkBox.top + linkBox.height / 2];
    const before = new Set((await this.pageTargets()).map((t) => t.targetId));
    try {
      const entry = await this.findEntry(linkPoint);
      await this.x('xdotool', ['mousemove', '--sync', entry[0], entry[1], 'click', 1]);
      const made = await this.newTargets(before);
      const opened = made.map((t) => t.url).filter((url) => url !== this.noticeUrl);
      const notices = [];
      for (const target of made.filter((t) => t.url === this.noticeUrl)) {
        const notice = await until('the notice page',
          () => this.context.pages().find((p) => p.url() === target.url));
        await notice.waitForLoadState('load');  // notice.js has written the text
        notices.push(await notice.getByRole('alert').textContent());
      }
      return { opened, notices };
    } finally {
      if ((await this.menuWindows()).length > 0) await this.dismissMenu();
      for (const target of await this.pageTargets()) {
        if (!before.has(target.targetId)) {
          await this.cdp.send('Target.closeTarget', { targetId: target.targetId });
        }
      }
    }
  }

  // Closes the open menu by a click beside the window (the screen is taller than it).
  // Not by Escape: Chromium then opens the next menu only some 15 seconds later.
  dismissMenu() {
    return this.x('xdotool', ['mousemove', '--sync', 5, 1020, 'click', 1]);
  }

  // Opens the link's menu and returns the screen point of the extension's entry. The
  // entry can be missing from the first menu just after the extension installs.
  async findEntry(linkPoint, tries = 3) {
    await this.x('xdotool', ['mousemove', '--sync', ...linkPoint, 'click', 3]);
    const [menu, ...more] = await until('the link menu', async () => {
      const menus = await this.menuWindows();
      return menus.length > 0 && menus;
    });
    if (more.length > 0) throw new Error(`menus open: ${JSON.stringify([menu, ...more])}`);
    // The window can be there a moment before its entries are drawn, and entries can
    // come in later: two shots alike, with the entry in them, or nothing more happens.
    let shot;
    let last = null;
    for (const deadline = Date.now() + 1500; ;) {
      shot = await this.menuShot(menu);
      const key = JSON.stringify([shot.height, shot.rows]);
      if ((shot.rows.length > 0 && key === last) || Date.now() > deadline) break;
      last = key;
      await sleep(50);
    }
    const { rows } = shot;
    if (rows.length === 1) {
      return [menu.left + Math.round(shot.width / 2),
              menu.top + Math.round((rows[0].top + rows[0].bottom) / 2)];
    }
    await this.dismissMenu();
    if (rows.length === 0 && tries > 1) {
      await sleep(500);
      return this.findEntry(linkPoint, tries - 1);
    }
    const file = path.join(os.tmpdir(), `ruvo-menu-${Date.now()}.ppm`);
    writeFileSync(file, shot.ppm);
    throw new Error(`the link menu has ${rows.length} rows with a coloured icon, not 1: ` +
      `${JSON.stringify(rows)} (menu ${JSON.stringify(menu)}, screenshot ${file})`);
  }

  // The page targets made since `before`, once each has its address and no more come.
  async newTargets(before) {
    let made = [];
    let settled = 0;
    await until('the entry to open something', async () => {
      const now = (await this.pageTargets()).filter((t) => !before.has(t.targetId));
      const same = now.length === made.length && now.every((t, i) => t.url === made[i].url);
      made = now;
      // A new tab or window has no address, or about:blank, until its navigation starts.
      const addressed = now.every((t) => t.url !== '' && t.url !== 'about:blank');
      settled = same && now.length > 0 && addressed ? settled + 1 : 0;
      return settled >= 10;
    });
    return made;
  }
}
