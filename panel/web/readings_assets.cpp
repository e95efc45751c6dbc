#include "panel/web/assets.h"

namespace kolvane::web_panel {

const std::string_view kReadingsStyle = R"CSS(
body{margin:0 16px;font:14px "Liberation Sans",Arial,sans-serif;color:#222}
header{display:flex;align-items:baseline;gap:16px}
h1{font-size:20px;margin:12px 0}
.status.bad{background:#b00;color:#fff;padding:2px 8px}
.notice{background:#fff3c4;border:1px solid #d9b300;padding:6px 10px;margin:6px 0}
section{display:flex;flex-wrap:wrap;align-items:center;gap:8px 14px;margin:8px 0}
input{font:inherit;width:8em}
button,a.btn{font:inherit;padding:3px 10px}
a.btn{border:1px solid #888;border-radius:3px;color:inherit;text-decoration:none;background:#eee}
.paused{color:#b00;font-weight:bold}
.fail{color:#b00}
table.stats{border-collapse:collapse}
table.stats th,table.stats td{text-align:left;padding:2px 12px 2px 0;border-bottom:1px solid #ddd}
table.stats td[data-stat]{font-family:"Liberation Mono",monospace;text-align:right}
.charts{display:grid;grid-template-columns:3fr 2fr;gap:12px;margin-top:8px}
.chart{position:relative;height:320px}
#alert{position:fixed;left:50%;top:30%;transform:translateX(-50%);background:#fff;
border:2px solid #444;padding:16px 20px;box-shadow:4px 4px 12px #0006}
)CSS";

const std::string_view kReadingsBody = R"HTML(<header><h1>Показания</h1>
<span id="status" role="status" class="status"></span>
<a href="/panel">Передняя панель</a></header>
<div id="notice" class="notice" role="status" hidden></div>
<section aria-label="Набор показаний">
<label>Показаний в наборе <input type="number" data-setting="size" min="1" max="100000" step="1"></label>
<label>Столбцов гистограммы (0 — авто) <input type="number" data-setting="bins" min="0" max="1000" step="1"></label>
<button type="button" data-action="clear">Очистить</button>
<button type="button" data-action="pause">Пауза</button>
<button type="button" data-action="resume">Продолжить</button>
<a class="btn" data-action="download" href="/readings.csv" download="readings.csv">Скачать CSV</a>
<span id="paused" class="paused" hidden>Пауза</span>
</section>
<section aria-label="Допусковый контроль">
<label>Нижний предел <input type="text" inputmode="decimal" data-limit="lower" autocomplete="off"></label>
<label>Верхний предел <input type="text" inputmode="decimal" data-limit="upper" autocomplete="off"></label>
<span data-unit></span>
<button type="button" data-action="apply-limits">Применить пределы</button>
<span>Годных: <b data-limit-count="pass">0</b></span>
<span class="fail">Вне пределов: <b data-limit-count="fail">0</b></span>
<span>Первый выход за пределы: <b data-first-fail>—</b></span>
</section>
<table class="stats">
<tr><th>Количество</th><td data-stat="count">0</td><td></td></tr>
<tr><th>Среднее</th><td data-stat="mean">—</td><td data-unit></td></tr>
<tr><th>СКО</th><td data-stat="sd">—</td><td data-unit></td></tr>
<tr><th>Минимум</th><td data-stat="min">—</td><td data-unit></td></tr>
<tr><th>Максимум</th><td data-stat="max">—</td><td data-unit></td></tr>
<tr><th>Размах</th><td data-stat="pp">—</td><td data-unit></td></tr>
<tr><th>Девиация Аллана</th><td data-stat="adev">—</td><td id="tau"></td></tr>
</table>
<div class="charts">
<div class="chart"><canvas data-chart="trend" data-points="0" role="img" aria-label="Тренд показаний"></canvas></div>
<div class="chart"><canvas data-chart="histogram" data-points="0" role="img" aria-label="Гистограмма показаний"></canvas></div>
</div>
<div id="alert" role="alertdialog" aria-modal="true" aria-describedby="alert-text" hidden>
<p id="alert-text"></p><button type="button" id="alert-ok">OK</button></div>
)HTML";

// The server computes every figure; the page draws and sends the user's
// changes. No animation: the set changes ten times a second.
const std::string_view kReadingsScript = R"JS("use strict";
(function () {
  const $ = (s) => document.querySelector(s);
  const $$ = (s) => document.querySelectorAll(s);
  const FAIL = "#c00", LINE = "#1f5fbf", BAR = "#6c8ebf";
  Chart.defaults.animation = false;
  Chart.defaults.font.family = '"Liberation Sans", Arial, sans-serif';
  const quiet = { legend: { display: false }, tooltip: { enabled: false } };
  // A decimal point and no grouping, whatever the browser's language.
  const plain = (v) => String(Number(Number(v).toPrecision(12)));
  const ticks = { callback: plain };
  const limitLine = (label) => ({ label, data: [], parsing: false, borderColor: FAIL,
    borderDash: [6, 4], borderWidth: 1, pointRadius: 0 });
  const trend = new Chart($("[data-chart=trend]"), {
    type: "line",
    data: { datasets: [
      { label: "Показания", data: [], parsing: false, normalized: true, borderColor: LINE,
        borderWidth: 1, pointRadius: 0 },
      { label: "Вне пределов", data: [], parsing: false, showLine: false, pointRadius: 3,
        pointBackgroundColor: FAIL, pointBorderColor: FAIL },
      limitLine("Нижний предел"), limitLine("Верхний предел")] },
    options: { animation: false, maintainAspectRatio: false, events: [], plugins: quiet,
      scales: { x: { type: "linear", ticks, title: { display: true, text: "Время, с" } },
        y: { ticks, title: { display: true, text: "" } } } } });
  const histogram = new Chart($("[data-chart=histogram]"), {
    type: "bar",
    data: { labels: [], datasets: [{ label: "Показаний", data: [], backgroundColor: [],
      barPercentage: 1, categoryPercentage: 1 }] },
    options: { animation: false, maintainAspectRatio: false, events: [], plugins: quiet,
      scales: { x: { title: { display: true, text: "" } },
        y: { beginAtZero: true, ticks, title: { display: true, text: "Количество" } } } } });

  let ws = null;
  let viewOnly = false;
  const send = (m) => {
    if (ws && ws.readyState === WebSocket.OPEN) ws.send(JSON.stringify(m));
  };
  const number = (text) => {
    const t = text.trim().replace(",", ".");
    if (t === "") return null;
    const v = Number(t);
    return Number.isFinite(v) ? v : undefined;
  };
  const alertBox = (text) => {
    $("#alert-text").textContent = text;
    $("#alert").hidden = false;
    $("#alert-ok").focus();
  };
  $("#alert-ok").addEventListener("click", () => { $("#alert").hidden = true; });
  // Fields typed in and not sent yet: the server's values do not overwrite them.
  const edited = new Set();
  for (const input of $$("input")) {
    for (const e of ["input", "change"]) input.addEventListener(e, () => edited.add(input));
  }
  for (const b of $$("button[data-action]")) {
    b.addEventListener("click", () => {
      const a = b.dataset.action;
      if (a !== "apply-limits") return send({ action: a });
      const fields = [$("[data-limit=lower]"), $("[data-limit=upper]")];
      const [lower, upper] = fields.map((f) => number(f.value));
      if (lower === undefined || upper === undefined) return alertBox("Предел — это число");
      if (lower !== null && upper !== null && lower > upper) {
        return alertBox("Нижний предел больше верхнего");
      }
      for (const f of fields) edited.delete(f);
      send({ limits: { lower, upper } });
    });
  }
  for (const input of $$("[data-setting]")) {
    input.addEventListener("change", () => {
      const v = Number(input.value);
      if (input.value.trim() === "" || !Number.isInteger(v)) return;
      edited.delete(input);
      send({ [input.dataset.setting]: v });
    });
  }
  // Another page's change shows here, except in a field being typed in.
  const show = (input, value) => {
    if (document.activeElement === input || edited.has(input)) return;
    input.value = value === null ? "" : String(value);
  };

  function draw(m) {
    const lower = m.limits.lower, upper = m.limits.upper;
    const outside = (v) => (lower !== null && v < lower) || (upper !== null && v > upper);
    const t = m.trend.t, v = m.trend.v;
    trend.data.datasets[0].data = t.map((x, i) => ({ x, y: v[i] }));
    trend.data.datasets[1].data = m.trend.fail.map((i) => ({ x: t[i], y: v[i] }));
    const ends = t.length ? [t[0], t[t.length - 1]] : [];
    trend.data.datasets[2].data = lower === null ? [] : ends.map((x) => ({ x, y: lower }));
    trend.data.datasets[3].data = upper === null ? [] : ends.map((x) => ({ x, y: upper }));
    trend.options.scales.y.title.text = m.unit;
    trend.update("none");
    $("[data-chart=trend]").dataset.points = String(t.length);
    const h = m.hist;
    // Bin centres, one digit finer than the readings.
    const digits = Math.min(m.decimals + 1, 12);
    histogram.data.labels = h.counts.map((_, i) => (h.lo + (i + 0.5) * h.width).toFixed(digits));
    histogram.data.datasets[0].data = h.counts;
    histogram.data.datasets[0].backgroundColor = h.counts.map((_, i) =>
      outside(h.lo + (i + 0.5) * h.width) ? FAIL : BAR);
    histogram.options.scales.x.title.text = m.unit;
    histogram.update("none");
    $("[data-chart=histogram]").dataset.points = String(h.counts.length);
  }

  function update(m) {
    viewOnly = m.viewOnly;
    for (const [k, text] of Object.entries(m.stats)) {
      const e = $(`[data-stat=${k}]`);
      if (e) e.textContent = text;
    }
    $("#tau").textContent = m.stats.tau === "—" ? "" : `при τ = ${m.stats.tau} с`;
    for (const e of $$("[data-unit]")) e.textContent = m.unit;
    $("[data-limit-count=pass]").textContent = String(m.pass);
    $("[data-limit-count=fail]").textContent = String(m.fail);
    $("[data-first-fail]").textContent = m.firstFail || "—";
    show($("[data-limit=lower]"), m.limits.lower);
    show($("[data-limit=upper]"), m.limits.upper);
    show($("[data-setting=size]"), m.size);
    show($("[data-setting=bins]"), m.bins);
    $("#paused").hidden = !m.paused;
    $("#notice").hidden = !m.notice;
    $("#notice").textContent = m.notice;
    for (const b of $$("[data-action]")) {
      if (b.tagName === "BUTTON") b.setAttribute("aria-disabled", String(viewOnly));
    }
    draw(m);
  }

  const status = $("#status");
  function connect() {
    const scheme = location.protocol === "https:" ? "wss:" : "ws:";
    ws = new WebSocket(`${scheme}//${location.host}/readings/live`);
    ws.onopen = () => { status.textContent = ""; status.classList.remove("bad"); };
    ws.onmessage = (e) => {
      const start = performance.now();
      const m = JSON.parse(e.data);
      if (m.type === "readings") update(m);
      else if (m.type === "alert") alertBox(m.text);
      // What a message costs the page, for a look at whether it keeps up.
      document.body.dataset.drawMs = (performance.now() - start).toFixed(1);
    };
    ws.onclose = () => {
      status.textContent = "Нет связи с сервером: подключаюсь снова…";
      status.classList.add("bad");
      setTimeout(connect, 1000);
    };
  }
  connect();
})();
)JS";

}  // namespace kolvane::web_panel
