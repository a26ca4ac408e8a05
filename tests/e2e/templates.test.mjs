// The page templates in a real browser, filled with sample values the way the web program fills
// them and served with the strictest content security policy: no script errors, nothing wider
// than a phone, every control labelled, and the forms post the fields the program reads.
// Screenshots go to <output>/templates/.
import assert from 'node:assert/strict';
import path from 'node:path';
import { after, before, test } from 'node:test';
import { DESKTOP, PHONE, launchBrowser, outputDir, watchForErrors } from './lib/browser.mjs';
import { SAMPLE, SAMPLE_PAGES, loginValues, mainValues, problemText, renderPage, timesheetValues } from './lib/sample_pages.mjs';
import { startSampleServer } from './lib/sample_server.mjs';

let server;
let browser;

before(async () => {
  server = await startSampleServer();
  browser = await launchBrowser();
});
after(async () => {
  await browser?.close();
  await server?.close();
});

// The program's own date link carries an inline onclick (written by the program, not the
// template); under the strict policy the browser refuses it and the page's script takes over.
const fromProgramFragment = (e) => e.includes('inline event handler');

async function open(name, template, values, { viewport = DESKTOP, leadingMessage = '' } = {}) {
  const url = server.setPage(name, renderPage(template, values, { leadingMessage }));
  const page = await browser.context.newPage();
  const errors = watchForErrors(page);
  await page.setViewportSize(viewport);
  await page.goto(url);
  return { page, errors: () => errors.filter((e) => !fromProgramFragment(e)) };
}

async function lastPost(page, action) {
  const before = server.received.length;
  await Promise.all([page.waitForURL('**/tikoraweb**'), action()]);
  assert.equal(server.received.length, before + 1);
  return server.received.at(-1);
}

// Visible form controls without an accessible name.
function unlabelledControls(page) {
  return page.evaluate(() => {
    const named = (el) => {
      if (el.getAttribute('aria-label')) return true;
      const by = el.getAttribute('aria-labelledby');
      if (by && by.split(/\s+/).some((id) => document.getElementById(id)?.textContent.trim())) return true;
      if (el.labels && [...el.labels].some((l) => l.textContent.trim())) return true;
      return el.tagName === 'BUTTON' && el.textContent.trim() !== '';
    };
    return [...document.querySelectorAll('input:not([type=hidden]), select, textarea, button')]
      .filter((el) => el.offsetParent !== null && !named(el))
      .map((el) => el.outerHTML.slice(0, 80));
  });
}

test('every page renders at phone and desktop width: no errors, no sideways scrolling, every control labelled', async () => {
  const shots = outputDir('templates');
  for (const sample of SAMPLE_PAGES) {
    for (const [label, viewport] of [['phone', PHONE], ['desktop', DESKTOP]]) {
      const where = `${sample.name} at ${label} width`;
      const { page, errors } = await open(sample.name, sample.template, sample.values, { viewport, leadingMessage: sample.leadingMessage });
      await page.screenshot({ path: path.join(shots, `${sample.name}-${label}.png`), fullPage: true });
      assert.deepEqual(errors(), [], where);
      const overflow = await page.evaluate(() => document.documentElement.scrollWidth - document.documentElement.clientWidth);
      assert.ok(overflow <= 0, `${where}: ${overflow}px wider than the screen`);
      assert.deepEqual(await unlabelledControls(page), [], where);
      await page.close();
    }
  }
});

test('a message written before the page moves into the message area, Back and Main links included', async () => {
  const { page } = await open('leading', 'login.html', loginValues(), { leadingMessage: problemText('Invalid Password<BR><BR>') });
  const status = page.locator('#status');
  await assert.doesNotReject(status.getByText('Invalid Password').waitFor());
  assert.equal(await status.getByRole('link', { name: 'Back' }).count(), 1);
  assert.equal(await status.getByRole('link', { name: 'Main' }).getAttribute('href'), '/tikoraweb');
  const firstBodyChild = await page.evaluate(() => document.body.firstElementChild.id);
  assert.equal(firstBodyChild, 'app');
  await page.close();
});

test('the login form posts Page, loginid, password, the token and the Action of the button pressed', async () => {
  for (const [button, action] of [['Sign in to punch in and out', 'Bill'], ['Sign in to the time sheet', 'TSheet']]) {
    const { page } = await open('login-post', 'login.html', loginValues());
    await page.getByLabel('Login ID').fill('Superuser');
    await page.getByLabel('Password').fill('pass word');
    const post = await lastPost(page, () => page.getByRole('button', { name: button }).click());
    assert.equal(post.method, 'POST');
    assert.deepEqual(Object.fromEntries(post.form), {
      csrf_token: 'c0ffee'.repeat(8), Page: 'Login', loginid: 'Superuser', password: 'pass word', Action: action,
    });
    await page.close();
  }
  // Enter in the password field signs in to the time clock.
  const { page } = await open('login-enter', 'login.html', loginValues());
  await page.getByLabel('Login ID').fill('u');
  const post = await lastPost(page, () => page.getByLabel('Password').press('Enter'));
  assert.equal(post.form.get('Action'), 'Bill');
  await page.close();
});

const HOUR_MINUTE = /^\d{2}:\d{2}$/;

test('punching in posts a start time and no end; punching out posts the running start and an end', async () => {
  // Idle: Punch in sends the device time as InTime and no OutTime.
  let { page } = await open('idle', 'main.html', mainValues({ running: false }));
  let post = await lastPost(page, () => page.getByRole('button', { name: 'Punch in' }).click());
  assert.equal(post.form.get('Page'), 'Main');
  assert.equal(post.form.get('csrf_token'), 'c0ffee'.repeat(8));
  assert.equal(post.form.get('Account'), 'WEBSITE');
  assert.equal(post.form.get('JobCode'), 'PROGRAM');
  assert.equal(post.form.get('Client'), 'ACME');
  assert.equal(post.form.get('TIKDate'), SAMPLE.today);
  assert.match(post.form.get('InTime'), HOUR_MINUTE);
  assert.equal(post.form.get('OutTime'), '');
  await page.close();

  // Running since 08:15: Punch out (the first button, so also Enter) sends 08:15 and an end,
  // with the item, amount and comment.
  ({ page } = await open('running', 'main.html', mainValues({ running: true })));
  await page.getByText('Expenses and comment for the punch-out').click();
  await page.getByLabel('Item').selectOption('MILEAGE');
  await page.getByLabel('Amount').selectOption('3');
  await page.getByLabel('Comment', { exact: true }).fill('Site visit');
  post = await lastPost(page, () => page.getByLabel('End', { exact: true }).press('Enter'));
  assert.equal(post.form.get('InTime'), '08:15');
  assert.match(post.form.get('OutTime'), HOUR_MINUTE);
  assert.deepEqual([post.form.get('Item'), post.form.get('Amount'), post.form.get('Comments')], ['MILEAGE', '3', 'Site visit']);
  await page.close();

  // Running on one account, punching in on another starts now, not at the other entry's start.
  ({ page } = await open('running-other', 'main.html', mainValues({ running: true })));
  await page.getByLabel('Charge Account').selectOption('INTERNAL');
  assert.ok(await page.getByRole('link', { name: 'Show the clock of INTERNAL' }).isVisible());
  post = await lastPost(page, () => page.getByRole('button', { name: 'Punch in' }).click());
  assert.equal(post.form.get('Account'), 'INTERNAL');
  assert.notEqual(post.form.get('InTime'), '08:15');
  assert.equal(post.form.get('OutTime'), '');
  await page.close();

  // Date changes off: the date travels in the hidden field and no picker is offered.
  ({ page } = await open('fixed-date', 'main.html', mainValues({ running: false, allowDateChange: false })));
  assert.equal(await page.locator('.date-pick').isVisible(), false);
  post = await lastPost(page, () => page.getByRole('button', { name: 'Punch in' }).click());
  assert.equal(post.form.get('TIKDate'), SAMPLE.today);
  await page.close();
});

test('the running clock ticks on from the elapsed time the server gave', async () => {
  const { page } = await open('tick', 'main.html', mainValues({ running: true }));
  const elapsed = page.getByRole('timer', { name: 'Elapsed time' });
  const first = await elapsed.textContent();
  assert.match(first, /^01:47:0\d$/);
  await page.waitForFunction(() => /^01:47:0[2-9]$/.test(document.getElementById('elapsed').textContent));
  await page.close();

  const idle = await open('no-tick', 'main.html', mainValues({ running: false }));
  await idle.page.waitForTimeout(1200);
  assert.equal(await idle.page.locator('#elapsed').textContent(), '00:00:00');
  await idle.page.close();
});

test('the date picker fills the date field by mouse and by keyboard and closes on Escape', async () => {
  const { page } = await open('picker', 'main.html', mainValues({ running: false }));
  const field = page.locator('input[name=TIKDate]');
  const pick = page.getByRole('button', { name: 'Choose a date from a calendar' });
  await pick.click();
  const dialog = page.getByRole('dialog', { name: 'Choose a date' });
  assert.equal(await dialog.locator('.calendar-title').textContent(), 'March 2020');
  await dialog.getByRole('button', { name: 'Tuesday, 17 March 2020' }).click();
  assert.equal(await field.inputValue(), '2020-03-17');
  assert.equal(await dialog.count(), 0);

  // Keyboard: the selected day has the focus; a week down, a month on, Enter.
  await pick.focus();
  await page.keyboard.press('Enter');
  await page.keyboard.press('ArrowDown');
  await page.keyboard.press('PageDown');
  await page.keyboard.press('Enter');
  assert.equal(await field.inputValue(), '2020-04-24');

  await pick.click();
  await page.keyboard.press('Escape');
  assert.equal(await dialog.count(), 0);
  assert.equal(await field.inputValue(), '2020-04-24');
  await page.close();
});

test('the time sheet: dated day columns, week links, live totals, and the posted week', async () => {
  // Opened on a Wednesday (no week start asked for): the columns follow the dates shown.
  let { page } = await open('sheet-mid', 'timesheet.html', timesheetValues({ weekStart: '2020-03-04' }));
  assert.deepEqual(await page.locator('thead .day-name').allTextContents(), ['We', 'Th', 'Fr', 'Sa', 'Su', 'Mo', 'Tu']);
  await page.close();

  ({ page } = await open('sheet', 'timesheet.html', timesheetValues()));
  assert.deepEqual(await page.locator('thead .day-name').allTextContents(), ['Mo', 'Tu', 'We', 'Th', 'Fr', 'Sa', 'Su']);
  assert.equal((await page.locator('thead .day-date').first().textContent()), '2 Mar');
  assert.match(await page.getByRole('link', { name: 'Previous week' }).getAttribute('href'), /Action=tsheet&Dte=2020-02-24$/);
  assert.match(await page.getByRole('link', { name: 'Next week' }).getAttribute('href'), /Action=tsheet&Dte=2020-03-09$/);

  // Two used rows and one empty row show; the others wait behind "Add a row".
  assert.equal(await page.locator('tbody tr:visible').count(), 3);
  await page.getByRole('button', { name: 'Add a row' }).click();
  assert.equal(await page.locator('tbody tr:visible').count(), 4);

  const totals = page.locator('tfoot td');
  assert.equal(await totals.last().textContent(), 'Week: 15 h');
  await page.getByRole('textbox', { name: 'Sunday 8 Mar, row 3' }).fill('2,5');
  assert.equal(await totals.last().textContent(), 'Week: 17.5 h');
  await page.getByRole('textbox', { name: 'Saturday 7 Mar, row 3' }).fill('x');
  assert.match(await totals.last().textContent(), /check the marked cells/);
  await page.getByRole('textbox', { name: 'Saturday 7 Mar, row 3' }).fill('');
  await page.getByRole('combobox', { name: 'Charge Account, row 3' }).selectOption('ADMIN');

  const post = await lastPost(page, () => page.getByRole('button', { name: 'Save the week' }).click());
  const form = post.form;
  assert.equal(form.get('Page'), 'TSheet');
  assert.equal(form.get('TSDate'), SAMPLE.weekStart);
  assert.equal(form.get('csrf_token'), 'c0ffee'.repeat(8));
  assert.deepEqual([form.get('Account0'), form.get('JobCode0'), form.get('Client0'), form.get('D10'), form.get('D30'), form.get('Comments0')],
    ['WEBSITE', 'PROGRAM', 'ACME', '8', '4.5', 'Checkout "v2" & tests']);
  // A decimal comma is sent as a point.
  assert.deepEqual([form.get('Account2'), form.get('D72')], ['ADMIN', '2.5']);
  // All ten rows are posted, the folded ones too.
  assert.equal(form.getAll('Account9').length, 1);
  await page.close();

  // "Week starting" moves a chosen day to the first day of its week.
  ({ page } = await open('sheet-jump', 'timesheet.html', timesheetValues()));
  await page.getByLabel('Week starting').fill('2020-03-19');
  const jump = await lastPost(page, () => page.getByRole('button', { name: 'Show' }).click());
  assert.equal(jump.method, 'GET');
  assert.deepEqual([jump.query.get('Page'), jump.query.get('Action'), jump.query.get('Dte')], ['Main', 'tsheet', '2020-03-16']);
  await page.close();
});
