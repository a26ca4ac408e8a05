// The web time clock through lighttpd in Debian's Chromium. run_e2e.sh starts the server on a
// free loopback port over a fresh copy of the installation with demo data, and passes its
// address in TIKORA_URL.
import assert from 'node:assert/strict';
import path from 'node:path';
import { after, before, test } from 'node:test';
import { DESKTOP, PHONE, launchBrowser, outputDir, watchForErrors } from './lib/browser.mjs';

const BASE = process.env.TIKORA_URL;

let browser;
before(async () => { browser = await launchBrowser(); });
after(async () => { await browser?.close(); });

// While an installation is being set up the program answers every request with 503 and a note
// saying so; the pages cannot be checked then.
const BEING_INSTALLED = 'being installed';

test('the login page shows the sign-in form with its fields', { skip: !BASE && 'TIKORA_URL is not set (run run_e2e.sh)' }, async (t) => {
  const page = await browser.context.newPage();
  const errors = watchForErrors(page);
  const response = await page.goto(`${BASE}/`);
  if (response.status() === 503 && (await response.text()).includes(BEING_INSTALLED)) {
    t.skip('the program answers 503 "being installed": no login page yet');
    await page.close();
    return;
  }
  assert.equal(response.status(), 200);
  assert.match(response.headers()['content-type'], /^text\/html/);
  assert.match(response.headers()['content-security-policy'] ?? '', /default-src 'self'/);

  const form = page.locator('form:has(input[name=loginid])');
  assert.equal(await form.getAttribute('method'), 'post');
  assert.equal(await form.locator('input[type=hidden][name=Page]').inputValue(), 'Login');
  assert.equal(await form.locator('input[type=hidden][name=csrf_token]').count(), 1);
  assert.notEqual(await form.locator('input[name=csrf_token]').inputValue(), '');
  assert.ok(await page.getByLabel('Login ID').isVisible());
  assert.equal(await page.getByLabel('Password').getAttribute('type'), 'password');
  const actions = await form.locator('button[name=Action]').evaluateAll((bs) => bs.map((b) => b.value.toLowerCase()));
  assert.deepEqual(actions, ['bill', 'tsheet']);
  // No tag is left unfilled, and the style sheet and script loaded (the date was rewritten).
  assert.doesNotMatch(await page.content(), /%[A-Z_]+%/);
  assert.match(await page.locator('time.js-date').textContent(), /day, \d+ \w+ \d{4}$/);

  const shots = outputDir('site');
  for (const [label, viewport] of [['phone', PHONE], ['desktop', DESKTOP]]) {
    await page.setViewportSize(viewport);
    await page.screenshot({ path: path.join(shots, `login-${label}.png`), fullPage: true });
  }
  assert.deepEqual(errors, []);
  await page.close();
});
