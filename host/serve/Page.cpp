#include "host/serve/Page.h"

// One page, its style and its script, served at /. It reads /api/channels
// once a minute and /api/status every second, and builds every element with
// textContent, so that a channel name can never become markup. Its tables
// wrap long texts rather than grow past the window; times show as clock
// times. The body's data-state becomes "live" once a status has been shown; a
// script error shows in #script-error and sets data-script-error, for good.
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
table { border-collapse: collapse; background: #fff; max-width: 100%; }
th, td { border: 1px solid #ddd; padding: .25em .6em; text-align: left; vertical-align: top; }
td.wrap { overflow-wrap: anywhere; min-width: 9em; }
th { background: #f0f0f0; font-weight: 600; }
td.num { text-align: right; font-variant-numeric: tabular-nums; }
.state-streaming { color: #176317; font-weight: 600; }
.state-unavailable { color: #a11; }
.dropped { color: #a11; font-weight: 600; }
#error, #script-error { color: #a11; white-space: pre-wrap; }
input.url { width: 26em; max-width: 60vw; font: 12px monospace; }
svg.chart { background: #fff; border: 1px solid #ddd; width: 480px; max-width: 100%; height: auto; }
svg.chart text { font: 9px system-ui, sans-serif; fill: #666; }
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
<p class="note">Under a tuner that was tuned, its last 5 minutes: <span class="legend-signal">signal dB</span>
and <span class="legend-rate">Mbit/s</span>.</p>
<table id="tuners">
<thead><tr><th>copy</th><th>kind</th><th>state</th><th>channel</th><th>clients</th><th>signal dB</th><th>Mbit/s</th>
<th>continuity / transport / scrambled</th><th>since</th></tr></thead>
<tbody></tbody>
</table>
<h2>Clients</h2>
<table id="clients">
<thead><tr><th>address</th><th>channel</th><th>copy</th><th>bytes sent</th><th>queued</th><th>since</th><th>dropped</th></tr></thead>
<tbody></tbody>
</table>
<h2>Channels</h2>
<p class="note">Open a channel's URL in a player (mpv, ffplay, VLC: &ldquo;Open network stream&rdquo;), or
<a id="playlist" href="/playlist.m3u">the playlist of every channel</a> in a player or an IPTV client.</p>
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
function two(n) {
  return String(n).padStart(2, "0");
}
// "21:30:05" from the server's local time "2024-05-01T21:30:05+09:00", with
// the date when it is not today's.
function clock(iso, today) {
  if (!iso) return "-";
  const date = iso.slice(0, 10), time = iso.slice(11, 19);
  return date === today ? time : date + " " + time;
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
function svg(name, attributes, text) {
  const e = document.createElementNS(SVG, name);
  for (const key in attributes) e.setAttribute(key, attributes[key]);
  if (text !== undefined) e.textContent = text;
  return e;
}
// A step of 1, 2 or 5 times a power of ten at or above the value.
function ceiling(v) {
  let step = 1;
  while (step < v) step *= step.toString()[0] === "2" ? 2.5 : 2;
  return step;
}
// The tuner's last 5 minutes, one sample a second, the newest at the right:
// signal and bit rate, each on its own scale from 0 (its top at the left and
// right), with their current values, and a time axis at each clock minute.
function chart(history) {
  const w = 320, h = 84, left = 4, right = 316, top = 14, bottom = 66;
  const e = svg("svg", {"class": "chart", "viewBox": "0 0 " + w + " " + h});
  const step = (right - left) / 300;
  const series = [[history.signal_db, "#1f5fbf", " dB", "start", left],
                  [history.mbps, "#c26b00", " Mbit/s", "end", right]];
  for (const [values, colour, unit, anchor, x] of series) {
    let high = 0, last = null;
    for (const v of values) if (v !== null) { high = Math.max(high, v); last = v; }
    const scale = ceiling(Math.max(high, 1));
    let points = "";
    const x0 = right - values.length * step;
    values.forEach(function (v, i) {
      if (v === null) return;
      points += (x0 + (i + 1) * step).toFixed(1) + "," + (bottom - (bottom - top) * v / scale).toFixed(1) + " ";
    });
    e.appendChild(svg("polyline", {"points": points, "fill": "none", "stroke": colour, "stroke-width": "1.5"}));
    const label = "0-" + scale + unit + (last === null ? "" : ", now " + last.toFixed(1) + unit);
    e.appendChild(svg("text", {"x": x, "y": 10, "text-anchor": anchor, "style": "fill:" + colour}, label));
  }
  e.appendChild(svg("line", {"x1": left, "x2": right, "y1": bottom, "y2": bottom, "stroke": "#bbb"}));
  const now = Date.now();
  for (let t = Math.floor(now / 60000) * 60000; t > now - 300000; t -= 60000) {
    const x = right - (now - t) / 1000 * step;
    const at = new Date(t);
    e.appendChild(svg("line", {"x1": x, "x2": x, "y1": bottom, "y2": bottom + 3, "stroke": "#bbb"}));
    if (x > left + 14 && x < right - 14)
      e.appendChild(svg("text", {"x": x, "y": h - 6, "text-anchor": "middle"},
                        two(at.getHours()) + ":" + two(at.getMinutes())));
  }
  return e;
}
function fill(id, rows) {
  const body = document.querySelector("#" + id + " tbody");
  body.replaceChildren.apply(body, rows);
}
function showStatus(s) {
  const d = new Date();
  const today = d.getFullYear() + "-" + two(d.getMonth() + 1) + "-" + two(d.getDate());
  document.getElementById("server").textContent = "folder " + s.server.folder + ", listening on " +
    s.server.listen + ", since " + clock(s.server.since, today) + "; clients served " + s.server.clients_served +
    ", dropped " + s.server.dropped_clients + ", refused " + s.server.refused;
  fill("tuners", [].concat.apply([], s.tuners.map(function (t) {
    const tr = document.createElement("tr");
    cell(tr, t.copy);
    cell(tr, t.kind);
    cell(tr, t.state + (t.error ? ": " + t.error : ""), "wrap state-" + t.state);
    cell(tr, channelText(t));
    cell(tr, t.clients, "num");
    cell(tr, fixed(t.signal_db, 2), "num");
    cell(tr, fixed(t.mbps, 2), "num");
    cell(tr, t.continuity_errors + " / " + t.transport_errors + " / " + t.scrambled_packets, "num");
    cell(tr, clock(t.since, today));
    // Its chart, once it has been tuned within the last minutes.
    if (!t.history.signal_db.some(function (v) { return v !== null; })) return [tr];
    const below = document.createElement("tr");
    const td = cell(below, "");
    td.colSpan = 9;
    td.appendChild(chart(t.history));
    return [tr, below];
  })));
  fill("clients", s.clients.map(function (c) {
    const tr = document.createElement("tr");
    cell(tr, c.address);
    cell(tr, channelText(c));
    cell(tr, c.copy);
    cell(tr, c.bytes, "num");
    cell(tr, c.queued_bytes, "num");
    cell(tr, clock(c.since, today));
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
    cell(tr, "no list: " + e.error, "wrap state-unavailable");
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
