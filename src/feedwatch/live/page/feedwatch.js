// The live view of feedwatch: the current table of every stream of the feed
// as the monitor displays it, kept up to date from /events.  Every text that
// comes from the feed is set as text, never as markup.
"use strict";

const STALE_MINIMUM_MS = 5000;  // stale after three mean intervals, and at least this
const HIGHLIGHT_MS = 2000;  // how long a changed cell stays highlighted
const HISTORY_MS = 10 * 60 * 1000;  // how far back a chart goes
const HISTORY_VALUES = 2000000;  // the most values one stream's history keeps
const RECONNECT_MS = 2000;  // the pause before a closed event stream is opened again
const TICK_MS = 250;  // how often ages, stale marks and highlights are brought up to date
const ROWS_AROUND = 20;  // rows given cells above and below those in view
const ROWS_AT_FIRST = 60;  // rows given cells before the table's box is measured

const streams = new Map();  // the streams by key, in the order first seen
let summary = null;  // the latest statistics summary
let status = null;  // the latest status of the monitor
let clockOffset = 0;  // the monitor's clock minus this browser's, in milliseconds
let group = [];  // the parts of the multi-packet group being received
let chart = null;  // the open chart

const byId = (id) => document.getElementById(id);

// Returns a new element of `tag` with a class and a text.
function element(tag, className, text) {
  const e = document.createElement(tag);
  if (className) e.className = className;
  if (text !== undefined) e.textContent = text;
  return e;
}

// What each description list shows: its [term, description, problem] entries.
const described = new WeakMap();

// Fills a description list with [term, description, problem] entries,
// touching only what differs from what it shows: a tick that changes
// nothing gives the browser nothing to lay out again.
function describe(list, entries) {
  const before = described.get(list);
  described.set(list, entries);
  if (!before || before.length !== entries.length || before.some((e, i) => e[0] !== entries[i][0])) {
    list.replaceChildren(...entries.map(([term, text, problem]) => {
      const entry = element("div", problem ? "problem" : "");
      entry.append(element("dt", "", term), element("dd", "", text));
      return entry;
    }));
    return;
  }
  entries.forEach(([, text, problem], i) => {
    const entry = list.children[i];
    if (text !== before[i][1]) entry.lastChild.textContent = text;
    if (!problem !== !before[i][2]) entry.className = problem ? "problem" : "";
  });
}

// Sets the text of an element when it differs: setting the same text again
// would still replace its text node and lay it out again.
function setText(e, text) {
  if (e.textContent !== text) e.textContent = text;
}

// The time of the monitor's clock, in milliseconds since 1970.
const monitorNow = () => Date.now() + clockOffset;

const number = (value) => (value === undefined || value === null ? "–" : String(value));

// A number of milliseconds as the page shows it.
const milliseconds = (value) => (value === null || value === undefined ? "–" : value.toFixed(1));

// The fields of the layout the monitor reads a packet with, without the
// hidden ones, in record order.
function columnsOf(packet) {
  const kind = WIRE.kinds.find((k) => k.name === packet.kind);
  if (!kind) return [];
  const v = kind.version_layout;
  const h = packet.header;
  const other = v && h.ReleaseNumber === v.release_number && h.MinorVersion === v.minor_version;
  return (other ? v.layout : kind.layout).fields.filter((f) => f.shown !== "hidden");
}

// A value as the text display shows it: signed decimal, or upper-case hex.
function shown(field, value) {
  if (value === undefined) return "";
  return field.shown === "decimal" ? String(value) : (value >>> 0).toString(16).toUpperCase() + "h";
}

// One stream's panel: its statistics, its current table and its history.
//
// The table has a row for every record, but only the rows in view, and
// ROWS_AROUND above and below, have cells; the others are empty rows of the
// same height (the style sheet sets it), so that a table of thousands of
// cells costs the browser what its few hundred in view do.  A collapsed row
// in the table's foot holds the longest text each column has had, so that
// the columns keep their widths whichever rows have cells.
class Stream {
  constructor(server, kind, scheme) {
    this.server = server;
    this.kind = kind;
    this.scheme = scheme;
    this.columns = [];
    this.layout = null;  // the names of the columns, joined
    // In record order: {index, tr, values, changedAt, text, hidden, cells, texts};
    // cells and texts (the cells' text nodes) while the row has cells.
    this.rows = [];
    this.order = [];  // the rows in the order the table shows them
    this.widest = [];  // the length of the longest text of each column
    this.sort = null;  // {column, direction}
    this.filter = "";
    this.range = [0, ROWS_AT_FIRST];  // the rows shown (filtered out ones not counted) with cells
    this.rowHeight = 0;  // of a row as laid out, once measured
    this.viewHeight = 0;  // of the table's box as laid out
    this.next = null;  // the latest table received and not shown yet
    this.shownArrival = null;  // when the table shown arrived
    this.lastArrival = null;
    this.timestamp = null;
    this.statistics = null;
    this.history = [];  // {time, rows} samples, oldest first
    this.historyLayout = null;  // the columns of the samples
    this.panel = element("article", "panel");
    const title = element("h2");
    title.append(element("span", "server", server), element("span", "kind", kind ?? "unknown kind"),
                 element("span", "scheme", scheme ?? "unknown scheme"), element("span", "badge", "stale"));
    this.stats = element("dl", "stats");
    const tools = element("div", "tools");
    this.search = element("input");
    this.search.type = "search";
    this.search.placeholder = "Filter rows";
    this.search.addEventListener("input", () => {
      this.filter = this.search.value.trim().toLowerCase();
      if (this.applyFilter()) this.giveCells();
    });
    this.count = element("span", "count");
    tools.append(this.search, this.count);
    this.table = element("table");
    this.head = this.table.createTHead().insertRow();
    this.body = this.table.createTBody();
    this.sizer = this.table.createTFoot().insertRow();
    this.head.addEventListener("click", (e) => this.sortBy(e.target.closest("th")));
    this.body.addEventListener("click", (e) => {
      const cell = e.target.closest("td");
      if (cell) openChart(this, this.rows.findIndex((r) => r.tr === cell.parentElement), cell.cellIndex);
    });
    this.scroll = element("div", "scroll");
    this.scroll.append(this.table);
    this.scroll.addEventListener("scroll", () => this.place(false), {passive: true});
    // Measured as laid out: at first, when the box's size changes (with the
    // window's), and when the panel comes into view.
    new ResizeObserver(() => this.place(true)).observe(this.scroll);
    this.panel.addEventListener("contentvisibilityautostatechange", (e) => {
      if (!e.skipped) this.place(true);
    });
    this.panel.append(title, this.stats, tools, this.scroll);
    byId("waiting")?.remove();
    byId("streams").append(this.panel);
    this.render();
  }

  // Takes a new complete table, the packets of one message in order, as it
  // arrives; the table shows it in the next animation frame.
  receive(packets) {
    const columns = columnsOf(packets[0]);
    const records = packets.length === 1 ? packets[0].records : packets.flatMap((p) => p.records);
    const arrival = Date.parse(packets[packets.length - 1].received);
    this.next = {columns, layout: columns.map((c) => c.name).join(), records, arrival};
    this.lastArrival = arrival;
    this.timestamp = packets[0].header.Timestamp;
    this.remember(this.next);
  }

  // Keeps a sample of the table for the charts: at most one a second, and
  // fewer for a large table, so that ten minutes stay within HISTORY_VALUES.
  remember({columns, layout, records, arrival}) {
    if (layout !== this.historyLayout) {
      this.history = [];
      this.historyLayout = layout;
    }
    const size = records.length * columns.length;
    const spacing = 1000 * Math.max(1, Math.ceil((size * HISTORY_MS) / 1000 / HISTORY_VALUES));
    const newest = this.history[this.history.length - 1];
    if (!newest || arrival - newest.time >= spacing) {
      this.history.push({time: arrival, rows: records.map((r) => columns.map((c) => r[c.name]))});
    }
    while (this.history.length && this.history[0].time < arrival - HISTORY_MS) this.history.shift();
  }

  // Shows the latest table received: every value that differs from the one
  // shown is taken, and highlighted from `now`.
  show(now) {
    const {columns, layout, records, arrival} = this.next;
    this.next = null;
    if (layout !== this.layout) {
      this.layout = layout;
      this.columns = columns;
      this.head.replaceChildren(...columns.map((c) => {
        const th = element("th", "", c.label);
        th.title = c.name;
        return th;
      }));
      this.sizer.replaceChildren(...columns.map(() => element("td", "", "")));
      this.widest = columns.map(() => 0);
      this.body.replaceChildren();
      this.rows = [];
      this.order = [];
      this.sort = null;
    }
    let added = false;
    let changed = false;
    if (this.rows.length > records.length) {
      for (const row of this.rows.splice(records.length)) row.tr.remove();
      this.order = this.order.filter((row) => row.tr.parentNode);
      added = true;
    }
    for (let i = 0; i < records.length; i++) {
      const record = records[i];
      let row = this.rows[i];
      const fresh = !row;
      if (fresh) {
        row = {index: i, tr: this.body.insertRow(), values: [], changedAt: [], text: null, hidden: false,
               cells: null, texts: null};
        this.rows.push(row);
        this.order.push(row);
        added = true;
      }
      const {values, changedAt, cells, texts} = row;
      for (let j = 0; j < columns.length; j++) {
        const value = record[columns[j].name];
        if (value === values[j]) continue;
        values[j] = value;
        const text = shown(columns[j], value);
        if (text.length > this.widest[j]) {
          this.widest[j] = text.length;
          this.sizer.cells[j].textContent = text;
        }
        row.text = null;
        changed = true;
        if (fresh) continue;
        changedAt[j] = now;
        if (!cells) continue;
        texts[j].data = text;
        cells[j].classList.add("changed");
      }
    }
    const moved = (added || (changed && this.sort)) && this.applySort();
    const filtered = (added || (changed && this.filter)) && this.applyFilter();
    if (added || moved || filtered) this.giveCells();
    this.shownArrival = arrival;
    setText(this.count, this.rows.length + " rows");
    if (chart && chart.stream === this) chart.add(arrival);
  }

  // Gives cells to the rows in view and ROWS_AROUND about them, and takes
  // them from the others.  With `measure`, the height of the box and of a
  // row are measured again; a scroll takes those known.
  place(measure) {
    if (measure || !this.rowHeight) {
      const measured = this.order.find((row) => row.cells && !row.hidden);
      if (measured) this.rowHeight = measured.tr.getBoundingClientRect().height || this.rowHeight;
      this.viewHeight = this.scroll.clientHeight;
    }
    if (this.rowHeight) {
      const top = this.scroll.scrollTop / this.rowHeight;
      const bottom = (this.scroll.scrollTop + this.viewHeight) / this.rowHeight;
      this.range = [Math.max(0, Math.floor(top) - ROWS_AROUND), Math.ceil(bottom) + ROWS_AROUND];
    }
    this.giveCells();
  }

  giveCells() {
    const [first, end] = this.range;
    let position = 0;
    for (const row of this.order) {
      const near = !row.hidden && position >= first && position < end;
      if (!row.hidden) position++;
      if (near && !row.cells) this.fill(row);
      else if (!near && row.cells) this.empty(row);
    }
  }

  // Gives a row its cells, the changed ones highlighted.
  fill(row) {
    const now = Date.now();
    row.cells = [];
    row.texts = [];
    this.columns.forEach((column, j) => {
      const cell = document.createElement("td");
      const text = document.createTextNode(shown(column, row.values[j]));
      cell.append(text);
      if (now - row.changedAt[j] < HIGHLIGHT_MS) cell.className = "changed";
      row.cells.push(cell);
      row.texts.push(text);
    });
    row.tr.append(...row.cells);
    if (chart && chart.stream === this && chart.row === row.index) chart.mark();
  }

  empty(row) {
    row.tr.replaceChildren();
    row.cells = null;
    row.texts = null;
  }

  // Takes the highlight off the cells that have not changed for HIGHLIGHT_MS.
  fade(now) {
    for (const row of this.rows) {
      if (!row.cells) continue;
      row.cells.forEach((cell, j) => {
        if (now - row.changedAt[j] >= HIGHLIGHT_MS && cell.classList.contains("changed")) {
          cell.classList.remove("changed");
        }
      });
    }
  }

  setStatistics(statistics) {
    this.statistics = statistics;
    this.render();
  }

  // How long a packet may be awaited before the stream counts as stale.
  staleAfter() {
    const mean = this.statistics?.interval_ms?.mean;
    return Math.max(STALE_MINIMUM_MS, 3 * (mean ?? 0));
  }

  // Brings the statistics line, the age and the stale mark up to date.
  render() {
    const age = this.lastArrival === null ? null : monitorNow() - this.lastArrival;
    this.panel.classList.toggle("stale", age === null || age > this.staleAfter());
    const s = this.statistics ?? {};
    const interval = s.interval_ms ?? {};
    const entries = [
      ["Timestamp", this.timestamp === null ? "–" : new Date(this.timestamp * 1000).toLocaleString()],
      ["Age", age === null ? "–" : (age / 1000).toFixed(1) + " s"],
      ["Packets", number(s.packets)],
      ["Interval ms", [interval.min, interval.mean, interval.max].map(milliseconds).join(" / ")],
      ["Duplicates", number(s.duplicates), s.duplicates > 0],
      ["Backwards", number(s.backwards), s.backwards > 0],
    ];
    for (const [key, term] of [["incomplete_groups", "Incomplete groups"],
                               ["mixed_groups", "Mixed groups"], ["gaps", "Gaps"]]) {
      if (key in s) entries.push([term, number(s[key]), s[key] > 0]);
    }
    describe(this.stats, entries);
    setText(this.count, this.rows.length + " rows");
  }

  // Sorts by the clicked column: ascending, then descending, then as received.
  sortBy(th) {
    if (!th) return;
    const column = th.cellIndex;
    const same = this.sort && this.sort.column === column;
    this.sort = !same ? {column, direction: 1} : this.sort.direction === 1 ? {column, direction: -1} : null;
    for (const h of this.head.cells) h.removeAttribute("aria-sort");
    if (this.sort) th.setAttribute("aria-sort", this.sort.direction === 1 ? "ascending" : "descending");
    if (this.applySort()) this.giveCells();
  }

  // Puts the rows in the order of the sort, moving only those out of place;
  // tells whether any moved.
  applySort() {
    let order = this.rows;
    if (this.sort) {
      const {column, direction} = this.sort;
      const key = (row) => row.values[column] ?? -Infinity;
      order = this.rows.slice().sort((a, b) => direction * (key(a) - key(b)) || 0);
    }
    if (order.length === this.order.length && order.every((row, i) => row === this.order[i])) return false;
    reorder(this.body, this.order, order);
    this.order = order.slice();
    return true;
  }

  // A row's texts, in lower case, for the filter.
  textOf(row) {
    row.text ??= this.columns.map((c, j) => shown(c, row.values[j])).join(" ").toLowerCase();
    return row.text;
  }

  // Hides the rows without the filter's text; tells whether any changed.
  applyFilter() {
    let changed = false;
    for (const row of this.rows) {
      const hidden = this.filter !== "" && !this.textOf(row).includes(this.filter);
      if (row.hidden === hidden) continue;
      row.hidden = row.tr.hidden = hidden;
      changed = true;
    }
    return changed;
  }
}

// The indexes of a longest increasing run (not necessarily contiguous) of
// `sequence`.
function longestIncreasing(sequence) {
  const ends = [];  // ends[k]: the index ending the best run of length k + 1
  const previous = [];
  sequence.forEach((value, i) => {
    let low = 0;
    let high = ends.length;
    while (low < high) {
      const middle = (low + high) >> 1;
      if (sequence[ends[middle]] < value) low = middle + 1;
      else high = middle;
    }
    previous[i] = low > 0 ? ends[low - 1] : -1;
    ends[low] = i;
  });
  const run = [];
  for (let i = ends.length ? ends[ends.length - 1] : -1; i >= 0; i = previous[i]) run.push(i);
  return run.reverse();
}

// Puts the rows of a table body, shown in order `before`, in order `after`:
// the longest run of rows already in order stays, the others move, so that
// the browser has as few rows as it can to take out and lay out again.
function reorder(body, before, after) {
  const position = new Map(before.map((row, i) => [row, i]));
  const stays = new Set(longestIncreasing(after.map((row) => position.get(row))).map((i) => after[i]));
  let next = null;
  for (let i = after.length - 1; i >= 0; i--) {
    const tr = after[i].tr;
    if (!stays.has(after[i])) body.insertBefore(tr, next);
    next = tr;
  }
}

function streamFor(server, kind, scheme) {
  const key = JSON.stringify([server, kind, scheme]);
  if (!streams.has(key)) streams.set(key, new Stream(server, kind, scheme));
  return streams.get(key);
}

const streamOf = (packet) => streamFor(packet.header.ServerName, packet.kind, packet.scheme);

const waiting = new Set();  // the streams with a table received and not shown yet
let frame = 0;  // the animation frame requested to show them

// Takes a stream's new table, shown in the next animation frame: when
// several tables of a stream come within a frame, the latest, highlighting
// every cell that differs from what the table showed.
function takeTable(stream, packets) {
  stream.receive(packets);
  waiting.add(stream);
  if (!frame) frame = requestAnimationFrame(showTables);
}

function showTables() {
  frame = 0;
  const now = Date.now();
  for (const stream of waiting) stream.show(now);
  waiting.clear();
}

// A displayed packet: a single packet is its stream's table at once; the
// parts of a group become their streams' tables when the last part comes.
function takePacket(packet) {
  if (!packet.message) {
    takeTable(streamOf(packet), [packet]);
    return;
  }
  if (packet.message.part === 1) group = [];
  group.push(packet);
  if (packet.message.part !== packet.message.of) return;
  const tables = new Map();
  for (const part of group) {
    const stream = streamOf(part);
    if (!tables.has(stream)) tables.set(stream, []);
    tables.get(stream).push(part);
  }
  tables.forEach((parts, stream) => takeTable(stream, parts));
  group = [];
}

function takeSummary(value) {
  summary = value;
  for (const s of value.streams) streamFor(s.server, s.kind, s.scheme).setStatistics(s);
  renderTop();
}

function takeStatus(value) {
  status = value;
  clockOffset = value.time * 1000 - Date.now();
  renderTop();
}

// Everything the monitor holds: a client's first event.
function takeStreams(value) {
  takeStatus(value.status);
  for (const s of value.streams) {
    const stream = streamFor(s.server, s.kind, s.scheme);
    if (s.table.length) takeTable(stream, s.table);
    if (s.statistics) stream.setStatistics(s.statistics);
  }
  if (value.summary) takeSummary(value.summary);
}

function duration(seconds) {
  const s = Math.floor(seconds);
  const hms = [Math.floor(s / 3600), Math.floor(s / 60) % 60, s % 60];
  return hms.map((n, i) => (i ? String(n).padStart(2, "0") : String(n))).join(":");
}

const rate = (value) => (value === null || value === undefined ? "–" : value.toFixed(1));

// The top line: the monitor, its rates and the feed's problem counts.
function renderTop() {
  const entries = [];
  if (status) {
    entries.push(["Version", status.version], ["Group", status.group],
                 ["Ports", status.ports.join(", ")], ["Uptime", duration(status.uptime)],
                 ["Datagrams/s", rate(status.datagrams_per_second)],
                 ["Packets/s", rate(status.packets_per_second)],
                 ["Skipped by the view", number(status.skipped_messages),
                  status.skipped_messages > 0]);
  }
  if (summary) {
    const m = summary.multipacket ?? {};
    const problems = [["Short", summary.short], ["Bad HeaderId", summary.bad_header_id],
                      ["Expansion failures", summary.expansion_failures],
                      ["Incomplete groups", m.incomplete_groups], ["Parts dropped", m.parts_dropped],
                      ["Mixed groups", summary.mixed_groups], ["Gaps", summary.gaps],
                      ["Kernel drops", summary.kernel_drops]];
    for (const [term, value] of problems) {
      if (value !== undefined && value !== null) entries.push([term, String(value), value > 0]);
    }
  }
  describe(byId("facts"), entries);
}

function setConnection(state, text) {
  const c = byId("connection");
  c.className = "connection " + state;
  c.textContent = text;
}

// Opens /events, and opens it again whenever the browser gives up on it.
function connect() {
  const source = new EventSource("/events");
  source.onopen = () => setConnection("live", "live");
  source.onerror = () => {
    setConnection("lost", "reconnecting");
    if (source.readyState === EventSource.CLOSED) setTimeout(connect, RECONNECT_MS);
  };
  const on = (name, take) => source.addEventListener(name, (e) => take(JSON.parse(e.data)));
  on("streams", takeStreams);
  on("packet", takePacket);
  on("summary", takeSummary);
  on("status", takeStatus);
}

// The chart of one cell over the last ten minutes: the stream's history,
// then every table from the moment it opens.
class Chart {
  constructor(stream, row, column) {
    this.stream = stream;
    this.row = row;
    this.column = column;
    this.field = stream.columns[column];
    this.points = stream.history.filter((h) => h.rows[row] && h.rows[row][column] !== undefined)
                      .map((h) => [new Date(h.time), h.rows[row][column]]);
    this.mark();
    byId("chart-title").textContent =
        `${stream.server} · ${stream.kind ?? ""} · ${stream.scheme ?? ""} · record ${row + 1} · ${this.field.label}`;
    byId("chart-box").hidden = false;
    this.add(stream.shownArrival);
  }

  // Takes the cell's current value, arrived at `time`.
  add(time) {
    const row = this.stream.rows[this.row];
    const value = row ? row.values[this.column] : undefined;
    if (value === undefined) return;
    const last = this.points[this.points.length - 1];
    if (!last || last[0].getTime() < time) this.points.push([new Date(time), value]);
    while (this.points.length > 1 && this.points[0][0].getTime() < time - HISTORY_MS) this.points.shift();
    setText(byId("chart-value"), shown(this.field, value));
    if (!this.graph) {
      this.graph = new Dygraph(byId("chart"), this.points, {
        labels: ["Time", this.field.label], stepPlot: true, drawPoints: true,
        axes: {x: {axisLabelFormatter: (d) => d.toLocaleTimeString()},
               y: {valueFormatter: (v) => shown(this.field, v)}},
      });
    } else {
      this.graph.updateOptions({file: this.points});
    }
  }

  // The cell charted, while its row has cells.
  cell() {
    return this.stream.rows[this.row]?.cells?.[this.column];
  }

  mark() {
    this.cell()?.classList.add("charted");
  }

  close() {
    this.cell()?.classList.remove("charted");
    this.graph?.destroy();
    byId("chart-box").hidden = true;
  }
}

// The chart library's legend writes style attributes, which the page's
// security policy refuses; the page shows the charted value itself.
Dygraph.PLUGINS.splice(Dygraph.PLUGINS.indexOf(Dygraph.Plugins.Legend), 1);

function openChart(stream, row, column) {
  chart?.close();
  chart = new Chart(stream, row, column);
}

byId("chart-close").addEventListener("click", () => {
  chart?.close();
  chart = null;
});

setInterval(() => {
  const now = Date.now();
  streams.forEach((stream) => stream.fade(now));
  streams.forEach((stream) => stream.render());
}, TICK_MS);

connect();
