/* SPDX-License-Identifier: LGPL-2.1-or-later */
// norvo watch: the live table, the trend and the writes of one norvo run.
// It asks the JSON API for what is new since the last sequence number.
"use strict";

const state = {
  run: null,            // norvo's run id: a new one means norvo was started again
  next: 0,              // the last sequence number seen
  items: [],
  keepMs: 600000,
  allowWrite: false,
  offsetMs: 0,          // norvo's clock minus this browser's
  last: [],             // per item: the last sample
  good: [],             // per item: the last good sample, shown while reads fail
  paused: false,
  zoom: null,           // {min, max} while zoomed into a stretch
  events: [],           // link events on the time line
  chart: null,
  series: new Map(),    // element label -> dataset; its points {x, y, v}: v the value, y as drawn
  ownScales: true,      // each line scaled to its own min..max, else one shared axis
  reachable: true,
};

const $ = (id) => document.getElementById(id);

function now() { return Date.now() + state.offsetMs; }

function clockText(ms, withMs = true) {
  const d = new Date(ms);
  const text = d.toLocaleTimeString([], { hour12: false });
  return withMs ? text + "." + String(d.getMilliseconds()).padStart(3, "0") : text;
}

// Bits as 1 and 0, as norvo writes them.
function valueText(v) { return typeof v === "boolean" ? (v ? "1" : "0") : String(v); }

function ageText(ms) {
  if (ms < 1000) return ms + " ms";
  if (ms < 120000) return (ms / 1000).toFixed(1) + " s";
  return Math.round(ms / 60000) + " min";
}

function log(text) {
  const entry = document.createElement("li");
  entry.textContent = clockText(now()) + "  " + text;
  $("log").prepend(entry);
  while ($("log").children.length > 200) $("log").lastChild.remove();
}

function showBanner(text) {
  $("banner").textContent = text;
  $("banner").hidden = !text;
}

// ---- the table ----

function buildTable() {
  const body = document.querySelector("#items tbody");
  body.replaceChildren();
  $("write-head").hidden = !state.allowWrite;
  state.items.forEach((item, index) => {
    const row = document.createElement("tr");
    row.id = "item-" + index;
    for (const name of ["label", "type", "value", "hex", "status", "age"]) {
      const cell = document.createElement("td");
      cell.className = name;
      row.append(cell);
    }
    row.querySelector(".label").textContent = item.count > 1 ? item.label + " (" + item.count + ")" : item.label;
    row.querySelector(".type").textContent = item.type;
    if (state.allowWrite) row.append(item.type === "bool" ? noBitWrite(item) : writeCell(item, index));
    body.append(row);
  });
}

function writeCell(item, index) {
  const cell = document.createElement("td");
  cell.className = "write";
  const input = document.createElement("input");
  input.placeholder = item.count > 1 ? item.count + " values" : "value";
  input.title = "values separated by spaces, as norvo write takes them";
  const button = document.createElement("button");
  button.type = "button";
  button.textContent = "write";
  const outcome = document.createElement("span");
  outcome.className = "outcome";
  button.addEventListener("click", () => writeItem(item, index, input, outcome));
  input.addEventListener("keydown", (e) => { if (e.key === "Enter") button.click(); });
  cell.append(input, button, outcome);
  return cell;
}

// norvo refuses bit writes (the PLC writes whole 16-bit words): say so
// instead of offering a box that cannot work.
function noBitWrite(item) {
  const cell = document.createElement("td");
  cell.className = "write bits";
  cell.textContent = "bits are not written alone: the PLC writes whole 16-bit words; "
    + "norvo write --merge " + item.label + " bool VALUE… changes only the named bits";
  return cell;
}

async function writeItem(item, index, input, outcome) {
  const values = input.value.trim().split(/\s+/).filter((v) => v.length);
  if (!values.length) return;
  const what = "Write " + values.join(" ") + " to " + item.label + " as " + item.type
    + " (" + values.length + (values.length > 1 ? " values" : " value") + ") on " + $("connection").textContent + "?";
  if (!window.confirm(what)) return;
  outcome.textContent = "writing…";
  try {
    const reply = await fetch("/api/write", {
      method: "POST", headers: { "Content-Type": "application/json" },
      body: JSON.stringify({ item: index, values }),
    });
    const answer = await reply.json();
    const text = answer.error ? answer.error
      : answer.status === 0 ? "written" : answer.status + " " + answer.meaning + (answer.reason ? ": " + answer.reason : "");
    outcome.textContent = text;
    outcome.className = "outcome " + (answer.status === 0 ? "good" : "failed");
    log("write " + item.label + " = " + values.join(" ") + ": " + text);
  } catch (error) {
    outcome.textContent = "norvo did not answer: " + error.message;
  }
}

// A failed read keeps the last good value, marked stale, its age counted
// from that read; the status column says why the read failed.
function showSample(sample) {
  const row = $("item-" + sample.item);
  if (!row) return;
  const good = sample.status === 0;
  const before = state.good[sample.item];
  state.last[sample.item] = sample;
  if (good) state.good[sample.item] = sample;
  const shown = state.good[sample.item];
  const value = shown ? shown.values.map(valueText).join(", ") : "–";
  const cell = row.querySelector(".value");
  if (good && before && before.values.map(valueText).join(", ") !== value) {
    row.classList.add("changed");
    setTimeout(() => row.classList.remove("changed"), 800);
  }
  const stale = !good && shown !== undefined;
  cell.textContent = value;
  if (stale) {
    const mark = document.createElement("span");
    mark.className = "stale-mark";
    mark.textContent = "stale";
    cell.append(mark);
  }
  row.classList.toggle("stale", stale);
  row.querySelector(".hex").textContent = shown ? shown.hex.join(" ") : "";
  const status = row.querySelector(".status");
  status.textContent = sample.status + " " + sample.meaning + (sample.reason ? ": " + sample.reason : "");
  status.classList.toggle("failed", !good);
}

function refreshAges() {
  state.last.forEach((sample, index) => {
    const row = $("item-" + index);
    const since = state.good[index] || sample;
    if (row && since) row.querySelector(".age").textContent = ageText(Math.max(0, now() - since.time));
  });
}

// ---- the trend ----

// The names of link events close together in one label, so that none
// covers another: "link lost, restored", "link lost ×3, restored ×3".
// pixelOf gives an event's x, widthOf a text's width; labels in time order.
function eventLabels(events, pixelOf, widthOf, gap = 8) {
  const labels = [];
  for (const event of [...events].sort((a, b) => a.time - b.time)) {
    const x = pixelOf(event.time);
    const last = labels[labels.length - 1];
    if (last && x < last.x + widthOf(last.text) + gap) {
      last.events.push(event);
      last.text = eventLabelText(last.events);
    } else {
      labels.push({ x, events: [event], text: event.event });
    }
  }
  return labels;
}

function eventLabelText(events) {
  if (events.length === 1) return events[0].event;
  const lost = events.filter((e) => e.event === "link lost").length;
  const part = (n, word) => (n ? word + (n > 1 ? " ×" + n : "") : "");
  const parts = [part(lost, "lost"), part(events.length - lost, "restored")];
  if (events[0].event !== "link lost") parts.reverse();
  return "link " + parts.filter((p) => p).join(", ");
}

// Link events as dashed vertical lines, with their names above.
const eventLines = {
  id: "eventLines",
  afterDatasetsDraw(chart) {
    const x = chart.scales.x;
    const area = chart.chartArea;
    const context = chart.ctx;
    const colour = (event) => (event.event === "link lost" ? "#c00" : "#080");
    const shown = state.events.filter((event) => event.time >= x.min && event.time <= x.max);
    context.save();
    context.setLineDash([5, 4]);
    for (const event of shown) {
      const pixel = x.getPixelForValue(event.time);
      context.strokeStyle = colour(event);
      context.beginPath();
      context.moveTo(pixel, area.top);
      context.lineTo(pixel, area.bottom);
      context.stroke();
    }
    const width = (text) => context.measureText(text).width;
    for (const label of eventLabels(shown, (time) => x.getPixelForValue(time), width)) {
      // In the colour of the link's state after them; inside the plot.
      context.fillStyle = colour(label.events[label.events.length - 1]);
      context.fillText(label.text, Math.min(label.x + 3, area.right - width(label.text)), area.top + 10);
    }
    context.restore();
  },
};

const palette = ["#1f77b4", "#ff7f0e", "#2ca02c", "#d62728", "#9467bd", "#8c564b", "#e377c2", "#7f7f7f", "#bcbd22", "#17becf"];

function buildChart() {
  if (window.chartMissing || typeof Chart === "undefined") {
    $("chart-box").classList.add("missing");
    $("chart-box").textContent = "The trend needs Debian's chart library, which is missing here: install libjs-chart.js "
      + "(norvo serves /usr/share/javascript/chart.js/chart.min.js). The table works without it.";
    $("chart-box").id = "chart-missing";
    return;
  }
  const datasets = [];
  state.items.forEach((item) => {
    item.elements.forEach((label) => {
      const bits = item.type === "bool";
      const dataset = {
        label, data: [], borderColor: palette[datasets.length % palette.length],
        borderWidth: 1.5, pointRadius: 0, spanGaps: false, stepped: bits,
        yAxisID: bits ? "bits" : "y", // bits on a scale of their own, on the right
      };
      datasets.push(dataset);
      state.series.set(label, dataset);
    });
  });
  state.chart = new Chart($("trend"), {
    type: "line",
    data: { datasets },
    options: {
      animation: false, parsing: false, normalized: true, maintainAspectRatio: false,
      interaction: { mode: "nearest", intersect: false },
      scales: {
        x: { type: "linear", ticks: { callback: (value) => clockText(value, false), maxRotation: 0 } },
        y: { type: "linear", display: "auto", title: { text: "each line on its own scale: its range in the legend" } },
        bits: { type: "linear", position: "right", min: -0.1, max: 1.1, display: "auto",
                ticks: { stepSize: 1, callback: (value) => (value === 0 || value === 1 ? value : "") },
                grid: { drawOnChartArea: false } },
      },
      plugins: {
        tooltip: { callbacks: {
          title: (items) => items.length ? clockText(items[0].parsed.x) : "",
          label: (item) => item.dataset.label + ": " + valueText(item.raw.v),
        } },
        legend: { labels: { generateLabels: legendLabels } },
      },
    },
    plugins: [eventLines],
  });
  dragToZoom($("trend"));
}

function addToTrend(sample) {
  const item = state.items[sample.item];
  if (!item) return;
  item.elements.forEach((label, i) => {
    const dataset = state.series.get(label);
    if (!dataset) return;
    let y = null; // a failed read is a gap
    if (sample.status === 0) {
      const v = sample.values[i];
      y = typeof v === "boolean" ? (v ? 1 : 0) : Number(v);
      if (!Number.isFinite(y)) y = null;
    }
    dataset.data.push({ x: sample.time, y, v: y });
  });
}

function trimTrend() {
  const oldest = now() - state.keepMs;
  for (const dataset of state.series.values()) {
    let drop = 0;
    while (drop < dataset.data.length && dataset.data[drop].x < oldest) drop++;
    if (drop) dataset.data.splice(0, drop);
  }
  state.events = state.events.filter((e) => e.time >= oldest);
}

function drawTrend() {
  if (!state.chart || state.paused) return;
  const x = state.chart.options.scales.x;
  if (state.zoom) {
    x.min = state.zoom.min;
    x.max = state.zoom.max;
  } else {
    // The chosen span, or less while the record is shorter.
    const span = Number($("span").value) || state.keepMs;
    x.max = now();
    x.min = Math.max(x.max - span, earliestPoint() ?? x.max - span);
  }
  scaleLines(x.min, x.max);
  state.chart.update("none");
}

// Each line to its own min..max over the stretch shown (a level of 0 to 1000
// beside a temperature of 20 leaves neither flat), or all on one axis. A
// line that does not change sits in the middle. Bits keep their own axis.
function scaleLines(min, max) {
  const y = state.chart.options.scales.y;
  y.min = state.ownScales ? -0.05 : undefined;
  y.max = state.ownScales ? 1.05 : undefined;
  y.ticks.display = !state.ownScales;
  y.title.display = state.ownScales;
  for (const dataset of state.series.values()) {
    if (dataset.yAxisID === "bits") continue;
    let low = Infinity;
    let high = -Infinity;
    for (const point of dataset.data) {
      if (point.v === null || point.x < min || point.x > max) continue;
      low = Math.min(low, point.v);
      high = Math.max(high, point.v);
    }
    dataset.range = low <= high ? { low, high } : null;
    for (const point of dataset.data) {
      if (!state.ownScales || point.v === null) point.y = point.v;
      else point.y = high > low ? (point.v - low) / (high - low) : 0.5;
    }
  }
}

// The legend names each line's real range while lines have their own scales.
function legendLabels(chart) {
  const labels = Chart.defaults.plugins.legend.labels.generateLabels(chart);
  if (!state.ownScales) return labels;
  for (const label of labels) {
    const range = chart.data.datasets[label.datasetIndex].range;
    if (range) label.text += " (" + valueText(range.low) + " … " + valueText(range.high) + ")";
  }
  return labels;
}

function earliestPoint() {
  let earliest = null;
  for (const dataset of state.series.values()) {
    if (dataset.data.length && (earliest === null || dataset.data[0].x < earliest)) earliest = dataset.data[0].x;
  }
  return earliest;
}

function dragToZoom(canvas) {
  let start = null;
  canvas.addEventListener("mousedown", (e) => { start = e.offsetX; });
  canvas.addEventListener("mouseup", (e) => {
    if (start === null || !state.chart) return;
    const x = state.chart.scales.x;
    const a = x.getValueForPixel(Math.min(start, e.offsetX));
    const b = x.getValueForPixel(Math.max(start, e.offsetX));
    start = null;
    if (b - a < 50) return; // a click, not a drag
    zoomTo(a, b);
  });
}

function zoomTo(min, max) {
  state.zoom = { min, max };
  $("zoom-out").disabled = false;
  drawTrend();
}

// ---- talking to norvo ----

async function getJson(path) {
  const reply = await fetch(path, { cache: "no-store" });
  if (!reply.ok) throw new Error(path + ": HTTP " + reply.status);
  return reply.json();
}

async function start() {
  const about = await getJson("/api/items");
  state.run = about.run;
  state.items = about.items;
  state.keepMs = about.keep_ms;
  state.allowWrite = about.allow_write;
  state.last = [];
  state.good = [];
  $("connection").textContent = about.connection || "";
  $("window-note").textContent = "keeps the last " + Math.round(state.keepMs / 60000) + " min (at most "
    + about.max_samples + " reads)";
  buildTable();
  if (!state.chart) buildChart();
}

async function update() {
  let answer;
  try {
    answer = await getJson("/api/samples?since=" + state.next);
  } catch (error) {
    if (state.reachable) {
      state.reachable = false;
      document.body.classList.add("gone");
      $("state").textContent = "norvo stopped";
      $("state").className = "state down";
      showBanner("norvo has stopped or cannot be reached: the values below are no longer live. Retrying…");
      log("norvo stopped answering");
    }
    return;
  }
  if (answer.run !== state.run) { // norvo was started again: start afresh
    location.reload();
    return;
  }
  if (!state.reachable) {
    state.reachable = true;
    document.body.classList.remove("gone");
    showBanner("");
    log("norvo answers again");
  }
  state.offsetMs = answer.now - Date.now();
  for (const sample of answer.samples) {
    showSample(sample);
    addToTrend(sample);
  }
  for (const event of answer.events) {
    if (event.event === "link lost" || event.event === "link restored") {
      state.events.push(event);
      $("state").textContent = event.event === "link lost" ? "link lost" : "link up";
      $("state").className = "state " + (event.event === "link lost" ? "down" : "up");
    }
    log(event.event + ": " + event.detail);
  }
  if (answer.samples.length && !state.events.length && $("state").textContent === "connecting…") {
    $("state").textContent = "link up";
    $("state").className = "state up";
  }
  state.next = answer.next;
  trimTrend();
  drawTrend();
  if (answer.more) update();
}

$("pause").addEventListener("click", () => {
  state.paused = !state.paused;
  $("pause").textContent = state.paused ? "resume" : "pause";
  drawTrend();
});
$("zoom-out").addEventListener("click", () => {
  state.zoom = null;
  $("zoom-out").disabled = true;
  drawTrend();
});
$("span").addEventListener("change", drawTrend);
$("scales").addEventListener("change", () => {
  state.ownScales = $("scales").value === "own";
  drawTrend();
});

// For tests and the curious: the page's state.
window.norvoWatch = { state, zoomTo, eventLabels };

start().then(() => {
  update();
  setInterval(update, 500);
  setInterval(refreshAges, 250);
}).catch((error) => {
  showBanner("norvo did not answer: " + error.message + ". Reload the page once norvo runs.");
});
