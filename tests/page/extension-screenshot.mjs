// Takes the picture of the extension's notice for the documentation: the window it
// opens for a link of a type the suite does not take.
//   node extension-screenshot.mjs OUT.png
import { ExtensionRunner, buildExtension } from './lib/extension.mjs';

const [out] = process.argv.slice(2);
if (!out) {
  console.error('usage: node extension-screenshot.mjs OUT.png');
  process.exit(2);
}
const built = buildExtension();
const runner = await ExtensionRunner.start(built.unpacked);
try {
  await runner.choose('https://files.example/manual.pdf', { keep: true });
  const page = await runner.pageFor(runner.noticeUrl);
  await page.screenshot({ path: out });
} finally {
  await runner.close();
  built.remove();
}
