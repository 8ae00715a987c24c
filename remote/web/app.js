// The tuning page of `corvella-cli serve --http`: every value, step list and curve comes from the
// server over one WebSocket (docs/web-page.md); the page only shows them and sends sets.
"use strict";

const TOKEN_KEY = "corvella-token";
const $ = (id) => document.getElementById(id);

const app = {
  socket: null, opened: false, hello: null, units: [], unit: null,
  values: {}, curves: {}, tab: "input", channel: 0, gesture: 0,
  controls: new Map(),  // path -> control
  shownAt: {},  // path -> when its last change arrived (the benchmark reads it)
};

// ---- The groups of the window's pages ----------------------------------------------------------

const BAND_LEAVES = [["type", "Type"], ["freq", "Frequency"], ["gain", "Gain"], ["q", "Q"]];
function bands(prefix, count) {
  const rows = [];
  for (let b = 1; b <= count; b++) {
    rows.push({ band: "Band " + b });
    for (const [leaf, label] of BAND_LEAVES) rows.push({ path: `${prefix}/eq/${b}/${leaf}`, label });
  }
  return rows;
}
const INPUTS = ["mic", "line"], OUTPUTS = ["high", "low"];
const TABS = [
  { id: "input", name: "Input", channels: ["MIC", "LINE"],
    rows: (c) => [{ path: `input/${INPUTS[c]}/level`, label: "Level" }, ...bands(`input/${INPUTS[c]}`, 2)],
    graph: (c) => [[`input/${INPUTS[c]}`, "group", INPUTS[c].toUpperCase() + " EQ"]] },
  { id: "crossover", name: "Crossover", channels: ["HIGH", "LOW"],
    rows: (c) => ["hpf", "lpf"].flatMap((f) => [
      { path: `output/${OUTPUTS[c]}/${f}/type`, label: f.toUpperCase() + " type" },
      { path: `output/${OUTPUTS[c]}/${f}/freq`, label: f.toUpperCase() + " frequency" }]),
    graph: () => [["crossover/high", "group", "HIGH crossover"], ["crossover/low", "group2", "LOW crossover"]] },
  { id: "output", name: "Output EQ", channels: ["HIGH", "LOW"],
    rows: (c) => bands(`output/${OUTPUTS[c]}`, 6),
    graph: (c) => [[`output/${OUTPUTS[c]}`, "group", OUTPUTS[c].toUpperCase() + " EQ + crossover"]] },
  { id: "delay", name: "Delay",
    rows: () => OUTPUTS.map((o) => ({ path: `output/${o}/delay`, label: o.toUpperCase() + " delay" })),
    graph: wholeOutputs },
  { id: "polarity", name: "Polarity",
    rows: () => OUTPUTS.map((o) => ({ path: `output/${o}/polarity`, label: o.toUpperCase() + " polarity" })),
    graph: wholeOutputs },
  { id: "levels", name: "Levels",
    rows: () => [...INPUTS.map((i) => ({ path: `input/${i}/level`, label: i.toUpperCase() + " level" })),
      ...OUTPUTS.map((o) => ({ path: `output/${o}/level`, label: o.toUpperCase() + " level" }))],
    graph: wholeOutputs },
  { id: "compressor", name: "Compressor",
    rows: () => [["threshold", "Threshold"], ["ratio", "Ratio"], ["attack", "Attack"], ["release", "Release"]]
      .map(([leaf, label]) => ({ path: "compressor/" + leaf, label })),
    graph: wholeOutputs },
];
function wholeOutputs() {
  return [["output/high", "group", "HIGH output"], ["output/low", "group2", "LOW output"]];
}

// Which of the server's step or name lists a path takes.
function scaleOf(path) {
  const leaf = path.split("/").slice(-2).join("/");
  const last = path.split("/").pop();
  if (leaf === "hpf/freq") return { steps: "hpf" };
  if (leaf === "lpf/freq") return { steps: "lpf" };
  if (last === "type") return { names: path.includes("/eq/") ? "eqType" : "filterType" };
  if (last === "polarity") return { names: "polarity" };
  if (last === "attack" || last === "release") return { steps: "time" };
  return { steps: last };
}

// ---- Values as the pages show them ---------------------------------------------------------------

function fixed(v, d) { return (v < 0 ? "\u2212" : "") + Math.abs(v).toFixed(d); }
function signed(v, d) { return (v > 0 ? "+" : "") + fixed(v, d); }
function hz(v) { return v >= 1000 ? +(v / 1000).toPrecision(3) + " kHz" : +v.toPrecision(3) + " Hz"; }
function showValue(path, v) {
  const last = path.split("/").pop();
  if (v === undefined || v === null) return "-";
  if (last === "freq") return v === 0 ? "Off" : hz(v);
  if (last === "gain") return signed(v, 1) + " dB";
  if (last === "level") return fixed(v, 1) + " dB";
  if (last === "q") return String(v);
  if (last === "delay") return v.toFixed(4) + " ms";
  if (last === "threshold") return fixed(v, 1) + " dB";
  if (last === "ratio") return v === "inf" ? "Infinity" : v.toFixed(2) + " : 1";
  if (last === "attack" || last === "release") return +v.toPrecision(3) + " ms";
  return String(v);
}

// The step nearest a value: a value the server sent is always one of them.
function stepIndex(steps, v) {
  let best = 0, bestDistance = Infinity;
  steps.forEach((s, i) => {
    const d = s === v ? -1 : typeof s === "number" && typeof v === "number" ? Math.abs(s - v) : Infinity;
    if (d < bestDistance) { best = i; bestDistance = d; }
  });
  return best;
}

// ---- Controls -----------------------------------------------------------------------------------

function send(message) {
  if (app.socket && app.socket.readyState === WebSocket.OPEN) app.socket.send(JSON.stringify(message));
}

// A stepped slider with - and +. A drag sends at most one set per frame, and the last value at
// once when the finger lifts; the server keeps only the newest of those still waiting.
function sliderControl(row, steps) {
  const el = document.createElement("div");
  el.className = "ctl";
  el.dataset.path = row.path;
  el.innerHTML = `<div class="head"><span>${row.label}</span><span class="val"></span></div>
    <div class="row"><button type="button" class="dec" aria-label="${row.label} down">\u2212</button>
    <div class="track" role="slider" tabindex="0" aria-label="${row.label}"><div class="fill"></div>
    <div class="thumb"></div></div><button type="button" class="inc" aria-label="${row.label} up">+</button></div>`;
  const track = el.querySelector(".track");
  const ctl = { el, path: row.path, index: 0, sent: null, pending: null, frame: 0, dragging: false, gesture: 0 };
  const last = steps.length - 1;
  ctl.show = (index) => {
    ctl.index = index;
    const at = last > 0 ? (100 * index) / last : 0;
    el.querySelector(".thumb").style.left = at + "%";
    el.querySelector(".fill").style.width = at + "%";
    el.querySelector(".val").textContent = showValue(row.path, steps[index]);
    track.setAttribute("aria-valuetext", showValue(row.path, steps[index]));
  };
  ctl.update = (v) => { if (!ctl.dragging) ctl.show(stepIndex(steps, v)); };
  const flush = () => {
    ctl.frame = 0;
    if (ctl.pending === null || ctl.pending === ctl.sent) return;
    ctl.sent = ctl.pending;
    send({ op: "set", unit: app.unit, path: row.path, value: steps[ctl.pending], gesture: ctl.gesture });
  };
  const choose = (index, now) => {
    index = Math.max(0, Math.min(last, index));
    ctl.show(index);
    ctl.pending = index;
    if (now) { if (ctl.frame) cancelAnimationFrame(ctl.frame); flush(); }
    else if (!ctl.frame) ctl.frame = requestAnimationFrame(flush);
  };
  const fromX = (x) => {
    const r = track.getBoundingClientRect();
    return Math.round(((x - r.left) / Math.max(1, r.width)) * last);
  };
  track.addEventListener("pointerdown", (e) => {
    track.setPointerCapture(e.pointerId);
    ctl.dragging = true;
    ctl.gesture = ++app.gesture;
    ctl.sent = null;
    choose(fromX(e.clientX), false);
  });
  track.addEventListener("pointermove", (e) => { if (ctl.dragging) choose(fromX(e.clientX), false); });
  const release = (e) => {
    if (!ctl.dragging) return;
    if (e.type === "pointerup") choose(fromX(e.clientX), true); else flush();
    ctl.dragging = false;
  };
  track.addEventListener("pointerup", release);
  track.addEventListener("pointercancel", release);
  const nudge = (by) => { ctl.gesture = ++app.gesture; ctl.sent = null; choose(ctl.index + by, true); };
  el.querySelector(".dec").addEventListener("click", () => nudge(-1));
  el.querySelector(".inc").addEventListener("click", () => nudge(1));
  track.addEventListener("keydown", (e) => {
    const by = { ArrowLeft: -1, ArrowDown: -1, ArrowRight: 1, ArrowUp: 1, PageDown: -10, PageUp: 10 }[e.key];
    if (by) { e.preventDefault(); nudge(by); }
  });
  return ctl;
}

function choiceControl(row, names) {
  const el = document.createElement("div");
  el.className = "ctl";
  el.dataset.path = row.path;
  el.innerHTML = `<div class="head"><span>${row.label}</span></div><select aria-label="${row.label}"></select>`;
  const select = el.querySelector("select");
  names.forEach((n, i) => select.add(new Option(n, String(i))));
  const ctl = { el, path: row.path };
  ctl.update = (v) => { select.value = String(v); };
  select.addEventListener("change", () => {
    send({ op: "set", unit: app.unit, path: row.path, value: Number(select.value), gesture: ++app.gesture });
  });
  return ctl;
}

function buildControls() {
  const tab = TABS.find((t) => t.id === app.tab);
  const box = $("controls");
  box.textContent = "";
  app.controls.clear();
  if (!app.hello || !app.unit) return;
  const channels = $("channels");
  channels.textContent = "";
  (tab.channels || []).forEach((name, c) => {
    const b = document.createElement("button");
    b.type = "button";
    b.textContent = name;
    b.setAttribute("aria-pressed", String(c === app.channel));
    b.addEventListener("click", () => { app.channel = c; buildControls(); drawGraphs(); });
    channels.append(b);
  });
  for (const row of tab.rows(app.channel)) {
    if (row.band) {
      const h = document.createElement("div");
      h.className = "band";
      h.textContent = row.band;
      box.append(h);
      continue;
    }
    const scale = scaleOf(row.path);
    const ctl = scale.names ? choiceControl(row, app.hello.names[scale.names])
                            : sliderControl(row, app.hello.steps[scale.steps]);
    app.controls.set(row.path, ctl);
    ctl.update(unitValues()[row.path]);
    box.append(ctl.el);
  }
}

function buildTabs() {
  const nav = $("tabs");
  nav.textContent = "";
  for (const tab of TABS) {
    const b = document.createElement("button");
    b.type = "button";
    b.textContent = tab.name;
    b.dataset.tab = tab.id;
    b.setAttribute("aria-selected", String(tab.id === app.tab));
    b.addEventListener("click", () => {
      app.tab = tab.id;
      app.channel = 0;
      nav.querySelectorAll("button").forEach((x) => x.setAttribute("aria-selected", String(x === b)));
      buildControls();
      drawGraphs();
    });
    nav.append(b);
  }
}

function unitValues() { return app.values[app.unit] || {}; }

function showUnits() {
  const box = $("units");
  box.textContent = "";
  for (const u of app.units) {
    const values = app.values[u.key] || {};
    const link = values.link || u.link;
    const b = document.createElement("button");
    b.type = "button";
    b.className = "unit";
    b.dataset.unit = u.key;
    b.setAttribute("aria-pressed", String(u.key === app.unit));
    b.textContent = `ID ${u.key} \u00b7 ${values["device/name"] || u.name}`;
    const l = document.createElement("span");
    l.className = "link " + link;
    l.textContent = link;
    b.append(l);
    b.addEventListener("click", () => { app.unit = u.key; showAll(); });
    box.append(b);
  }
}

function showProgram() {
  const v = unitValues();
  $("program").textContent = `Program ${v["program/number"] ?? "-"}  ${v["program/name"] ?? ""}`;
  $("recall").querySelectorAll("button").forEach((b) =>
    b.setAttribute("aria-pressed", String(Number(b.dataset.memory) === v["program/number"])));
}

function showAll() { showUnits(); showProgram(); buildControls(); drawGraphs(); }

// ---- Graphs -------------------------------------------------------------------------------------

const DB_TOP = 18, DB_BOTTOM = -36, F_LOW = 20, F_HIGH = 20000;
function drawGraph(canvas, hz, curves) {
  const ratio = window.devicePixelRatio || 1;
  const w = canvas.clientWidth, h = canvas.clientHeight;
  if (canvas.width !== Math.round(w * ratio)) canvas.width = Math.round(w * ratio);
  if (canvas.height !== Math.round(h * ratio)) canvas.height = Math.round(h * ratio);
  const g = canvas.getContext("2d");
  g.setTransform(ratio, 0, 0, ratio, 0, 0);
  g.clearRect(0, 0, w, h);
  const x = (f) => (Math.log(f / F_LOW) / Math.log(F_HIGH / F_LOW)) * (w - 30) + 28;
  const y = (db) => ((DB_TOP - db) / (DB_TOP - DB_BOTTOM)) * (h - 16) + 4;
  const css = getComputedStyle(document.documentElement);
  g.font = "11px system-ui, sans-serif";
  g.lineWidth = 1;
  for (let db = DB_BOTTOM; db <= DB_TOP; db += h < 160 ? 12 : 6) {
    g.strokeStyle = db === 0 ? "#59636e" : "#2f363d";
    g.beginPath(); g.moveTo(28, y(db)); g.lineTo(w, y(db)); g.stroke();
    g.fillStyle = "#8a949e"; g.fillText(String(db), 2, y(db) + 4);
  }
  for (const [f, label] of [[100, "100"], [1000, "1k"], [10000, "10k"]]) {
    g.strokeStyle = "#2f363d";
    g.beginPath(); g.moveTo(x(f), 4); g.lineTo(x(f), h - 12); g.stroke();
    g.fillStyle = "#8a949e"; g.fillText(label, x(f) - 8, h - 1);
  }
  // Steep slopes leave the plot at the bottom rather than run along its edge.
  g.save();
  g.beginPath();
  g.rect(28, 4, w - 28, h - 16);
  g.clip();
  for (const [values, color, width] of curves) {
    if (!values) continue;
    g.strokeStyle = css.getPropertyValue(color).trim() || color;
    g.lineWidth = width;
    g.beginPath();
    let pen = false;
    values.forEach((db, i) => {
      const f = hz[i];
      if (db === null || f < F_LOW || f > F_HIGH) { pen = false; return; }
      const py = y(Math.max(DB_BOTTOM - 60, Math.min(DB_TOP + 60, db)));
      if (pen) g.lineTo(x(f), py); else g.moveTo(x(f), py);
      pen = true;
    });
    g.stroke();
  }
  g.restore();
  canvas.dataset.draws = String(Number(canvas.dataset.draws || 0) + 1);
}

function drawGraphs() {
  const c = app.curves[app.unit];
  if (!app.hello || !c) return;
  const tab = TABS.find((t) => t.id === app.tab);
  const groups = tab.graph(app.channel);
  const colors = { group: "--accent", group2: "--low" };
  drawGraph($("group-graph"), app.hello.graphHz,
    groups.map(([name, kind]) => [c.groups[name], colors[kind], 2]));
  $("group-legend").innerHTML = groups.map(([, kind, label]) => `<span class="key ${kind}">${label}</span>`).join(" ");
  drawGraph($("system-graph"), app.hello.systemHz,
    [[c.system.high, "--high", 1.5], [c.system.low, "--low", 1.5], [c.system.sum, "--sum", 2]]);
  if (!document.body.dataset.ready) {
    document.body.dataset.ready = "1";
    performance.mark("corvella-ready");
  }
}
window.addEventListener("resize", drawGraphs);

// ---- The connection -----------------------------------------------------------------------------

function status(text) { $("status").textContent = text; }

function receive(m) {
  if (m.op === "hello") {
    app.hello = m;
    app.units = m.units;
    if (!app.units.some((u) => u.key === app.unit)) app.unit = app.units.length ? app.units[0].key : null;
  } else if (m.op === "state") {
    app.values[m.unit] = m.values;
    if (m.unit === app.unit) showAll(); else showUnits();
  } else if (m.op === "changed") {
    (app.values[m.unit] = app.values[m.unit] || {})[m.path] = m.value;
    app.shownAt[m.path] = performance.timeOrigin + performance.now();
    if (m.unit !== app.unit) { showUnits(); return; }
    const ctl = app.controls.get(m.path);
    if (ctl) ctl.update(m.value);
    if (m.path.startsWith("program/")) showProgram();
    if (m.path === "link" || m.path === "device/name") showUnits();
  } else if (m.op === "curves") {
    app.curves[m.unit] = m;
    if (m.unit === app.unit) drawGraphs();
  } else if (m.op === "error") {
    status(m.text);
    clearTimeout(receive.timer);
    receive.timer = setTimeout(() => status(""), 6000);
  }
}

function askToken(why) {
  document.body.dataset.state = "token";
  $("token-error").textContent = why || "";
  $("token-box").hidden = false;
  $("token").focus();
}

function connect() {
  const token = localStorage.getItem(TOKEN_KEY);
  if (!token) { askToken(""); return; }
  const scheme = location.protocol === "https:" ? "wss://" : "ws://";
  const socket = new WebSocket(`${scheme}${location.host}/ws?token=${encodeURIComponent(token)}`);
  app.socket = socket;
  app.opened = false;
  socket.onopen = () => {
    app.opened = true;
    $("token-box").hidden = true;
    document.body.dataset.state = "connected";
    status("");
  };
  socket.onmessage = (e) => {
    app.receivedBytes = (app.receivedBytes || 0) + e.data.length;
    receive(JSON.parse(e.data));
  };
  socket.onclose = () => {
    if (app.socket !== socket) return;
    app.socket = null;
    if (!app.opened) {
      askToken("The token was refused (or serve is not running).");
      return;
    }
    document.body.dataset.state = "lost";
    status("Connection lost; trying again\u2026");
    setTimeout(connect, 1000);
  };
}

function start() {
  const fromAddress = /(?:^#|&)token=([^&]+)/.exec(location.hash);
  if (fromAddress) {
    localStorage.setItem(TOKEN_KEY, decodeURIComponent(fromAddress[1]));
    history.replaceState(null, "", location.pathname);
  }
  $("token-form").addEventListener("submit", (e) => {
    e.preventDefault();
    const token = $("token").value.trim();
    if (!token) return;
    localStorage.setItem(TOKEN_KEY, token);
    $("token-error").textContent = "";
    connect();
  });
  const recall = $("recall");
  for (let m = 1; m <= 6; m++) {
    const b = document.createElement("button");
    b.type = "button";
    b.textContent = String(m);
    b.dataset.memory = String(m);
    b.setAttribute("aria-label", "Recall program " + m);
    b.addEventListener("click", () => send({ op: "set", unit: app.unit, path: "program/recall", value: m }));
    recall.append(b);
  }
  $("undo").addEventListener("click", () => send({ op: "undo", unit: app.unit }));
  buildTabs();
  connect();
}
start();
