#include "panel/web/assets.h"

#include "resources/ids.h"

namespace kolvane::web_panel {

const std::string_view kStyle = R"CSS(
body{margin:0;background:#d4d0c8;font:13px "Liberation Sans",Arial,sans-serif;color:#000}
.status{position:absolute;left:8px;top:8px;height:24px;line-height:24px;padding:0 8px}
.status.bad{background:#b00;color:#fff}
#panel{position:absolute}
.dlg{position:relative;background:#d4d0c8}
.dlg>*,.client>*{position:absolute;box-sizing:border-box;margin:0}
.frame{border:1px solid #000}
.st{white-space:pre;overflow:hidden;line-height:1.2}
.st.exp{font-size:10px}
.st.sunken{border:2px inset #fff;background:#fff;font-size:26px;line-height:1.5;padding:0 4px}
.st.bordered{border:1px solid #000;white-space:pre-wrap;padding:1px 2px}
.grp{border:1px solid #888;border-radius:2px}
.grp .legend{position:absolute;top:-9px;left:6px;background:#d4d0c8;padding:0 2px;white-space:pre}
.btn{padding:0;font:inherit;background:#d4d0c8;border:2px outset #fff;cursor:pointer}
.btn[aria-checked=true]{border-style:inset;background:#8a8a8a}
.btn:disabled{color:#888;cursor:default}
.ed{font:inherit;border:2px inset #fff;padding:0 3px;background:#fff}
.list{font:inherit}
.spin{display:flex;flex-direction:column;outline-offset:1px}
.spin span{flex:1;display:flex;align-items:center;justify-content:center;font-size:8px;
  border:1px outset #fff;cursor:pointer;user-select:none}
.spin[aria-disabled=true] span{color:#888;cursor:default}
.pic svg{display:block;width:100%;height:100%}
.progress{border:1px solid #888;background:#fff}
.progress .bar{height:100%;background:#0a246a;width:0}
[hidden]{display:none!important}
[role=dialog].dlg{position:fixed;left:50%;top:50%;transform:translate(-50%,-50%);
  border:2px outset #fff;box-shadow:4px 4px 12px #0006;z-index:10}
.caption{background:#0a246a;color:#fff;padding:2px 6px;font-weight:bold}
.client{position:relative}
.msgbox{position:fixed;left:50%;top:40%;transform:translate(-50%,-50%);min-width:260px;
  background:#d4d0c8;border:2px outset #fff;box-shadow:4px 4px 12px #0006;z-index:20}
.msgbox .text{padding:16px;white-space:pre-wrap}
.msgbox button{display:block;margin:0 auto 12px;min-width:75px}
)CSS";

// Shows what the server says the model holds and sends what the user did;
// it decides nothing about the panel.
const std::string_view kScript = R"JS(
'use strict';
(() => {
  const panel = document.querySelector('.dlg[data-dialog="102"]');
  const status = document.getElementById('status');
  const box = document.getElementById('msgbox');
  const boxText = document.getElementById('msgbox-text');
  const alerts = [];
  let ws = null;
  let viewOnly = false;
  let dialog = null;  // {element, control}

  const find = (root, id) => root.querySelector('[data-control="' + id + '"]');
  const send = (message) => {
    if (ws && ws.readyState === WebSocket.OPEN) ws.send(JSON.stringify(message));
  };
  const say = (text, bad) => {
    status.textContent = text;
    status.classList.toggle('bad', !!bad);
  };

  function showControl(root, c) {
    const e = find(root, c.id);
    if (!e) return;
    const off = !c.enabled;
    if ('disabled' in e && e.tagName !== 'DIV') e.disabled = off;
    if (e.matches('button,select,input,[role=spinbutton]')) {
      e.setAttribute('aria-disabled', String(off || viewOnly));
    }
    const role = e.getAttribute('role');
    if (role === 'radio' || role === 'checkbox') {
      e.setAttribute('aria-checked', c.check === 1 ? 'true' : c.check === 2 ? 'mixed' : 'false');
    }
    if (e.classList.contains('st')) {
      if (e.textContent !== c.text) e.textContent = c.text;
    } else if (e.tagName === 'BUTTON') {
      if (c.text !== '' && e.textContent !== c.text) e.textContent = c.text;
    } else if (e.tagName === 'INPUT') {
      if (e.value !== c.text) e.value = c.text;
    } else if (e.tagName === 'SELECT') {
      const now = Array.from(e.options, (o) => o.text);
      if (JSON.stringify(now) !== JSON.stringify(c.entries)) {
        e.replaceChildren(...c.entries.map((t) => new Option(t)));
      }
      e.selectedIndex = c.sel;
    } else if (c.spin) {
      e.setAttribute('aria-valuemin', Math.min(c.spin[0], c.spin[1]));
      e.setAttribute('aria-valuemax', Math.max(c.spin[0], c.spin[1]));
      e.setAttribute('aria-valuenow', c.spin[2]);
      e.setAttribute('aria-valuetext', c.valuetext);
    } else if (c.progress) {
      const [lo, hi, pos] = c.progress;
      e.setAttribute('aria-valuemin', lo);
      e.setAttribute('aria-valuemax', hi);
      e.setAttribute('aria-valuenow', pos);
      e.firstChild.style.width = (hi > lo ? (100 * (pos - lo)) / (hi - lo) : 0) + '%';
    }
  }

  function nextAlert() {
    if (!box.hidden || alerts.length === 0) return;
    boxText.textContent = alerts.shift();
    box.hidden = false;
    document.getElementById('msgbox-ok').focus();
  }

  // A mode dialog is the server's: held open there until this page ends it.
  function showDialog(m) {
    const e = document.querySelector('.dlg[data-dialog="' + m.dialog + '"]');
    if (!e) return;
    m.controls.forEach((c) => showControl(e, c));
    if (!m.open) {
      if (dialog && dialog.element === e) dialog = null;
      e.hidden = true;
      return;
    }
    const opening = !dialog;
    dialog = {element: e, id: m.dialog};
    e.hidden = false;
    const list = e.querySelector('select');
    if (opening && list) list.focus();
  }

  function endDialog(button) {
    if (!dialog) return;
    send({dialog: dialog.id, click: button});
  }

  function onMessage(event) {
    const m = JSON.parse(event.data);
    if (m.type === 'state') {
      viewOnly = m.viewOnly;
      m.controls.forEach((c) => showControl(panel, c));
      say(m.link ? '' : 'Нет связи с прибором', !m.link);
    } else if (m.type === 'dialog') {
      showDialog(m);
    } else if (m.type === 'alert') {
      alerts.push(m.text);
      nextAlert();
    }
  }

  function connect() {
    ws = new WebSocket((location.protocol === 'https:' ? 'wss://' : 'ws://') + location.host +
                       '/panel/live');
    ws.onmessage = onMessage;
    ws.onclose = () => {
      say('Нет связи с сервером: подключение…', true);
      if (dialog) dialog.element.hidden = true;
      dialog = null;
      setTimeout(connect, 1000);
    };
  }

  // The user, on the panel.
  const blocked = (e) => dialog !== null || e.getAttribute('aria-disabled') === 'true' && !viewOnly;
  panel.addEventListener('click', (event) => {
    const step = event.target.closest('[data-step]');
    const e = event.target.closest('[data-control]');
    if (!e || blocked(e)) return;
    const id = Number(e.dataset.control);
    if (step) send({spin: id, up: step.dataset.step === 'up'});
    else if (e.tagName === 'BUTTON') send({click: id});
  });
  panel.addEventListener('change', (event) => {
    const e = event.target.closest('select[data-control]');
    if (e) send({select: Number(e.dataset.control), index: e.selectedIndex});
  });
  panel.addEventListener('keydown', (event) => {
    const e = event.target.closest('[role=spinbutton]');
    if (!e || blocked(e) || (event.key !== 'ArrowUp' && event.key !== 'ArrowDown')) return;
    event.preventDefault();
    send({spin: Number(e.dataset.control), up: event.key === 'ArrowUp'});
  });
  document.querySelectorAll('[role=dialog].dlg').forEach((d) => {
    d.addEventListener('click', (event) => {
      if (event.target.closest('[data-control="1"]')) endDialog(1);
    });
    d.addEventListener('change', (event) => {
      const e = event.target.closest('select[data-control]');
      if (e && dialog) {
        send({dialog: dialog.id, select: Number(e.dataset.control), index: e.selectedIndex});
      }
    });
    d.addEventListener('keydown', (event) => {
      if (event.key === 'Escape') endDialog(2);
      if (event.key === 'Enter') endDialog(1);
    });
  });
  document.getElementById('msgbox-ok').addEventListener('click', () => {
    box.hidden = true;
    nextAlert();
  });
  connect();
})();
)JS";

namespace {

// Dark red on the panel's grey, as the desktop draws them.
constexpr std::string_view kEmblem =
    R"(<svg viewBox="0 0 32 36" preserveAspectRatio="xMidYMid meet">)"
    R"(<path d="M2 2H30V22Q30 30 16 34Q2 30 2 22Z" fill="#800000" stroke="#000"/>)"
    R"(<path d="M6 13Q9.3 1 12.7 13T19.3 13T26 13" fill="none" stroke="#cbcbcb" stroke-width="2"/>)"
    R"(<path d="M9 23V27M16 23V27M23 23V27" stroke="#fff"/></svg>)";
constexpr std::string_view kTitle =
    R"(<svg viewBox="0 0 272 48" preserveAspectRatio="xMidYMid meet" fill="#800000" )"
    R"(font-family="Liberation Sans,Arial,sans-serif" font-weight="bold" text-anchor="middle">)"
    R"(<text x="136" y="19" font-size="17" textLength="266" lengthAdjust="spacingAndGlyphs">)"
    R"(ЭЛЕКТРОННО-СЧЕТНЫЙ ЧАСТОТОМЕР</text>)"
    R"(<text x="136" y="42" font-size="17">Kolvane</text></svg>)";
constexpr std::string_view kNameLeft =
    R"(<svg viewBox="0 0 31 12" preserveAspectRatio="xMinYMid meet" fill="#800000" )"
    R"(font-family="Liberation Sans,Arial,sans-serif" font-weight="bold">)"
    R"(<text x="0" y="10.5" font-size="12">Kol</text></svg>)";
constexpr std::string_view kNameRight =
    R"(<svg viewBox="0 0 53 12" preserveAspectRatio="xMinYMid meet" fill="#800000" )"
    R"(font-family="Liberation Sans,Arial,sans-serif" font-weight="bold">)"
    R"(<text x="0" y="10.5" font-size="12">vane</text></svg>)";
constexpr std::string_view kRisingEdge =
    R"(<svg viewBox="0 0 7 10"><path d="M0 8.5H3.5V1.5H7M2.5 4.5H4.5" fill="none" )"
    R"(stroke="#000"/></svg>)";
constexpr std::string_view kFallingEdge =
    R"(<svg viewBox="0 0 7 10"><path d="M0 1.5H3.5V8.5H7M2.5 5.5H4.5" fill="none" )"
    R"(stroke="#000"/></svg>)";
constexpr std::string_view kIcon =
    R"(<svg viewBox="0 0 32 32"><rect x="1.5" y="4.5" width="29" height="23" rx="2" )"
    R"(fill="#cbcbcb" stroke="#000"/><rect x="4.5" y="8.5" width="24" height="11"/>)"
    R"(<path d="M6 13.5Q8.5 6 11 13.5T16 13.5T21 13.5T26 13.5" fill="none" stroke="#f00" )"
    R"(stroke-width="2"/><g fill="#800000"><circle cx="8" cy="23.5" r="2"/>)"
    R"(<circle cx="16" cy="23.5" r="2"/><circle cx="24" cy="23.5" r="2"/></g></svg>)";

}  // namespace

std::string_view PictureSvg(int resourceId) {
  switch (resourceId) {
    case ids::kPanelIcon:
      return kIcon;
    case ids::kEmblemPicture:
      return kEmblem;
    case ids::kTitlePicture:
      return kTitle;
    case ids::kNamePictureLeft:
      return kNameLeft;
    case ids::kNamePictureRight:
      return kNameRight;
    case ids::kRisingEdgePicture:
      return kRisingEdge;
    case ids::kFallingEdgePicture:
      return kFallingEdge;
    default:
      return {};
  }
}

}  // namespace kolvane::web_panel
