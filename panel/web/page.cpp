#include "panel/web/page.h"

#include "panel/web/assets.h"
#include "resources/ids.h"

namespace kolvane::web_panel {

namespace {

using layout::Kind;
namespace st = layout::style;

bool Inside(const layout::Rect& inner, const layout::Rect& outer) {
  return inner.x >= outer.x && inner.y >= outer.y && inner.x + inner.w <= outer.x + outer.w &&
         inner.y + inner.h <= outer.y + outer.h;
}

std::string Px(int du) {
  return std::to_string(du * kScale) + "px";
}

std::string Box(const layout::Rect& r) {
  return "left:" + Px(r.x) + ";top:" + Px(r.y) + ";width:" + Px(r.w) + ";height:" + Px(r.h);
}

bool Interactive(Kind k) {
  return k == Kind::kRadio || k == Kind::kCheck || k == Kind::kPushButton ||
         k == Kind::kDefPushButton || k == Kind::kListBox || k == Kind::kSpin || k == Kind::kEdit;
}

// The attributes every element of a control carries.
std::string Common(const layout::Control& c, const std::string& name, const std::string& cls) {
  std::string out = " class=\"" + cls + "\" style=\"" + Box(c.rect) + "\"";
  if (c.id != -1) out += " data-control=\"" + std::to_string(c.id) + "\"";
  if (!name.empty()) out += " aria-label=\"" + Escape(name) + "\"";
  if ((c.styles & st::kHidden) != 0) out += " hidden";
  if ((c.styles & st::kDisabled) != 0 && Interactive(c.kind)) out += " aria-disabled=\"true\"";
  return out;
}

std::string Control(const layout::DialogTemplate& d, std::size_t i) {
  const layout::Control& c = d.controls[i];
  const std::string caption(c.caption);
  const std::string name = AccessibleName(d, i);
  switch (c.kind) {
    case Kind::kFrame:
      return "<div" + Common(c, "", "frame") + "></div>";
    case Kind::kPicture:
      return "<div" + Common(c, "", "pic") + " aria-hidden=\"true\">" +
             std::string(PictureSvg(c.picture)) + "</div>";
    case Kind::kStatic:
    case Kind::kSunkenStatic:
    case Kind::kBorderedStatic: {
      std::string cls = "st";
      if (c.kind == Kind::kSunkenStatic) cls += " sunken";
      if (c.kind == Kind::kBorderedStatic) cls += " bordered";
      if ((c.styles & st::kExponent) != 0) cls += " exp";
      // The reading and the message change under the user's eyes.
      const bool live =
          c.id == ids::kReadingDisplay || c.id == ids::kMessage || c.id == ids::kDialogMessage;
      return "<div" + Common(c, "", cls) + (live ? " aria-live=\"polite\"" : "") + ">" +
             Escape(caption) + "</div>";
    }
    case Kind::kGroupBox:
      return "<div" + Common(c, "", "grp") + "><span class=\"legend\">" + Escape(caption) +
             "</span></div>";
    case Kind::kEdit:
      return "<input type=\"text\" readonly" + Common(c, name, "ed") + ">";
    case Kind::kRadio:
    case Kind::kCheck: {
      const char* role = c.kind == Kind::kRadio ? "radio" : "checkbox";
      return "<button type=\"button\" role=\"" + std::string(role) + "\" aria-checked=\"false\"" +
             Common(c, caption.empty() ? name : "", "btn latch") + ">" + Escape(caption) +
             "</button>";
    }
    case Kind::kPushButton:
    case Kind::kDefPushButton:
      return "<button type=\"button\"" + Common(c, caption.empty() ? name : "", "btn") + ">" +
             Escape(caption) + "</button>";
    case Kind::kListBox: {
      // A list one entry high drops down; a taller one shows its rows.
      const int rows = c.rect.h / 10;
      const std::string size = rows > 1 ? " size=\"" + std::to_string(rows) + "\"" : "";
      return "<select" + size + Common(c, name, "list") + "></select>";
    }
    case Kind::kSpin:
      return "<div role=\"spinbutton\" tabindex=\"0\" aria-valuenow=\"0\" aria-valuetext=\"\"" +
             Common(c, name, "spin") +
             "><span data-step=\"up\" aria-hidden=\"true\">&#9650;</span>"
             "<span data-step=\"down\" aria-hidden=\"true\">&#9660;</span></div>";
    case Kind::kProgress:
      return "<div role=\"progressbar\" aria-valuemin=\"0\" aria-valuemax=\"100\" "
             "aria-valuenow=\"0\"" +
             Common(c, "", "progress") + "><div class=\"bar\"></div></div>";
  }
  return {};
}

}  // namespace

std::string Escape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    switch (ch) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += ch;
    }
  }
  return out;
}

std::string AccessibleName(const layout::DialogTemplate& dialog, std::size_t index) {
  const layout::Control& c = dialog.controls[index];
  if (!c.caption.empty()) return std::string(c.caption);
  const bool labelled = c.kind == Kind::kRadio || c.kind == Kind::kCheck ||
                        c.kind == Kind::kPushButton || c.kind == Kind::kDefPushButton;
  if (labelled && index + 1 < dialog.controls.size()) {
    const layout::Control& next = dialog.controls[index + 1];
    if (next.kind == Kind::kStatic && next.id == -1) return std::string(next.caption);
  }
  // Else the group it sits in: "Уровень" for the level's spin.
  for (const layout::Control& g : dialog.controls) {
    if (g.kind == Kind::kGroupBox && Inside(c.rect, g.rect)) return std::string(g.caption);
  }
  return {};
}

std::string TemplateHtml(const layout::DialogTemplate& dialog) {
  const bool panel = dialog.id == ids::kPanelDialog;
  std::string out = "<div class=\"dlg\" data-dialog=\"" + std::to_string(dialog.id) + "\"";
  if (!panel) {
    out += " role=\"dialog\" aria-modal=\"true\" aria-label=\"" + Escape(dialog.caption) +
           "\" hidden><div class=\"caption\">" + Escape(dialog.caption) + "</div";
    out += "><div class=\"client\"";
  }
  out += " style=\"width:" + Px(dialog.width) + ";height:" + Px(dialog.height) + "\">\n";
  for (std::size_t i = 0; i < dialog.controls.size(); ++i) out += Control(dialog, i) + "\n";
  out += panel ? "</div>\n" : "</div></div>\n";
  return out;
}

std::string PanelPage(std::string_view title) {
  std::string out =
      "<!DOCTYPE html>\n<html lang=\"ru\">\n<head>\n<meta charset=\"utf-8\">\n<title>" +
      Escape(title) + "</title>\n<link rel=\"icon\" href=\"data:,\">\n<style>\n" +
      std::string(kStyle) + "</style>\n</head>\n<body>\n";
  out += "<div id=\"status\" role=\"status\" class=\"status\"></div>\n";
  out += "<div id=\"panel\" style=\"left:" + std::to_string(kOriginX) +
         "px;top:" + std::to_string(kOriginY) + "px\">\n";
  out += TemplateHtml(*layout::FindTemplate(ids::kPanelDialog));
  out += "</div>\n";
  for (int id : {ids::kDurationDialog, ids::kRatioDialog, ids::kCountDialog}) {
    out += TemplateHtml(*layout::FindTemplate(id));
  }
  out +=
      "<div id=\"msgbox\" class=\"msgbox\" role=\"alertdialog\" aria-modal=\"true\" "
      "aria-labelledby=\"msgbox-caption\" aria-describedby=\"msgbox-text\" hidden>"
      "<div id=\"msgbox-caption\" class=\"caption\">Kolvane</div>"
      "<div id=\"msgbox-text\" class=\"text\"></div>"
      "<button type=\"button\" id=\"msgbox-ok\">OK</button></div>\n";
  out += "<script>\n" + std::string(kScript) + "</script>\n</body>\n</html>\n";
  return out;
}

}  // namespace kolvane::web_panel
