// What the flow tests share: the server run_e2e.sh started, the demo log-ins, signing in,
// screenshots at both widths, and reading the data folder with the installation's tikoradmin.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { DESKTOP, PHONE, outputDir } from './browser.mjs';

export const BASE = process.env.TIKORA_URL;
const PROGRAM = process.env.TIKORA_PROGRAM_FOLDER;
const DEMO_LOGINS = process.env.TIKORA_DEMO_LOGINS;

// Why a flow test cannot run here, or false when it can.
export const SKIP = !BASE ? 'TIKORA_URL is not set (run run_e2e.sh)'
  : !DEMO_LOGINS || !fs.existsSync(DEMO_LOGINS) ? 'no demo log-ins (this build has no tikoradmin)'
    : false;

export const SESSION_COOKIE = 'TIKSESSION';

// The log-ins that `tikoradmin create-data --demo` printed, one "login<TAB>password" a line
// (its messages on standard error share the file): { admin, superuser, user }, each
// { login, password }; `user` is the one ordinary log-in.
export function demoLogins() {
  const pairs = fs.readFileSync(DEMO_LOGINS, 'utf8').split('\n')
    .map((line) => /^(\S+)\t(\S+)$/.exec(line))
    .filter(Boolean)
    .map(([, login, password]) => ({ login, password }));
  const admin = pairs.find((p) => p.login === 'Administrator');
  const superuser = pairs.find((p) => p.login === 'Superuser');
  const users = pairs.filter((p) => p !== admin && p !== superuser);
  assert.ok(admin && superuser && users.length === 1, `unexpected demo log-ins: ${JSON.stringify(pairs)}`);
  return { admin, superuser, user: users[0] };
}

// Fills the sign-in form of the page shown and presses the button of `action` ("Bill" for
// the time clock, "TSheet" for the time sheet). Returns the response of the post.
export async function signIn(page, { login, password }, action = 'Bill') {
  await page.getByLabel('Login ID').fill(login);
  await page.getByLabel('Password').fill(password);
  return submitAndWait(page, page.locator(`button[name=Action][value=${action}]`));
}

// Presses a form's submit button and waits until the page that answers has loaded (its "load"
// event, so never the page the form was on). Returns the response of the post.
export async function submitAndWait(page, button) {
  const [response] = await Promise.all([
    page.waitForResponse((r) => r.request().method() === 'POST'),
    page.waitForEvent('load'),
    button.click(),
  ]);
  return response;
}

// The session cookie the browser holds for the site, or undefined.
export async function sessionCookie(context) {
  return (await context.cookies(BASE)).find((c) => c.name === SESSION_COOKIE && c.value !== '');
}

// Screenshots of the page at phone and desktop width: <output>/<folder>/<name>-phone.png and
// -desktop.png. The page is left at desktop width.
export async function screenshots(page, folder, name) {
  const dir = outputDir(folder);
  for (const [label, viewport] of [['phone', PHONE], ['desktop', DESKTOP]]) {
    await page.setViewportSize(viewport);
    await page.screenshot({ path: path.join(dir, `${name}-${label}.png`), fullPage: true });
  }
}

// Runs one statement with the installation's `tikoradmin sql` and returns the rows as arrays of
// texts. tikoradmin writes CSV with "," between double-quoted fields and dates in the regional
// form, so it runs under the C locale: dates as MM/DD/YYYY, a time after a blank unless midnight.
export function adminSql(statement) {
  const file = path.join(fs.mkdtempSync(path.join(os.tmpdir(), 'tikora-e2e-sql-')), 'query.sql');
  fs.writeFileSync(file, statement);
  try {
    const csv = execFileSync(path.join(PROGRAM, 'tikoradmin'), ['sql', file, '--program-folder', PROGRAM],
      { env: { ...process.env, LC_ALL: 'C.UTF-8' }, encoding: 'utf8' });
    return csv.split(/\r?\n/).filter((line) => line !== '').map(parseCsvLine);
  } finally {
    fs.rmSync(path.dirname(file), { recursive: true, force: true });
  }
}

function parseCsvLine(line) {
  const fields = [];
  const pattern = /(?:^|,)(?:"((?:[^"]|"")*)"|([^,]*))/g;
  for (const m of line.matchAll(pattern)) fields.push(m[1] !== undefined ? m[1].replaceAll('""', '"') : m[2]);
  return fields;
}

// "MM/DD/YYYY[ hh:mm:ss]" (tikoradmin under the C locale) as "YYYY-MM-DD hh:mm".
export function isoStamp(text) {
  const m = /^(\d{2})\/(\d{2})\/(\d{4})(?: (\d{2}):(\d{2}):\d{2})?$/.exec(text);
  assert.ok(m, `not a date of tikoradmin: ${text}`);
  return `${m[3]}-${m[1]}-${m[2]} ${m[4] ?? '00'}:${m[5] ?? '00'}`;
}

// "hh:mm:ss" as seconds.
export function seconds(text) {
  const m = /^(\d{2})\D(\d{2})\D(\d{2})$/.exec(text.trim());
  assert.ok(m, `not a duration: ${text}`);
  return +m[1] * 3600 + +m[2] * 60 + +m[3];
}
