// Screenshots of every page template filled with sample values, at phone and desktop width:
//   node tests/e2e/preview_pages.mjs [output folder]   (default: build/e2e-output/preview)
import path from 'node:path';
import { DESKTOP, PHONE, launchBrowser, outputDir, watchForErrors } from './lib/browser.mjs';
import { SAMPLE_PAGES, renderPage } from './lib/sample_pages.mjs';
import { startSampleServer } from './lib/sample_server.mjs';

const out = process.argv[2] ? path.resolve(process.argv[2]) : outputDir('preview');
const server = await startSampleServer();
const browser = await launchBrowser();
try {
  for (const sample of SAMPLE_PAGES) {
    const url = server.setPage(sample.name, renderPage(sample.template, sample.values, sample));
    for (const [label, viewport] of [['phone', PHONE], ['desktop', DESKTOP]]) {
      const page = await browser.context.newPage();
      const errors = watchForErrors(page);
      await page.setViewportSize(viewport);
      await page.goto(url);
      const file = path.join(out, `${sample.name}-${label}.png`);
      await page.screenshot({ path: file, fullPage: true });
      console.log(file, errors.length ? errors : '');
      await page.close();
    }
  }
} finally {
  await browser.close();
  await server.close();
}
