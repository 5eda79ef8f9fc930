// The extension's entry chosen through each browser's own link menu: Chromium with real
// mouse input on a window of its own, Firefox ESR over Marionette. First loaded
// unpacked, on every row of cases.mjs marked realMenu; then installed by the policy an
// organisation would roll out, from the package served as its update server would serve
// it, with its own add-on id and other services set by policy: a document link goes to
// those, another link brings the notice, and with the services taken out of the policy
// the document link goes to the built ones again. Firefox also takes a new version.
import assert from 'node:assert/strict';
import { generateKeyPairSync } from 'node:crypto';
import {
  copyFileSync, cpSync, mkdirSync, mkdtempSync, readFileSync, rmSync, writeFileSync,
} from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { after, before, describe, it } from 'node:test';

import { buildExtension, root, runBuild } from './lib/extension.mjs';
import {
  ChromiumMenu, chromiumWithEtc, etcWithPolicy, startXvfb,
} from './lib/chromium-menu.mjs';
import { Firefox, waitUntil } from './lib/firefox.mjs';
import { serviceTableFile } from './lib/harness.mjs';
import { assertChosen, realMenuCases, startLinksServer } from './lib/real-menu.mjs';

const geckoId = 'linklens@ruvo.example';
const organisationGeckoId = 'linklens@corp.example';
const documentCase = realMenuCases.findIndex((c) => c.opens.length > 0);
const otherCase = realMenuCases.findIndex((c) => c.opens.length === 0);

// Builds the same sources with the version's last number one higher; returns the zip.
function buildNextVersion(folder, args) {
  const tree = path.join(folder, 'next');
  cpSync(path.join(root, 'browser-extension'), path.join(tree, 'browser-extension'),
    { recursive: true });
  mkdirSync(path.join(tree, 'src', 'window'), { recursive: true });
  writeFileSync(path.join(tree, 'src', 'window', 'version.h'), readFileSync(
    path.join(root, 'src', 'window', 'version.h'), 'utf8')
    .replace(/(#define RUVO_VERSION_BUILD )([0-9]+)/, (_, name, n) => `${name}${Number(n) + 1}`));
  return runBuild(args, path.join(tree, 'browser-extension', 'build.mjs')).zip;
}
const versionOf = (zip) => /ruvo-linklens-([0-9.]+)\.zip$/.exec(zip)[1];

let xvfb;
before(async () => { xvfb = await startXvfb(); });
after(() => xvfb?.close());

// Each browser: how it starts with the unpacked folder, how with the managed build's
// policy, and what says that the policy installed it.
const browsers = {
  Chromium: {
    unpacked: (folder) => ChromiumMenu.start({ display: xvfb.display, args: [
      `--disable-extensions-except=${folder}`, `--load-extension=${folder}`] }),
    policyFile: path.join('linux', 'ruvo-linklens.json'),
    thirdParty: (policy) => policy['3rdparty'].extensions,
    // DevTools may attach to a force-installed extension's worker only with this.
    setPolicy: (policy, folder) => etcWithPolicy({ ...policy, DeveloperToolsAvailability: 1 },
      folder),
    managed: ({ policy, folder }) => ChromiumMenu.start({
      display: xvfb.display,
      executablePath: chromiumWithEtc(browsers.Chromium.setPolicy(policy, folder), folder),
      ignoreDefaultArgs: ['--disable-extensions', '--disable-background-networking'],
    }),
    // Chromium watches its policy folder and passes a change on while it runs.
    changePolicy: async (browser, { policy, folder }) => {
      browsers.Chromium.setPolicy(policy, folder);
      return browser;
    },
    // Now and then Chromium hands an extension it has just installed by policy an empty
    // storage.managed for good (a race of its own, which the README's guide names):
    // then the install is tried once more, in a new profile.
    installAgain: async (browser, given) => {
      await browser.close();
      return browsers.Chromium.managed(given);
    },
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
    policyFile: path.join('firefox', 'policies.json'),
    thirdParty: (policy) => policy.policies['3rdparty'].Extensions,
    managed: ({ policy, folder }) => {
      writeFileSync(path.join(folder, 'policies.json'), JSON.stringify(policy));
      return Firefox.start({ policies: path.join(folder, 'policies.json') });
    },
    // Firefox reads its policies when it starts.
    changePolicy: async (firefox, given) => {
      await firefox.close();
      return browsers['Firefox ESR'].managed(given);
    },
    installed: async (firefox, { version }) => [await firefox.waitForAddon(organisationGeckoId), {
      id: organisationGeckoId, version, isActive: true, temporarilyInstalled: false,
      canUninstall: false, source: 'enterprise-policy',
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

  describe(`${name} installs the package by policy, with the services it names`, () => {
    let folder, server, browser, managed, buildArgs, policy;
    const built = {};
    const entries = new Map();  // each built entry, and the policy's instead
    // Firefox's package, unsigned (Firefox ESR takes it with signatures not required),
    // where its policy and updates.json look for the signed one.
    const serveFirefoxPackage = (zip) => {
      for (const name of [versionOf(zip), 'latest']) {
        copyFileSync(zip.replace(/([^/]*)\.zip$/, 'managed/$1-firefox.zip'),
          path.join(managed, `ruvo-linklens-${name}.xpi`));
      }
    };
    before(async () => {
      folder = mkdtempSync(path.join(os.tmpdir(), 'ruvo-managed-'));
      const key = path.join(folder, 'key.pem');
      writeFileSync(key, generateKeyPairSync('rsa', { modulusLength: 2048 }).privateKey
        .export({ type: 'pkcs8', format: 'pem' }));
      managed = path.join(folder, 'out', 'managed');
      server = await startLinksServer({ folder: managed });
      buildArgs = ['--services', serviceTableFile, '--key', key, '--update-base',
        server.filesUrl, '--gecko-id', organisationGeckoId];
      const { stdout, zip } = runBuild([...buildArgs, '--out', path.dirname(managed)]);
      Object.assign(built, { id: /extension id ([a-p]{32})/.exec(stdout)[1],
                             version: versionOf(zip) });
      serveFirefoxPackage(zip);
      // The example policy, its services the built ones' extensions at other addresses.
      policy = JSON.parse(readFileSync(path.join(managed, 'policies', browserKind.policyFile)));
      Object.values(browserKind.thirdParty(policy))[0].services.forEach((service, at) => {
        entries.set(service.entry, `http://service-${at + 1}.policy.example/take?link=`);
        service.entry = entries.get(service.entry);
      });
      browser = await browserKind.managed({ policy, folder });
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

    // The browser hands the extension its policy a moment after it installs it.
    const routesDocument = async (to, t) => {
      let chosen;
      let tries = 0;
      await waitUntil('the policy to count', async () => {
        if (++tries === 15 && browserKind.installAgain && to.size > 0) {
          t.diagnostic('no policy after 14 tries: installing it once more');
          browser = await browserKind.installAgain(browser, { policy, folder });
        }
        chosen = await browser.choose(server.caseUrl(documentCase));
        try {
          return assertChosen(chosen, realMenuCases[documentCase], to) ?? true;
        } catch {
          return false;
        }
      }, { ms: 60000, every: 500 }).catch(() => assertChosen(chosen,
        realMenuCases[documentCase], to));
    };
    it(`routes ${realMenuCases[documentCase].name} to the services the policy names`,
      (t) => routesDocument(entries, t));

    it(`routes ${realMenuCases[otherCase].name}`, async () => assertChosen(
      await browser.choose(server.caseUrl(otherCase)), realMenuCases[otherCase]));

    if (name === 'Firefox ESR') {
      it('takes a new version from updates.json, its policy unchanged', async (t) => {
        const zip = buildNextVersion(folder, [...buildArgs, '--out', path.join(folder, 'next')]);
        serveFirefoxPackage(zip);
        copyFileSync(path.join(path.dirname(zip), 'managed', 'updates.json'),
          path.join(managed, 'updates.json'));
        const served = Date.now();
        // What the daily update timer does, now.
        await browser.run('chrome', async () => {
          Services.prefs.setBoolPref('extensions.update.enabled', true);
          await ChromeUtils.importESModule('resource://gre/modules/AddonManager.sys.mjs')
            .AddonManagerPrivate.backgroundUpdateCheck();
        });
        await waitUntil('the new version', async () => (await browser.addon(organisationGeckoId))
          ?.version === versionOf(zip), { ms: 60000 });
        t.diagnostic(`${versionOf(zip)} runs ${Date.now() - served} ms after it was served`);
      });
    }

    it('with the services taken out of the policy, routes to the built ones', async (t) => {
      delete Object.values(browserKind.thirdParty(policy))[0].services;
      const changed = Date.now();
      browser = await browserKind.changePolicy(browser, { policy, folder });
      await routesDocument(new Map(), t);
      t.diagnostic(`routed to the built ones ${Date.now() - changed} ms after the change`);
    });
  });
}
