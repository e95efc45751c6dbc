#include "resources/layout.h"

#include <algorithm>

#include "resources/ids.h"
#include "version.h"

namespace kolvane::layout {

namespace {

using namespace style;

constexpr Control Ctl(int id, Kind kind, std::string_view caption, Rect r, unsigned styles = 0) {
  return {id, kind, caption, r, styles, 0, 0};
}
constexpr Control Picture(int picture, Rect r, unsigned styles = 0) {
  return {-1, Kind::kPicture, "", r, styles, picture, 0};
}
constexpr Control Group(std::string_view caption, Rect r, unsigned styles = 0) {
  return {-1, Kind::kGroupBox, caption, r, kGroup | styles, 0, 0};
}
constexpr Control Label(std::string_view text, Rect r) {
  return {-1, Kind::kStatic, text, r, 0, 0, 0};
}
// Exponents sit three units above the line of their base.
constexpr Control Exponent(std::string_view text, int x, int baseY, int w) {
  return {-1, Kind::kStatic, text, {x, baseY - 3, w, 6}, kExponent, 0, 0};
}
// Radios are drawn as buttons; the first of a group starts it.
constexpr Control Radio(int id, int group, Rect r) {
  return {id, Kind::kRadio, "", r, kPushLike | (id == group ? kGroup : 0u), 0, group};
}
constexpr Control Check(int id, std::string_view caption, Rect r, unsigned styles = 0) {
  return {id, Kind::kCheck, caption, r, kPushLike | styles, 0, 0};
}
constexpr Control List(int id, Rect r, unsigned styles = 0) {
  return {id, Kind::kListBox, "", r, kNotify | kVScroll | kBorder | styles, 0, 0};
}

// Rows of the time-stamp and gate radios.
constexpr int kRow1 = 111, kRow2 = 129, kRow3 = 147, kRow4 = 167;
constexpr int kGateRow5 = 186, kStampRow5 = 185;
// Columns of the gate labels: base, its exponent, the averaging count, its exponent.
constexpr int kGateBase = 125, kGateExp = 134, kGateDiv = 141, kGateDivExp = 155;

constexpr Control kPanel[] = {
    {-1, Kind::kFrame, "", {7, 7, 403, 327}, 0, 0, 0},
    Picture(ids::kEmblemPicture, {17, 14, 21, 22}),
    Picture(ids::kNamePictureLeft, {52, 16, 57, 9}),
    Picture(ids::kTitlePicture, {119, 18, 181, 30}, kCentreImage),
    Picture(ids::kNamePictureRight, {46, 26, 35, 7}),
    Ctl(ids::kReadingDisplay, Kind::kSunkenStatic, "", {119, 55, 172, 22}),
    Ctl(ids::kProgress, Kind::kProgress, "", {322, 63, 72, 14}, kDisabled | kBorder),
    Group("Серийный номер", {322, 22, 72, 35}),
    Ctl(ids::kSerialNumber, Kind::kEdit, "", {330, 34, 57, 18}, kBorder),

    // Time stamps.
    Group("Метки времени, s", {23, 90, 70, 110}),
    Radio(1001, 1001, {31, kRow1, 16, 8}),
    Label("10", {52, kRow1, 9, 8}),
    Exponent("-7", 61, kRow1, 8),
    Radio(1002, 1001, {32, kRow2, 16, 8}),
    Label("10", {52, kRow2, 9, 8}),
    Exponent("-6", 61, kRow2, 8),
    Radio(1003, 1001, {32, kRow3, 16, 8}),
    Label("10", {52, kRow3, 9, 8}),
    Exponent("-5", 61, kRow3, 8),
    Radio(1004, 1001, {32, kRow4, 16, 8}),
    Label("10", {52, kRow4, 9, 8}),
    Exponent("-4", 61, kRow4, 8),
    Radio(1005, 1001, {32, kStampRow5, 16, 8}),
    Label("10", {52, kStampRow5, 9, 8}),
    Exponent("-3", 61, kStampRow5, 8),

    // Gate time and averaging.
    Group("Время счета,s/", {99, 90, 66, 111}),
    Label("усреднение", {105, 98, 52, 8}),
    Radio(1006, 1006, {106, kRow1, 16, 8}),
    Label("10", {kGateBase, kRow1, 9, 8}),
    Exponent("-3", kGateExp, kRow1, 7),
    Label("/  1", {kGateDiv, kRow1, 14, 8}),
    Radio(1007, 1006, {106, kRow2, 16, 8}),
    Label("10", {kGateBase, kRow2, 9, 8}),
    Exponent("-2", kGateExp, kRow2, 7),
    Label("/ 10", {kGateDiv, kRow2, 14, 8}),
    Radio(1008, 1006, {106, kRow3, 16, 8}),
    Label("10", {kGateBase, kRow3, 9, 8}),
    Exponent("-1", kGateExp, kRow3, 7),
    Label("/ 10", {kGateDiv, kRow3, 14, 8}),
    Exponent("2", kGateDivExp, kRow3, 6),
    Radio(1009, 1006, {106, kRow4, 16, 8}),
    Label("1", {kGateBase, kRow4, 9, 8}),
    Label("/ 10", {kGateDiv, kRow4, 14, 8}),
    Exponent("3", kGateDivExp, kRow4, 6),
    Radio(1010, 1006, {106, kGateRow5, 16, 8}),
    Label("10", {kGateBase, kGateRow5, 9, 8}),
    Label("/ 10", {kGateDiv, kGateRow5, 14, 8}),
    Exponent("4", kGateDivExp, kGateRow5, 6),

    // Channels.
    Group("Каналы", {176, 90, 66, 110}),
    Radio(1013, 1013, {189, 110, 16, 8}),
    Label("А", {209, 110, 12, 8}),
    Radio(1014, 1013, {189, 145, 16, 8}),
    Label("В", {209, 145, 12, 8}),
    Radio(1015, 1013, {189, 177, 16, 8}),
    Label("С", {209, 177, 12, 8}),

    // Inputs.
    Group("Входы", {249, 90, 66, 110}),
    List(ids::kImpedance, {256, 101, 47, 18}),
    List(ids::kCoupling, {256, 124, 47, 18}),
    List(ids::kAttenuator, {256, 147, 47, 18}),
    Picture(ids::kRisingEdgePicture, {261, 169, 5, 6}),
    Check(ids::kSlope, "", {255, 177, 16, 8}),
    Picture(ids::kFallingEdgePicture, {261, 186, 5, 6}),
    Check(ids::kLowPassFilter, "", {287, 177, 16, 8}),
    Label("ФНЧ", {287, 187, 20, 8}),

    // Reference generator, and the lists the panel keeps out of sight.
    Group("Генератор", {322, 90, 72, 36}),
    List(ids::kGenerator, {330, 101, 57, 18}),
    List(ids::kStartSource, {331, 130, 57, 18}, kHidden),
    Group("ComPort", {322, 152, 72, 48}, kHidden),
    List(ids::kComPortList, {331, 164, 55, 28}, kHidden),

    // Measurement modes: labels under the first two rows, beside the third.
    Group("Режимы", {23, 204, 142, 90}),
    Radio(1016, 1016, {31, 215, 16, 8}),
    Label("f", {31, 225, 12, 8}),
    Radio(1019, 1016, {75, 215, 16, 8}),
    Label("T", {75, 225, 12, 8}),
    Radio(1020, 1016, {115, 215, 16, 8}),
    Label("Тимп", {115, 225, 40, 8}),
    Radio(1030, 1016, {31, 242, 16, 8}),
    Label("Отношение", {31, 252, 43, 8}),
    Radio(1031, 1016, {75, 242, 16, 8}),
    Label("Тахометр", {75, 252, 39, 8}),
    Radio(1032, 1016, {115, 242, 16, 8}),
    Label("Скважн", {115, 252, 40, 8}),
    Radio(1091, 1016, {31, 279, 16, 8}),
    Label("Счет", {49, 279, 24, 8}),
    Radio(1113, 1016, {75, 279, 16, 8}),
    Label("Калибровка", {93, 279, 56, 8}),

    // Messages.
    Group("Сообщения", {175, 202, 219, 43}),
    Ctl(ids::kMessage, Kind::kBorderedStatic, "", {183, 215, 202, 26}, kBorder),

    // Trigger level: the spin's buddy is the edit just before it.
    Group("Уровень", {175, 249, 94, 56}),
    Ctl(ids::kLevelText, Kind::kEdit, "", {189, 265, 53, 17}, kBorder),
    Ctl(ids::kLevelSpin, Kind::kSpin, "", {244, 265, 11, 17}, kAutoBuddy | kArrowKeys),
    Ctl(ids::kLevelReset, Kind::kPushButton, "Сброс", {214, 286, 40, 14}),

    // Calibration.
    Group("Калибровка", {303, 250, 92, 55}),
    Ctl(ids::kCalibrationText, Kind::kEdit, "", {318, 266, 54, 17}, kBorder),
    Ctl(ids::kCalibrationSpin, Kind::kSpin, "", {374, 265, 11, 17}, kAutoBuddy | kArrowKeys),
    Ctl(ids::kCalibrationSave, Kind::kPushButton, "Сохранить", {340, 286, 46, 14}),

    // Launch.
    Group("Запуск", {23, 301, 142, 25}),
    Radio(1066, 1066, {31, 314, 16, 8}),
    Label("Авт", {49, 314, 24, 8}),
    Radio(1067, 1066, {76, 313, 16, 8}),
    Label("Однокр", {94, 313, 27, 8}),
    Ctl(ids::kStart, Kind::kPushButton, "", {121, 313, 16, 8}, kGroup),
    Label("Пуск", {139, 313, 22, 8}),

    Check(ids::kTestMeasure, "Тест/Измер", {223, 312, 51, 14}, kMultiline | kGroup),
    Check(ids::kMemory, "Память", {281, 312, 51, 14}),
    Ctl(ids::kConfigButton, Kind::kPushButton, "Конфигурация", {339, 312, 55, 14}),
};

constexpr Control kAbout[] = {
    Picture(ids::kPanelIcon, {11, 17, 20, 20}),
    Label("Kolvane " KOLVANE_VERSION, {40, 10, 130, 8}),
    Label("Frequency counter front panel", {40, 25, 130, 8}),
    Ctl(1, Kind::kDefPushButton, "OK", {178, 7, 50, 14}, kGroup),
};

constexpr Control kCount[] = {
    List(ids::kDialogList, {15, 15, 80, 40}, kSorted),
    Ctl(1, Kind::kDefPushButton, "OK", {29, 60, 50, 14}),
};

constexpr Control kDuration[] = {
    List(ids::kDialogList, {17, 15, 66, 40}, kSorted),
    Ctl(1, Kind::kPushButton, "OK", {25, 60, 50, 14}),
};

constexpr Control kRatio[] = {
    Ctl(1, Kind::kDefPushButton, "OK", {41, 122, 50, 14}),
    List(ids::kDialogList, {15, 14, 75, 40}),
    Group("Сообщение", {15, 64, 76, 49}),
    Ctl(ids::kDialogMessage, Kind::kBorderedStatic, "", {21, 77, 63, 29}, kBorder),
};

using namespace dialog_style;
constexpr unsigned kModeDialog = kPopup | kCaption | kModalFrame;

constexpr DialogTemplate kTemplates[] = {
    {ids::kAboutDialog, "About Kolvane", 235, 55, kPopup | kCaption | kSysMenu | kModalFrame,
     "MS Sans Serif", 8, 1033, kAbout},
    {ids::kPanelDialog, "", 417, 341,
     kPopup | kCaption | kSysMenu | kMinimizeBox | kMaximizeBox | kModalFrame | kAppWindow,
     "MS Sans Serif", 8, 1049, kPanel},
    {ids::kDurationDialog, "Измерение длительности", 101, 90, kModeDialog, "MS Sans Serif", 8, 1049,
     kDuration},
    {ids::kRatioDialog, "Отношение", 108, 149, kModeDialog, "MS Sans Serif", 8, 1049, kRatio},
    {ids::kCountDialog, "Счет", 110, 90, kModeDialog, "MS Sans Serif", 8, 1049, kCount},
};

}  // namespace

std::span<const DialogTemplate> Templates() {
  return kTemplates;
}

const DialogTemplate* FindTemplate(int id) {
  const auto it = std::find_if(std::begin(kTemplates), std::end(kTemplates),
                               [id](const DialogTemplate& t) { return t.id == id; });
  return it == std::end(kTemplates) ? nullptr : &*it;
}

const Control* FindControl(const DialogTemplate& dialog, int id) {
  const auto it = std::find_if(dialog.controls.begin(), dialog.controls.end(),
                               [id](const Control& c) { return c.id == id; });
  return it == dialog.controls.end() ? nullptr : &*it;
}

}  // namespace kolvane::layout
