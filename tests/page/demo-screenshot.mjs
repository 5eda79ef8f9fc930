// Takes the try-it page's picture for the documentation, after pressing a few of its
// buttons:  node demo-screenshot.mjs PAGE_FILE OUT.png
import { launchBrowser } from './lib/harness.mjs';
import { startDemoServer } from '../../demo/server.mjs';

const [pageFile, out] = process.argv.slice(2);
if (!pageFile || !out) {
  console.error('usage: node demo-screenshot.mjs PAGE_FILE OUT.png');
  process.exit(2);
}
const pressed = [
  'https://files.example/reports/annual-2024.doc',
  'https://files.example/export/customers.csv',
  'https://files.example/talks/kiosk.PPS',
  'https://files.example/report.docx',
  'https://files.example/get?a=1&b=2&file=report.doc',
  'https://bücher.example/Übersicht.doc',
  "javascript:alert('the link ran')//notes.doc",
  'a:b',
  'https://files.example/report.doc',
];

const server = await startDemoServer({ pageFile });
const browser = await launchBrowser();
try {
  const page = await browser.newPage({ viewport: { width: 1180, height: 900 } });
  await page.goto(server.url);
  await page.locator('#page-status').filter({ hasNotText: 'Looking' }).waitFor();
  for (const href of pressed) {
    const row = page.locator('tr', { has: page.locator(`a.sample[href="${href}"]`) });
    await row.getByRole('button').click();
    await row.locator('td.outcome div').first().waitFor();
  }
  const scriptMade = page.locator('tr', { has: page.locator('#script-made') });
  await scriptMade.getByRole('button').click();
  await scriptMade.locator('td.outcome div').first().waitFor();
  await page.screenshot({ path: out, fullPage: true });
} finally {
  await browser.close();
  await server.close();
}
