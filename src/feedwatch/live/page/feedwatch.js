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

const streams = new Map();  // the streams by key, in the order first seen
const highlighted = new Map();  // highlighted cells and when they changed
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

// Fills a description list with [term, description, problem] entries.
function describe(list, entries) {
  list.replaceChildren(...entries.map(([term, text, problem]) => {
    const entry = element("div", problem ? "problem" : "");
    entry.append(element("dt", "", term), element("dd", "", text));
    return entry;
  }));
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
class Stream {
  constructor(server, kind, scheme) {
    this.server = server;
    this.kind = kind;
    this.scheme = scheme;
    this.columns = [];
    this.rows = [];  // {tr, cells, values, text} in record order
    this.sort = null;  // {column, direction}
    this.filter = "";
    this.lastArrival = null;
    this.timestamp = null;
    this.statistics = null;
    this.history = [];  // {time, values} samples, oldest first
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
      this.applyFilter();
    });
    this.count = element("span", "count");
    tools.append(this.search, this.count);
    this.table = element("table");
    this.head = this.table.createTHead().insertRow();
    this.body = this.table.createTBody();
    this.head.addEventListener("click", (e) => this.sortBy(e.target.closest("th")));
    this.body.addEventListener("click", (e) => {
      const cell = e.target.closest("td");
      if (cell) openChart(this, this.rows.findIndex((r) => r.tr === cell.parentElement), cell.cellIndex);
    });
    const scroll = element("div", "scroll");
    scroll.append(this.table);
    this.panel.append(title, this.stats, tools, scroll);
    byId("waiting")?.remove();
    byId("streams").append(this.panel);
    this.render();
  }

  // Shows a new complete table: the packets of one message, in order.
  setTable(packets) {
    const columns = columnsOf(packets[0]);
    if (columns.map((c) => c.name).join() !== this.columns.map((c) => c.name).join()) {
      this.columns = columns;
      this.head.replaceChildren(...columns.map((c) => {
        const th = element("th", "", c.label);
        th.title = c.name;
        return th;
      }));
      this.body.replaceChildren();
      this.rows = [];
      this.history = [];
      this.sort = null;
    }
    const records = packets.flatMap((p) => p.records);
    while (this.rows.length > records.length) this.rows.pop().tr.remove();
    const now = Date.now();
    records.forEach((record, i) => {
      let row = this.rows[i];
      const fresh = !row;
      if (fresh) {
        row = {tr: this.body.insertRow(), values: [], text: ""};
        row.cells = this.columns.map(() => row.tr.insertCell());
        this.rows.push(row);
      }
      let changed = false;
      this.columns.forEach((column, j) => {
        const value = record[column.name];
        if (value === row.values[j]) return;
        row.values[j] = value;
        row.cells[j].textContent = shown(column, value);
        changed = true;
        if (!fresh) highlight(row.cells[j], now);
      });
      if (changed) row.text = row.cells.map((c) => c.textContent).join(" ").toLowerCase();
    });
    const last = packets[packets.length - 1];
    this.lastArrival = Date.parse(last.received);
    this.timestamp = packets[0].header.Timestamp;
    this.remember(this.lastArrival);
    this.applySort();
    this.applyFilter();
    this.render();
    if (chart && chart.stream === this) chart.add(this.lastArrival);
  }

  // Keeps a sample of the table for the charts: at most one a second, and
  // fewer for a large table, so that ten minutes stay within HISTORY_VALUES.
  remember(time) {
    const size = this.rows.length * this.columns.length;
    const spacing = 1000 * Math.max(1, Math.ceil((size * HISTORY_MS) / 1000 / HISTORY_VALUES));
    const newest = this.history[this.history.length - 1];
    if (!newest || time - newest.time >= spacing) {
      this.history.push({time, rows: this.rows.map((r) => r.values.slice())});
    }
    while (this.history.length && this.history[0].time < time - HISTORY_MS) this.history.shift();
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
    this.count.textContent = this.rows.length + " rows";
  }

  // Sorts by the clicked column: ascending, then descending, then as received.
  sortBy(th) {
    if (!th) return;
    const column = th.cellIndex;
    const same = this.sort && this.sort.column === column;
    this.sort = !same ? {column, direction: 1} : this.sort.direction === 1 ? {column, direction: -1} : null;
    for (const h of this.head.cells) h.removeAttribute("aria-sort");
    if (this.sort) th.setAttribute("aria-sort", this.sort.direction === 1 ? "ascending" : "descending");
    this.applySort();
  }

  applySort() {
    const order = this.rows.slice();
    if (this.sort) {
      const {column, direction} = this.sort;
      order.sort((a, b) => direction * ((a.values[column] ?? -Infinity) - (b.values[column] ?? -Infinity)));
    }
    if (order.some((row, i) => this.body.rows[i] !== row.tr)) this.body.append(...order.map((r) => r.tr));
  }

  applyFilter() {
    for (const row of this.rows) row.tr.hidden = this.filter !== "" && !row.text.includes(this.filter);
  }
}

// Marks a cell as changed for HIGHLIGHT_MS.
function highlight(cell, now) {
  cell.classList.add("changed");
  highlighted.set(cell, now);
}

function streamFor(server, kind, scheme) {
  const key = JSON.stringify([server, kind, scheme]);
  if (!streams.has(key)) streams.set(key, new Stream(server, kind, scheme));
  return streams.get(key);
}

const streamOf = (packet) => streamFor(packet.header.ServerName, packet.kind, packet.scheme);

// A displayed packet: a single packet is its stream's table at once; the
// parts of a group become their streams' tables when the last part comes.
function takePacket(packet) {
  if (!packet.message) {
    streamOf(packet).setTable([packet]);
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
  tables.forEach((parts, stream) => stream.setTable(parts));
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
    if (s.table.length) stream.setTable(s.table);
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
                 ["Packets/s", rate(status.packets_per_second)]);
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
    this.cell = stream.rows[row].cells[column];
    this.cell.classList.add("charted");
    byId("chart-title").textContent =
        `${stream.server} · ${stream.kind ?? ""} · ${stream.scheme ?? ""} · record ${row + 1} · ${this.field.label}`;
    byId("chart-box").hidden = false;
    this.add(stream.lastArrival);
  }

  // Takes the cell's current value, arrived at `time`.
  add(time) {
    const row = this.stream.rows[this.row];
    const value = row ? row.values[this.column] : undefined;
    if (value === undefined) return;
    const last = this.points[this.points.length - 1];
    if (!last || last[0].getTime() < time) this.points.push([new Date(time), value]);
    while (this.points.length > 1 && this.points[0][0].getTime() < time - HISTORY_MS) this.points.shift();
    byId("chart-value").textContent = shown(this.field, value);
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

  close() {
    this.cell.classList.remove("charted");
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
  highlighted.forEach((since, cell) => {
    if (now - since < HIGHLIGHT_MS) return;
    cell.classList.remove("changed");
    highlighted.delete(cell);
  });
  streams.forEach((stream) => stream.render());
}, TICK_MS);

connect();
