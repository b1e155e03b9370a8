/* SPDX-License-Identifier: LGPL-2.1-or-later */
// The web console of norvo-sim: reads and changes everything through /api.
"use strict";

const COLUMNS = 8, LOG_ROWS = 500, RETRY_MS = 2000;
// The type select's choice of each label in its declared type; registers
// declared with none show as int16, bits as bool.
const DECLARED = "declared";
const BITS = { bool: 1, int8: 8, uint8: 8, int16: 16, uint16: 16, int32: 32, uint32: 32,
               float: 32, int64: 64, uint64: 64, double: 64 };
const FAULT_HELP = { delay: "answer late", drop: "no answer", "bad-checksum": "wrong checksum",
                     error: "refuse with a code", split: "answer in two pieces", dup: "answer twice",
                     close: "close the TCP connection" };
const $ = (id) => document.getElementById(id);

let run = null;             // the simulator run the page shows; a new one starts the page afresh
let lastSequence = 0;       // the newest log entry looked at
let logShown = 0;           // the entries since the log (re)started that passed the filter
let view = null;            // what the memory table shows; with DECLARED, also its cells
let generated = [];         // the generators, to mark their cells
let refreshFailed = false;  // the message shows a failed refresh, which the next good one clears

// Every call says it comes from the page, for the log. A simulator that
// cannot be reached turns the page grey until it answers again.
async function api(method, path, body, text) {
  const options = { method: method, headers: { "X-Norvo-Origin": "page" } };
  if (body !== undefined) {
    options.body = text ? body : JSON.stringify(body);
    options.headers["Content-Type"] = text ? "text/plain" : "application/json";
  }
  let response;
  try {
    response = await fetch(path, options);
  } catch (error) {
    showOffline(true);
    throw new Error("the simulator cannot be reached");
  }
  showOffline(false);
  const data = await response.json();
  if (!response.ok) throw new Error(data.error || response.statusText);
  return data;
}

function showOffline(offline) {
  if (document.body.classList.contains("offline") === offline) return;
  document.body.classList.toggle("offline", offline);
  $("offline").hidden = !offline;
  $("offline").textContent = offline ? "The simulator at " + location.host + " cannot be reached; "
      + "what is shown is from before. Trying again every " + RETRY_MS / 1000 + " s…" : "";
}

// A message belongs to the view it was shown in and goes with it.
function showMessage(text) { $("message").textContent = text; }

function isBitArea(area) { return "XYMSTC".includes(area); }

// How the values of a type lie in an area: `group` values share one place
// that a write must start at, `step` elements apart (see SimTypes).
function layout(area, type) {
  const bits = BITS[type];
  if (isBitArea(area) && (bits === 1 || area === "X" || area === "Y")) return { group: 1, step: bits };
  const registers = bits >= 16 ? bits / 16 : 1;
  return { group: bits === 1 ? 16 : (bits === 8 ? 2 : 1), step: registers * (isBitArea(area) ? 16 : 1) };
}

function isDeclaredView() { return view.type === DECLARED; }

// The type of the cells that have none of their own.
function cellType() {
  if (!isDeclaredView()) return view.type;
  return isBitArea(view.area) ? "bool" : "int16";
}

function elementOf(k) {
  const shape = layout(view.area, cellType());
  return view.start + Math.floor(k / shape.group) * shape.step;
}

function labelOf(k) { return view.area + elementOf(k); }

// The value a memory answer declared for cell k, if any.
function declaredAt(k) { return view.cells ? view.cells[k] : undefined; }

// The cell's place: "D100", "D100 bit 3", "D100 high byte".
function cellName(k) {
  const declared = declaredAt(k);
  if (declared) return declared.label + " " + declared.type + (declared.values.length > 1 ? ", high byte first" : "");
  const shape = layout(view.area, cellType());
  let name = labelOf(k);
  if (shape.group === 16) name += " bit " + (k % 16);
  if (shape.group === 2) name += k % 2 === 0 ? " high byte" : " low byte";
  return name + " " + cellType();
}

// The storage cell k takes: its first and last element.
function storageOf(k) {
  const declared = declaredAt(k);
  if (declared) return { first: declared.first, last: declared.last };
  const shape = layout(view.area, cellType());
  const first = elementOf(k);
  return { first: first, last: first + Math.max(shape.step, 1) - 1 };
}

// The full value, its bit pattern and, for values of whole registers, the
// registers as the PLC holds them, low word first.
function cellTooltip(k, value, hex) {
  const declared = declaredAt(k);
  const type = declared ? declared.type : cellType();
  let tip = cellName(k) + " = " + value + "\nhex " + hex;
  const bits = BITS[type];
  if (bits >= 16 && !isBitArea(view.area)) {
    const digits = hex.substring(2);
    const words = [];
    for (let i = 0; i < bits / 16; ++i)
      words.push(view.area + (storageOf(k).first + i) + " = 0x" + digits.substring(digits.length - 4 * (i + 1), digits.length - 4 * i));
    tip += "\nregisters " + words.join(", ");
  }
  const generator = generatorAt(k);
  if (generator) tip += "\ngenerator " + generator.generator + " (a write stops it)";
  return tip;
}

function generatorAt(k) {
  const storage = storageOf(k);
  return generated.find((g) => String(g.station) === view.station && g.area === view.area
                               && g.first <= storage.last && storage.first <= g.last);
}

function readView() {
  return { station: $("station").value, area: $("area").value, type: $("type").value,
           start: Math.max(0, Math.min(9999, parseInt($("start").value, 10) || 0)),
           rows: Math.max(1, Math.min(64, parseInt($("rows").value, 10) || 1)) };
}

function buildTable() {
  view = readView();
  showMessage("");
  // Declared types come with the memory; until then, the plain grid.
  drawTable([]);
  refreshMemory();
}

// Offsets from a row's first place, in the cells' unit: elements, bytes of
// registers ("+0 hi"), or bits of a register.
function columnHeading(column) {
  const shape = layout(view.area, cellType());
  if (shape.group === 16) return "+" + column;
  const offset = "+" + (elementOf(column) - view.start);
  if (shape.group === 2) return offset + (column % 2 === 0 ? " hi" : " lo");
  return offset;
}

function rowHeading(row) {
  const shape = layout(view.area, cellType());
  return labelOf(row * COLUMNS) + (shape.group === 16 ? " bit " + (row * COLUMNS) % 16 : "");
}

// One row of COLUMNS cells; a value declared wider than a register spans
// its registers, and where it goes on past the row's end, the next row
// starts with a mark that points back to it.
function drawTable(declared) {
  view.cells = {};
  const byElement = new Map();
  if (isDeclaredView()) {
    for (const value of declared) {
      for (let element = value.first; element <= value.last; ++element) byElement.set(element, value);
    }
  }
  view.layoutKey = shapeOf(declared);
  const table = $("memory");
  table.innerHTML = "";
  const heading = table.createTHead().insertRow();
  heading.appendChild(document.createElement("th"));
  for (let column = 0; column < COLUMNS; ++column) {
    const th = document.createElement("th");
    th.className = "offset";
    th.textContent = columnHeading(column);
    heading.appendChild(th);
  }
  const body = table.createTBody();
  for (let row = 0; row < view.rows; ++row) {
    const tr = body.insertRow();
    const th = document.createElement("th");
    th.textContent = rowHeading(row);
    tr.appendChild(th);
    for (let column = 0; column < COLUMNS;) {
      const k = row * COLUMNS + column;
      const value = byElement.get(view.start + k);
      const span = value ? Math.min(value.last - view.start - k + 1, COLUMNS - column) : 1;
      const td = tr.insertCell();
      td.colSpan = span;
      column += span;
      if (value && value.first !== view.start + k) {
        td.className = "continued";
        td.textContent = "… " + value.label;
        td.title = value.label + " " + value.type + " goes on here";
        continue;
      }
      if (value) view.cells[k] = value;
      td.appendChild(cellInput(k));
    }
  }
}

function cellInput(k) {
  const input = document.createElement("input");
  input.id = "cell-" + k;
  input.title = cellName(k);
  if (declaredAt(k)) input.classList.add("typed");
  input.addEventListener("focus", () => { input.dataset.shown = input.value; });
  input.addEventListener("change", () => writeCell(k, input));
  input.addEventListener("keydown", (event) => {
    if (event.key === "Enter") input.blur();
    if (event.key === "Escape") {
      // Back to the value shown; leaving the cell then writes nothing.
      input.value = input.dataset.shown !== undefined ? input.dataset.shown : input.value;
      input.classList.remove("bad");
      input.blur();
    }
  });
  return input;
}

// A float as the shortest text that reads back to the same float: JSON
// carries it as the double it widens to (4.274359226226807 for 4.2743594).
function valueText(value, type) {
  if (typeof value === "boolean") return value ? "1" : "0";
  if (type !== "float" || typeof value !== "number") return String(value);
  for (let digits = 1; digits <= 9; ++digits) {
    const text = String(Number(value.toPrecision(digits)));
    if (Math.fround(Number(text)) === value) return text;
  }
  return String(value);
}

function showValues(data) {
  data.values.forEach((value, k) => {
    const input = $("cell-" + k);
    if (!input) return;
    const declared = declaredAt(k);
    const text = declared ? declared.values.map((one) => valueText(one, declared.type)).join(", ")
                          : valueText(value, cellType());
    input.classList.toggle("generated", !!generatorAt(k));
    input.classList.toggle("typed", !!declared);
    if (input === document.activeElement || input.classList.contains("bad")) return;
    input.value = text;
    input.title = cellTooltip(k, text, declared ? declared.hex.join(" ") : data.hex[k]);
    input.classList.toggle("nonzero", !/^[0, ]*$/.test(text));
  });
}

// The cells that span several registers: what the grid's shape depends on.
function shapeOf(declared) {
  return JSON.stringify(declared.filter((value) => value.last > value.first).map((value) => [value.first, value.last]));
}

// The grid changes shape with the declarations, but not under a cell being
// edited; cells of one register just take their new type.
function fitDeclared(data) {
  const declared = data.declared || [];
  if (shapeOf(declared) !== view.layoutKey && !$("memory").contains(document.activeElement)) {
    drawTable(declared);
    return;
  }
  const cells = {};
  for (const value of declared) {
    const k = value.first - view.start;
    const drawn = view.cells[k];
    if ($("cell-" + k) && (value.last === value.first || (drawn && drawn.last === value.last))) cells[k] = value;
  }
  view.cells = cells;
}

async function refreshMemory() {
  if (!view) return;
  const shown = view;
  try {
    const data = await api("GET", "/api/memory/" + view.area + view.start + "?count=" + view.rows * COLUMNS +
                           "&type=" + cellType() + "&station=" + view.station + (isDeclaredView() ? "&declared=1" : ""));
    if (shown !== view) return;
    if (isDeclaredView()) fitDeclared(data);
    showValues(data);
    if (refreshFailed) showMessage("");
    refreshFailed = false;
  } catch (error) {
    if (shown !== view || document.body.classList.contains("offline")) return;
    showMessage(error.message);
    refreshFailed = true;
  }
}

// A write starts where its value's group starts; the group's other values
// go along unchanged, as shown.
async function writeCell(k, input) {
  const declared = declaredAt(k);
  const shape = layout(view.area, cellType());
  const first = Math.floor(k / shape.group) * shape.group;
  let values = [];
  if (declared) {
    values = input.value.split(",").map((text) => text.trim());
  } else {
    for (let i = first; i < first + shape.group; ++i) {
      const cell = $("cell-" + i);
      if (cell) values.push(cell.value.trim());
    }
  }
  const label = declared ? declared.label : labelOf(k);
  const type = declared ? declared.type : cellType();
  const shown = view;
  try {
    await api("PUT", "/api/memory/" + label, { type: type, values: values, station: Number(view.station) });
    input.classList.remove("bad");
    input.classList.add("saved");
    setTimeout(() => input.classList.remove("saved"), 800);
    if (shown === view) showMessage("");
    refreshGenerators();
  } catch (error) {
    if (shown !== view) return;
    input.classList.add("bad");
    input.title = error.message;
    showMessage(label + ": " + error.message);
  }
  refreshMemory();
}

function buildFaults(kinds) {
  const box = $("faults");
  box.innerHTML = "";
  for (const kind of kinds) {
    const row = document.createElement("div");
    row.className = "fault";
    row.id = "fault-row-" + kind;
    let params = '<input data-p="every" placeholder="every" type="number" min="1">' +
                 '<input data-p="chance" placeholder="chance" type="number" min="0" max="1" step="0.05">';
    if (kind === "delay" || kind === "split" || kind === "dup") params += '<input data-p="ms" placeholder="ms" type="number" min="0">';
    if (kind === "error") params += '<input data-p="code" placeholder="code" maxlength="1">';
    row.innerHTML = '<label><input type="checkbox" id="fault-' + kind + '"> ' + kind + '</label>' +
                    '<span class="params">' + params + '<small>' + FAULT_HELP[kind] + '</small></span>';
    box.appendChild(row);
    $("fault-" + kind).addEventListener("change", (event) => toggleFault(kind, event.target.checked));
    // A fault that is on takes a changed parameter at once.
    for (const input of row.querySelectorAll("[data-p]"))
      input.addEventListener("change", () => { if ($("fault-" + kind).checked) toggleFault(kind, true); });
  }
}

async function toggleFault(kind, on) {
  try {
    if (on) {
      const body = { kind: kind };
      for (const input of document.querySelectorAll("#fault-row-" + kind + " [data-p]")) {
        if (input.value === "") continue;
        body[input.dataset.p] = input.dataset.p === "code" ? input.value : Number(input.value);
      }
      if (kind === "delay" && body.ms === undefined) body.ms = 500;
      showFaults(await api("POST", "/api/faults", body));
    } else {
      showFaults(await api("DELETE", "/api/faults/" + kind));
    }
    showMessage("");
  } catch (error) {
    showMessage(kind + ": " + error.message);
    refreshFaults();
  }
}

function showFaults(data) {
  const active = {};
  for (const fault of data.faults) active[fault.kind] = fault;
  for (const row of document.querySelectorAll(".fault")) {
    const kind = row.id.substring("fault-row-".length);
    const fault = active[kind];
    $("fault-" + kind).checked = !!fault;
    row.classList.toggle("on", !!fault);
    if (!fault) continue;
    for (const input of row.querySelectorAll("[data-p]")) {
      if (input === document.activeElement) continue;
      const value = fault[input.dataset.p];
      input.value = value === undefined || value === 0 ? "" : value;
    }
  }
}

async function refreshFaults() {
  try { showFaults(await api("GET", "/api/faults")); } catch (error) { /* shown by the memory refresh */ }
}

function showGenerators(data) {
  generated = data.generators;
  const body = $("generators").tBodies[0];
  body.innerHTML = "";
  for (const g of generated) {
    const tr = body.insertRow();
    tr.id = "generator-" + g.station + "-" + g.label;
    for (const field of ["@" + g.station + " " + g.label + ":" + g.type, g.generator]) tr.insertCell().textContent = field;
    const stop = document.createElement("button");
    stop.textContent = "Stop";
    stop.addEventListener("click", async () => {
      try { showGenerators(await api("DELETE", "/api/generators/" + g.label + "?station=" + g.station)); }
      catch (error) { showMessage(g.label + ": " + error.message); }
    });
    tr.insertCell().appendChild(stop);
  }
}

async function refreshGenerators() {
  try { showGenerators(await api("GET", "/api/generators")); } catch (error) { /* shown by the memory refresh */ }
}

async function addGenerator() {
  try {
    showGenerators(await api("POST", "/api/generators", {
      label: $("generator-label").value.trim(), type: $("generator-type").value,
      station: Number(view.station), generator: $("generator-text").value }));
    showMessage("");
  } catch (error) {
    showMessage("generator: " + error.message);
  }
}

function logQuery() {
  let query = "";
  if ($("log-failed").checked) query += "&failed=1";
  if ($("log-station").value !== "") query += "&station=" + $("log-station").value;
  if ($("log-label").value.trim() !== "") query += "&label=" + encodeURIComponent($("log-label").value.trim());
  return query;
}

// The filters apply from the start of the log.
function restartLog() {
  lastSequence = 0;
  logShown = 0;
  $("log").tBodies[0].innerHTML = "";
  $("log-csv").href = "/api/log.csv?" + logQuery().substring(1);
  refreshLog();
}

async function refreshLog() {
  try {
    const data = await api("GET", "/api/log?since=" + lastSequence + logQuery());
    const box = $("log-box");
    const atBottom = box.scrollTop + box.clientHeight >= box.scrollHeight - 4;
    const body = $("log").tBodies[0];
    for (const entry of data.entries) {
      const tr = body.insertRow();
      const request = entry.outcome !== "";
      tr.className = entry.synchronising ? "sync" : (entry.failed ? "failed" : (request ? "" : "change"));
      let outcome = request ? entry.outcome : entry.detail;
      if (request && entry.detail) outcome += " [" + entry.detail + "]";
      if (entry.synchronising) outcome += " (synchronising read after a failure)";
      for (const field of [entry.sequence, entry.time.substring(11, 23), entry.origin,
                           entry.station < 0 ? "" : entry.station, entry.command, entry.label,
                           request ? entry.count : "", outcome])
        tr.insertCell().textContent = field;
    }
    lastSequence = Math.max(lastSequence, data.last);
    logShown += data.entries.length;
    while (body.rows.length > LOG_ROWS) body.deleteRow(0);
    $("log-count").textContent = "(" + logCountText(logShown, lastSequence, logQuery() !== "") + ")";
    if (atBottom) box.scrollTop = box.scrollHeight;
  } catch (error) { /* the next poll tries again */ }
}

// "120 entries", with a filter on "3 of 120 entries"; "1 entry".
function logCountText(shown, all, filtered) {
  const noun = all === 1 ? " entry" : " entries";
  return filtered ? shown + " of " + all + noun : all + noun;
}

// A new run (the simulator restarted) starts the page afresh: its log
// begins again, and its stations, faults and memory may differ.
async function refreshStatus() {
  let status;
  try { status = await api("GET", "/api/status"); } catch (error) { return; }
  $("link").textContent = "link: " + status.link + (status.ptyLink ? " (" + status.ptyLink + ")" : "")
                         + (status.gateway ? " behind a serial gateway" : "");
  $("settings").textContent = status.settings ? "line " + status.settings : "";
  $("stations").textContent = "station" + (status.stations.length > 1 ? "s " : " ") + status.stations.join(", ");
  if (status.run === run) return;
  const first = run === null;
  run = status.run;
  fillSelect($("station"), status.stations, $("station").value);
  fillSelect($("log-station"), [""].concat(status.stations), $("log-station").value);
  if (first) {
    fillSelect($("type"), status.types, "int16");
    $("type").add(new Option("as declared", DECLARED), 0);
    $("type").value = DECLARED;
    fillSelect($("generator-type"), status.types, "uint16");
  }
  buildFaults(status.faultKinds);
  buildTable();
  restartLog();
  refreshFaults();
  refreshGenerators();
  if (!first) showMessage("The simulator restarted; the page shows the new run.");
}

function fillSelect(select, values, keep) {
  select.innerHTML = "";
  for (const value of values) select.add(new Option(value === "" ? "any" : value, value));
  if (values.map(String).includes(String(keep))) select.value = keep;
}

async function loadFile(file) {
  try {
    const data = await api("PUT", "/api/memory-file?name=" + encodeURIComponent(file.name), await file.text(), true);
    showMessage(data.loaded + ": " + data.lines + " line(s) loaded");
    refreshGenerators();
    refreshMemory();
  } catch (error) {
    showMessage(error.message);
  }
  $("load-file").value = "";
}

function start() {
  $("area").addEventListener("change", () => {
    if ($("type").value !== DECLARED) $("type").value = isBitArea($("area").value) ? "bool" : "int16";
    buildTable();
  });
  for (const id of ["station", "start", "rows", "type"]) $(id).addEventListener("change", buildTable);
  $("drop-links").addEventListener("click", async () => {
    try { showMessage((await api("POST", "/api/links/drop")).dropped + " connection(s) dropped"); }
    catch (error) { showMessage(error.message); }
  });
  $("clear-faults").addEventListener("click", async () => {
    try { showFaults(await api("DELETE", "/api/faults")); } catch (error) { showMessage(error.message); }
  });
  $("add-generator").addEventListener("click", addGenerator);
  $("load-file").addEventListener("change", (event) => { if (event.target.files.length) loadFile(event.target.files[0]); });
  for (const id of ["log-failed", "log-station", "log-label"]) $(id).addEventListener("change", restartLog);
  refreshStatus();
  setInterval(refreshMemory, 1000);
  setInterval(refreshFaults, 2000);
  setInterval(refreshGenerators, 2000);
  setInterval(refreshLog, 500);
  setInterval(refreshStatus, RETRY_MS);
}

start();
