// The page templates filled with sample values, for looking at the pages without the program:
// the tags are replaced as the web program replaces them, with fragments written the way the
// program writes them (option lists, table rows, the time sheet grid), values escaped and
// attribute values quoted.
import fs from 'node:fs';
import path from 'node:path';

export const TEMPLATE_DIR = process.env.TIKORA_TEMPLATES ||
  path.resolve(path.dirname(new URL(import.meta.url).pathname), '../../../install/TIKFiles');

export const SCRIPT_NAME = '/tikoraweb';

const CRLF = '\r\n';

export function escapeHtml(text) {
  return String(text).replace(/[&<>"']/g, (c) => ({
    '&': '&amp;', '<': '&lt;', '>': '&gt;', '"': '&quot;', "'": '&#39;',
  })[c]);
}

// Replaces %NAME% and #NAME# (NAME an identifier, optionally followed by "(...)"), names in any
// letter case. Returns { html, unknown }: tags without a value stay as written and are listed.
export function fillTemplate(text, values) {
  const unknown = new Set();
  const html = text.replace(/([%#])([A-Za-z_][A-Za-z0-9_]*)(\([^%#]*\))?\1/g, (whole, _d, name) => {
    const key = name.toUpperCase();
    if (Object.prototype.hasOwnProperty.call(values, key)) return values[key];
    unknown.add(key);
    return whole;
  });
  return { html, unknown: [...unknown] };
}

// The tags every page may use beside its own.
function commonTags(loginId) {
  return {
    TITLE: '',
    STATUS_MESSAGE: '',
    SCRIPT_NAME,
    CSRF_TOKEN: `<input type="hidden" name="csrf_token" value="${'c0ffee'.repeat(8)}">`,
    LOGINID: escapeHtml(loginId),
  };
}

export const SAMPLE = {
  today: '2020-03-04',
  weekStart: '2020-03-02',
  accounts: ['ADMIN', 'INTERNAL', 'WEBSITE', 'Müller & Söhne'],
  jobCodes: ['DESIGN', 'MEETING', 'PROGRAM'],
  clients: ['ACME', 'GLOBEX', 'INITECH'],
  items: ['COPIES', 'MILEAGE', 'PARKING'],
};

function options(list, selected, blankFirst) {
  let html = blankFirst ? '\t\t\t<OPTION></OPTION>' : '';
  for (const v of list) {
    html += `\t\t\t<OPTION${v === selected ? ' SELECTED' : ''}>${escapeHtml(v)}</OPTION>`;
  }
  return html;
}

function listBlock(term, name, optionsHtml) {
  const pieces1 = ['\t<TR>' + CRLF, `\t\t<TD COLSPAN="2">${escapeHtml(term)}</TD>` + CRLF, '\t</TR>' + CRLF,
    '\t<TR>' + CRLF, '\t\t<TD COLSPAN="2">' + CRLF, `\t\t\t<SELECT NAME="${name}">` + CRLF];
  const pieces2 = ['\t\t\t</SELECT>' + CRLF, '\t\t</TD>' + CRLF, '\t</TR>' + CRLF];
  return pieces1.map((p) => p + CRLF).join('') + optionsHtml + pieces2.map((p) => p + CRLF).join('');
}

function itemRows(items) {
  let html = '\t<TR>' + CRLF + '\t\t<TD WIDTH="50%">Item</TD>' + CRLF + '\t\t<TD WIDTH="50%">Amount</TD>' + CRLF +
    '\t</TR>' + CRLF + '\t<TR>' + CRLF + '\t\t<TD WIDTH="50%">' + CRLF + '\t\t\t<SELECT NAME="Item">' + CRLF +
    '\t\t\t<OPTION></OPTION>';
  items.forEach((item, i) => { html += `\t\t\t<OPTION${i === 0 ? ' SELECTED' : ''}>${escapeHtml(item)}</OPTION>`; });
  html += '\t\t\t</SELECT>' + CRLF + '\t\t</TD>' + CRLF + '\t\t<TD WIDTH="50%">' + CRLF +
    '\t\t\t<SELECT NAME="Amount">' + CRLF + '\t\t\t<OPTION SELECTED>0</OPTION>' + CRLF;
  for (let n = 1; n <= 5; n++) html += `\t\t\t<OPTION>${n}</OPTION>` + CRLF;
  return html + '\t\t\t</SELECT>' + CRLF + '\t\t</TD>' + CRLF + '\t</TR>' + CRLF;
}

// rows: [account, jobCode, client, h1..h7, comment]; padded to ten rows.
function timeSheetGrid(rows) {
  let html = '';
  for (let r = 0; r < 10; r++) {
    const row = rows[r];
    html += '  <TR>' + CRLF;
    html += `    <TD width="9%"><SELECT name="Account${r}">${options(SAMPLE.accounts, row?.[0], true)}</SELECT></TD>` + CRLF;
    html += `    <TD width="9%"><SELECT name="JobCode${r}">${options(SAMPLE.jobCodes, row?.[1], true)}</SELECT></TD>` + CRLF;
    html += `    <TD width="9%"><SELECT name="Client${r}">${options(SAMPLE.clients, row?.[2], true)}</SELECT></TD>` + CRLF;
    for (let d = 1; d <= 7; d++) {
      const value = row ? ` value="${escapeHtml(row[d + 2] ?? '')}"` : '';
      html += `    <TD width="4%"><INPUT size=2 name="D${d}${r}"${value}></TD>` + CRLF;
    }
    const comment = row ? ` value="${escapeHtml(row[10] ?? '')}"` : '';
    html += `    <TD width="45%"><INPUT size=40 name="Comments${r}"${comment}></TD></TR>` + CRLF;
  }
  return html;
}

// A problem message as the program writes it: the text, then the Back and Main links.
export function problemText(message) {
  return `${message}<P><A HREF="javascript:history.back(-1)">Back</A> <A HREF="${SCRIPT_NAME}">Main</A>`;
}

export function loginValues() {
  return { ...commonTags('0'), DATE: SAMPLE.today };
}

// running: an entry is open since 08:15; allowDateChange: the date can be changed on the page.
export function mainValues({ running = true, allowDateChange = true, loginId = 'Superuser' } = {}) {
  const date = SAMPLE.today;
  return {
    ...commonTags(loginId),
    DATE: date,
    TIK_DATE: allowDateChange ? '' : `<INPUT type=hidden size=-1 value="${date}" name=TIKDate> `,
    INPUT_TIK_DATE: allowDateChange ? `<INPUT size=10 value="${date}" name=TIKDate>` : `<B>${date}</B>`,
    CHANGE_DATE: allowDateChange ? 'onclick=newWindow(); href="javascript: void 0"' : '',
    CHARGE_ACCOUNT_TERM: 'Charge Account',
    ACCOUNT_SELECT_LIST: options(SAMPLE.accounts, 'WEBSITE', false),
    JOBCODE_SELECT_LIST: listBlock('Job Code', 'JobCode', '\t\t\t<OPTION></OPTION>' + options(SAMPLE.jobCodes, 'PROGRAM', false)),
    CLIENT_SELECT_LIST: listBlock('Client', 'Client', '\t\t\t<OPTION></OPTION>' + options(SAMPLE.clients, 'ACME', false)),
    ITEM_SELECT_LIST: itemRows(SAMPLE.items),
    IN_TIME: running ? '08:15' : '',
    COMMENTS: '',
    ELAPSED_TIME: running ? '01:47:00' : '00:00:00',
    ACCOUNT_TOTAL: running ? '02:30:00' : '00:00:00',
    DAY_TIME_TOTAL: running ? '05:12:00' : '03:00:00',
  };
}

export function timesheetValues({ weekStart = SAMPLE.weekStart, loginId = 'Superuser' } = {}) {
  return {
    ...commonTags(loginId),
    DATE: weekStart,
    WEEK_START_DATE: SAMPLE.weekStart,
    CHARGE_ACCOUNT_TERM: 'Charge Account',
    JOB_CODE_TERM: 'Job Code',
    CLIENT_TERM: 'Client',
    DAY1: 'Mo', DAY2: 'Tu', DAY3: 'We', DAY4: 'Th', DAY5: 'Fr', DAY6: 'Sa', DAY7: 'Su',
    TIME_SHEET_GRID: timeSheetGrid([
      ['WEBSITE', 'PROGRAM', 'ACME', '8', '', '4.5', '', '', '', '', 'Checkout "v2" & tests'],
      ['INTERNAL', 'MEETING', '', '', '1', '', '1', '0.5', '', '', 'Team meetings'],
    ]),
  };
}

// Renders one template; throws when it uses a tag that the sample values do not know, so a
// misspelt tag in a template cannot slip through.
export function renderPage(template, values, { leadingMessage = '' } = {}) {
  const text = fs.readFileSync(path.join(TEMPLATE_DIR, template), 'utf8');
  const { html, unknown } = fillTemplate(text, values);
  if (unknown.length) throw new Error(`${template}: tags without a value: ${unknown.join(', ')}`);
  return leadingMessage + html;
}

// The sample pages looked at in tests and previews.
export const SAMPLE_PAGES = [
  { name: 'login', template: 'login.html', values: loginValues() },
  { name: 'login-failed', template: 'login.html', values: loginValues(),
    leadingMessage: problemText('Invalid Password<BR><BR>') },
  { name: 'main-running', template: 'main.html', values: mainValues({ running: true }) },
  { name: 'main-idle-fixed-date', template: 'main.html',
    values: mainValues({ running: false, allowDateChange: false }) },
  { name: 'main-problem', template: 'main.html', values: mainValues({ running: false }),
    leadingMessage: problemText('You are missing a Job Code.') },
  { name: 'timesheet', template: 'timesheet.html', values: timesheetValues() },
];
