// What an organisation needs to roll the extension out by policy: the package signed
// with its own key (CRX3, which Chrome and Edge install from an update server), the
// update manifest they fetch, and the policy files for Windows, Linux and Firefox.
// Every byte follows from the key, the sources and the base address: RSA signatures
// with PKCS #1 v1.5 padding are deterministic.
import { createHash, createPrivateKey, createPublicKey, sign } from 'node:crypto';

// Protocol buffer pieces, enough for the CRX3 header: a varint and a length-delimited field.
function varint(value) {
  const bytes = [];
  for (; value > 0x7f; value = Math.floor(value / 128)) bytes.push((value & 0x7f) | 0x80);
  bytes.push(value);
  return Buffer.from(bytes);
}
function field(number, data) {
  return Buffer.concat([varint(number * 8 + 2), varint(data.length), data]);
}

// The organisation's key, as a PEM file holds it (PKCS #1 or PKCS #8, as
// `openssl genrsa` or Chromium's --pack-extension write it).
export function readSigningKey(pem, file) {
  let key;
  try {
    key = createPrivateKey(pem);
  } catch (error) {
    throw new Error(`${file} is not a private key in PEM form: ${error.message}`);
  }
  if (key.asymmetricKeyType !== 'rsa') {
    throw new Error(`${file} is a ${key.asymmetricKeyType} key; Chrome and Edge take RSA keys`);
  }
  return key;
}

// The browsers name an extension after its key: the first 128 bits of the SHA-256 of the
// public key (DER SubjectPublicKeyInfo), each hexadecimal digit written as a letter a-p.
function idBytes(publicKeyDer) {
  return createHash('sha256').update(publicKeyDer).digest().subarray(0, 16);
}
export function extensionIdOf(publicKeyDer) {
  return [...idBytes(publicKeyDer).toString('hex')]
    .map((digit) => String.fromCharCode(97 + parseInt(digit, 16))).join('');
}

// A CRX3 file: "Cr24", format 3, the header's length and the header (the public key and
// the signature over the signed data and the zip), then the zip itself.
export function crx3Of(zip, privateKey) {
  const publicKeyDer = createPublicKey(privateKey).export({ type: 'spki', format: 'der' });
  const signedData = field(1, idBytes(publicKeyDer));
  const length = Buffer.alloc(4);
  length.writeUInt32LE(signedData.length);
  const signature = sign('sha256',
    Buffer.concat([Buffer.from('CRX3 SignedData\0', 'latin1'), length, signedData, zip]),
    privateKey);
  const header = Buffer.concat([
    field(2, Buffer.concat([field(1, publicKeyDer), field(2, signature)])),  // sha256_with_rsa
    field(10000, signedData),
  ]);
  const start = Buffer.alloc(12);
  start.write('Cr24', 0, 'latin1');
  start.writeUInt32LE(3, 4);
  start.writeUInt32LE(header.length, 8);
  return { crx: Buffer.concat([start, header, zip]), id: extensionIdOf(publicKeyDer) };
}

const xmlEscape = (text) => text.replace(/&/g, '&amp;').replace(/'/g, '&apos;')
  .replace(/</g, '&lt;');

// The update manifest Chrome and Edge read at the policy's address, and again from the
// manifest's update_url for every later version.
export function updateManifest(id, crxUrl, version) {
  return "<?xml version='1.0' encoding='UTF-8'?>\n" +
    "<gupdate xmlns='http://www.google.com/update2/response' protocol='2.0'>\n" +
    `  <app appid='${id}'>\n` +
    `    <updatecheck codebase='${xmlEscape(crxUrl)}' version='${version}' />\n` +
    '  </app>\n</gupdate>\n';
}

// Firefox's update manifest, at the manifest's gecko update_url: the version the
// organisation serves, signed, beside it.
export function firefoxUpdates(geckoId, xpiUrl, version) {
  return Buffer.from(`${JSON.stringify({
    addons: {
      [geckoId]: {
        updates: [{
          version, update_link: xpiUrl,
          browser_specific_settings: { gecko: { strict_min_version: '140.0' } },
        }],
      },
    },
  }, null, 2)}\n`);
}

// A Registry Editor file: UTF-16 with a byte-order mark and CRLF line ends. `keys` maps
// each key to its string values.
function regFile(keys) {
  const text = (value) => `"${value.replace(/\\/g, '\\\\').replace(/"/g, '\\"')}"`;
  const lines = ['Windows Registry Editor Version 5.00', ''];
  for (const [key, values] of keys) {
    lines.push(`[${key}]`, ...Object.entries(values).map(([n, v]) => `${text(n)}=${text(v)}`), '');
  }
  return Buffer.concat([Buffer.from([0xff, 0xfe]),
    Buffer.from(`${lines.join('\r\n')}\r\n`, 'utf16le')]);
}

// A property list as macOS writes it, of objects, arrays, strings, integers and booleans.
function plist(value) {
  const escape = (text) => text.replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;');
  const item = (v, indent) => {
    const inner = `${indent}\t`;
    if (typeof v === 'string') return `${indent}<string>${escape(v)}</string>`;
    if (typeof v === 'boolean') return `${indent}<${v}/>`;
    if (Number.isInteger(v)) return `${indent}<integer>${v}</integer>`;
    if (Array.isArray(v)) {
      return [`${indent}<array>`, ...v.map((e) => item(e, inner)), `${indent}</array>`].join('\n');
    }
    return [`${indent}<dict>`, ...Object.entries(v).flatMap(([k, e]) =>
      [`${inner}<key>${escape(k)}</key>`, item(e, inner)]), `${indent}</dict>`].join('\n');
  };
  return Buffer.from('<?xml version="1.0" encoding="UTF-8"?>\n' +
    '<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" ' +
    '"http://www.apple.com/DTDs/PropertyList-1.0.dtd">\n' +
    `<plist version="1.0">\n${item(value, '')}\n</plist>\n`);
}

// A configuration profile of `payloads` (each with its PayloadType and settings). The
// identifiers are the extension's own and the UUIDs follow from them, so the same build
// gives the same file and a new version replaces the profile installed before.
function configurationProfile(name, identifier, payloads) {
  const uuid = (text) => {
    const hex = createHash('sha256').update(text).digest('hex').toUpperCase();
    return `${hex.slice(0, 8)}-${hex.slice(8, 12)}-5${hex.slice(13, 16)}-` +
      `${'89AB'[parseInt(hex[16], 16) % 4]}${hex.slice(17, 20)}-${hex.slice(20, 32)}`;
  };
  return plist({
    PayloadContent: payloads.map(({ PayloadType, ...settings }) => ({
      PayloadType, PayloadVersion: 1, PayloadIdentifier: `${identifier}.${PayloadType}`,
      PayloadUUID: uuid(`${identifier}.${PayloadType}`), PayloadEnabled: true,
      PayloadDisplayName: `${name}: ${PayloadType}`, ...settings,
    })),
    PayloadDisplayName: name,
    PayloadIdentifier: identifier,
    PayloadScope: 'System',
    PayloadType: 'Configuration',
    PayloadUUID: uuid(identifier),
    PayloadVersion: 1,
  });
}

// The policy files that install the extension and hand it its services (`services`, the
// build's own table as an example to change). Chrome and Edge get ExtensionSettings,
// keyed by the extension's id, unless `listEntry` asks for the numbered
// ExtensionInstallForcelist entry of that number instead.
export function policyFiles({ id, updatesUrl, geckoId, xpiUrl, services, listEntry }) {
  const settings = { [id]: { installation_mode: 'force_installed', update_url: updatesUrl } };
  const forcelistEntry = `${id};${updatesUrl}`;
  const install = listEntry === undefined ? { ExtensionSettings: settings }
    : { ExtensionInstallForcelist: [forcelistEntry] };
  const chromium = [['Google\\Chrome', 'com.google.Chrome', 'Google Chrome'],
                    ['Microsoft\\Edge', 'com.microsoft.Edge', 'Microsoft Edge']];

  const keys = [];
  for (const [browser] of chromium) {
    const policies = `HKEY_LOCAL_MACHINE\\SOFTWARE\\Policies\\${browser}`;
    if (listEntry === undefined) {
      keys.push([`${policies}\\ExtensionSettings\\${id}`, settings[id]]);
    } else {
      keys.push([`${policies}\\ExtensionInstallForcelist`, { [listEntry]: forcelistEntry }]);
    }
    // A list policy may be given as its JSON text.
    keys.push([`${policies}\\3rdparty\\extensions\\${id}\\policy`,
      { services: JSON.stringify(services.services) }]);
  }

  const json = (value) => Buffer.from(`${JSON.stringify(value, null, 2)}\n`);
  const firefoxInstall = {
    ExtensionSettings: { [geckoId]: { installation_mode: 'force_installed', install_url: xpiUrl } },
    '3rdparty': { Extensions: { [geckoId]: services } },
  };
  const files = new Map([
    ['chrome-and-edge-windows.reg', regFile(keys)],
    ['linux/ruvo-linklens.json', json({ ...install, '3rdparty': { extensions: { [id]: services } } })],
    ['firefox/policies.json', json({ policies: firefoxInstall })],
  ]);
  for (const [, domain, name] of chromium) {
    files.set(`macos/${domain}.mobileconfig`, configurationProfile(`RUVO LinkLens for ${name}`,
      `${domain}.ruvo-linklens`,
      [{ PayloadType: domain, ...install }, { PayloadType: `${domain}.extensions.${id}`, ...services }]));
  }
  files.set('macos/org.mozilla.firefox.mobileconfig', configurationProfile(
    'RUVO LinkLens for Firefox', 'org.mozilla.firefox.ruvo-linklens',
    [{ PayloadType: 'org.mozilla.firefox', EnterprisePoliciesEnabled: true, ...firefoxInstall }]));
  return files;
}
