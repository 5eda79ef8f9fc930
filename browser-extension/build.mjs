#!/usr/bin/env node
// Builds the browser extension from the service table:
//   node browser-extension/build.mjs [--services FILE] [--out DIR] [--gecko-id ID]
//                                    [--key KEY.pem --update-base URL [--list-entry N]]
// FILE is src/handler_page/services.json unless given, or the table a CMake build exports
// (whose services carry the configured "address"). Writes DIR/unpacked/, the folder a
// browser loads, and DIR/ruvo-linklens-VERSION.zip, the package for the stores, whose
// SHA-256 it prints. DIR is build/browser-extension unless given.
// ID is the add-on's id in Firefox (linklens@ruvo.example unless given); an organisation
// that signs the add-on itself needs one of its own.
// With a key and the address the files will be served from, also DIR/managed/: the
// package signed with that key for Chrome and Edge (.crx) and its update manifest
// (updates.xml); the package for Firefox to have signed and its update manifest
// (updates.json); and the policy files that force-install it and hand it its services.
// It prints the extension id. Chrome's and Edge's policy installs it by ExtensionSettings,
// or with --list-entry by entry N of the numbered ExtensionInstallForcelist.
import { createHash } from 'node:crypto';
import { mkdirSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

import {
  crx3Of, firefoxUpdates, policyFiles, readSigningKey, updateManifest,
} from './managed.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
const root = path.dirname(here);

class BuildError extends Error {}

const usage = 'usage: node browser-extension/build.mjs [--services FILE] [--out DIR] ' +
  '[--gecko-id ID] [--key KEY.pem --update-base URL [--list-entry N]]';

const defaultGeckoId = 'linklens@ruvo.example';

function parseArguments(args) {
  const options = {
    services: path.join(root, 'src', 'handler_page', 'services.json'),
    out: path.join(root, 'build', 'browser-extension'),
    'gecko-id': defaultGeckoId,
    key: undefined,
    'update-base': undefined,
    'list-entry': undefined,
  };
  const paths = ['services', 'out', 'key'];
  for (let i = 0; i < args.length; i += 2) {
    const name = args[i].replace(/^--/, '');
    if (!(name in options) || args[i + 1] === undefined) throw new BuildError(usage);
    options[name] = paths.includes(name) ? path.resolve(args[i + 1]) : args[i + 1];
  }
  if ((options.key === undefined) !== (options['update-base'] === undefined)) {
    throw new BuildError(`--key and --update-base go together\n${usage}`);
  }
  if (options['list-entry'] !== undefined && options.key === undefined) {
    throw new BuildError(`--list-entry goes with --key and --update-base\n${usage}`);
  }
  // Firefox takes an address-like id or a GUID in braces.
  if (!/^([A-Za-z0-9._-]*@[A-Za-z0-9._-]+|\{[0-9A-Fa-f]{8}(-[0-9A-Fa-f]{4}){3}-[0-9A-Fa-f]{12}\})$/
    .test(options['gecko-id'])) {
    throw new BuildError(`--gecko-id ${JSON.stringify(options['gecko-id'])} is not an add-on id ` +
      'such as linklens@example.org');
  }
  if (options['list-entry'] !== undefined && !/^[1-9][0-9]{0,3}$/.test(options['list-entry'])) {
    throw new BuildError(`--list-entry ${JSON.stringify(options['list-entry'])} is not an ` +
      'entry number (1, 2, ...)');
  }
  return options;
}

// Where the organisation serves the managed files: an http or https address, with a
// path if it likes, but no query or fragment (the file names are appended to it).
function updateBaseOf(text) {
  let url;
  try {
    url = new URL(text);
  } catch {
    url = null;
  }
  if (!url || !['http:', 'https:'].includes(url.protocol) || url.search || url.hash ||
      url.username || url.password) {
    throw new BuildError(`--update-base ${JSON.stringify(text)} is not an http or https ` +
      'address without a query');
  }
  return url.href.replace(/\/+$/, '');
}

// The same rule CMake applies to RUVO_*_URL: a scheme and a host, nothing after.
const addressPattern = /^https?:\/\/[A-Za-z0-9]([A-Za-z0-9-]*[A-Za-z0-9])?(\.[A-Za-z0-9]([A-Za-z0-9-]*[A-Za-z0-9])?)*(:[0-9]+)?$/;

// What the extension routes by: each service's entry address and its extensions, and
// the text for any other link.
function readServiceTable(file) {
  let table;
  try {
    table = JSON.parse(readFileSync(file, 'utf8'));
  } catch (error) {
    throw new BuildError(`cannot read the service table ${file}: ${error.message}`);
  }
  const wrong = (what) => new BuildError(`${file}: ${what}`);
  if (!Array.isArray(table.services) || table.services.length === 0) {
    throw wrong('"services" must be a list of services');
  }
  if (typeof table.unsupportedAlert !== 'string' || table.unsupportedAlert === '') {
    throw wrong('"unsupportedAlert" must be the text shown for other links');
  }
  const services = table.services.map((service, at) => {
    const address = service.address ?? service.defaultAddress;
    const label = service.name ?? `service ${at + 1}`;
    if (typeof service.name !== 'string' || service.name === '') throw wrong(`${label} has no name`);
    if (typeof address !== 'string' || !addressPattern.test(address)) {
      throw wrong(`${label}'s address ${JSON.stringify(address)} is not an http or https ` +
        'scheme and host only');
    }
    if (typeof service.pathAndQuery !== 'string' || !service.pathAndQuery.startsWith('/')) {
      throw wrong(`${label}'s "pathAndQuery" must start with /`);
    }
    if (!Array.isArray(service.extensions) || service.extensions.length === 0 ||
        !service.extensions.every((e) => typeof e === 'string' && /^\.[a-z0-9]+$/.test(e))) {
      throw wrong(`${label}'s "extensions" must be a list like [".doc"], in small letters`);
    }
    return { name: service.name, kind: service.kind, entry: address + service.pathAndQuery,
             extensions: service.extensions };
  });
  return { services, unsupportedAlert: table.unsupportedAlert };
}

// The program's version record: the extension carries the product's version.
function readVersion() {
  const header = readFileSync(path.join(root, 'src', 'window', 'version.h'), 'utf8');
  const macro = (name) => {
    const match = header.match(new RegExp(`^#define ${name} (.+?)\\s*$`, 'm'));
    if (!match) throw new BuildError(`src/window/version.h defines no ${name}`);
    return match[1];
  };
  const number = ['MAJOR', 'MINOR', 'PATCH', 'BUILD']
    .map((part) => macro(`RUVO_VERSION_${part}`)).join('.');
  return { number, text: JSON.parse(macro('RUVO_VERSION_TEXT')),
           product: JSON.parse(macro('RUVO_PRODUCT_NAME')) };
}

const iconSizes = [16, 32, 48, 128];

// The icons are drawn by tools/make-images from the package image.
function checkIcons() {
  const problems = [];
  for (const size of iconSizes) {
    const file = path.join(here, 'icons', `icon-${size}.png`);
    let bytes;
    try {
      bytes = readFileSync(file);
    } catch {
      problems.push(`${path.relative(root, file)} is missing`);
      continue;
    }
    const isPng = bytes.subarray(0, 8).equals(Buffer.from('89504e470d0a1a0a', 'hex'));
    if (!isPng || bytes.readUInt32BE(16) !== size || bytes.readUInt32BE(20) !== size) {
      problems.push(`${path.relative(root, file)} is not a ${size}x${size} PNG`);
    }
  }
  if (problems.length > 0) {
    throw new BuildError(`the extension's icons are not all there: ${problems.join('; ')}. ` +
      'tools/make-images draws them from the package image.');
  }
}

function manifestFor(version, routing, geckoId) {
  const kinds = routing.services.map((s) => `${s.kind} in ${s.name}`);
  const list = kinds.length > 1 ? `${kinds.slice(0, -1).join(', ')} and ${kinds.at(-1)}` : kinds[0];
  return {
    manifest_version: 3,
    name: version.product,
    description: `Adds "Open with Ruvo Office Suite" to the menu of links: opens ${list}.`,
    version: version.number,
    version_name: version.text,
    icons: Object.fromEntries(iconSizes.map((size) => [size, `icons/icon-${size}.png`])),
    // storage: the services an organisation hands it by policy (storage.managed).
    permissions: ['contextMenus', 'storage'],
    storage: { managed_schema: 'schema.json' },
    // Chrome and Edge run the service worker and pass over "scripts"; Firefox, which has
    // no extension service workers, runs the scripts and passes over "service_worker".
    background: { service_worker: 'background.js', scripts: ['routing.js', 'background.js'] },
    // The link goes to the services, which Firefox asks the user to agree to at install
    // (website content); it asks from Firefox 140 on, and 142 on Android.
    browser_specific_settings: {
      gecko: {
        id: geckoId,
        strict_min_version: '140.0',
        data_collection_permissions: { required: ['websiteContent'] },
      },
      gecko_android: { strict_min_version: '142.0' },
    },
  };
}

function routingScript(routing, tableFile) {
  return `// Made by browser-extension/build.mjs from ${path.basename(tableFile)}: the services\n` +
    '// a link goes to by the end of its address, and the text for any other link.\n' +
    `const ruvoRouting = ${JSON.stringify(routing, null, 2)};\n`;
}

// CRC-32 as zip wants it (polynomial 0xEDB88320).
const crcTable = Array.from({ length: 256 }, (_, n) => {
  let c = n;
  for (let k = 0; k < 8; k++) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
  return c >>> 0;
});
function crc32(bytes) {
  let c = 0xffffffff;
  for (const byte of bytes) c = crcTable[(c ^ byte) & 0xff] ^ (c >>> 8);
  return (c ^ 0xffffffff) >>> 0;
}

// A zip whose bytes depend on the files alone: names in sorted order, every entry stored
// (no compressor's version shows in the output), dated 1980-01-01 00:00 and marked as a
// Unix file with mode 0644.
function zipOf(files) {
  const dosTime = 0;
  const dosDate = (1 << 5) | 1;  // 1980-01-01
  const unixFile = (0o100644 << 16) >>> 0;
  const locals = [];
  const centrals = [];
  let offset = 0;
  for (const [name, data] of [...files].sort(([a], [b]) => (a < b ? -1 : a > b ? 1 : 0))) {
    const nameBytes = Buffer.from(name, 'utf8');
    const crc = crc32(data);
    const local = Buffer.alloc(30);
    local.writeUInt32LE(0x04034b50, 0);
    local.writeUInt16LE(10, 4);  // version needed: 1.0, stored
    local.writeUInt16LE(0, 6);  // flags
    local.writeUInt16LE(0, 8);  // stored
    local.writeUInt16LE(dosTime, 10);
    local.writeUInt16LE(dosDate, 12);
    local.writeUInt32LE(crc, 14);
    local.writeUInt32LE(data.length, 18);
    local.writeUInt32LE(data.length, 22);
    local.writeUInt16LE(nameBytes.length, 26);
    local.writeUInt16LE(0, 28);
    locals.push(local, nameBytes, data);

    const central = Buffer.alloc(46);
    central.writeUInt32LE(0x02014b50, 0);
    central.writeUInt16LE((3 << 8) | 10, 4);  // made by: Unix, 1.0
    central.writeUInt16LE(10, 6);
    central.writeUInt16LE(0, 8);
    central.writeUInt16LE(0, 10);
    central.writeUInt16LE(dosTime, 12);
    central.writeUInt16LE(dosDate, 14);
    central.writeUInt32LE(crc, 16);
    central.writeUInt32LE(data.length, 20);
    central.writeUInt32LE(data.length, 24);
    central.writeUInt16LE(nameBytes.length, 28);
    central.writeUInt16LE(0, 30);  // extra field
    central.writeUInt16LE(0, 32);  // comment
    central.writeUInt16LE(0, 34);  // disk
    central.writeUInt16LE(0, 36);  // internal attributes
    central.writeUInt32LE(unixFile, 38);
    central.writeUInt32LE(offset, 42);
    centrals.push(central, nameBytes);
    offset += local.length + nameBytes.length + data.length;
  }
  const directory = Buffer.concat(centrals);
  const end = Buffer.alloc(22);
  end.writeUInt32LE(0x06054b50, 0);
  end.writeUInt16LE(files.size, 8);
  end.writeUInt16LE(files.size, 10);
  end.writeUInt32LE(directory.length, 12);
  end.writeUInt32LE(offset, 16);
  return Buffer.concat([...locals, directory, end]);
}

// Copied as they are.
const staticFiles = ['background.js', 'notice.html', 'notice.js', 'schema.json',
  ...iconSizes.map((size) => `icons/icon-${size}.png`)];

// The package signed with the organisation's key, with the update address in its
// manifest: Chrome and Edge take the policy's address for the first install only and
// the manifest's for every later version. Firefox's package carries its own update
// address (updates.json), and its policy installs whatever the stable address serves.
function buildManaged(files, { version, routing, out, keyFile, updateBase, geckoId, listEntry }) {
  let pem;
  try {
    pem = readFileSync(keyFile);
  } catch (error) {
    throw new BuildError(`cannot read the key ${keyFile}: ${error.message}`);
  }
  let key;
  try {
    key = readSigningKey(pem, keyFile);
  } catch (error) {
    throw new BuildError(error.message);
  }
  const withManifest = (manifest) => new Map([...files,
    ['manifest.json', Buffer.from(`${JSON.stringify(manifest, null, 2)}\n`)]]);
  const manifest = manifestFor(version, routing, geckoId);
  const updatesUrl = `${updateBase}/updates.xml`;
  const { crx, id } = crx3Of(zipOf(withManifest({ ...manifest, update_url: updatesUrl })), key);
  const crxName = `ruvo-linklens-${version.number}.crx`;
  const gecko = manifest.browser_specific_settings.gecko;
  const firefoxPackage = zipOf(withManifest({ ...manifest, browser_specific_settings: {
    ...manifest.browser_specific_settings,
    gecko: { ...gecko, update_url: `${updateBase}/updates.json` },
  } }));
  const managed = new Map([
    [crxName, crx],
    ['updates.xml', Buffer.from(updateManifest(id, `${updateBase}/${crxName}`, version.number))],
    [`ruvo-linklens-${version.number}-firefox.zip`, firefoxPackage],
    ['updates.json', firefoxUpdates(geckoId, `${updateBase}/ruvo-linklens-${version.number}.xpi`,
      version.number)],
  ]);
  const services = { services: routing.services.map(({ entry, extensions }) =>
    ({ entry, extensions })) };
  const policies = policyFiles({
    id, updatesUrl, geckoId, xpiUrl: `${updateBase}/ruvo-linklens-latest.xpi`, services,
    listEntry,
  });
  for (const [name, data] of policies) managed.set(`policies/${name}`, data);

  const folder = path.join(out, 'managed');
  rmSync(folder, { recursive: true, force: true });
  for (const [name, data] of managed) {
    mkdirSync(path.dirname(path.join(folder, name)), { recursive: true });
    writeFileSync(path.join(folder, name), data);
  }
  console.log(`build.mjs: extension id ${id}, signed with ${keyFile}`);
  console.log(`build.mjs: for ${updateBase}/: ${crxName}, updates.xml, updates.json and, ` +
    `once signed, ruvo-linklens-${version.number}-firefox.zip as ` +
    `ruvo-linklens-${version.number}.xpi and ruvo-linklens-latest.xpi; policies in ` +
    `${path.join(folder, 'policies')}`);
  console.log(`${createHash('sha256').update(crx).digest('hex')}  ${path.join(folder, crxName)}`);
}

function build({ services: tableFile, out, key: keyFile, 'update-base': base,
  'gecko-id': geckoId, 'list-entry': listEntry }) {
  const updateBase = base === undefined ? undefined : updateBaseOf(base);
  const routing = readServiceTable(tableFile);
  const version = readVersion();
  checkIcons();

  const files = new Map();
  files.set('manifest.json',
    Buffer.from(`${JSON.stringify(manifestFor(version, routing, geckoId), null, 2)}\n`));
  files.set('routing.js', Buffer.from(routingScript(routing, tableFile)));
  for (const name of staticFiles) files.set(name, readFileSync(path.join(here, name)));

  const unpacked = path.join(out, 'unpacked');
  rmSync(unpacked, { recursive: true, force: true });
  for (const [name, data] of files) {
    mkdirSync(path.dirname(path.join(unpacked, name)), { recursive: true });
    writeFileSync(path.join(unpacked, name), data);
  }
  if (keyFile !== undefined) {
    buildManaged(files, { version, routing, out, keyFile, updateBase, geckoId, listEntry });
  }

  const zipFile = path.join(out, `ruvo-linklens-${version.number}.zip`);
  const zip = zipOf(files);
  writeFileSync(zipFile, zip);
  const sha256 = createHash('sha256').update(zip).digest('hex');

  console.log(`build.mjs: services from ${tableFile}`);
  for (const service of routing.services) {
    console.log(`build.mjs:   ${service.extensions.join(' ')} -> ${service.entry}`);
  }
  console.log(`build.mjs: unpacked extension in ${unpacked}`);
  console.log(`build.mjs: package ${zipFile} (${zip.length} bytes)`);
  console.log(`${sha256}  ${zipFile}`);
}

try {
  build(parseArguments(process.argv.slice(2)));
} catch (error) {
  if (!(error instanceof BuildError)) throw error;
  console.error(`build.mjs: ${error.message}`);
  process.exit(1);
}
