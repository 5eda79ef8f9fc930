// The try-it page: its buttons run the page file the server reads from disk and show
// what the page asked for; without a page it says how to install one.
import assert from 'node:assert/strict';
import path from 'node:path';
import { after, before, describe, it } from 'node:test';

import { startDemoServer } from '../../demo/server.mjs';
import { alertText, launchBrowser, pageFilePath, serviceEntry } from './lib/harness.mjs';

let browser;
before(async () => { browser = await launchBrowser(); });
after(async () => { await browser?.close(); });

async function openDemo(pageFile) {
  const server = await startDemoServer({ pageFile });
  const page = await browser.newPage();
  const requests = [];
  page.on('request', (r) => requests.push(r.url()));
  await page.goto(server.url);
  await page.locator('#page-status').filter({ hasNotText: 'Looking' }).waitFor();
  return { server, page, requests };
}

async function press(page, href) {
  const row = page.locator('tr', { has: page.locator(`a.sample[href="${href}"]`) });
  await row.getByRole('button', { name: 'Open with Ruvo Office Suite' }).click();
  const outcome = row.locator('td.outcome');
  await outcome.locator('div').first().waitFor();
  return outcome.locator('code').allTextContents();
}

describe('the try-it page', () => {
  it('shows what the installed page opens, or its alert, for the links pressed', async () => {
    const { server, page, requests } = await openDemo(pageFilePath());
    try {
      assert.match(await page.locator('#page-status').textContent(),
        new RegExp(`${path.basename(pageFilePath()).replace('.', '\\.')} \\(\\d+ bytes`));
      const cases = [
        ['https://files.example/reports/annual-2024.doc', 'scribe'],
        ['https://files.example/export/customers.csv', 'grid'],
        ['https://files.example/talks/kiosk.PPS', 'deck'],
        ['https://files.example/get?a=1&b=2&file=report.doc', 'scribe'],
      ];
      for (const [href, family] of cases) {
        assert.deepEqual(await press(page, href),
          [serviceEntry[family] + encodeURIComponent(href), href]);
      }
      assert.deepEqual(await press(page, 'https://files.example/budget.xls?x=1'), [alertText]);
      assert.deepEqual(await press(page, 'a:b'), [alertText]);
      // Right-clicked on its bold text, the link still goes to its service.
      assert.deepEqual(await press(page, 'https://files.example/report.doc'), [
        `${serviceEntry.scribe}${encodeURIComponent('https://files.example/report.doc')}`,
        'https://files.example/report.doc',
      ]);
      // Only the demo and the page file were fetched: nothing went to a service.
      assert.deepEqual([...new Set(requests.map((u) => new URL(u).pathname))].sort(),
        ['/', '/page-info', '/ruvo.htm']);
      assert.ok(requests.every((u) => u.startsWith(server.url)));
    } finally {
      await page.close();
      await server.close();
    }
  });

  it('says how to install the page when there is none, and offers no button', async () => {
    const missing = path.join(path.dirname(pageFilePath()), 'not-there', 'ruvo.htm');
    const { server, page } = await openDemo(missing);
    try {
      const status = await page.locator('#page-status').textContent();
      assert.ok(status.includes('The handler page is not installed at'), status);
      assert.ok(status.includes('run scripts/run and press Install'), status);
      assert.ok(status.includes('scripts/demo-page --from-build'), status);
      const buttons = page.getByRole('button', { name: 'Open with Ruvo Office Suite' });
      assert.ok(await buttons.count() > 20);
      for (const button of await buttons.all()) assert.equal(await button.isDisabled(), true);
    } finally {
      await page.close();
      await server.close();
    }
  });
});
