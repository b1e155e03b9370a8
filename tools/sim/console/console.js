"use strict";
const COLUMNS = 8, LOG_ROWS = 500;
const BITS = { bool: 1, int8: 8, uint8: 8, int16: 16, uint16: 16, int32: 32, uint32: 32,
               float: 32, int64: 64, uint64: 64, double: 64 };
const FAULT_HELP = { delay: "answer late", drop: "no answer", "bad-checksum": "wrong checksum",
                     error: "refuse with a code", split: "answer in two pieces", dup: "answer twice",
                     close: "close the TCP connection" };
const $ = (id) => document.getElementById(id);
let lastSequence = 0;
let view = null;
let refreshFailed = false;   // the message shows a failed refresh, which the next good one clears

async function api(method, path, body) {
  const options = { method: method, headers: {} };
  if (body !== undefined) {
    options.body = JSON.stringify(body);
    options.headers["Content-Type"] = "application/json";
  }
  const response = await fetch(path, options);
  const data = await response.json();
  if (!response.ok) throw new Error(data.error || response.statusText);
  return data;
}

function isBitArea(area) { return "XYMSTC".includes(area); }

// How the values of a type lie in an area: `group` values share one place
// that a write must start at, `step` elements apart (see SimTypes).
function layout(area, type) {
  const bits = BITS[type];
  if (isBitArea(area) && (bits === 1 || area === "X" || area === "Y")) return { group: 1, step: bits };
  const registers = bits >= 16 ? bits / 16 : 1;
  return { group: bits === 1 ? 16 : (bits === 8 ? 2 : 1), step: registers * (isBitArea(area) ? 16 : 1) };
}

function labelOf(k) {
  const shape = layout(view.area, view.type);
  return view.area + (view.start + Math.floor(k / shape.group) * shape.step);
}

// The cell's place for its tooltip: "D100", "D100 bit 3", "D100 high byte".
function cellName(k) {
  const shape = layout(view.area, view.type);
  let name = labelOf(k);
  if (shape.group === 16) name += " bit " + (k % 16);
  if (shape.group === 2) name += k % 2 === 0 ? " high byte" : " low byte";
  return name + " " + view.type;
}

function readView() {
  return { station: $("station").value, area: $("area").value, type: $("type").value,
           start: Math.max(0, Math.min(9999, parseInt($("start").value, 10) || 0)),
           rows: Math.max(1, Math.min(64, parseInt($("rows").value, 10) || 1)) };
}

function buildTable() {
  view = readView();
  const table = $("memory");
  table.innerHTML = "";
  for (let row = 0; row < view.rows; ++row) {
    const tr = table.insertRow();
    const th = document.createElement("th");
    th.textContent = labelOf(row * COLUMNS);
    tr.appendChild(th);
    for (let column = 0; column < COLUMNS; ++column) {
      const k = row * COLUMNS + column;
      const input = document.createElement("input");
      input.id = "cell-" + k;
      input.title = cellName(k);
      input.addEventListener("change", () => writeCell(k, input));
      input.addEventListener("keydown", (event) => { if (event.key === "Enter") input.blur(); });
      tr.insertCell().appendChild(input);
    }
  }
  refreshMemory();
}

function showValues(values) {
  values.forEach((value, k) => {
    const input = $("cell-" + k);
    if (!input || input === document.activeElement || input.classList.contains("bad")) return;
    const text = typeof value === "boolean" ? (value ? "1" : "0") : String(value);
    input.value = text;
    input.classList.toggle("nonzero", text !== "0");
  });
}

async function refreshMemory() {
  if (!view) return;
  const count = view.rows * COLUMNS;
  try {
    const data = await api("GET", "/api/memory/" + view.area + view.start + "?count=" + count +
                           "&type=" + view.type + "&station=" + view.station);
    showValues(data.values);
    if (refreshFailed) $("message").textContent = "";
    refreshFailed = false;
  } catch (error) {
    $("message").textContent = error.message;
    refreshFailed = true;
  }
}

// A write starts where its value's group starts; the group's other values
// go along unchanged, as shown.
async function writeCell(k, input) {
  const shape = layout(view.area, view.type);
  const first = Math.floor(k / shape.group) * shape.group;
  const values = [];
  for (let i = first; i < first + shape.group; ++i) {
    const cell = $("cell-" + i);
    if (cell) values.push(cell.value.trim());
  }
  try {
    await api("PUT", "/api/memory/" + labelOf(k), { type: view.type, values: values, station: Number(view.station) });
    input.classList.remove("bad");
    input.classList.add("saved");
    input.title = cellName(k);
    setTimeout(() => input.classList.remove("saved"), 800);
    $("message").textContent = "";
  } catch (error) {
    input.classList.add("bad");
    input.title = error.message;
    $("message").textContent = labelOf(k) + ": " + error.message;
  }
  refreshMemory();
}

function buildFaults(kinds) {
  const box = $("faults");
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
    $("message").textContent = "";
  } catch (error) {
    $("message").textContent = kind + ": " + error.message;
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

async function refreshLog() {
  try {
    const data = await api("GET", "/api/log?since=" + lastSequence);
    if (data.entries.length === 0) return;
    const box = $("log-box");
    const atBottom = box.scrollTop + box.clientHeight >= box.scrollHeight - 4;
    const body = $("log").tBodies[0];
    for (const entry of data.entries) {
      const tr = body.insertRow();
      if (entry.outcome.includes("fault")) tr.className = "fault-hit";
      else if (entry.outcome !== "answered") tr.className = "refused";
      for (const field of [entry.sequence, entry.time.substring(11, 23), entry.station < 0 ? "?" : entry.station,
                           entry.command, entry.label, entry.count, entry.outcome])
        tr.insertCell().textContent = field;
      lastSequence = entry.sequence;
    }
    while (body.rows.length > LOG_ROWS) body.deleteRow(0);
    $("log-count").textContent = "(" + lastSequence + " received)";
    if (atBottom) box.scrollTop = box.scrollHeight;
  } catch (error) { /* the next poll tries again */ }
}

async function refreshStatus(first) {
  const status = await api("GET", "/api/status");
  $("link").textContent = "link: " + status.link + (status.ptyLink ? " (" + status.ptyLink + ")" : "")
                         + (status.gateway ? " behind a serial gateway" : "");
  $("settings").textContent = status.settings ? "line " + status.settings : "";
  $("stations").textContent = "station" + (status.stations.length > 1 ? "s " : " ") + status.stations.join(", ");
  if (!first) return;
  for (const station of status.stations) $("station").add(new Option(station, station));
  for (const type of status.types) $("type").add(new Option(type, type, type === "int16", type === "int16"));
  buildFaults(status.faultKinds);
}

async function start() {
  await refreshStatus(true);
  $("area").addEventListener("change", () => {
    $("type").value = isBitArea($("area").value) ? "bool" : "int16";
    buildTable();
  });
  for (const id of ["station", "start", "rows", "type"]) $(id).addEventListener("change", buildTable);
  $("drop-links").addEventListener("click", async () => {
    const data = await api("POST", "/api/links/drop");
    $("message").textContent = data.dropped + " connection(s) dropped";
  });
  $("clear-faults").addEventListener("click", async () => showFaults(await api("DELETE", "/api/faults")));
  buildTable();
  refreshFaults();
  refreshLog();
  setInterval(refreshMemory, 1000);
  setInterval(refreshFaults, 2000);
  setInterval(refreshLog, 500);
  setInterval(() => refreshStatus(false).catch(() => {}), 3000);
}

start().catch((error) => { $("message").textContent = "cannot reach the simulator: " + error.message; });
