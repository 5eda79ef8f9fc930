// The try-it page's local server. It serves the demo page and, at /ruvo.htm, the
// handler page file itself, read from disk on every request and sent unchanged.
// Both come from one origin, so the demo may reach into the frame that runs the
// page; file:// documents may not reach into each other in Chromium.
//
//   node server.mjs --page PAGE_FILE [--port N] [--no-open]
import { spawn } from 'node:child_process';
import { readFile, stat } from 'node:fs/promises';
import { createServer } from 'node:http';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));

async function pageInfo(pageFile) {
  try {
    const info = await stat(pageFile);
    return { path: pageFile, installed: info.isFile(), bytes: info.size,
             modified: info.mtime.toISOString() };
  } catch (error) {
    return { path: pageFile, installed: false, problem: error.message };
  }
}

function send(response, status, type, body) {
  response.writeHead(status, { 'Content-Type': type, 'Cache-Control': 'no-store' });
  response.end(body);
}

async function handle(pageFile, request, response) {
  const { pathname } = new URL(request.url, 'http://127.0.0.1');
  if (request.method !== 'GET') return send(response, 405, 'text/plain', 'GET only\n');
  if (pathname === '/') {
    return send(response, 200, 'text/html; charset=utf-8',
      await readFile(path.join(here, 'demo.html')));
  }
  if (pathname === '/page-info') {
    return send(response, 200, 'application/json', JSON.stringify(await pageInfo(pageFile)));
  }
  if (pathname === '/ruvo.htm') {
    try {
      return send(response, 200, 'text/html', await readFile(pageFile));
    } catch (error) {
      return send(response, 404, 'text/plain', `${error.message}\n`);
    }
  }
  return send(response, 404, 'text/plain', 'not here\n');
}

// Listens on the loopback address only; port 0 takes a free one.
export async function startDemoServer({ pageFile, port = 0 }) {
  const server = createServer((request, response) => {
    handle(pageFile, request, response).catch((error) => {
      send(response, 500, 'text/plain', `${error.message}\n`);
    });
  });
  await new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen(port, '127.0.0.1', resolve);
  });
  return {
    url: `http://127.0.0.1:${server.address().port}/`,
    close: () => new Promise((resolve) => server.close(resolve)),
  };
}

// Opens the address in the desktop's default browser; false when there is none.
function openInBrowser(url) {
  return new Promise((resolve) => {
    const child = spawn('xdg-open', [url], { stdio: 'ignore', detached: true });
    child.unref();
    child.once('error', () => resolve(false));
    child.once('exit', (code) => resolve(code === 0));
  });
}

async function main(args) {
  const option = (name) => {
    const at = args.indexOf(name);
    return at >= 0 ? args[at + 1] : undefined;
  };
  const pageFile = option('--page');
  if (!pageFile) {
    console.error('usage: node server.mjs --page PAGE_FILE [--port N] [--no-open]');
    process.exit(2);
  }
  const { url } = await startDemoServer({ pageFile: path.resolve(pageFile),
                                          port: Number(option('--port') ?? 0) });
  console.log(`demo-page: the try-it page is at ${url}`);
  console.log(`demo-page: it runs the handler page file ${path.resolve(pageFile)}`);
  console.log('demo-page: press Ctrl+C to stop');
  if (args.includes('--no-open')) return;
  if (!(process.env.DISPLAY || process.env.WAYLAND_DISPLAY)) {
    console.log('demo-page: no desktop session here: open the address above in a browser');
  } else if (!(await openInBrowser(url))) {
    console.log('demo-page: could not start a browser (xdg-open): open the address above');
  }
}

if (process.argv[1] && path.resolve(process.argv[1]) === fileURLToPath(import.meta.url)) {
  main(process.argv.slice(2)).catch((error) => {
    console.error(`demo-page: ${error.message}`);
    process.exit(1);
  });
}
