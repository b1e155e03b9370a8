#include "simpage.h"

namespace {

// Served as is; the script reads and changes everything through /api.
const char page[] = R"PAGE(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>norvo-sim</title>
<style>
  body { font: 14px system-ui, sans-serif; margin: 0; background: #f3f4f6; color: #1f2937; }
  header { background: #1e3a5f; color: #fff; padding: 10px 18px; display: flex; gap: 24px; align-items: baseline; flex-wrap: wrap; }
  header h1 { font-size: 18px; margin: 0; }
  header span { opacity: .9; }
  main { display: grid; grid-template-columns: minmax(520px, 3fr) minmax(300px, 2fr); gap: 14px; padding: 14px; }
  section { background: #fff; border-radius: 6px; box-shadow: 0 1px 3px rgba(0,0,0,.12); padding: 10px 14px; }
  h2 { font-size: 15px; margin: 2px 0 10px; }
  .controls { display: flex; gap: 8px; flex-wrap: wrap; align-items: center; margin-bottom: 8px; }
  .controls input[type=number] { width: 70px; }
  table { border-collapse: collapse; width: 100%; }
  #memory td, #memory th { padding: 2px 3px; }
  #memory th { text-align: right; font-weight: 600; color: #4b5563; width: 60px; }
  #memory input { width: 100%; box-sizing: border-box; font: 13px ui-monospace, monospace; text-align: right;
                  border: 1px solid #d1d5db; border-radius: 3px; padding: 3px 4px; }
  #memory input.nonzero { background: #ecfdf5; }
  #memory input.bad { border-color: #dc2626; background: #fef2f2; }
  #memory input.saved { border-color: #059669; }
  .fault { display: grid; grid-template-columns: 150px 1fr; align-items: center; padding: 4px 0; border-bottom: 1px solid #eee; }
  .fault label { font-weight: 600; }
  .fault .params input { width: 64px; margin-right: 6px; }
  .fault.on label { color: #b91c1c; }
  #log-panel { grid-column: 1 / span 2; }
  #log-box { max-height: 260px; overflow-y: auto; }
  #log td, #log th { padding: 2px 8px; text-align: left; font: 12px ui-monospace, monospace; white-space: nowrap; }
  #log th { position: sticky; top: 0; background: #fff; font-family: system-ui, sans-serif; }
  #log tr.fault-hit td { color: #b91c1c; }
  #log tr.refused td { color: #92400e; }
  #message { color: #dc2626; min-height: 1.2em; font-size: 13px; }
  button { cursor: pointer; }
</style>
</head>
<body>
<header>
  <h1>norvo-sim</h1>
  <span id="link">link: …</span>
  <span id="settings"></span>
  <span id="stations"></span>
  <button id="drop-links" title="Close every TCP connection, as SIGUSR2 does">Drop connections</button>
</header>
<main>
  <section id="memory-panel">
    <h2>Memory</h2>
    <div class="controls">
      <label>Station <select id="station"></select></label>
      <label>Area <select id="area">
        <option>D</option><option>HR</option><option>TMR</option><option>CTR</option>
        <option>X</option><option>Y</option><option>M</option><option>S</option><option>T</option><option>C</option>
      </select></label>
      <label>From <input id="start" type="number" min="0" max="9999" value="0"></label>
      <label>Rows <input id="rows" type="number" min="1" max="64" value="8"></label>
      <label>Type <select id="type"></select></label>
    </div>
    <table id="memory"></table>
    <div id="message"></div>
  </section>
  <section id="fault-panel">
    <h2>Faults</h2>
    <div id="faults"></div>
    <p><button id="clear-faults">Clear all faults</button></p>
    <p style="font-size:12px;color:#6b7280">A fault strikes on every Nth request (every), at random
      (chance 0..1), or on every request when neither is given.</p>
  </section>
  <section id="log-panel">
    <h2>Requests <small id="log-count"></small></h2>
    <div id="log-box"><table id="log">
      <thead><tr><th>#</th><th>time (UTC)</th><th>station</th><th>command</th><th>label</th><th>count</th><th>outcome</th></tr></thead>
      <tbody></tbody>
    </table></div>
  </section>
</main>
<script>
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
</script>
</body>
</html>
)PAGE";

} // namespace

QByteArray simConsolePage()
{
    return QByteArray::fromRawData(page, int(sizeof page - 1));
}
