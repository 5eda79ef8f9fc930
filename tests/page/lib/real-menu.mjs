// What the real-menu tests share: a loopback server with one page per link of the case
// table (and, for the managed installs, a folder of files served as an update server
// would), and what a link chosen through a browser's own menu must have opened.
import assert from 'node:assert/strict';
import { readFile } from 'node:fs/promises';
import { createServer } from 'node:http';
import path from 'node:path';

import cases from '../cases.mjs';
import { addressesToOpen, alertText, defaultLinkBase } from './harness.mjs';

export const realMenuCases = cases.filter((c) => c.realMenu);

// Where the link sits on its page, in CSS pixels from the viewport's top left corner: the
// drivers right-click its middle.
export const linkBox = Object.freeze({ left: 40, top: 40, width: 480, height: 60 });

const attribute = (text) => String(text).replace(/&/g, '&amp;').replace(/"/g, '&quot;')
  .replace(/</g, '&lt;');
const pixel = 'data:image/gif;base64,R0lGODlhAQABAIAAAP///wAAACH5BAEAAAAALAAAAAABAAEAAAICRAEAOw==';

// The case's link, filling the link box: the innermost element takes the right click.
// Nothing on the page is coloured, so that the menu's icons stand out on a screenshot.
function casePage(testCase) {
  const { link } = testCase;
  const href = link.href === undefined ? '' : ` href="${attribute(link.href)}"`;
  const { width, height } = linkBox;
  let inner = 'link';
  for (const tag of [...(link.inner ?? [])].reverse()) {
    inner = tag === 'img' ? `<img id="clicked" src="${pixel}" width="${width}" height="${height}" alt="">`
      : `<${tag}>${inner}</${tag}>`;
  }
  let body = link.area
    ? `<map name="m"><area shape="rect" coords="0,0,${width},${height}"${href} alt="link"></map>` +
      `<img src="${pixel}" usemap="#m" width="${width}" height="${height}" alt="">`
    : `<a${href}>${inner}</a>`;
  // The parser closes a link where another opens, so the inner one is moved in by script.
  if (link.outerHref !== undefined) {
    body = `<a id="outer" href="${attribute(link.outerHref)}"></a>${body}<script>` +
      'document.getElementById("outer").append(document.getElementById("outer").nextSibling)' +
      '</script>';
  }
  return '<!DOCTYPE html><html><head><meta charset="utf-8">' +
    `<base href="${attribute(link.base ?? defaultLinkBase)}"><title>link</title><style>` +
    'html, body { margin: 0; background: #fff; color: #000; }' +
    `a, a * { display: block; width: ${width}px; height: ${height}px; color: #000; ` +
    'font: 40px sans-serif; text-decoration: none; }' +
    `body > * { position: absolute; left: ${linkBox.left}px; top: ${linkBox.top}px; }` +
    `img { display: block; }</style></head><body>${body}</body></html>`;
}

// Serves /case/N, the page of realMenuCases[N], and every file of `folder` under
// /files/. Listens on 127.0.0.1; returns its address and a close function.
export async function startLinksServer({ folder } = {}) {
  const server = createServer(async (request, response) => {
    const { pathname } = new URL(request.url, 'http://127.0.0.1');
    const send = (status, type, body) => {
      response.writeHead(status, { 'Content-Type': type, 'Cache-Control': 'no-store' });
      response.end(body);
    };
    const number = /^\/case\/([0-9]+)$/.exec(pathname)?.[1];
    if (number !== undefined && realMenuCases[Number(number)]) {
      return send(200, 'text/html; charset=utf-8', casePage(realMenuCases[Number(number)]));
    }
    if (folder && pathname.startsWith('/files/') && !pathname.includes('..')) {
      const name = decodeURIComponent(pathname.slice('/files/'.length));
      const type = { '.crx': 'application/x-chrome-extension', '.xml': 'text/xml',
                     '.xpi': 'application/x-xpinstall' }[path.extname(name)] ??
        'application/octet-stream';
      try {
        return send(200, type, await readFile(path.join(folder, name)));
      } catch {
        return send(404, 'text/plain', 'not here\n');
      }
    }
    return send(404, 'text/plain', 'not here\n');
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  const url = `http://127.0.0.1:${server.address().port}`;
  return {
    url,
    caseUrl: (index) => `${url}/case/${index}`,
    filesUrl: `${url}/files`,
    close: () => new Promise((resolve) => server.close(resolve)),
  };
}

// What choosing the entry on the case's link must have done: the same addresses the
// handler page opens, each in a tab (with each service's entry as `entries` maps it, when
// a policy names other ones), or the notice and nothing else.
export function assertChosen({ opened, notices }, testCase, entries = new Map()) {
  if (testCase.opens.length === 0) {
    assert.deepEqual({ opened, notices }, { opened: [], notices: [alertText] });
    return;
  }
  assert.deepEqual({ opened: [...opened].sort(), notices }, {
    opened: addressesToOpen(testCase).map((address) => {
      const [entry, to] = [...entries].find(([from]) => address.startsWith(from)) ?? ['', ''];
      return new URL(to + address.slice(entry.length)).href;
    }).sort(),
    notices: [],
  });
}
