// Reading the instrument's own panel state back and setting the screen from
// it: "D1" CR is answered by "C" and 15 state bytes.
#include <array>

#include "panel/handlers/controls.h"
#include "panel/panel_dlg.h"
#include "protocol/protocol.h"
#include "resources/format.h"
#include "resources/ids.h"
#include "resources/texts.h"

namespace kolvane {

namespace {

using protocol::kPollMs;

constexpr int kUnchanged = -1;
constexpr std::uint32_t kEveryMode = 0xFFFFFFFFu;
template <class... Codes>
constexpr std::uint32_t Modes(Codes... codes) {
  return ((1u << codes) | ... | 0u);
}

// Up to three control ids; 0 marks an unused place.
using Ids = std::array<int, 3>;

enum class Gates { Unchanged, Enable, Disable };

// What a channel code or a mode code does to the panel's enabling. The time
// stamps follow the test function, are enabled or are disabled for the mode
// codes in the masks, and are left alone otherwise.
struct EnablingRule {
  int radio = kUnchanged;
  bool blankMessage = false;
  Ids enable{};
  Ids disable{};
  std::uint32_t stampsByTest = 0;
  std::uint32_t stampsOn = 0;
  std::uint32_t stampsOff = 0;
  Gates gates = Gates::Unchanged;
};

struct ChannelRule {
  std::uint8_t code;
  EnablingRule rule;
};

constexpr std::array<ChannelRule, 3> kChannelRules{{
    {protocol::kChannelA,
     {0,
      true,
      {ids::kModePulseDuration, ids::kModePeriod, ids::kModeRatio},
      {},
      Modes(protocol::kFrequency),
      Modes(protocol::kPeriod, protocol::kDuration1, protocol::kRatio),
      0,
      Gates::Unchanged}},
    {protocol::kChannelB,
     {1,
      true,
      {ids::kModeFrequency},
      {ids::kModePeriod, ids::kModePulseDuration},
      kEveryMode,
      0,
      0,
      Gates::Enable}},
    {protocol::kChannelC,
     {2,
      false,
      {ids::kModePeriod, ids::kModePulseDuration},
      {},
      Modes(protocol::kFrequency),
      Modes(protocol::kPeriod, protocol::kDuration1),
      0,
      Gates::Unchanged}},
}};

constexpr Ids kAllChannels = kChannelRadios;
constexpr Ids kChannelsAC{ids::kChannelA, ids::kChannelC};
constexpr Ids kChannelB{ids::kChannelB};

// Indexed by the mode code; codes above 11 change nothing.
constexpr std::array<EnablingRule, 12> kModeRules{{
    {0, false, kAllChannels, {}, kEveryMode, 0, 0, Gates::Enable},        // frequency
    {1, false, kChannelsAC, kChannelB, 0, kEveryMode, 0, Gates::Enable},  // period
    {2, false, kChannelsAC, kChannelB, 0, 0, 0, Gates::Unchanged},        // duration 1
    {2, false, kChannelsAC, kChannelB, 0, 0, 0, Gates::Unchanged},        // duration 2
    {2, false, kChannelsAC, kChannelB, 0, 0, 0, Gates::Unchanged},        // duration 3
    {2, false, kChannelsAC, kChannelB, 0, 0, 0, Gates::Unchanged},        // duration 4
    {6, false, {}, {}, 0, 0, 0, Gates::Unchanged},                        // count by duration
    {6, false, {}, {}, 0, 0, 0, Gates::Unchanged},                        // count by period
    {kUnchanged, false, {}, {}, 0, 0, 0, Gates::Unchanged},               // count variant
    {3, false, kAllChannels, {}, kEveryMode, 0, 0, Gates::Enable},        // ratio
    {4, false, {}, {}, 0, 0, kEveryMode, Gates::Disable},                 // tachometer
    {5, false, {}, {}, 0, 0, 0, Gates::Unchanged},                        // duty cycle
}};

}  // namespace

void CPanelDlg::OnConfigButton() {
  // After the bridge was pulled, the same port is opened again first; the
  // readback then tells whether the instrument is back.
  if (session.Lost() && session.Reopen()) linkLossShown = false;
  st.configRequested = 1;
  StartTimer(kPollMs);
}

StateReply CPanelDlg::ReadBackConfiguration() {
  IWindow& w = Wnd();

  st.calibrationMode = 0;
  w.ProgressSetPos(ids::kProgress, 0);
  ShowMessage(Blanks(36));

  const StateReply reply = counter.ReadBack();
  if (reply == StateReply::NoReply) {
    ShowMessage(std::string(kBadStateText) + Blanks(4));
  } else if (reply == StateReply::Short) {
    // Part of a state is not a state: apply none of it.
    ShowMessage(std::string(kBadStateText) + Blanks(2));
  } else {
    st.configRequested = 0;
    w.SetFont(ids::kReadingDisplay, readingFont);
    st.readingText = Blanks(20);
    w.SetText(ids::kReadingDisplay, st.readingText);

    const protocol::StateFields& b = st.readBack;
    const std::uint8_t mode = b.mode;
    const std::uint8_t channel = b.channel;
    InputSettings* input = counter.ActiveInput();

    // The counter has taken the instrument's settings into the state; the
    // controls follow them here.
    timestampRadio = b.timestamp;
    gateRadio = b.gate;
    w.ListSetCurSel(ids::kGenerator, b.generator);
    if (input != nullptr) w.ListSetCurSel(ids::kImpedance, input->impedance);
    launchRadio = b.launch;
    w.EnableControl(ids::kLaunchAuto, b.launch == 0);
    if (input != nullptr) {
      w.ListSetCurSel(ids::kAttenuator, input->attenuator);
      w.ListSetCurSel(ids::kCoupling, input->coupling);
      filterCheck = input->lowPassFilter;
      slopeCheck = input->slope;
    }
    if (input != nullptr) {
      // The spin keeps a byte beyond 127 to its range; the text shows where
      // the spin stands, as for the calibration below.
      w.SpinSetPos(ids::kLevelSpin, b.level);
      const int level = w.SpinGetPos(ids::kLevelSpin);
      w.SetText(ids::kLevelText, LevelText(level));
    }
    w.SpinSetPos(ids::kCalibrationSpin, b.calibration);
    const int calibration = w.SpinGetPos(ids::kCalibrationSpin);
    w.SetText(ids::kCalibrationText, CalibrationText(calibration));
    st.calibrationCode = static_cast<std::uint8_t>(calibration);

    const auto apply = [&](const EnablingRule& r, int& radio) {
      if (r.radio != kUnchanged) radio = r.radio;
      if (r.blankMessage) ShowMessage(Blanks(24));
      for (int id : r.enable) {
        if (id != 0) w.EnableControl(id, true);
      }
      for (int id : r.disable) {
        if (id != 0) w.EnableControl(id, false);
      }
      // kEveryMode must hold for codes beyond the mask's width as well.
      const auto covers = [mode](std::uint32_t mask) {
        return mask == kEveryMode || (mode < 32 && ((mask >> mode) & 1u) != 0);
      };
      if (covers(r.stampsByTest) || covers(r.stampsOn) || covers(r.stampsOff)) {
        const bool on = covers(r.stampsByTest) ? testMeasureToggle == 1 : covers(r.stampsOn);
        for (int id = ids::kTimestamp1; id <= ids::kTimestamp5; ++id) w.EnableControl(id, on);
      }
      if (r.gates != Gates::Unchanged) {
        for (int id = ids::kGate1; id <= ids::kGate5; ++id) {
          w.EnableControl(id, r.gates == Gates::Enable);
        }
      }
    };
    for (const auto& c : kChannelRules) {
      if (c.code == channel) apply(c.rule, channelRadio);
    }
    if (mode < kModeRules.size()) apply(kModeRules[mode], modeRadio);
  }

  UpdateData(false);
  st.measurementArmed = 0;
  return reply;
}

}  // namespace kolvane
