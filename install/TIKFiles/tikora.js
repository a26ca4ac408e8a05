/* Tikora time clock: the small behaviour of the three pages. The pages work without it (every
   form posts plain fields); the script adds the running clock, the date picker, punch times
   filled in from the device clock, week navigation and the totals of the time sheet.
   Loaded with "defer" from the site itself: no inline script is needed anywhere, so the pages
   run under a content security policy that allows scripts from this site only. */
(function () {
  'use strict';

  var DAY_NAMES = ['Sunday', 'Monday', 'Tuesday', 'Wednesday', 'Thursday', 'Friday', 'Saturday'];
  var MONTH_NAMES = ['January', 'February', 'March', 'April', 'May', 'June', 'July', 'August',
    'September', 'October', 'November', 'December'];

  /* ---------- dates as yyyy-MM-dd, computed in UTC so that no daylight-saving change moves them */

  function parseIsoDate(text) {
    var m = /^(\d{4})-(\d{2})-(\d{2})$/.exec(String(text || '').trim());
    if (!m) return null;
    var d = new Date(Date.UTC(+m[1], +m[2] - 1, +m[3]));
    return d.getUTCMonth() === +m[2] - 1 ? d : null;
  }
  function isoDate(d) {
    return d.getUTCFullYear() + '-' + pad2(d.getUTCMonth() + 1) + '-' + pad2(d.getUTCDate());
  }
  function addDays(d, n) { return new Date(d.getTime() + n * 86400000); }
  function todayUtc() {
    var now = new Date();
    return new Date(Date.UTC(now.getFullYear(), now.getMonth(), now.getDate()));
  }
  function pad2(n) { return (n < 10 ? '0' : '') + n; }
  function shortDate(d) {
    return d.getUTCDate() + ' ' + MONTH_NAMES[d.getUTCMonth()].slice(0, 3);
  }
  function longDate(d) {
    return DAY_NAMES[d.getUTCDay()] + ', ' + d.getUTCDate() + ' ' + MONTH_NAMES[d.getUTCMonth()] +
      ' ' + d.getUTCFullYear();
  }

  /* "hh:nn:ss" (any separator) to seconds; null when it is not three groups of digits. */
  function parseDuration(text) {
    var m = /^\s*(\d+)\D(\d{1,2})\D(\d{1,2})\s*$/.exec(String(text || ''));
    return m ? (+m[1]) * 3600 + (+m[2]) * 60 + (+m[3]) : null;
  }
  function formatDuration(seconds, separator) {
    var s = Math.max(0, Math.floor(seconds));  // whole hours, as the server writes them
    return pad2(Math.floor(s / 3600)) + separator + pad2(Math.floor(s / 60) % 60) + separator + pad2(s % 60);
  }
  function nowHourMinute() {
    var now = new Date();
    return pad2(now.getHours()) + ':' + pad2(now.getMinutes());
  }
  /* A time of day as the time input wants it ("09:05"), from "9:05", "09.05" and the like. */
  function normalizeHourMinute(text) {
    var m = /^\s*(\d{1,2})\D(\d{2})/.exec(String(text || ''));
    return m && +m[1] < 24 && +m[2] < 60 ? pad2(+m[1]) + ':' + m[2] : '';
  }

  function $(selector, root) { return (root || document).querySelector(selector); }
  function $all(selector, root) { return Array.prototype.slice.call((root || document).querySelectorAll(selector)); }

  /* ---------- messages written above the page ----------
     Problems found while handling a request may be written before the page itself. The browser
     then places that text at the start of the body, outside the layout: move it into the page's
     message area. */
  function adoptLeadingMessages() {
    var app = document.getElementById('app');
    var status = document.getElementById('status');
    if (!app || !status) return;
    var stray = [];
    for (var node = document.body.firstChild; node && node !== app; node = node.nextSibling) {
      if (node.nodeType === 1 && node.tagName === 'SCRIPT') continue;
      if (node.nodeType === 3 && !node.nodeValue.trim()) continue;
      stray.push(node);
    }
    stray.forEach(function (n) { status.appendChild(n); });
    if (stray.length) status.setAttribute('role', 'alert');
  }

  /* "Back" links written as javascript: addresses do not run under the content security policy. */
  function wireBackLinks() {
    document.addEventListener('click', function (e) {
      var link = e.target.closest && e.target.closest('a[href^="javascript:history.back"]');
      if (!link) return;
      e.preventDefault();
      history.back();
    });
  }

  /* Friendlier text for the dates the pages show as yyyy-MM-dd; the ISO form stays in datetime. */
  function prettifyDates() {
    $all('time.js-date').forEach(function (t) {
      var d = parseIsoDate(t.getAttribute('datetime'));
      if (d) t.textContent = longDate(d);
    });
  }

  /* ---------- the date picker: newWindow() opens a calendar beside the date field ---------- */

  var picker = null;

  function dateField() {
    return $('input[name="TIKDate" i]:not([type="hidden"])');
  }

  function closeCalendar(returnFocus) {
    if (!picker) return;
    var p = picker;
    picker = null;
    p.element.remove();
    document.removeEventListener('mousedown', p.onOutside, true);
    if (returnFocus && p.trigger) p.trigger.focus();
  }

  function renderCalendar() {
    var p = picker;
    var first = new Date(Date.UTC(p.month.getUTCFullYear(), p.month.getUTCMonth(), 1));
    var start = addDays(first, -((first.getUTCDay() - p.weekStart + 7) % 7));
    var today = isoDate(todayUtc());
    var selected = isoDate(p.selected);
    p.title.textContent = MONTH_NAMES[first.getUTCMonth()] + ' ' + first.getUTCFullYear();
    var body = p.grid.tBodies[0];
    body.textContent = '';
    for (var week = 0; week < 6; week++) {
      var row = body.insertRow();
      for (var i = 0; i < 7; i++) {
        var day = addDays(start, week * 7 + i);
        var iso = isoDate(day);
        var button = document.createElement('button');
        button.type = 'button';
        button.className = 'calendar-day';
        if (day.getUTCMonth() !== first.getUTCMonth()) button.classList.add('is-other-month');
        if (iso === today) button.classList.add('is-today');
        button.textContent = String(day.getUTCDate());
        button.setAttribute('aria-label', longDate(day));
        button.setAttribute('aria-selected', iso === selected ? 'true' : 'false');
        button.tabIndex = iso === isoDate(p.focus) ? 0 : -1;
        button.dataset.date = iso;
        row.insertCell().appendChild(button);
      }
    }
    var focused = $('button[tabindex="0"]', body);
    if (focused && p.element.contains(document.activeElement)) focused.focus();
  }

  function moveFocus(days) {
    var p = picker;
    p.focus = addDays(p.focus, days);
    p.month = new Date(Date.UTC(p.focus.getUTCFullYear(), p.focus.getUTCMonth(), 1));
    renderCalendar();
    var b = $('.calendar-day[tabindex="0"]', p.element);
    if (b) b.focus();
  }

  function shiftMonth(months) {
    var p = picker;
    var y = p.focus.getUTCFullYear(), m = p.focus.getUTCMonth() + months, d = p.focus.getUTCDate();
    var last = new Date(Date.UTC(y, m + 1, 0)).getUTCDate();
    p.focus = new Date(Date.UTC(y, m, Math.min(d, last)));
    p.month = new Date(Date.UTC(p.focus.getUTCFullYear(), p.focus.getUTCMonth(), 1));
    renderCalendar();
  }

  function choose(iso) {
    var field = picker.field;
    field.value = iso;
    field.dispatchEvent(new Event('change', { bubbles: true }));
    closeCalendar(false);
    field.focus();
  }

  function openCalendar(trigger) {
    var field = dateField();
    if (!field) return;
    if (picker) { closeCalendar(false); return; }
    var selected = parseIsoDate(field.value) || todayUtc();
    var el = document.createElement('div');
    el.className = 'calendar';
    el.setAttribute('role', 'dialog');
    el.setAttribute('aria-label', 'Choose a date');
    el.innerHTML =
      '<div class="calendar-head">' +
      '<button type="button" class="calendar-nav" data-months="-1" aria-label="Previous month">‹</button>' +
      '<span class="calendar-title" aria-live="polite"></span>' +
      '<button type="button" class="calendar-nav" data-months="1" aria-label="Next month">›</button>' +
      '</div><table class="calendar-grid" role="grid"><thead><tr></tr></thead><tbody></tbody></table>' +
      '<div class="calendar-foot"><button type="button" data-action="today">Today</button>' +
      '<button type="button" data-action="close">Close</button></div>';
    picker = {
      element: el, field: field, trigger: trigger,
      title: $('.calendar-title', el), grid: $('.calendar-grid', el),
      selected: selected, focus: selected,
      month: new Date(Date.UTC(selected.getUTCFullYear(), selected.getUTCMonth(), 1)),
      weekStart: 1
    };
    var headRow = $('thead tr', el);
    for (var i = 0; i < 7; i++) {
      var th = document.createElement('th');
      var name = DAY_NAMES[(picker.weekStart + i) % 7];
      th.scope = 'col';
      th.textContent = name.slice(0, 2);
      th.setAttribute('abbr', name);
      headRow.appendChild(th);
    }
    el.addEventListener('click', function (e) {
      var t = e.target.closest('button');
      if (!t) return;
      if (t.dataset.date) choose(t.dataset.date);
      else if (t.dataset.months) shiftMonth(+t.dataset.months);
      else if (t.dataset.action === 'today') choose(isoDate(todayUtc()));
      else if (t.dataset.action === 'close') closeCalendar(true);
    });
    el.addEventListener('keydown', function (e) {
      var onDay = e.target.classList && e.target.classList.contains('calendar-day');
      var steps = { ArrowLeft: -1, ArrowRight: 1, ArrowUp: -7, ArrowDown: 7 };
      if (e.key === 'Escape') { e.preventDefault(); closeCalendar(true); }
      else if (onDay && steps[e.key]) { e.preventDefault(); moveFocus(steps[e.key]); }
      else if (onDay && e.key === 'PageUp') { e.preventDefault(); shiftMonth(-1); $('.calendar-day[tabindex="0"]', el).focus(); }
      else if (onDay && e.key === 'PageDown') { e.preventDefault(); shiftMonth(1); $('.calendar-day[tabindex="0"]', el).focus(); }
    });
    picker.onOutside = function (e) {
      if (picker && !el.contains(e.target) && !(trigger && trigger.contains(e.target))) closeCalendar(false);
    };
    document.addEventListener('mousedown', picker.onOutside, true);

    var anchor = trigger || field;
    var rect = anchor.getBoundingClientRect();
    document.body.appendChild(el);
    var width = el.offsetWidth;
    var left = Math.min(rect.right - width, document.documentElement.clientWidth - width - 8);
    el.style.left = Math.max(8, left + window.scrollX) + 'px';
    el.style.top = (rect.bottom + window.scrollY + 6) + 'px';
    renderCalendar();
    $('.calendar-day[tabindex="0"]', el).focus();
  }

  /* The main page's date link calls newWindow() (written into the page by the program). The
     same link is also wired here, for browsers that refuse inline handlers; opening twice in one
     click is avoided by the flag. */
  var openedThisClick = false;
  window.newWindow = function () {
    if (openedThisClick) return false;
    openedThisClick = true;
    setTimeout(function () { openedThisClick = false; }, 0);
    openCalendar($('.date-pick'));
    return false;
  };

  function wireDatePicker() {
    var link = $('.date-pick');
    if (!link) return;
    if (!link.hasAttribute('href') || !dateField()) { link.hidden = true; return; }
    link.tabIndex = 0;
    link.addEventListener('click', function (e) { e.preventDefault(); window.newWindow(); });
    link.addEventListener('keydown', function (e) {
      if (e.key === ' ') { e.preventDefault(); window.newWindow(); }
    });
    var field = dateField();
    field.setAttribute('inputmode', 'numeric');
    field.setAttribute('pattern', '\\d{4}-\\d{2}-\\d{2}');
    field.setAttribute('placeholder', 'yyyy-mm-dd');
    field.setAttribute('aria-label', 'Date, as year-month-day');
  }

  /* ---------- lists written as table rows: label them, hide the ones with nothing to choose */

  function labelFragmentLists() {
    $all('.fragment-fields select').forEach(function (select, n) {
      var cell = select.closest('td');
      var row = cell && cell.parentElement;
      var above = row && row.previousElementSibling;
      var index = Array.prototype.indexOf.call(row.cells, cell);
      var labelCell = above && (above.cells[index] || above.cells[0]);
      if (labelCell && !labelCell.querySelector('select')) {
        labelCell.id = labelCell.id || 'list-label-' + n;
        select.setAttribute('aria-labelledby', labelCell.id);
      }
      if (select.options.length === 0) {
        row.classList.add('is-empty-list');
        if (above && labelCell) above.classList.add('is-empty-list');
      }
    });
  }

  /* ---------- the time clock ---------- */

  function wireClock() {
    var clock = document.getElementById('clock');
    if (!clock) return;
    var account = document.getElementById('account');
    var accountLabel = document.getElementById('clock-account');
    var refresh = document.getElementById('clock-refresh');
    var shownAccount = account && account.value;
    if (accountLabel && shownAccount) accountLabel.textContent = shownAccount;

    var inTime = (clock.getAttribute('data-in-time') || '').trim();
    var running = inTime !== '';
    clock.classList.toggle('is-running', running);

    // The elapsed time ticks on from the value the server computed when it built the page.
    var elapsed = document.getElementById('elapsed');
    var text = elapsed && elapsed.getAttribute('data-elapsed');
    var base = parseDuration(text);
    if (running && base !== null) {
      var separator = (/\d(\D)\d/.exec(text) || [null, ':'])[1];
      var loaded = Date.now();
      var tick = function () {
        elapsed.textContent = formatDuration(base + (Date.now() - loaded) / 1000, separator);
      };
      tick();
      setInterval(tick, 1000);
    }

    // The clock shows the account the page was built for; after choosing another one, offer
    // to show that account's clock.
    if (account && refresh) {
      account.addEventListener('change', function () {
        if (account.value === shownAccount) { refresh.hidden = true; return; }
        var url = new URL(refresh.getAttribute('href'), location.href);
        url.searchParams.set('Account', account.value);
        var field = document.querySelector('input[name="TIKDate" i]');
        if (field && parseIsoDate(field.value)) url.searchParams.set('Dte', field.value);
        refresh.href = url.pathname + url.search;
        refresh.textContent = 'Show the clock of ' + account.value;
        refresh.hidden = false;
      });
    }
  }

  /* Punch in posts a start time and no end; punch out posts the open entry's start and an end.
     A time field the user has not touched shows the device's current time and keeps up with it,
     except the start of a running entry, which the server gave. */
  function wirePunchForm() {
    var form = document.getElementById('punch-form');
    if (!form) return;
    var inField = document.getElementById('in-time');
    var outField = document.getElementById('out-time');
    var punchIn = document.getElementById('punch-in');
    var punchOut = document.getElementById('punch-out');
    var serverStart = normalizeHourMinute(inField.getAttribute('data-server-value'));
    var running = serverStart !== '';
    var edited = { in: false, out: false };
    inField.addEventListener('input', function () { edited.in = true; });
    outField.addEventListener('input', function () { edited.out = true; });

    function showCurrentTimes() {
      if (!edited.in) inField.value = running ? serverStart : nowHourMinute();
      if (!edited.out) outField.value = running ? nowHourMinute() : '';
    }
    showCurrentTimes();
    setInterval(showCurrentTimes, 15000);
    // The comment of the last post stays in the form and is stored again at the next punch-out:
    // keep it in sight rather than folded away.
    var details = document.getElementById('punch-out-details');
    var comments = document.getElementById('comments');
    if (details && comments && comments.value.trim() !== '') details.open = true;
    var hint = document.getElementById('out-time-hint');
    if (hint) hint.textContent = 'The times follow the clock of this device; change them to punch at another time.';

    form.addEventListener('submit', function (e) {
      // The page that answers shows the day of the punch, not the day the page was opened on.
      var workingDate = document.getElementById('punch-working-date');
      var date = dateField();
      if (workingDate && date && parseIsoDate(date.value)) workingDate.value = date.value.trim();
      var which = e.submitter ? e.submitter.id : (running ? 'punch-out' : 'punch-in');
      if (which === 'punch-in') {
        // A punch-in while another entry runs starts now, not at that entry's start.
        if (!edited.in || !inField.value) inField.value = nowHourMinute();
        outField.value = '';
      } else if (which === 'punch-out') {
        if (!inField.value) inField.value = serverStart || nowHourMinute();
        if (!edited.out || !outField.value) outField.value = nowHourMinute();
      }
    });
    // The first button is the one Enter presses: punch out while an entry runs. Without a
    // running entry on this account, punching out is the lesser choice.
    if (running && punchIn && punchOut) punchIn.parentNode.insertBefore(punchOut, punchIn);
    if (!running && punchOut) punchOut.className = 'button button-secondary';
  }

  /* ---------- the time sheet ---------- */

  var DAY_CELL = /^D([1-7])(\d+)$/i;

  function wireTimeSheet() {
    var sheet = document.getElementById('sheet');
    if (!sheet) return;
    var nav = document.getElementById('week-nav');
    var weekStart = parseIsoDate(nav && nav.getAttribute('data-week-start'));
    var heads = $all('thead th', sheet);
    var dayHeads = $all('thead th.day', sheet);

    // Each column shows its date; when the week does not start on the first weekday the
    // columns name (say, a sheet opened on a Wednesday), the names follow the dates.
    if (weekStart) {
      dayHeads.forEach(function (th) {
        var day = addDays(weekStart, +th.getAttribute('data-offset'));
        var name = $('.day-name', th);
        var label = DAY_NAMES[day.getUTCDay()].slice(0, 2);
        if (name.textContent.trim() !== label) name.textContent = label;
        $('.day-date', th).textContent = shortDate(day);
        th.setAttribute('abbr', DAY_NAMES[day.getUTCDay()] + ' ' + shortDate(day));
      });
      $all('.js-week', nav).forEach(function (link) {
        var url = new URL(link.getAttribute('href'), location.href);
        url.searchParams.set('Dte', isoDate(addDays(weekStart, +link.getAttribute('data-days'))));
        link.href = url.pathname + url.search;
        link.hidden = false;
      });
    }

    // The "week starting" field moves to the first day of the week the chosen date lies in.
    var jump = $('.week-jump', nav);
    var firstName = dayHeads.length ? $('.day-name', dayHeads[0]).textContent.trim() : '';
    var firstWeekday = DAY_NAMES.findIndex(function (n) { return n.slice(0, 2) === firstName; });
    if (jump && weekStart) firstWeekday = weekStart.getUTCDay();
    if (jump && firstWeekday >= 0) {
      jump.addEventListener('submit', function () {
        var input = $('input[type="date"]', jump);
        var d = parseIsoDate(input.value);
        if (d) input.value = isoDate(addDays(d, -((d.getUTCDay() - firstWeekday + 7) % 7)));
      });
    }

    // Labels: every list and input gets its column's name (the grid's cells carry none).
    var rows = $all('tbody tr', sheet);
    rows.forEach(function (row, r) {
      Array.prototype.forEach.call(row.cells, function (cell, c) {
        var head = heads[c];
        if (!head) return;
        var headText = head.getAttribute('abbr') || head.textContent.replace(/\s+/g, ' ').trim();
        var shortText = head.classList.contains('day') ? $('.day-name', head).textContent.trim() : headText;
        cell.setAttribute('data-label', shortText);
        var control = cell.querySelector('select, input');
        if (control) control.setAttribute('aria-label', headText + ', row ' + (r + 1));
        if (control && DAY_CELL.test(control.name)) {
          control.setAttribute('inputmode', 'decimal');
          control.setAttribute('autocomplete', 'off');
        }
      });
    });

    // Hours typed with a decimal comma are sent with a point.
    var form = sheet.closest('form');
    if (form) {
      form.addEventListener('submit', function () {
        $all('input', sheet.tBodies[0]).forEach(function (input) {
          if (DAY_CELL.test(input.name) && /^\s*\d*,\d+\s*$/.test(input.value)) input.value = input.value.trim().replace(',', '.');
        });
      });
    }

    addTotals(sheet, rows, dayHeads.length);
    collapseEmptyRows(sheet, rows);
  }

  function hoursOf(input) {
    var text = input.value.trim().replace(',', '.');
    if (text === '') return 0;
    var n = Number(text);
    return isFinite(n) ? n : NaN;
  }
  function formatHours(h) {
    return (Math.round(h * 100) / 100).toString();
  }

  function addTotals(sheet, rows, days) {
    if (!days) return;
    var foot = sheet.createTFoot();
    var row = foot.insertRow();
    var label = row.insertCell();
    label.className = 'total-label';
    label.colSpan = 3;
    label.textContent = 'Total hours';
    var cells = [];
    for (var d = 0; d < days; d++) {
      var c = row.insertCell();
      c.setAttribute('data-label', sheet.tHead.rows[0].cells[3 + d].querySelector('.day-name').textContent);
      cells.push(c);
    }
    var week = row.insertCell();
    week.className = 'total-week';
    week.setAttribute('aria-live', 'polite');

    function update() {
      var sums = cells.map(function () { return 0; });
      var bad = false;
      $all('input', sheet.tBodies[0]).forEach(function (input) {
        var m = DAY_CELL.exec(input.name);
        if (!m) return;
        var h = hoursOf(input);
        var invalid = isNaN(h) || h < 0 || h > 24;
        input.setAttribute('aria-invalid', invalid ? 'true' : 'false');
        if (invalid) { bad = true; return; }
        sums[+m[1] - 1] += h;
      });
      var total = 0;
      sums.forEach(function (s, i) { cells[i].textContent = formatHours(s); total += s; });
      week.textContent = 'Week: ' + formatHours(total) + ' h' + (bad ? ' (check the marked cells)' : '');
    }
    sheet.addEventListener('input', update);
    update();
  }

  /* Ten rows are always posted; the empty ones after the last used row stay folded away until
     asked for, so a phone does not scroll through ten empty cards. */
  function collapseEmptyRows(sheet, rows) {
    function used(row) {
      return $all('select, input', row).some(function (c) {
        return c.tagName === 'SELECT' ? c.value !== '' : c.value.trim() !== '';
      });
    }
    var lastUsed = -1;
    rows.forEach(function (row, i) { if (used(row)) lastUsed = i; });
    var visible = Math.min(rows.length, lastUsed + 2);
    if (visible >= rows.length) return;
    rows.forEach(function (row, i) { row.hidden = i >= visible; });
    var button = document.createElement('button');
    button.type = 'button';
    button.className = 'button button-secondary sheet-more';
    button.textContent = 'Add a row';
    button.addEventListener('click', function () {
      var next = rows.filter(function (r) { return r.hidden; })[0];
      if (next) {
        next.hidden = false;
        var first = next.querySelector('select, input');
        if (first) first.focus();
      }
      if (!rows.some(function (r) { return r.hidden; })) button.remove();
    });
    sheet.closest('.sheet-scroll').insertAdjacentElement('afterend', button);
  }

  function start() {
    adoptLeadingMessages();
    wireBackLinks();
    prettifyDates();
    wireDatePicker();
    labelFragmentLists();
    wireClock();
    wirePunchForm();
    wireTimeSheet();
  }

  if (document.readyState === 'loading') document.addEventListener('DOMContentLoaded', start);
  else start();
}());
