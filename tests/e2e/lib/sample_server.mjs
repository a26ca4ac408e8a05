// A loopback server for the sample pages: /page/NAME answers a page registered with `setPage`,
// /static/NAME the files of the template folder, and requests to SCRIPT_NAME are recorded (the
// forms post there) and answered with a plain page. Every answer carries the strictest content
// security policy the program may send, so an inline script or style in a template shows up as
// a violation in the browser.
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import { SCRIPT_NAME, TEMPLATE_DIR } from './sample_pages.mjs';

export const STRICT_CSP = "default-src 'self'; form-action 'self'; base-uri 'none'; frame-ancestors 'none'";

const TYPES = { '.css': 'text/css; charset=utf-8', '.js': 'text/javascript; charset=utf-8', '.svg': 'image/svg+xml' };

export async function startSampleServer() {
  const pages = new Map();
  const received = [];
  const server = http.createServer((req, res) => {
    const url = new URL(req.url, 'http://localhost');
    const send = (status, type, body) => {
      res.writeHead(status, { 'Content-Type': type, 'Content-Security-Policy': STRICT_CSP, 'Cache-Control': 'no-store' });
      res.end(body);
    };
    if (url.pathname.startsWith('/page/') && pages.has(url.pathname.slice(6))) {
      send(200, 'text/html; charset=utf-8', pages.get(url.pathname.slice(6)));
    } else if (url.pathname.startsWith('/static/') && /^[\w-]+\.\w+$/.test(url.pathname.slice(8))) {
      const file = path.join(TEMPLATE_DIR, url.pathname.slice(8));
      if (!fs.existsSync(file)) return send(404, 'text/plain', 'not found');
      send(200, TYPES[path.extname(file)] || 'application/octet-stream', fs.readFileSync(file));
    } else if (url.pathname === SCRIPT_NAME) {
      let body = '';
      req.on('data', (c) => { body += c; });
      req.on('end', () => {
        received.push({ method: req.method, query: url.searchParams, form: new URLSearchParams(body) });
        send(200, 'text/html; charset=utf-8', '<!DOCTYPE html><title>received</title><p>received</p>');
      });
    } else {
      send(404, 'text/plain', 'not found');
    }
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  const base = `http://127.0.0.1:${server.address().port}`;
  return {
    base,
    received,
    setPage(name, html) { pages.set(name, html); return `${base}/page/${name}`; },
    close() { return new Promise((resolve) => server.close(resolve)); },
  };
}
