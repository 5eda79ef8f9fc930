// Builds the browser extension with this run's service addresses and runs it in
// Chromium: loaded unpacked, its menu entry chosen on a link by calling the listener
// the entry is registered with, as the browser does. Every host name resolves to
// nothing, so the tabs it opens keep their address and nothing reaches a network.
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

import { chromium } from 'playwright-core';

import { defaultLinkBase, serviceTableFile, services } from './harness.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
export const root = path.resolve(here, '..', '..', '..');
export const serviceTable = path.join(root, 'src', 'handler_page', 'services.json');
const buildScript = path.join(root, 'browser-extension', 'build.mjs');

// Runs build.mjs; returns what it printed and where it put things.
export function runBuild(args, script = buildScript) {
  const stdout = execFileSync(process.execPath, [script, ...args],
    { encoding: 'utf8', stdio: ['ignore', 'pipe', 'pipe'] });
  const [sha256, zip] = stdout.trim().split('\n').at(-1).split(/\s+/);
  return { stdout, sha256, zip };
}

export function buildExtension() {
  const folder = mkdtempSync(path.join(os.tmpdir(), 'ruvo-extension-'));
  const out = path.join(folder, 'out');
  // The table the build exported, as the page under test was written from it.
  const built = runBuild(['--services', serviceTableFile, '--out', out]);
  return { ...built, folder, unpacked: path.join(out, 'unpacked'),
           remove: () => rmSync(folder, { recursive: true, force: true }) };
}

const menuEntry = 'open-with-ruvo';

// Chromium on a fresh profile of its own, handed to `setUp`; the profile goes with the
// browser, and both go at once when `setUp` fails. Returns what `setUp` made.
export async function withChromiumProfile(options, setUp) {
  const profile = mkdtempSync(path.join(os.tmpdir(), 'ruvo-chromium-profile-'));
  const context = await chromium.launchPersistentContext(profile, options);
  try {
    return await setUp(context, profile);
  } catch (error) {
    await context.close();
    rmSync(profile, { recursive: true, force: true });
    throw error;
  }
}

export class ExtensionRunner {
  constructor(context, profile, worker, cdp, extensionsPage) {
    this.context = context;
    this.profile = profile;
    this.worker = worker;
    this.cdp = cdp;
    this.extensionsPage = extensionsPage;
    this.id = new URL(worker.url()).host;
    this.noticeUrl = `chrome-extension://${this.id}/notice.html`;
  }

  static async start(unpacked) {
    return withChromiumProfile({
      executablePath: '/usr/bin/chromium',
      headless: true,
      viewport: null,  // each window keeps the size it was made with
      args: [
        '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
        '--disable-background-networking', '--disable-component-update', '--disable-sync',
        `--disable-extensions-except=${unpacked}`, `--load-extension=${unpacked}`,
        '--host-resolver-rules=MAP * ~NOTFOUND',
      ],
    }, async (context, profile) => {
      const worker = context.serviceWorkers()[0] ??
        await context.waitForEvent('serviceworker', { timeout: 15000 });
      // chrome://extensions, in developer mode so that it keeps the extension's errors.
      const extensionsPage = context.pages()[0] ?? await context.newPage();
      await extensionsPage.goto('chrome://extensions/');
      await extensionsPage.evaluate(() => chrome.developerPrivate.updateProfileConfiguration(
        { inDeveloperMode: true }));
      const cdp = await context.browser().newBrowserCDPSession();
      return new ExtensionRunner(context, profile, worker, cdp, extensionsPage);
    });
  }

  async close() {
    await this.context.close();
    rmSync(this.profile, { recursive: true, force: true });
  }

  // What chrome://extensions knows of the extension: warnings, errors, permissions.
  async report() {
    return this.extensionsPage.evaluate(async (id) => {
      const info = await chrome.developerPrivate.getExtensionInfo(id);
      return {
        installWarnings: info.installWarnings,
        manifestErrors: info.manifestErrors.map((e) => e.message),
        runtimeErrors: info.runtimeErrors.map((e) => e.message),
        permissionWarnings: info.permissions.simplePermissions.map((p) => p.message),
        hostAccess: info.permissions.runtimeHostPermissions ?? null,
      };
    }, this.id);
  }

  async pageTargets() {
    const { targetInfos } = await this.cdp.send('Target.getTargets');
    return targetInfos.filter((t) => t.type === 'page');
  }

  // Chooses the menu entry on a link with this address, as if in a page at
  // defaultLinkBase in the active tab. Returns the addresses of the tabs it opened, the text of any notice
  // it showed, and how many tabs it made in all; then closes them unless told to keep.
  async choose(linkUrl, { keep = false } = {}) {
    const before = new Set((await this.pageTargets()).map((t) => t.targetId));
    const tabIds = await this.worker.evaluate(async ({ linkUrl, pageUrl, menuEntry }) => {
      const ids = async () => (await chrome.tabs.query({})).map((t) => t.id);
      const [tab] = await chrome.tabs.query({ active: true, lastFocusedWindow: true });
      const start = new Set(await ids());
      await openWithRuvo({ menuItemId: menuEntry, linkUrl, pageUrl, frameId: 0,
                           editable: false }, tab);
      return (await ids()).filter((id) => !start.has(id));
    }, { linkUrl, pageUrl: defaultLinkBase, menuEntry });

    try {
      // A new tab has no address until its first navigation commits.
      let made = [];
      for (const deadline = Date.now() + 15000; ;) {
        made = (await this.pageTargets()).filter((t) => !before.has(t.targetId));
        if (made.length >= tabIds.length && made.every((t) => t.url !== '')) break;
        if (Date.now() > deadline) {
          throw new Error(`tabs without an address: ${JSON.stringify(made)}`);
        }
        await new Promise((resolve) => setTimeout(resolve, 20));
      }
      const opened = made.map((t) => t.url).filter((url) => url !== this.noticeUrl).sort();
      const notices = [];
      for (const target of made.filter((t) => t.url === this.noticeUrl)) {
        const page = await this.pageFor(target.url);
        notices.push(await page.getByRole('alert').textContent());
      }
      return { opened, notices, tabsMade: tabIds.length };
    } finally {
      if (!keep) await this.worker.evaluate((ids) => chrome.tabs.remove(ids), tabIds);
    }
  }

  async pageFor(url) {
    for (const deadline = Date.now() + 15000; Date.now() < deadline;) {
      const page = this.context.pages().find((p) => p.url() === url);
      if (page) {
        await page.waitForLoadState('load');
        return page;
      }
      await new Promise((resolve) => setTimeout(resolve, 20));
    }
    throw new Error(`no page at ${url}`);
  }
}
