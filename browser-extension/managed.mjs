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

// The policy files. "1" is the entry's number in the force-install list: a machine with
// other entries there takes the next free number instead.
export function policyFiles({ id, updatesUrl, geckoId, xpiUrl }) {
  const entry = `${id};${updatesUrl}`;
  const regLines = ['Windows Registry Editor Version 5.00', ''];
  for (const browser of ['Google\\Chrome', 'Microsoft\\Edge']) {
    regLines.push(`[HKEY_LOCAL_MACHINE\\SOFTWARE\\Policies\\${browser}\\ExtensionInstallForcelist]`,
      `"1"="${entry.replace(/\\/g, '\\\\').replace(/"/g, '\\"')}"`, '');
  }
  // Registry Editor writes and reads UTF-16 with a byte-order mark and CRLF line ends.
  const reg = Buffer.concat([Buffer.from([0xff, 0xfe]),
    Buffer.from(`${regLines.join('\r\n')}\r\n`, 'utf16le')]);
  const json = (value) => Buffer.from(`${JSON.stringify(value, null, 2)}\n`);
  return new Map([
    ['chrome-and-edge-windows.reg', reg],
    ['linux/ruvo-linklens.json', json({ ExtensionInstallForcelist: [entry] })],
    ['firefox/policies.json', json({
      policies: {
        ExtensionSettings: {
          [geckoId]: { installation_mode: 'force_installed', install_url: xpiUrl },
        },
      },
    })],
  ]);
}
