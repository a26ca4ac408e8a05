// A day's work of the ordinary demo user through lighttpd: two punches on two charge accounts
// with the running clock and the day totals, then a week of the time sheet entered, saved,
// left and reopened; at the end the rows of TimeHist are read back with the installation's
// tikoradmin. The punches go to a fixed past day and the sheet to a fixed past week, so the
// test gives the same result at any hour, midnight included. Screenshots: <output>/day-of-work/.
import assert from 'node:assert/strict';
import { after, before, test } from 'node:test';
import { launchBrowser, watchForErrors } from './lib/browser.mjs';
import { BASE, SKIP, adminSql, demoLogins, isoStamp, screenshots, seconds, signIn, submitAndWait } from './lib/tikora.mjs';

const SHOTS = 'day-of-work';
const PUNCH_DAY = '2025-03-04';
const SHEET_DAY = '2025-02-19'; // a Wednesday: the sheet shows the week around it
const COMMENT = 'Kick-off <on site> & travel';
const DAY_NAMES = ['Su', 'Mo', 'Tu', 'We', 'Th', 'Fr', 'Sa'];

let browser;
before(async () => { if (!SKIP) browser = await launchBrowser(); });
after(async () => { await browser?.close(); });

function addDays(iso, days) {
  const d = new Date(`${iso}T00:00:00Z`);
  d.setUTCDate(d.getUTCDate() + days);
  return d.toISOString().slice(0, 10);
}

const text = async (locator) => (await locator.textContent()).trim();

// Shortest distance between two times of day, in seconds.
function clockDistance(a, b) {
  const d = Math.abs(a - b) % 86400;
  return Math.min(d, 86400 - d);
}

async function clockState(page) {
  return {
    date: await page.locator('.page-head time').getAttribute('datetime'),
    running: await page.locator('#clock').evaluate((c) => c.classList.contains('is-running')),
    start: await text(page.locator('#clock-start')),
    account: await page.locator('#account').inputValue(),
    accountTotal: await text(page.locator('#account-total')),
    dayTotal: await text(page.locator('#day-total')),
    status: await text(page.locator('#status')),
  };
}

// The elapsed time shows the time from `start` on the punch day to now (the time of day here,
// as the day is a past one) and ticks on.
async function expectClockRunningSince(page, start) {
  const shown = await text(page.locator('#elapsed'));
  const now = new Date();
  const sinceMidnight = now.getHours() * 3600 + now.getMinutes() * 60 + now.getSeconds();
  const expected = Math.max(0, sinceMidnight - seconds(`${start}:00`));
  assert.ok(clockDistance(seconds(shown), expected) <= 120, `elapsed ${shown} at ${now.toTimeString()} for a start at ${start}`);
  await page.waitForFunction((first) => document.getElementById('elapsed').textContent.trim() !== first,
    shown, { timeout: 5000 });
}

async function punch(page, button, { account, jobCode, client, start, end, item, amount, comment, status = 200 }) {
  if (account) await page.locator('#account').selectOption(account);
  if (jobCode) await page.locator('select[name=JobCode]').selectOption(jobCode);
  if (client) await page.locator('select[name=Client]').selectOption(client);
  if (start) await page.locator('#in-time').fill(start);
  if (end) await page.locator('#out-time').fill(end);
  const details = page.locator('#punch-out-details');
  if ((item ?? comment) !== undefined && !(await details.evaluate((d) => d.open))) await details.locator('summary').click();
  if (item !== undefined) await page.locator('select[name=Item]').selectOption(item);
  if (amount) await page.locator('select[name=Amount]').selectOption(amount);
  if (comment !== undefined) await page.locator('#comments').fill(comment);
  const response = await submitAndWait(page, page.locator(button));
  assert.equal(response.status(), status, `${button}: ${await text(page.locator('#status'))}`);
}

// The time sheet of the week holding `day`, chosen in the page's own "Week starting" field.
async function openSheetWeek(page, day) {
  await page.getByRole('link', { name: 'Time sheet' }).click();
  await page.getByLabel('Week starting').fill(day);
  await Promise.all([page.waitForURL(/Dte=/), page.getByRole('button', { name: 'Show' }).click()]);
  await page.locator('#sheet tfoot').waitFor();
}

async function sheetRow(page, r) {
  const value = (name) => page.locator(`[name=${name}${r}]`).inputValue();
  const hours = [];
  // The program writes hours in the decimal notation of its locale.
  for (let d = 1; d <= 7; d++) hours.push((await value(`D${d}`)).replace(',', '.'));
  return {
    account: await value('Account'), jobCode: await value('JobCode'), client: await value('Client'),
    hours, comment: await value('Comments'),
  };
}

test('punches on two charge accounts and a week of the time sheet reach the time history', { skip: SKIP }, async () => {
  const { user } = demoLogins();
  const page = await browser.context.newPage();
  const errors = watchForErrors(page);
  await page.goto(`${BASE}/`);
  await signIn(page, user, 'Bill');
  await page.getByRole('heading', { name: 'Time clock', exact: true }).waitFor();

  // Punch in on the chosen day; the clock runs from the start the server stored.
  await page.locator('input[name=TIKDate]').fill(PUNCH_DAY);
  await punch(page, '#punch-in', { account: 'WEB01', jobCode: 'DEV', client: 'ACME', start: '00:01' });
  assert.deepEqual(await clockState(page), {
    date: PUNCH_DAY, running: true, start: '00:01', account: 'WEB01',
    accountTotal: '00:00:00', dayTotal: '00:00:00', status: '',
  });
  await expectClockRunningSince(page, '00:01');
  await screenshots(page, SHOTS, 'punched-in');

  await punch(page, '#punch-out', { end: '00:31', item: 'TRAVEL', amount: '2', comment: COMMENT });
  assert.deepEqual(await clockState(page), {
    date: PUNCH_DAY, running: false, start: '', account: 'WEB01',
    accountTotal: '00:30:00', dayTotal: '00:30:00', status: '',
  });
  // The comment stays in the form for the next punch-out, in sight.
  assert.equal(await page.locator('#comments').inputValue(), COMMENT);
  assert.ok(await page.locator('#comments').isVisible());
  await screenshots(page, SHOTS, 'punched-out');

  // The second charge account: its own clock and total, the day total adds both.
  await punch(page, '#punch-in', { account: 'MAINT', jobCode: 'SUPP', client: 'BOLT', start: '00:40' });
  assert.deepEqual(await clockState(page), {
    date: PUNCH_DAY, running: true, start: '00:40', account: 'MAINT',
    accountTotal: '00:00:00', dayTotal: '00:30:00', status: '',
  });
  // An end before the start is refused and the clock runs on.
  await punch(page, '#punch-out', { end: '00:35', status: 400 });
  await assert.doesNotReject(page.locator('#status').getByText('The end time lies before the start time.').waitFor());
  assert.deepEqual({ ...(await clockState(page)), status: '' }, {
    date: PUNCH_DAY, running: true, start: '00:40', account: 'MAINT',
    accountTotal: '00:00:00', dayTotal: '00:30:00', status: '',
  });
  await expectClockRunningSince(page, '00:40');
  await screenshots(page, SHOTS, 'end-before-start');
  await punch(page, '#punch-out', { end: '01:25', item: '', comment: '' });
  assert.deepEqual(await clockState(page), {
    date: PUNCH_DAY, running: false, start: '', account: 'MAINT',
    accountTotal: '00:45:00', dayTotal: '01:15:00', status: '',
  });
  await screenshots(page, SHOTS, 'second-account');

  // A week of the time sheet. The week starts on the weekday of its first column.
  await openSheetWeek(page, SHEET_DAY);
  const weekStart = await page.locator('#week-nav').getAttribute('data-week-start');
  const offset = (Date.parse(`${SHEET_DAY}T00:00:00Z`) - Date.parse(`${weekStart}T00:00:00Z`)) / 86400000;
  assert.ok(offset >= 0 && offset < 7, `week of ${weekStart} for ${SHEET_DAY}`);
  assert.equal(await text(page.locator('#sheet thead th.day .day-name').first()),
    DAY_NAMES[new Date(`${weekStart}T00:00:00Z`).getUTCDay()]);
  await page.locator('[name=Account0]').selectOption('MAINT');
  await page.locator('[name=JobCode0]').selectOption('SUPP');
  await page.locator('[name=Client0]').selectOption('BOLT');
  await page.locator('[name=D10]').fill('7.5');
  await page.locator('[name=D30]').fill('4');
  await page.locator('[name=D50]').fill('2,5'); // a decimal comma
  await page.locator('[name=Comments0]').fill('Server migration');
  assert.equal(await text(page.locator('#sheet .total-week')), 'Week: 14 h');
  await screenshots(page, SHOTS, 'sheet-filled');
  assert.equal((await submitAndWait(page, page.getByRole('button', { name: 'Save the week' }))).status(), 200);
  await page.getByRole('heading', { name: 'Time clock', exact: true }).waitFor();
  assert.equal(await text(page.locator('#status')), '');

  // Reopen the week, go to the next one (empty) and back: the hours are still there.
  const saved = {
    account: 'MAINT', jobCode: 'SUPP', client: 'BOLT',
    hours: ['7.5', '', '4', '', '2.5', '', ''], comment: 'Server migration',
  };
  await openSheetWeek(page, SHEET_DAY);
  assert.deepEqual(await sheetRow(page, 0), saved);
  await Promise.all([page.waitForURL(`**Dte=${addDays(weekStart, 7)}`), page.getByRole('link', { name: 'Next week' }).click()]);
  assert.deepEqual((await sheetRow(page, 0)).hours, ['', '', '', '', '', '', '']);
  assert.equal(await text(page.locator('#sheet .total-week')), 'Week: 0 h');
  await Promise.all([page.waitForURL(`**Dte=${weekStart}`), page.getByRole('link', { name: 'Previous week' }).click()]);
  assert.deepEqual(await sheetRow(page, 0), saved);
  const dayTotals = await page.locator('#sheet tfoot td').evaluateAll((cells) => cells.map((c) => c.textContent));
  assert.deepEqual(dayTotals.slice(1, 8), ['7.5', '0', '4', '0', '2.5', '0', '0']);
  assert.equal(await text(page.locator('#sheet .total-week')), 'Week: 14 h');
  await screenshots(page, SHOTS, 'sheet-reopened');

  // Saving the pre-filled week again stores nothing twice.
  assert.equal((await submitAndWait(page, page.getByRole('button', { name: 'Save the week' }))).status(), 200);
  await page.getByRole('heading', { name: 'Time clock', exact: true }).waitFor();
  assert.equal(await text(page.locator('#status')), '');

  const rows = adminSql(
    'SELECT [User ID], Account, Job_Code, ClientID, [Start Time], [End Time] - [Start Time] AS Ms,' +
    ` Item, NumItems, Comments FROM TimeHist WHERE [Start Time] >= '${weekStart}'` +
    ` AND [Start Time] < '${addDays(PUNCH_DAY, 1)}' ORDER BY [Start Time]`);
  const minutes = (ms) => String(Number(ms) / 60000);
  assert.deepEqual(rows.map(([who, account, job, client, start, ms, item, count, comment]) =>
    [who, account, job, client, isoStamp(start), minutes(ms), item, count, comment]), [
    [user.login, 'MAINT', 'SUPP', 'BOLT', `${weekStart} 00:00`, '450', '', '', 'Server migration'],
    [user.login, 'MAINT', 'SUPP', 'BOLT', `${addDays(weekStart, 2)} 00:00`, '240', '', '', 'Server migration'],
    [user.login, 'MAINT', 'SUPP', 'BOLT', `${addDays(weekStart, 4)} 00:00`, '150', '', '', 'Server migration'],
    [user.login, 'WEB01', 'DEV', 'ACME', `${PUNCH_DAY} 00:01`, '30', 'TRAVEL', '2', COMMENT],
    [user.login, 'MAINT', 'SUPP', 'BOLT', `${PUNCH_DAY} 00:40`, '45', '', '0', ''],
  ]);
  assert.deepEqual(errors.filter((e) => !/\b400\b/.test(e)), []);
  await page.close();
});
