// Firefox ESR, headless, driven over Marionette (its own protocol: `length:JSON` messages
// over TCP) to right-click links and choose an entry from its own link menu, as a user
// does. Every address but the loopback's goes to a proxy of ours that takes no request,
// so nothing leaves the machine and a tab keeps the address it was asked to load.
import { spawn } from 'node:child_process';
import { cpSync, mkdirSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import { setTimeout as sleep } from 'node:timers/promises';

import { linkBox } from './real-menu.mjs';

export const menuLabel = 'Open with Ruvo Office Suite';

const prefs = (proxyPort) => ({
  'marionette.port': 0,  // any free port, written to MarionetteActivePort
  // no first-run, welcome, default-browser or crash-recovery pages
  'browser.shell.checkDefaultBrowser': false,
  'browser.startup.page': 0,
  'browser.startup.homepage': 'about:blank',
  'browser.startup.homepage_override.mstone': 'ignore',
  'startup.homepage_welcome_url': 'about:blank',
  'startup.homepage_welcome_url.additional': '',
  'browser.aboutwelcome.enabled': false,
  'browser.newtabpage.enabled': false,
  'browser.sessionstore.resume_from_crash': false,
  'toolkit.startup.max_resumed_crashes': -1,
  'browser.tabs.warnOnClose': false,
  'browser.warnOnQuit': false,
  'browser.uitour.enabled': false,
  'browser.translations.enable': false,
  // no updates, telemetry, studies or lists fetched
  'app.update.disabledForTesting': true,
  'app.update.auto': false,
  'app.normandy.enabled': false,
  'app.shield.optoutstudies.enabled': false,
  'datareporting.policy.dataSubmissionEnabled': false,
  'datareporting.healthreport.uploadEnabled': false,
  'toolkit.telemetry.enabled': false,
  'toolkit.telemetry.unified': false,
  'toolkit.telemetry.server': '',
  'browser.safebrowsing.malware.enabled': false,
  'browser.safebrowsing.phishing.enabled': false,
  'browser.safebrowsing.downloads.enabled': false,
  'browser.safebrowsing.blockedURIs.enabled': false,
  'services.settings.server': 'data:,#remote-settings-dummy/v1',
  'extensions.update.enabled': false,
  'extensions.getAddons.cache.enabled': false,
  'extensions.systemAddon.update.enabled': false,
  'extensions.blocklist.enabled': false,
  'media.gmp-manager.updateEnabled': false,
  'network.captive-portal-service.enabled': false,
  'network.connectivity-service.enabled': false,
  'network.dns.disablePrefetch': true,
  'network.prefetch-next': false,
  'network.predictor.enabled': false,
  'network.http.speculative-parallel-limit': 0,
  'network.trr.mode': 5,
  // add-ons: unsigned ones install, and those placed by others start enabled
  'xpinstall.signatures.required': false,
  // the policy's add-on updates from the loopback server, over plain HTTP
  'extensions.checkUpdateSecurity': false,
  'extensions.autoDisableScopes': 0,
  // every request but the loopback's goes to the proxy, which closes every connection
  'network.proxy.type': 1,
  'network.proxy.http': '127.0.0.1',
  'network.proxy.http_port': proxyPort,
  'network.proxy.ssl': '127.0.0.1',
  'network.proxy.ssl_port': proxyPort,
  'network.proxy.no_proxies_on': '',
  'network.proxy.failover_direct': false,
});

// One Marionette connection: commands are [0, id, name, parameters], replies
// [1, id, error, result]; the server first sends a greeting object.
async function connect(port) {
  const socket = net.connect(port, '127.0.0.1');
  const pending = new Map();
  let buffer = Buffer.alloc(0);
  let greet;
  const greeting = new Promise((resolve) => { greet = resolve; });
  const fail = (error) => {
    for (const reply of pending.values()) reply({ error: 'disconnected', message: String(error) });
    pending.clear();
  };
  socket.on('data', (chunk) => {
    buffer = Buffer.concat([buffer, chunk]);
    for (let colon; (colon = buffer.indexOf(0x3a)) >= 0;) {
      const end = colon + 1 + Number(buffer.subarray(0, colon).toString('latin1'));
      if (buffer.length < end) break;
      const message = JSON.parse(buffer.subarray(colon + 1, end).toString('utf8'));
      buffer = buffer.subarray(end);
      if (!Array.isArray(message)) greet(message);
      else pending.get(message[1])?.(message[2], message[3]);
    }
  });
  socket.on('close', () => fail('the connection closed'));
  await new Promise((resolve, reject) => {
    socket.once('connect', resolve);
    socket.once('error', reject);
  });
  socket.on('error', fail);
  await greeting;
  let next = 0;
  return {
    send(name, parameters = {}) {
      const id = ++next;
      return new Promise((resolve, reject) => {
        pending.set(id, (error, result) => {
          pending.delete(id);
          if (error) reject(new Error(`${name}: ${error.error}: ${error.message}`));
          else resolve(result);
        });
        const body = Buffer.from(JSON.stringify([0, id, name, parameters]), 'utf8');
        socket.write(`${body.length}:`);
        socket.write(body);
      });
    },
    close: () => socket.destroy(),
  };
}

export const waitUntil = async (what, test, { ms = 30000, every = 50 } = {}) => {
  for (const deadline = Date.now() + ms; ;) {
    const value = await test();
    if (value) return value;
    if (Date.now() > deadline) throw new Error(`gave up waiting for ${what}`);
    await sleep(every);
  }
};

// In chrome context (the browser window's own scripts): with the link menu open, activates
// the entry, then waits for the tabs and windows it makes to have their addresses and for
// nothing more to come. Returns { made: [{ url, popup }] }, or { missing: [labels] } if
// the menu has no such entry.
async function activateEntry(label) {
  const until = async (test) => {
    for (const deadline = Date.now() + 10000; !test() && Date.now() < deadline;) {
      await new Promise((resolve) => setTimeout(resolve, 25));
    }
    return test();
  };
  const menu = document.getElementById('contentAreaContextMenu');
  if (!await until(() => menu.state === 'open')) throw new Error('the link menu did not open');
  const items = [...menu.querySelectorAll(':scope > menuitem')].filter((i) => !i.hidden);
  const item = items.find((i) => i.label === label);
  if (!item) {
    menu.hidePopup();
    return { missing: items.map((i) => i.label) };
  }
  const tabs = () => [...Services.wm.getEnumerator('navigator:browser')].flatMap(
    (win) => [...win.gBrowser.tabs].map((tab) => ({ win, tab })));
  const before = new Set(tabs().map(({ tab }) => tab));
  menu.activateItem(item);
  let last = '';
  let since = Date.now();
  const made = () => tabs().filter(({ tab }) => !before.has(tab)).map(({ win, tab }) => ({
    url: tab.linkedBrowser.currentURI.spec,
    popup: !win.toolbar.visible,
    loading: tab.hasAttribute('busy'),
  }));
  await until(() => {
    const now = made();
    const text = JSON.stringify(now);
    if (text !== last) [last, since] = [text, Date.now()];
    return now.length > 0 && now.every((tab) => tab.url !== 'about:blank' && !tab.loading) &&
      Date.now() - since > 400;
  });
  return { made: made().map(({ url, popup }) => ({ url, popup })) };
}

async function addonInfo(id) {
  const { AddonManager } = ChromeUtils.importESModule('resource://gre/modules/AddonManager.sys.mjs');
  const addon = await AddonManager.getAddonByID(id);
  return addon && {
    id: addon.id, version: addon.version, isActive: addon.isActive,
    temporarilyInstalled: addon.temporarilyInstalled,
    canUninstall: Boolean(addon.permissions & AddonManager.PERM_CAN_UNINSTALL),
    source: addon.installTelemetryInfo?.source ?? null,
  };
}

// In content context, in the notice's page: the text of its alert once it has loaded.
async function alertText() {
  if (document.readyState !== 'complete') {
    await new Promise((resolve) => window.addEventListener('load', resolve, { once: true }));
  }
  return document.querySelector('[role=alert]')?.textContent ?? null;
}

export class Firefox {
  #child; #exited; #folder; #proxy; #marionette; #context = 'content'; #stderr = '';

  // `policies`: a policies.json for Firefox to find where a Linux machine keeps its
  // policies, /etc/firefox/policies/. It sees it through an overlay on /etc in a mount
  // namespace of its own; the machine's /etc stays as it is.
  static async start({ policies } = {}) {
    const firefox = new Firefox();
    try {
      await firefox.#start(policies);
    } catch (error) {
      await firefox.close();
      throw new Error(`Firefox did not start: ${error.message}\n${firefox.#stderr.slice(-2000)}`);
    }
    return firefox;
  }

  async #start(policies) {
    this.#folder = mkdtempSync(path.join(os.tmpdir(), 'ruvo-firefox-'));
    const profile = path.join(this.#folder, 'profile');
    mkdirSync(profile);
    this.#proxy = net.createServer((socket) => socket.destroy());
    await new Promise((resolve) => this.#proxy.listen(0, '127.0.0.1', resolve));
    writeFileSync(path.join(profile, 'user.js'), Object.entries(prefs(this.#proxy.address().port))
      .map(([name, value]) => `user_pref(${JSON.stringify(name)}, ${JSON.stringify(value)});\n`)
      .join(''));

    const firefoxCommand = ['firefox-esr', '--marionette', '--remote-allow-system-access',
      '--no-remote', '--profile', profile];
    let command = firefoxCommand;
    if (policies) {
      const upper = path.join(this.#folder, 'etc');
      const work = path.join(this.#folder, 'etc-work');
      mkdirSync(path.join(upper, 'firefox', 'policies'), { recursive: true });
      mkdirSync(work);
      cpSync(policies, path.join(upper, 'firefox', 'policies', 'policies.json'));
      command = ['unshare', '--mount', '--propagation', 'private', 'sh', '-c',
        'mount -t overlay ruvo-etc -o "lowerdir=/etc,upperdir=$1,workdir=$2" /etc && ' +
        'shift 2 && exec "$@"', 'sh', upper, work, ...firefoxCommand];
    }
    this.#child = spawn(command[0], command.slice(1), {
      env: { ...process.env, MOZ_HEADLESS: '1', MOZ_CRASHREPORTER_DISABLE: '1' },
      stdio: ['ignore', 'ignore', 'pipe'],
      detached: true,  // a process group of its own, content processes with it
    });
    this.#child.stderr.on('data', (data) => { this.#stderr = (this.#stderr + data).slice(-20000); });
    this.#exited = new Promise((resolve) => this.#child.once('exit', resolve));

    const portFile = path.join(profile, 'MarionetteActivePort');
    const port = await waitUntil('Marionette to listen', () => {
      if (this.#child.exitCode !== null || this.#child.signalCode !== null) {
        throw new Error(`firefox-esr exited (${this.#child.exitCode ?? this.#child.signalCode})`);
      }
      try {
        return Number(readFileSync(portFile, 'utf8').trim()) || null;
      } catch {
        return null;
      }
    });
    this.#marionette = await connect(port);
    await this.send('WebDriver:NewSession', {});
    await this.send('WebDriver:SetTimeouts', { script: 60000 });
  }

  send(name, parameters) {
    return this.#marionette.send(name, parameters);
  }

  async #setContext(context) {
    if (this.#context === context) return;
    await this.send('Marionette:SetContext', { value: context });
    this.#context = context;
  }

  // Runs `fn` with `args` (JSON) in chrome or content context; returns what it resolves to.
  async run(context, fn, ...args) {
    await this.#setContext(context);
    const reply = await this.send('WebDriver:ExecuteScript',
      { script: `return (${fn}).apply(null, arguments);`, args });
    return reply.value;
  }

  async installAddon(folder) {
    return (await this.send('Addon:Install', { path: folder, temporary: true })).value;
  }

  addon(id) {
    return this.run('chrome', addonInfo, id);
  }

  // The add-on as the add-on manager has it, once it is there and running.
  waitForAddon(id, ms = 60000) {
    return waitUntil(`add-on ${id}`, async () => {
      const info = await this.addon(id);
      return info?.isActive ? info : null;
    }, { ms, every: 250 });
  }

  // The handles Marionette gives the tabs of every window, popups among them (a list
  // comes as it is, not wrapped in { value }).
  async #handles() {
    await this.#setContext('content');
    const reply = await this.send('WebDriver:GetWindowHandles');
    return Array.isArray(reply) ? reply : reply.value;
  }

  // Loads `pageUrl` in the current tab, right-clicks the middle of its link box and chooses
  // the entry from the link menu. Returns the addresses of the tabs that opened and the
  // text of each notice that came up in a popup window of the extension's notice page;
  // then closes them all. The new tabs are found by the handles Marionette lists before
  // and after the choice, as every Firefox that takes the extension names them.
  async choose(pageUrl, label = menuLabel) {
    await this.#setContext('content');
    const home = (await this.send('WebDriver:GetWindowHandle')).value;
    let result;
    let before;
    for (const deadline = Date.now() + 15000; ;) {
      await this.#setContext('content');
      await this.send('WebDriver:Navigate', { url: pageUrl });
      before = new Set(await this.#handles());
      await this.send('WebDriver:PerformActions', { actions: [{
        type: 'pointer', id: 'mouse', parameters: { pointerType: 'mouse' },
        actions: [
          { type: 'pointerMove', origin: 'viewport', duration: 0,
            x: linkBox.left + linkBox.width / 2, y: linkBox.top + linkBox.height / 2 },
          { type: 'pointerDown', button: 2 },
          { type: 'pointerUp', button: 2 },
        ],
      }] });
      await this.send('WebDriver:ReleaseActions');
      result = await this.run('chrome', activateEntry, label);
      // An extension that has just started may not have made its entry yet.
      if (!result.missing) break;
      if (Date.now() > deadline) {
        throw new Error(`no "${label}" in the link menu: ${JSON.stringify(result.missing)}`);
      }
      await sleep(250);
    }
    const added = await waitUntil('Marionette to list the tabs the entry opened', async () => {
      const handles = (await this.#handles()).filter((handle) => !before.has(handle));
      return handles.length >= result.made.length ? handles : null;
    }, { ms: 10000 });
    const isNotice = (url) => /^moz-extension:\/\/[^/]+\/notice\.html$/.test(url);
    try {
      const notices = [];
      for (const handle of added) {
        await this.send('WebDriver:SwitchToWindow', { handle, focus: false });
        if (isNotice((await this.send('WebDriver:GetCurrentURL')).value)) {
          notices.push(await this.run('content', alertText));
        }
      }
      // The notice is told in a popup window of its own, never in a tab.
      const popups = result.made.filter((tab) => tab.popup && isNotice(tab.url));
      if (popups.length !== notices.length) {
        throw new Error(`notice pages among the new tabs: ${notices.length}, ` +
          `in popup windows: ${popups.length}; ${JSON.stringify(result.made)}`);
      }
      return { opened: result.made.filter((tab) => !popups.includes(tab)).map((tab) => tab.url),
               notices };
    } finally {
      await this.#setContext('content');
      for (const handle of added) {
        await this.send('WebDriver:SwitchToWindow', { handle, focus: false });
        await this.send('WebDriver:CloseWindow');
      }
      // Chrome context runs in the window of the tab last switched to: back to the page's.
      await this.send('WebDriver:SwitchToWindow', { handle: home, focus: true });
    }
  }

  async close() {
    if (this.#marionette) {
      await Promise.race([this.send('Marionette:Quit', { flags: ['eForceQuit'] }).catch(() => {}),
                          sleep(5000)]);
      this.#marionette.close();
    }
    if (this.#child && this.#child.exitCode === null && this.#child.signalCode === null) {
      if (await Promise.race([this.#exited.then(() => true), sleep(10000)]) !== true) {
        process.kill(-this.#child.pid, 'SIGKILL');
        await this.#exited;
      }
    }
    if (this.#proxy) await new Promise((resolve) => this.#proxy.close(resolve));
    if (this.#folder) rmSync(this.#folder, { recursive: true, force: true });
  }
}
