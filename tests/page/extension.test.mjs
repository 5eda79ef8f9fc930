// The browser extension, built with this run's service addresses and loaded unpacked
// into Chromium, against the links of cases.mjs: where the handler page opens services,
// the extension opens the same addresses in tabs; where the page alerts, the extension
// shows the same text. Also its package: reproducible, and clean to Mozilla's linter.
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import { createHash, createPublicKey, generateKeyPairSync } from 'node:crypto';
import { mkdtempSync, readFileSync, readdirSync, rmSync, writeFileSync } from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { after, before, describe, it } from 'node:test';
import vm from 'node:vm';

import cases from './cases.mjs';
import { addressesToOpen, alertText, serviceTableFile } from './lib/harness.mjs';
import {
  ExtensionRunner, buildExtension, root, runBuild, serviceTable,
} from './lib/extension.mjs';

let built;
let runner;
before(async () => {
  built = buildExtension();
  runner = await ExtensionRunner.start(built.unpacked);
});
after(async () => {
  await runner?.close();
  built?.remove();
});

function filesUnder(folder, prefix = '') {
  return readdirSync(folder, { withFileTypes: true }).flatMap((entry) => (entry.isDirectory()
    ? filesUnder(path.join(folder, entry.name), `${prefix}${entry.name}/`)
    : [`${prefix}${entry.name}`]));
}

// The zip as Python's zipfile reads it, each entry's checksum checked.
function readZip(file) {
  const script = `
import json, sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    bad = z.testzip()
    entries = [{"name": i.filename, "date": list(i.date_time), "mode": i.external_attr >> 16,
                "method": i.compress_type, "data": z.read(i).hex()} for i in z.infolist()]
print(json.dumps({"bad": bad, "entries": entries}))
`;
  return JSON.parse(execFileSync('python3', ['-c', script, file], { encoding: 'utf8' }));
}

describe('the package', () => {
  it('is the unpacked folder, in name order, with fixed dates and modes; a second build ' +
    'gives the same bytes and build.mjs prints their SHA-256', () => {
    const { bad, entries } = readZip(built.zip);
    assert.equal(bad, null);
    const names = filesUnder(built.unpacked).sort();
    assert.deepEqual(entries.map((e) => e.name), names);
    for (const entry of entries) {
      assert.deepEqual(entry.date, [1980, 1, 1, 0, 0, 0], entry.name);
      assert.equal(entry.mode, 0o100644, entry.name);
      assert.equal(entry.data, readFileSync(path.join(built.unpacked, entry.name)).toString('hex'));
    }
    assert.deepEqual(names, ['background.js', 'icons/icon-128.png', 'icons/icon-16.png',
      'icons/icon-32.png', 'icons/icon-48.png', 'manifest.json', 'notice.html', 'notice.js',
      'routing.js', 'schema.json']);

    const again = runBuild(['--services', serviceTableFile,
      '--out', path.join(built.folder, 'again')]);
    assert.ok(readFileSync(again.zip).equals(readFileSync(built.zip)));
    assert.equal(again.sha256, built.sha256);
    assert.match(built.sha256, /^[0-9a-f]{64}$/);
    assert.equal(createHash('sha256').update(readFileSync(built.zip)).digest('hex'), built.sha256);
  });

  // The proofs in real-menus.test.mjs show Chromium and Firefox taking these files; here,
  // what no browser here can show: the bytes, the id, Windows' and macOS's policies, and
  // the numbered list entry instead of ExtensionSettings.
  it('signed with the organisation\'s key: the same bytes from the same key, named after ' +
    'the key, with policies for Windows and macOS that install it and hand it its services',
  () => {
    const key = path.join(built.folder, 'key.pem');
    writeFileSync(key, generateKeyPairSync('rsa', { modulusLength: 2048 }).privateKey
      .export({ type: 'pkcs8', format: 'pem' }));
    const base = 'https://updates.example/linklens';
    const [one, two, listed] = [[], [], ['--list-entry', '7']].map((more, at) => {
      const out = path.join(built.folder, `build-${at}`, 'managed');
      const { stdout } = runBuild(['--services', serviceTableFile, '--out', path.dirname(out),
        '--key', key, '--update-base', `${base}/`, ...more]);
      const files = filesUnder(out).sort();
      const bytes = files.map((f) => readFileSync(path.join(out, f)));
      return { stdout, files, bytes, file: (name) => bytes[files.indexOf(name)] };
    });
    assert.deepEqual(one.files, two.files);
    one.files.forEach((file, at) => assert.ok(one.bytes[at].equals(two.bytes[at]), file));

    const spki = createPublicKey(readFileSync(key)).export({ type: 'spki', format: 'der' });
    const id = [...createHash('sha256').update(spki).digest('hex').slice(0, 32)]
      .map((digit) => String.fromCharCode(97 + parseInt(digit, 16))).join('');
    assert.match(one.stdout, new RegExp(`extension id ${id},`));
    const services = JSON.parse(vm.runInNewContext(`${readFileSync(path.join(built.unpacked,
      'routing.js'), 'utf8')}; JSON.stringify(ruvoRouting)`)).services
      .map(({ entry, extensions }) => ({ entry, extensions }));
    const [reg, listedReg] = [one, listed]
      .map((build) => build.file('policies/chrome-and-edge-windows.reg'));
    assert.deepEqual([...reg.subarray(0, 2)], [0xff, 0xfe]);
    for (const browser of ['Google\\Chrome', 'Microsoft\\Edge']) {
      const key = `[HKEY_LOCAL_MACHINE\\SOFTWARE\\Policies\\${browser}`;
      assert.ok(reg.toString('utf16le').includes(`${key}\\ExtensionSettings\\${id}]\r\n` +
        `"installation_mode"="force_installed"\r\n"update_url"="${base}/updates.xml"\r\n\r\n` +
        `${key}\\3rdparty\\extensions\\${id}\\policy]\r\n` +
        `"services"="${JSON.stringify(services).replace(/"/g, '\\"')}"\r\n`), browser);
      assert.ok(listedReg.toString('utf16le').includes(`${key}\\ExtensionInstallForcelist]\r\n` +
        `"7"="${id};${base}/updates.xml"\r\n`), browser);
    }
    assert.ok(!listedReg.toString('utf16le').includes('ExtensionSettings'));

    // The configuration profiles as macOS reads them: the payload types each browser
    // documents, and a UUID of its own for every payload.
    const profiles = JSON.parse(execFileSync('python3', ['-c', `
import json, os, plistlib, sys
read = {os.path.basename(f): plistlib.load(open(f, "rb")) for f in sys.argv[1:]}
print(json.dumps({f: [p["PayloadType"], [c["PayloadType"] for c in p["PayloadContent"]],
  len({c["PayloadUUID"] for c in [p, *p["PayloadContent"]]})] for f, p in read.items()}))`,
    ...one.files.filter((f) => f.endsWith('.mobileconfig'))
      .map((f) => path.join(built.folder, 'build-0', 'managed', f))], { encoding: 'utf8' }));
    assert.deepEqual(profiles, Object.fromEntries(['com.google.Chrome', 'com.microsoft.Edge',
      'org.mozilla.firefox'].map((domain) => [`${domain}.mobileconfig`, ['Configuration',
      [domain, ...(domain.endsWith('firefox') ? [] : [`${domain}.extensions.${id}`])],
      domain.endsWith('firefox') ? 2 : 3]])));
  });

  it('no private key is in the repository', () => {
    const found = spawnSync('git', ['-C', root, 'grep', '-l', '-I', '-E',
      'BEGIN (RSA |EC |ENCRYPTED )?PRIVATE KEY'], { encoding: 'utf8' });
    assert.deepEqual([found.status, found.stdout], [1, '']);
  });

  it('asks for the menu and policy (storage) permissions only, carries the product\'s ' +
    'version and its icons', () => {
    const manifest = JSON.parse(readFileSync(path.join(built.unpacked, 'manifest.json'), 'utf8'));
    const header = readFileSync(path.join(root, 'src', 'window', 'version.h'), 'utf8');
    const macro = (name) => header.match(new RegExp(`#define ${name} (.*)`))[1].trim();
    assert.equal(manifest.manifest_version, 3);
    assert.equal(manifest.name, 'RUVO LinkLens');
    assert.equal(manifest.version,
      ['MAJOR', 'MINOR', 'PATCH', 'BUILD'].map((p) => macro(`RUVO_VERSION_${p}`)).join('.'));
    assert.equal(manifest.version_name, JSON.parse(macro('RUVO_VERSION_TEXT')));
    assert.deepEqual(manifest.permissions, ['contextMenus', 'storage']);
    for (const key of ['host_permissions', 'optional_permissions', 'optional_host_permissions',
      'content_scripts', 'web_accessible_resources']) {
      assert.equal(manifest[key], undefined, key);
    }
    assert.ok(manifest.description.length <= 132, 'Chrome\'s limit for a description');
    for (const size of [16, 32, 48, 128]) {
      const png = readFileSync(path.join(built.unpacked, manifest.icons[size]));
      assert.deepEqual([png.readUInt32BE(16), png.readUInt32BE(20)], [size, size]);
    }
  });

  it('passes Mozilla\'s addons-linter with no errors', () => {
    const linter = path.join(root, 'tests', 'page', 'node_modules', '.bin', 'addons-linter');
    let output;
    try {
      output = execFileSync(linter, ['--output', 'json', built.zip], { encoding: 'utf8' });
    } catch (error) {
      output = error.stdout;  // it exits non-zero when it finds errors
    }
    const report = JSON.parse(output);
    assert.deepEqual(report.errors, []);
    // Firefox runs background.scripts and says it passes over service_worker, which is
    // there for Chrome and Edge.
    assert.deepEqual(report.warnings.map((w) => w.code), ['BACKGROUND_SERVICE_WORKER_IGNORED']);
  });

  it('is built for the addresses of the table it is given', () => {
    const folder = mkdtempSync(path.join(os.tmpdir(), 'ruvo-extension-table-'));
    try {
      const table = JSON.parse(readFileSync(serviceTable, 'utf8'));
      table.services[0].address = 'http://docs.intranet.example:8080';
      table.services[2].address = 'https://slides.example.org';
      const file = path.join(folder, 'exported.json');
      writeFileSync(file, JSON.stringify(table));
      runBuild(['--services', file, '--out', folder]);
      const routing = JSON.parse(vm.runInNewContext(`${readFileSync(
        path.join(folder, 'unpacked', 'routing.js'), 'utf8')}; JSON.stringify(ruvoRouting)`));
      assert.deepEqual(routing.services.map((s) => s.entry), [
        'http://docs.intranet.example:8080/publicimport.im?url=',
        'https://grid.ruvo.example/view.do?url=',
        'https://slides.example.org/publicimport.im?url=',
      ]);

      table.services[1].address = 'https://grid.example/';
      writeFileSync(file, JSON.stringify(table));
      assert.throws(() => runBuild(['--services', file, '--out', folder]),
        (error) => error.status === 1 &&
          /Grid's address "https:\/\/grid.example\/" is not an http or https scheme and host only/
            .test(error.stderr));
    } finally {
      rmSync(folder, { recursive: true, force: true });
    }
  });
});

describe('the extension in Chromium', () => {
  it('loads without a warning or an error, and Chromium warns of no permission', async () => {
    assert.deepEqual(await runner.report(), { installWarnings: [], manifestErrors: [],
      runtimeErrors: [], permissionWarnings: [], hostAccess: null });
  });

  it('made one menu entry, for links only, when installed; choosing it runs openWithRuvo',
    async () => {
      const seen = await runner.worker.evaluate(async () => {
        const menus = extensionApi.contextMenus;
        const calls = [];
        const { create, removeAll } = menus;
        // Record what the install listener does, without doing it again.
        menus.create = (properties) => { calls.push(['create', properties]); return properties.id; };
        menus.removeAll = async () => { calls.push(['removeAll']); };
        try {
          await registerMenu();
        } finally {
          Object.assign(menus, { create, removeAll });
        }
        const id = calls.find(([call]) => call === 'create')?.[1].id;
        return {
          calls,
          installListener: chrome.runtime.onInstalled.hasListener(registerMenu),
          clickListener: chrome.contextMenus.onClicked.hasListener(openWithRuvo),
          madeAtInstall: await chrome.contextMenus.update(id, {}).then(() => true, () => false),
        };
      });
      assert.deepEqual(seen.calls, [['removeAll'], ['create', {
        id: 'open-with-ruvo', title: 'Open with Ruvo Office Suite', contexts: ['link'],
      }]]);
      assert.equal(seen.installListener, true);
      assert.equal(seen.clickListener, true);
      assert.equal(seen.madeAtInstall, true);
    });

  it('takes a policy\'s services only when every one is whole; otherwise the built ones stand',
    async () => {
      const entry = 'https://docs.corp.example/open?u=';
      const good = { entry, extensions: ['.DOC', '.odt'] };
      const policies = [[good], [], 'none', [good, { entry: 'ftp://f.example/?u=', extensions: ['.xls'] }],
        [{ entry: `${entry}#`, extensions: ['.doc'] }], [{ entry, extensions: ['doc'] }],
        [{ entry: 'an address', extensions: ['.doc'] }], [{ entry, extensions: [] }], [null]];
      const taken = await runner.worker.evaluate((all) => all.map((services) =>
        servicesOfPolicy({ services })), policies);
      assert.deepEqual(taken, [[{ entry, extensions: ['.doc', '.odt'] }],
        ...policies.slice(1).map(() => null)]);
    });

  it('does nothing for another extension\'s menu entry', async () => {
    const before = await runner.pageTargets();
    const made = await runner.worker.evaluate(async () => {
      const count = async () => (await chrome.tabs.query({})).length;
      const start = await count();
      await openWithRuvo({ menuItemId: 'other', linkUrl: 'https://files.example/report.doc' });
      return (await count()) - start;
    });
    assert.equal(made, 0);
    assert.equal((await runner.pageTargets()).length, before.length);
  });

  it('the notice\'s OK closes its window', async () => {
    const { notices } = await runner.choose('https://files.example/notes.txt', { keep: true });
    assert.deepEqual(notices, [alertText]);
    const page = await runner.pageFor(runner.noticeUrl);
    assert.equal(await page.title(), 'RUVO LinkLens');
    const closed = page.waitForEvent('close');
    await page.getByRole('button', { name: 'OK' }).click();
    await closed;
    assert.ok(!(await runner.pageTargets()).some((t) => t.url === runner.noticeUrl));
  });
});

// The shared table. A link no browser offers its link menu for never reaches the extension.
const shared = cases.filter((c) => c.menu !== false);
describe(`the cases the handler page is tested on (${shared.length} of ${cases.length})`, () => {
  for (const group of new Set(shared.map((c) => c.group))) {
    describe(group, () => {
      for (const testCase of shared.filter((c) => c.group === group)) {
        it(testCase.name, async () => {
          const { opened, notices, tabsMade } = await runner.choose(testCase.href);
          if (testCase.opens.length === 0) {
            assert.deepEqual(opened, []);
            assert.deepEqual(notices, [alertText]);
            assert.equal(tabsMade, 1);
            return;
          }
          assert.deepEqual(notices, []);
          assert.equal(tabsMade, testCase.opens.length);
          // Chromium writes ' in a query as %27, as the URL standard has it.
          assert.deepEqual(opened, addressesToOpen(testCase).map((a) => new URL(a).href).sort());
          for (const url of opened) {
            assert.equal(decodeURIComponent(url.slice(url.indexOf('?url=') + '?url='.length)),
              testCase.href, 'the link\'s address reaches the service whole');
          }
        });
      }
    });
  }
});

describe('after every case', () => {
  it('Chromium logged no error of the extension', async () => {
    assert.deepEqual((await runner.report()).runtimeErrors, []);
  });
});
