#include "host/serve/Page.h"

// One page, its style and its script, served at /. It reads /api/channels
// once a minute and /api/status every second, and builds every element with
// textContent, so that a channel name can never become markup. The body's
// data-state becomes "live" once a status has been shown; a script error
// shows in #script-error and sets data-script-error, for good.
//
// Adjacent literals, each well below the 16 KB that some compilers allow a
// single literal.
const char kStatusPage[] =
    R"PAGE(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>zendrel-host serve</title>
<style>
body { font: 14px/1.4 system-ui, sans-serif; margin: 1.5em; color: #222; background: #fafafa; }
h1 { font-size: 1.4em; margin: 0 0 .2em; }
h2 { font-size: 1.1em; margin: 1.4em 0 .4em; }
.note { color: #666; }
table { border-collapse: collapse; background: #fff; }
th, td { border: 1px solid #ddd; padding: .25em .6em; text-align: left; vertical-align: top; }
th { background: #f0f0f0; font-weight: 600; }
td.num { text-align: right; font-variant-numeric: tabular-nums; }
.state-streaming { color: #176317; font-weight: 600; }
.state-unavailable { color: #a11; }
.dropped { color: #a11; font-weight: 600; }
#error, #script-error { color: #a11; white-space: pre-wrap; }
input.url { width: 26em; font: 12px monospace; }
svg.chart { background: #fff; border: 1px solid #ddd; }
.legend-signal { color: #1f5fbf; }
.legend-rate { color: #c26b00; }
</style>
</head>
<body data-state="loading">
<h1>zendrel-host serve</h1>
<div class="note" id="server">connecting&hellip;</div>
<div id="error"></div>
<div id="script-error"></div>
<h2>Tuners</h2>
<table id="tuners">
<thead><tr><th>copy</th><th>kind</th><th>state</th><th>channel</th><th>clients</th><th>signal dB</th><th>Mbit/s</th>
<th>continuity / transport / scrambled</th><th>since</th>
<th>last minutes: <span class="legend-signal">signal dB</span>, <span class="legend-rate">Mbit/s</span></th></tr></thead>
<tbody></tbody>
</table>
<h2>Clients</h2>
<table id="clients">
<thead><tr><th>address</th><th>channel</th><th>copy</th><th>bytes sent</th><th>queued</th><th>since</th><th>dropped</th></tr></thead>
<tbody></tbody>
</table>
<h2>Channels</h2>
<p class="note">Open a channel's URL in a player (mpv, ffplay, VLC: &ldquo;Open network stream&rdquo;).</p>
<table id="channels">
<thead><tr><th>kind</th><th>space</th><th>channel</th><th>name</th><th>play</th></tr></thead>
<tbody></tbody>
</table>
)PAGE"
    R"PAGE(<script>
"use strict";
function cell(row, text, cls) {
  const td = document.createElement("td");
  td.textContent = text === null || text === undefined ? "-" : String(text);
  if (cls) td.className = cls;
  row.appendChild(td);
  return td;
}
function fixed(value, digits) {
  return value === null || value === undefined ? "-" : value.toFixed(digits);
}
function channelText(o) {
  if (o.channel === null) return "-";
  return o.kind + " " + o.space + "/" + o.channel + (o.channel_name ? " " + o.channel_name : "");
}
function showError(text) {
  document.getElementById("error").textContent = text;
}
function scriptError(message) {
  document.getElementById("script-error").textContent += "script error: " + message + "\n";
  document.body.dataset.scriptError = message;
}
window.addEventListener("error", function (e) { scriptError(e.message); });
window.addEventListener("unhandledrejection", function (e) { scriptError(String(e.reason)); });
const SVG = "http://www.w3.org/2000/svg";
// Two lines over the tuner's last minutes, each scaled to its own top.
function chart(history) {
  const w = 300, h = 56;
  const svg = document.createElementNS(SVG, "svg");
  svg.setAttribute("class", "chart");
  svg.setAttribute("width", w);
  svg.setAttribute("height", h);
  const series = [[history.signal_db, "#1f5fbf"], [history.mbps, "#c26b00"]];
  for (const [values, colour] of series) {
    let top = 1;
    for (const v of values) if (v !== null && v > top) top = v;
    const step = w / 300;
    const x0 = w - values.length * step;
    let points = "";
    values.forEach(function (v, i) {
      if (v === null) return;
      points += (x0 + i * step).toFixed(1) + "," + (h - 2 - (h - 4) * v / top).toFixed(1) + " ";
    });
    const line = document.createElementNS(SVG, "polyline");
    line.setAttribute("points", points);
    line.setAttribute("fill", "none");
    line.setAttribute("stroke", colour);
    line.setAttribute("stroke-width", "1.5");
    svg.appendChild(line);
  }
  return svg;
}
function fill(id, rows) {
  const body = document.querySelector("#" + id + " tbody");
  body.replaceChildren.apply(body, rows);
}
function showStatus(s) {
  document.getElementById("server").textContent = "folder " + s.server.folder + ", listening on " +
    s.server.listen + ", since " + s.server.since + "; clients served " + s.server.clients_served +
    ", dropped " + s.server.dropped_clients + ", refused " + s.server.refused;
  fill("tuners", s.tuners.map(function (t) {
    const tr = document.createElement("tr");
    cell(tr, t.copy);
    cell(tr, t.kind);
    cell(tr, t.state + (t.error ? ": " + t.error : ""), "state-" + t.state);
    cell(tr, channelText(t));
    cell(tr, t.clients, "num");
    cell(tr, fixed(t.signal_db, 2), "num");
    cell(tr, fixed(t.mbps, 2), "num");
    cell(tr, t.continuity_errors + " / " + t.transport_errors + " / " + t.scrambled_packets, "num");
    cell(tr, t.since);
    cell(tr, "").appendChild(chart(t.history));
    return tr;
  }));
  fill("clients", s.clients.map(function (c) {
    const tr = document.createElement("tr");
    cell(tr, c.address);
    cell(tr, channelText(c));
    cell(tr, c.copy);
    cell(tr, c.bytes, "num");
    cell(tr, c.queued_bytes, "num");
    cell(tr, c.since);
    cell(tr, c.dropped ? "dropped" : "no", c.dropped ? "dropped" : "");
    return tr;
  }));
  document.body.dataset.state = "live";
}
function showChannels(list) {
  fill("channels", list.channels.map(function (c) {
    const tr = document.createElement("tr");
    cell(tr, c.kind);
    cell(tr, c.space + " " + c.space_name);
    cell(tr, c.channel, "num");
    cell(tr, c.name);
    const td = cell(tr, "");
    const a = document.createElement("a");
    a.href = c.url;
    a.textContent = "play";
    const input = document.createElement("input");
    input.className = "url";
    input.readOnly = true;
    input.value = c.url;
    input.addEventListener("focus", function () { input.select(); });
    td.append(a, " ", input);
    return tr;
  }).concat(list.errors.map(function (e) {
    const tr = document.createElement("tr");
    cell(tr, e.kind);
    cell(tr, "-");
    cell(tr, "-");
    cell(tr, "no list: " + e.error, "state-unavailable");
    cell(tr, "-");
    return tr;
  })));
}
function get(path) {
  return fetch(path, {cache: "no-store"}).then(function (r) {
    if (!r.ok) throw new Error(path + ": HTTP " + r.status);
    return r.json();
  });
}
function pollStatus() {
  get("/api/status").then(function (s) { showError(""); showStatus(s); },
                          function (e) { showError("status: " + e.message); })
    .finally(function () { setTimeout(pollStatus, 1000); });
}
function pollChannels() {
  get("/api/channels").then(showChannels, function (e) { showError("channels: " + e.message); })
    .finally(function () { setTimeout(pollChannels, 60000); });
}
pollStatus();
pollChannels();
</script>
</body>
</html>
)PAGE";
