// The extension's entry chosen through each browser's own link menu: Chromium with real
// mouse input on a window of its own, Firefox ESR over Marionette. First loaded
// unpacked, on every row of cases.mjs marked realMenu; then installed by the policy an
// organisation would roll out, from the package served as its update server would serve
// it, on one document link and one other link.
import assert from 'node:assert/strict';
import { generateKeyPairSync } from 'node:crypto';
import { copyFileSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { after, before, describe, it } from 'node:test';

import { buildExtension, runBuild } from './lib/extension.mjs';
import {
  ChromiumMenu, chromiumWithEtc, etcWithPolicy, startXvfb,
} from './lib/chromium-menu.mjs';
import { Firefox } from './lib/firefox.mjs';
import { serviceTableFile } from './lib/harness.mjs';
import { assertChosen, realMenuCases, startLinksServer } from './lib/real-menu.mjs';

const geckoId = 'linklens@ruvo.example';

let xvfb;
before(async () => { xvfb = await startXvfb(); });
after(() => xvfb?.close());

// Each browser: how it starts with the unpacked folder, how with the managed build's
// policy, and what says that the policy installed it.
const browsers = {
  Chromium: {
    unpacked: (folder) => ChromiumMenu.start({ display: xvfb.display, args: [
      `--disable-extensions-except=${folder}`, `--load-extension=${folder}`] }),
    managed: ({ managed, folder }) => ChromiumMenu.start({
      display: xvfb.display,
      // DevTools may attach to a force-installed extension's worker only with this.
      executablePath: chromiumWithEtc(etcWithPolicy({ ...JSON.parse(readFileSync(
        path.join(managed, 'policies', 'linux', 'ruvo-linklens.json'), 'utf8')),
      DeveloperToolsAvailability: 1 }, folder), folder),
      ignoreDefaultArgs: ['--disable-extensions', '--disable-background-networking'],
    }),
    installed: async (browser, { id }) => [await browser.worker.evaluate(async () => {
      const self = await chrome.management.getSelf();
      return { id: self.id, installType: self.installType };
    }), { id, installType: 'admin' }],
  },
  'Firefox ESR': {
    unpacked: async (folder) => {
      const firefox = await Firefox.start();
      assert.equal(await firefox.installAddon(folder), geckoId);
      return firefox;
    },
    managed: ({ managed }) => Firefox.start(
      { policies: path.join(managed, 'policies', 'firefox', 'policies.json') }),
    installed: async (firefox, { version }) => [await firefox.waitForAddon(geckoId), {
      id: geckoId, version, isActive: true, temporarilyInstalled: false, canUninstall: false,
      source: 'enterprise-policy',
    }],
  },
};

for (const [name, browserKind] of Object.entries(browsers)) {
  describe(`${name}'s link menu, the extension loaded unpacked`, () => {
    let built, server, browser;
    before(async () => {
      built = buildExtension();
      server = await startLinksServer();
      browser = await browserKind.unpacked(built.unpacked);
    });
    after(async () => {
      await browser?.close();
      await server?.close();
      built?.remove();
    });

    for (const [index, testCase] of realMenuCases.entries()) {
      it(testCase.name, async () => assertChosen(await browser.choose(server.caseUrl(index)),
        testCase));
    }
  });

  describe(`${name} installs the package by policy`, () => {
    let folder, server, browser;
    const built = {};
    before(async () => {
      folder = mkdtempSync(path.join(os.tmpdir(), 'ruvo-managed-'));
      const out = path.join(folder, 'out');
      const key = path.join(folder, 'key.pem');
      writeFileSync(key, generateKeyPairSync('rsa', { modulusLength: 2048 }).privateKey
        .export({ type: 'pkcs8', format: 'pem' }));
      const managed = path.join(out, 'managed');
      server = await startLinksServer({ folder: managed });
      const { stdout, zip } = runBuild(['--services', serviceTableFile, '--out', out,
        '--key', key, '--update-base', server.filesUrl]);
      built.id = /extension id ([a-p]{32})/.exec(stdout)[1];
      built.version = JSON.parse(readFileSync(path.join(out, 'unpacked', 'manifest.json'),
        'utf8')).version;
      // Where Firefox's policy looks for the signed copy, the unsigned zip, which Firefox
      // ESR takes with signatures not required.
      copyFileSync(zip, path.join(managed, `ruvo-linklens-${built.version}.xpi`));
      browser = await browserKind.managed({ managed, folder });
    });
    after(async () => {
      await browser?.close();
      await server?.close();
      if (folder) rmSync(folder, { recursive: true, force: true });
    });

    it('installs it by policy, for the user to keep', async () => {
      const [actual, expected] = await browserKind.installed(browser, built);
      assert.deepEqual(actual, expected);
    });

    for (const index of [realMenuCases.findIndex((c) => c.opens.length > 0),
                         realMenuCases.findIndex((c) => c.opens.length === 0)]) {
      it(`routes ${realMenuCases[index].name}`, async () => assertChosen(
        await browser.choose(server.caseUrl(index)), realMenuCases[index]));
    }
  });
}
