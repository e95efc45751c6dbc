// The dialog templates as data: the panel's and the mode dialogs' controls
// where the black-box checks expect them, and the rules that make the
// tables usable by a front end (groups, buddies, nothing hiding a control).
#include "resources/layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <string>

#include "panel/panel_dlg.h"
#include "resources/ids.h"

namespace kolvane::layout {
namespace {

const DialogTemplate& Get(int id) {
  const DialogTemplate* t = FindTemplate(id);
  EXPECT_NE(t, nullptr) << id;
  static const DialogTemplate kNone{0, "", 0, 0, 0, "", 0, 0, {}};
  return t != nullptr ? *t : kNone;
}

bool Overlap(const Rect& a, const Rect& b) {
  return a.x < b.x + b.w && b.x < a.x + a.w && a.y < b.y + b.h && b.y < a.y + a.h;
}

bool Inside(const Rect& inner, const Rect& outer) {
  return inner.x >= outer.x && inner.y >= outer.y && inner.x + inner.w <= outer.x + outer.w &&
         inner.y + inner.h <= outer.y + outer.h;
}

TEST(DialogUnits, RoundLikeMulDiv) {
  // 1.5 and 1.625 pixels per unit, halves rounded up.
  for (int du = 0; du <= 600; ++du) {
    EXPECT_EQ(ToPixelsX(du), static_cast<int>(std::floor(du * 1.5 + 0.5))) << du;
    EXPECT_EQ(ToPixelsY(du), static_cast<int>(std::floor(du * 1.625 + 0.5))) << du;
  }
  const DialogTemplate& panel = Get(ids::kPanelDialog);
  EXPECT_EQ(ToPixelsX(panel.width), 626);
  EXPECT_EQ(ToPixelsY(panel.height), 554);
}

struct Row {
  int id;
  Kind kind;
  Rect rect;
  const char* caption;
  unsigned styles;  // styles that must be set
};

using namespace style;
constexpr unsigned kPushRadio = kPushLike;
constexpr unsigned kPanelList = kNotify | kVScroll;

// Every numbered control of the panel.
const Row kPanelRows[] = {
    {1092, Kind::kSunkenStatic, {119, 55, 172, 22}, "", 0},
    {1000, Kind::kProgress, {322, 63, 72, 14}, "", kDisabled | kBorder},
    {1119, Kind::kEdit, {330, 34, 57, 18}, "", 0},
    {1001, Kind::kRadio, {31, 111, 16, 8}, "", kPushRadio | kGroup},
    {1002, Kind::kRadio, {32, 129, 16, 8}, "", kPushRadio},
    {1003, Kind::kRadio, {32, 147, 16, 8}, "", kPushRadio},
    {1004, Kind::kRadio, {32, 167, 16, 8}, "", kPushRadio},
    {1005, Kind::kRadio, {32, 185, 16, 8}, "", kPushRadio},
    {1006, Kind::kRadio, {106, 111, 16, 8}, "", kPushRadio | kGroup},
    {1007, Kind::kRadio, {106, 129, 16, 8}, "", kPushRadio},
    {1008, Kind::kRadio, {106, 147, 16, 8}, "", kPushRadio},
    {1009, Kind::kRadio, {106, 167, 16, 8}, "", kPushRadio},
    {1010, Kind::kRadio, {106, 186, 16, 8}, "", kPushRadio},
    {1013, Kind::kRadio, {189, 110, 16, 8}, "", kPushRadio | kGroup},
    {1014, Kind::kRadio, {189, 145, 16, 8}, "", kPushRadio},
    {1015, Kind::kRadio, {189, 177, 16, 8}, "", kPushRadio},
    {1069, Kind::kListBox, {256, 101, 47, 18}, "", kPanelList},
    {1070, Kind::kListBox, {256, 124, 47, 18}, "", kPanelList},
    {1071, Kind::kListBox, {256, 147, 47, 18}, "", kPanelList},
    {1095, Kind::kCheck, {255, 177, 16, 8}, "", kPushLike},
    {1073, Kind::kCheck, {287, 177, 16, 8}, "", kPushLike},
    {1056, Kind::kListBox, {330, 101, 57, 18}, "", kPanelList},
    {1114, Kind::kListBox, {331, 130, 57, 18}, "", kPanelList | kHidden},
    {1116, Kind::kListBox, {331, 164, 55, 28}, "", kHidden},
    {1016, Kind::kRadio, {31, 215, 16, 8}, "", kPushRadio | kGroup},
    {1019, Kind::kRadio, {75, 215, 16, 8}, "", kPushRadio},
    {1020, Kind::kRadio, {115, 215, 16, 8}, "", kPushRadio},
    {1030, Kind::kRadio, {31, 242, 16, 8}, "", kPushRadio},
    {1031, Kind::kRadio, {75, 242, 16, 8}, "", kPushRadio},
    {1032, Kind::kRadio, {115, 242, 16, 8}, "", kPushRadio},
    {1091, Kind::kRadio, {31, 279, 16, 8}, "", kPushRadio},
    {1113, Kind::kRadio, {75, 279, 16, 8}, "", kPushRadio},
    {1053, Kind::kBorderedStatic, {183, 215, 202, 26}, "", kBorder},
    {1104, Kind::kEdit, {189, 265, 53, 17}, "", 0},
    {1105, Kind::kSpin, {244, 265, 11, 17}, "", kAutoBuddy | kArrowKeys},
    {1111, Kind::kPushButton, {214, 286, 40, 14}, "Сброс", 0},
    {1106, Kind::kEdit, {318, 266, 54, 17}, "", 0},
    {1108, Kind::kSpin, {374, 265, 11, 17}, "", kAutoBuddy | kArrowKeys},
    {1109, Kind::kPushButton, {340, 286, 46, 14}, "Сохранить", 0},
    {1066, Kind::kRadio, {31, 314, 16, 8}, "", kPushRadio | kGroup},
    {1067, Kind::kRadio, {76, 313, 16, 8}, "", kPushRadio},
    {1041, Kind::kPushButton, {121, 313, 16, 8}, "", 0},
    {1025, Kind::kCheck, {223, 312, 51, 14}, "Тест/Измер", kPushLike | kMultiline},
    {1050, Kind::kCheck, {281, 312, 51, 14}, "Память", kPushLike},
    {1024, Kind::kPushButton, {339, 312, 55, 14}, "Конфигурация", 0},
};

TEST(PanelTemplate, EveryNumberedControlAtItsRectangle) {
  const DialogTemplate& panel = Get(ids::kPanelDialog);
  std::set<int> expected;
  for (const Row& r : kPanelRows) {
    SCOPED_TRACE(r.id);
    expected.insert(r.id);
    const Control* c = FindControl(panel, r.id);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->kind, r.kind);
    EXPECT_EQ(c->rect, r.rect);
    EXPECT_EQ(c->caption, r.caption);
    EXPECT_EQ(c->styles & r.styles, r.styles);
  }
  // Nothing numbered beyond the table, and no id twice.
  std::multiset<int> numbered;
  for (const Control& c : panel.controls) {
    if (c.id != -1) numbered.insert(c.id);
  }
  EXPECT_EQ(std::set<int>(numbered.begin(), numbered.end()), expected);
  EXPECT_EQ(numbered.size(), expected.size());
}

TEST(PanelTemplate, GroupBoxesFramesAndPictures) {
  struct Unnumbered {
    Kind kind;
    const char* caption;
    int picture;
    Rect rect;
    unsigned styles;
  };
  const Unnumbered kRows[] = {
      {Kind::kFrame, "", 0, {7, 7, 403, 327}, 0},
      {Kind::kPicture, "", ids::kEmblemPicture, {17, 14, 21, 22}, 0},
      {Kind::kPicture, "", ids::kNamePictureLeft, {52, 16, 57, 9}, 0},
      {Kind::kPicture, "", ids::kTitlePicture, {119, 18, 181, 30}, kCentreImage},
      {Kind::kPicture, "", ids::kNamePictureRight, {46, 26, 35, 7}, 0},
      {Kind::kGroupBox, "Серийный номер", 0, {322, 22, 72, 35}, 0},
      {Kind::kGroupBox, "Метки времени, s", 0, {23, 90, 70, 110}, 0},
      {Kind::kGroupBox, "Время счета,s/", 0, {99, 90, 66, 111}, 0},
      {Kind::kGroupBox, "Каналы", 0, {176, 90, 66, 110}, 0},
      {Kind::kGroupBox, "Входы", 0, {249, 90, 66, 110}, 0},
      {Kind::kGroupBox, "Генератор", 0, {322, 90, 72, 36}, 0},
      {Kind::kGroupBox, "ComPort", 0, {322, 152, 72, 48}, kHidden},
      {Kind::kGroupBox, "Режимы", 0, {23, 204, 142, 90}, 0},
      {Kind::kGroupBox, "Сообщения", 0, {175, 202, 219, 43}, 0},
      {Kind::kGroupBox, "Уровень", 0, {175, 249, 94, 56}, 0},
      {Kind::kGroupBox, "Калибровка", 0, {303, 250, 92, 55}, 0},
      {Kind::kGroupBox, "Запуск", 0, {23, 301, 142, 25}, 0},
  };
  const DialogTemplate& panel = Get(ids::kPanelDialog);
  for (const Unnumbered& u : kRows) {
    SCOPED_TRACE(std::string(u.caption) + " " + std::to_string(u.picture));
    const auto found =
        std::count_if(panel.controls.begin(), panel.controls.end(), [&](const Control& c) {
          return c.id == -1 && c.kind == u.kind && c.caption == u.caption &&
                 c.picture == u.picture && c.rect == u.rect && (c.styles & u.styles) == u.styles;
        });
    EXPECT_EQ(found, 1);
  }
}

TEST(PanelTemplate, LabelsBesideTheButtons) {
  // Each text the panel shows beside its uncaptioned buttons, how many times
  // it appears, and whether it is a raised exponent. The channel letters are
  // the Cyrillic ones.
  struct Text {
    const char* text;
    int times;
    bool exponent;
  };
  const Text kTexts[] = {
      {"10", 9, false},        {"1", 1, false},          {"/  1", 1, false},
      {"/ 10", 4, false},      {"-7", 1, true},          {"-6", 1, true},
      {"-5", 1, true},         {"-4", 1, true},          {"-3", 2, true},
      {"-2", 1, true},         {"-1", 1, true},          {"2", 1, true},
      {"3", 1, true},          {"4", 1, true},           {"усреднение", 1, false},
      {"\xD0\x90", 1, false},  {"\xD0\x92", 1, false},   {"\xD0\xA1", 1, false},
      {"f", 1, false},         {"T", 1, false},          {"Тимп", 1, false},
      {"Отношение", 1, false}, {"Тахометр", 1, false},   {"Скважн", 1, false},
      {"Счет", 1, false},      {"Калибровка", 1, false}, {"Авт", 1, false},
      {"Однокр", 1, false},    {"Пуск", 1, false},       {"ФНЧ", 1, false},
  };
  const DialogTemplate& panel = Get(ids::kPanelDialog);
  std::size_t statics = 0;
  for (const Control& c : panel.controls) statics += c.kind == Kind::kStatic ? 1 : 0;
  std::size_t listed = 0;
  for (const Text& t : kTexts) {
    SCOPED_TRACE(t.text);
    int n = 0;
    for (const Control& c : panel.controls) {
      if (c.kind != Kind::kStatic || c.caption != t.text) continue;
      ++n;
      EXPECT_EQ((c.styles & kExponent) != 0, t.exponent);
    }
    EXPECT_EQ(n, t.times);
    listed += static_cast<std::size_t>(t.times);
  }
  EXPECT_EQ(listed, statics);
}

TEST(PanelTemplate, LabelsNeitherHideControlsNorLeaveTheirGroup) {
  const DialogTemplate& panel = Get(ids::kPanelDialog);
  std::vector<Rect> groups;
  for (const Control& c : panel.controls) {
    if (c.kind == Kind::kGroupBox) groups.push_back(c.rect);
  }
  for (const Control& label : panel.controls) {
    if (label.id != -1 || label.kind == Kind::kGroupBox || label.kind == Kind::kFrame) continue;
    SCOPED_TRACE(std::string(label.caption) + " at " + std::to_string(label.rect.x) + "," +
                 std::to_string(label.rect.y));
    for (const Control& c : panel.controls) {
      if (c.id != -1) {
        EXPECT_FALSE(Overlap(label.rect, c.rect)) << "covers " << c.id;
      }
    }
    if (label.kind == Kind::kStatic) {
      EXPECT_TRUE(std::any_of(groups.begin(), groups.end(),
                              [&](const Rect& g) { return Inside(label.rect, g); }));
    }
  }
}

TEST(Templates, ControlsInsideTheirDialogAndIdsUnique) {
  for (const DialogTemplate& t : Templates()) {
    SCOPED_TRACE(t.id);
    const Rect client{0, 0, t.width, t.height};
    std::set<int> seen;
    for (const Control& c : t.controls) {
      EXPECT_TRUE(Inside(c.rect, client)) << c.id << " " << c.caption;
      if (c.id != -1) {
        EXPECT_TRUE(seen.insert(c.id).second) << c.id;
      }
    }
  }
}

TEST(PanelTemplate, RadioGroupsMatchTheDataExchangeGroups) {
  const DialogTemplate& panel = Get(ids::kPanelDialog);
  for (const int first : {1001, 1006, 1013, 1016, 1066}) {
    SCOPED_TRACE(first);
    std::vector<int> members;
    for (const Control& c : panel.controls) {
      if (c.kind == Kind::kRadio && c.group == first) {
        members.push_back(c.id);
        EXPECT_EQ((c.styles & kGroup) != 0, c.id == first) << c.id;
      }
    }
    const auto exchange = RadioGroup(first);
    EXPECT_EQ(members, std::vector<int>(exchange.begin(), exchange.end()));
  }
  for (const Control& c : panel.controls) {
    if (c.kind == Kind::kRadio) {
      EXPECT_NE(c.group, 0) << c.id;
    }
  }
}

TEST(Templates, SpinsTakeTheEditBeforeThemAsBuddy) {
  for (const DialogTemplate& t : Templates()) {
    for (std::size_t i = 0; i < t.controls.size(); ++i) {
      if (t.controls[i].kind != Kind::kSpin || (t.controls[i].styles & kAutoBuddy) == 0) continue;
      ASSERT_GT(i, 0u);
      EXPECT_EQ(t.controls[i - 1].kind, Kind::kEdit) << t.controls[i].id;
    }
  }
  const DialogTemplate& panel = Get(ids::kPanelDialog);
  const auto at = [&](int id) { return FindControl(panel, id) - panel.controls.data(); };
  EXPECT_EQ(at(1105), at(1104) + 1);
  EXPECT_EQ(at(1108), at(1106) + 1);
}

TEST(Templates, DialogsAndTheirStyles) {
  namespace ds = dialog_style;
  struct Case {
    int id;
    const char* caption;
    int w, h;
    unsigned styles;
    int language;
  };
  const unsigned mode = ds::kPopup | ds::kCaption | ds::kModalFrame;
  const Case kCases[] = {
      {102, "", 417, 341,
       mode | ds::kSysMenu | ds::kMinimizeBox | ds::kMaximizeBox | ds::kAppWindow, 1049},
      {148, "Счет", 110, 90, mode, 1049},
      {143, "Измерение длительности", 101, 90, mode, 1049},
      {144, "Отношение", 108, 149, mode, 1049},
      {100, "About Kolvane", 235, 55, mode | ds::kSysMenu, 1033},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.id);
    const DialogTemplate& t = Get(c.id);
    EXPECT_EQ(t.caption, c.caption);
    EXPECT_EQ(t.width, c.w);
    EXPECT_EQ(t.height, c.h);
    EXPECT_EQ(t.styles, c.styles);
    EXPECT_EQ(t.language, c.language);
    EXPECT_EQ(t.fontFace, "MS Sans Serif");
    EXPECT_EQ(t.fontPoints, 8);
  }
  EXPECT_EQ(FindTemplate(101), nullptr);
}

TEST(Templates, ModeDialogControls) {
  struct Case {
    int dialog;
    int id;
    Kind kind;
    Rect rect;
    const char* caption;
    unsigned set;
    unsigned clear;
  };
  const unsigned list = kNotify | kVScroll | kBorder;
  const Case kCases[] = {
      {148, 1069, Kind::kListBox, {15, 15, 80, 40}, "", list | kSorted, 0},
      {148, 1, Kind::kDefPushButton, {29, 60, 50, 14}, "OK", 0, 0},
      {143, 1069, Kind::kListBox, {17, 15, 66, 40}, "", list | kSorted, 0},
      {143, 1, Kind::kPushButton, {25, 60, 50, 14}, "OK", 0, 0},
      {144, 1, Kind::kDefPushButton, {41, 122, 50, 14}, "OK", 0, 0},
      {144, 1069, Kind::kListBox, {15, 14, 75, 40}, "", list, kSorted},
      {144, 1053, Kind::kBorderedStatic, {21, 77, 63, 29}, "", kBorder, 0},
      {100, 1, Kind::kDefPushButton, {178, 7, 50, 14}, "OK", 0, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::to_string(c.dialog) + "/" + std::to_string(c.id));
    const Control* ctl = FindControl(Get(c.dialog), c.id);
    ASSERT_NE(ctl, nullptr);
    EXPECT_EQ(ctl->kind, c.kind);
    EXPECT_EQ(ctl->rect, c.rect);
    EXPECT_EQ(ctl->caption, c.caption);
    EXPECT_EQ(ctl->styles & c.set, c.set);
    EXPECT_EQ(ctl->styles & c.clear, 0u);
  }
  // The ratio dialog's message sits inside its "Сообщение" group; the OK
  // button comes first in its template.
  const DialogTemplate& ratio = Get(144);
  EXPECT_EQ(ratio.controls[0].id, 1);
  const auto group = std::find_if(ratio.controls.begin(), ratio.controls.end(),
                                  [](const Control& c) { return c.kind == Kind::kGroupBox; });
  ASSERT_NE(group, ratio.controls.end());
  EXPECT_EQ(group->caption, "Сообщение");
  EXPECT_EQ(group->rect, (Rect{15, 64, 76, 49}));
  EXPECT_EQ(ratio.controls.size(), 4u);
  EXPECT_EQ(Get(148).controls.size(), 2u);
  EXPECT_EQ(Get(143).controls.size(), 2u);
}

}  // namespace
}  // namespace kolvane::layout
