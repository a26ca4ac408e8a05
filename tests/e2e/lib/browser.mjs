// Debian's Chromium, driven by playwright-core. No browser is ever downloaded: the tests use the
// system's /usr/bin/chromium (or $CHROMIUM), each run with a fresh, throw-away profile.
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { chromium } from 'playwright-core';

export const CHROMIUM = process.env.CHROMIUM || '/usr/bin/chromium';

const FLAGS = [
  '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync',
];

export const PHONE = { width: 390, height: 844 };
export const DESKTOP = { width: 1280, height: 800 };

// Returns { context, close }. `close` ends the browser and removes the profile folder.
export async function launchBrowser() {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'tikora-e2e-profile-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: CHROMIUM,
    headless: true,
    args: FLAGS,
    viewport: DESKTOP,
  });
  return {
    context,
    async close() {
      await context.close();
      fs.rmSync(profile, { recursive: true, force: true });
    },
  };
}

// The folder for screenshots: $TIKORA_E2E_OUTPUT, else build/e2e-output in the checkout.
export function outputDir(...sub) {
  const base = process.env.TIKORA_E2E_OUTPUT ||
    path.resolve(path.dirname(new URL(import.meta.url).pathname), '../../../build/e2e-output');
  const dir = path.join(base, ...sub);
  fs.mkdirSync(dir, { recursive: true });
  return dir;
}

// Collects what would show up red in a browser's console: script errors, failed loads and
// content-security-policy violations.
export function watchForErrors(page) {
  const errors = [];
  page.on('pageerror', (e) => errors.push(`page error: ${e.message}`));
  page.on('console', (m) => {
    // Browsers ask for /favicon.ico on their own when a page's icon link is not in its head.
    if (m.type() === 'error' && !m.location().url.endsWith('/favicon.ico')) errors.push(`console: ${m.text()}`);
  });
  page.on('response', (r) => { if (r.status() >= 400) errors.push(`HTTP ${r.status()}: ${r.url()}`); });
  page.on('requestfailed', (r) => errors.push(`request failed: ${r.url()} ${r.failure()?.errorText}`));
  return errors;
}
