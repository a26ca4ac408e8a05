// Signing in and out of the web time clock through lighttpd: a wrong password is refused and
// grants nothing, a log-in by GET is refused, the demo log-ins reach the time clock and the time
// sheet with a cookie the page's script cannot read, and signing out ends the session on the
// server, not only in the browser. Screenshots go to <output>/sign-in/.
import assert from 'node:assert/strict';
import { after, before, test } from 'node:test';
import { launchBrowser, watchForErrors } from './lib/browser.mjs';
import { BASE, SESSION_COOKIE, SKIP, demoLogins, screenshots, sessionCookie, signIn, submitAndWait } from './lib/tikora.mjs';

const SHOTS = 'sign-in';
const MAIN_URL = () => `${BASE}/tikoraweb?Page=Main&Action=bill`;

let browser;
before(async () => { if (!SKIP) browser = await launchBrowser(); });
after(async () => { await browser?.close(); });

async function expectLoginPage(page) {
  await assert.doesNotReject(page.getByRole('heading', { name: 'Sign in to the time clock' }).waitFor());
  assert.equal(await page.getByRole('heading', { name: 'Time clock', exact: true }).count(), 0);
}

test('a wrong password and a log-in by GET are refused and grant no session', { skip: SKIP }, async () => {
  const { user } = demoLogins();
  const page = await browser.context.newPage();
  const errors = watchForErrors(page);
  await page.goto(`${BASE}/`);
  await screenshots(page, SHOTS, 'login');

  const response = await signIn(page, { login: user.login, password: `${user.password}x` });
  assert.equal(response.status(), 200);
  await assert.doesNotReject(page.locator('#status').getByText('Invalid Password').waitFor());
  assert.equal(await page.locator('#status').getByRole('link', { name: 'Main' }).count(), 1);
  await expectLoginPage(page);
  assert.equal(await sessionCookie(browser.context), undefined);
  await screenshots(page, SHOTS, 'login-wrong-password');

  // The right password in the address: refused before it is checked.
  const query = new URLSearchParams({ Page: 'Login', loginid: user.login, password: user.password, Action: 'Bill' });
  const refused = await page.goto(`${BASE}/tikoraweb?${query}`);
  assert.equal(refused.status(), 405);
  await assert.doesNotReject(page.getByText('Please sign in with the form of this page.').waitFor());
  assert.equal(await sessionCookie(browser.context), undefined);
  await screenshots(page, SHOTS, 'login-by-get');

  // Neither left a way in.
  await page.goto(MAIN_URL());
  await expectLoginPage(page);
  assert.deepEqual(errors.filter((e) => !/\b405\b/.test(e)), []);
  await page.close();
});

test('the ordinary user signs in to the time clock, and signing out ends the session', { skip: SKIP }, async () => {
  const { user } = demoLogins();
  const page = await browser.context.newPage();
  const errors = watchForErrors(page);
  await page.goto(`${BASE}/`);
  const response = await signIn(page, user, 'Bill');

  const header = (await response.headerValue('set-cookie')) ?? '';
  assert.match(header, new RegExp(`^${SESSION_COOKIE}=[0-9a-f]{32};`));
  const cookie = await sessionCookie(browser.context);
  assert.ok(cookie, 'no session cookie after a correct log-in');
  assert.equal(cookie.httpOnly, true);
  assert.equal(cookie.sameSite, 'Strict');
  assert.equal(cookie.secure, false, 'a Secure cookie would never come back over plain http');
  assert.equal(await page.evaluate(() => document.cookie), '', 'the page script can read the session');

  await assert.doesNotReject(page.getByRole('heading', { name: 'Time clock', exact: true }).waitFor());
  assert.equal((await page.locator('.signout .user').textContent()).trim(), user.login);
  await screenshots(page, SHOTS, 'main');

  // A new page load keeps the session.
  await page.goto(MAIN_URL());
  await assert.doesNotReject(page.getByRole('heading', { name: 'Time clock', exact: true }).waitFor());

  await submitAndWait(page, page.getByRole('button', { name: 'Sign out' }));
  await expectLoginPage(page);
  assert.equal(await sessionCookie(browser.context), undefined);
  await screenshots(page, SHOTS, 'signed-out');
  await page.goto(MAIN_URL());
  await expectLoginPage(page);

  // The old cookie, put back, opens nothing: the session is gone on the server.
  await browser.context.addCookies([{ ...cookie }]);
  await page.goto(MAIN_URL());
  await expectLoginPage(page);
  await browser.context.clearCookies();
  assert.deepEqual(errors, []);
  await page.close();
});

test('the administrator signs in straight to the time sheet', { skip: SKIP }, async () => {
  const { admin } = demoLogins();
  const page = await browser.context.newPage();
  await page.goto(`${BASE}/`);
  await signIn(page, admin, 'TSheet');
  await assert.doesNotReject(page.getByRole('heading', { name: 'Time sheet' }).waitFor());
  assert.equal((await page.locator('.signout .user').textContent()).trim(), admin.login);
  assert.equal(await page.locator('#sheet tbody tr').count() >= 10, true);
  await screenshots(page, SHOTS, 'timesheet');
  await browser.context.clearCookies();
  await page.close();
});
