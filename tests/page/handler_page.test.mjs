// The handler page as the installer writes it, run in Chromium against right-clicked
// links: which service opens, with what address, and when the alert shows instead.
// The links and their outcomes are the shared table of cases.mjs.
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { after, before, describe, it } from 'node:test';

import cases from './cases.mjs';
import {
  HandlerPageRunner, addressesToOpen, alertText, expectedPageBytes, pageFilePath,
} from './lib/harness.mjs';

let runner;
before(async () => { runner = await HandlerPageRunner.start(); });
after(async () => { await runner?.close(); });

// Nothing but the recorded calls happened: no request, no real window or dialog, the
// link neither ran nor navigated, and loading alone did nothing.
function assertNothingElse(result, { thrown = null, menuWindowMade = true } = {}) {
  assert.equal(result.thrown, thrown);
  assert.deepEqual(result.pageErrors, []);
  assert.deepEqual(result.requests, []);
  assert.deepEqual(result.popups, []);
  assert.deepEqual(result.dialogs, []);
  assert.equal(result.linkRan, false);
  assert.deepEqual(result.frameUrls,
    menuWindowMade ? [runner.pageUrl, 'about:blank'] : [runner.pageUrl]);
  assert.equal(result.pageUrl, runner.pageUrl);
  assert.deepEqual(result.atLoad, { opens: [], alerts: [] });
}

// What the page must have done for one case of the table.
function assertOutcome(testCase, result) {
  const { link } = testCase;
  assertNothingElse(result, { thrown: testCase.thrown ?? null });
  assert.equal(result.href, testCase.href, 'the browser\'s form of the link\'s address');
  assert.equal(result.clickedTag, link.inner?.at(-1) ?? (link.area ? 'area' : 'a'),
    'the event\'s srcElement is the element right-clicked');
  if (testCase.thrown) {
    assert.deepEqual(result.opens, []);
    assert.deepEqual(result.alerts, []);
    return;
  }
  if (testCase.opens.length === 0) {
    assert.deepEqual(result.opens, []);
    assert.deepEqual(result.alerts, [[alertText]]);
    return;
  }
  assert.deepEqual(result.alerts, []);
  assert.deepEqual(result.opens, addressesToOpen(testCase).map((url) => [url, '_blank']));
  for (const [url] of result.opens) {
    const parameter = url.slice(url.indexOf('?url=') + '?url='.length);
    assert.match(parameter, /^[A-Za-z0-9\-_.!~*'()%]*$/, 'no delimiter reaches the service raw');
    assert.equal(decodeURIComponent(parameter), testCase.href);
  }
}

describe('the page under test', () => {
  it('is the installer\'s page byte for byte: 52 CR LF lines, ASCII, no byte-order mark', () => {
    const file = pageFilePath();
    assert.match(file.replaceAll('\\', '/'), /\/Program Files\/ruvo\/ruvo\.htm$/);
    const actual = readFileSync(file);
    const expected = expectedPageBytes();
    assert.deepEqual(actual.toString('latin1').split('\r\n'),
      expected.toString('latin1').split('\r\n'));
    assert.ok(actual.equals(expected));
    assert.equal(actual.toString('latin1').split('\r\n').length, 53);
    assert.ok(actual.subarray(-2).equals(Buffer.from('\r\n')));
    assert.ok(!/[^\x20-\x7e\r\n]/.test(actual.toString('latin1')));
    assert.equal(actual.toString('latin1').replaceAll('\r\n', '').includes('\n'), false);
  });

  it('runs its JavaScript block at load, ignores its VBScript block and does nothing more',
    async () => {
      const result = await runner.run({ href: 'https://files.example/report.doc' },
        { choose: false });
      // Nothing asked for the menu's window, so its link was never even made.
      assertNothingElse(result, { menuWindowMade: false });
      assert.deepEqual(result.opens, []);
      assert.deepEqual(result.alerts, []);
      assert.deepEqual(result.functions, {
        ruvoCheck: 'function',
        isRuvoScribeCompatible: 'function',
        isRuvoGridCompatible: 'function',
        isRuvoDeckCompatible: 'function',
        isRuvoGridRCompatible: 'function',
        isRuvoScribeRCompatible: 'function',
      });
    });
});

for (const group of new Set(cases.map((c) => c.group))) {
  describe(group, () => {
    for (const testCase of cases.filter((c) => c.group === group)) {
      it(testCase.name, async () => {
        assertOutcome(testCase, await runner.run(testCase.link));
      });
    }
  });
}
