// Dialog, control, string and picture identifiers of the panel's resources.
#pragma once

namespace kolvane::ids {

// Templates.
inline constexpr int kAboutDialog = 100;
inline constexpr int kPanelDialog = 102;
inline constexpr int kDurationDialog = 143;
inline constexpr int kRatioDialog = 144;
inline constexpr int kCountDialog = 148;

// Strings, icons and pictures.
inline constexpr int kAboutMenuString = 101;
inline constexpr int kPanelIcon = 128;
inline constexpr int kEmblemPicture = 129;
inline constexpr int kTitlePicture = 130;
inline constexpr int kNamePictureLeft = 131;
inline constexpr int kRisingEdgePicture = 139;
inline constexpr int kFallingEdgePicture = 140;
inline constexpr int kNamePictureRight = 160;

// System menu command of the About entry.
inline constexpr int kAboutCommand = 16;

// Panel controls.
inline constexpr int kProgress = 1000;
inline constexpr int kTimestamp1 = 1001;  // ..1005
inline constexpr int kTimestamp5 = 1005;
inline constexpr int kGate1 = 1006;  // ..1010
inline constexpr int kGate5 = 1010;
inline constexpr int kChannelA = 1013;
inline constexpr int kChannelB = 1014;
inline constexpr int kChannelC = 1015;
inline constexpr int kModeFrequency = 1016;
inline constexpr int kModePeriod = 1019;
inline constexpr int kModePulseDuration = 1020;
inline constexpr int kConfigButton = 1024;
inline constexpr int kTestMeasure = 1025;
inline constexpr int kModeRatio = 1030;
inline constexpr int kModeTachometer = 1031;
inline constexpr int kModeDutyCycle = 1032;
inline constexpr int kStart = 1041;
inline constexpr int kMemory = 1050;
inline constexpr int kMessage = 1053;
inline constexpr int kGenerator = 1056;
inline constexpr int kLaunchAuto = 1066;
inline constexpr int kLaunchSingle = 1067;
inline constexpr int kImpedance = 1069;
inline constexpr int kCoupling = 1070;
inline constexpr int kAttenuator = 1071;
inline constexpr int kLowPassFilter = 1073;
inline constexpr int kModeCount = 1091;
inline constexpr int kReadingDisplay = 1092;
inline constexpr int kSlope = 1095;
inline constexpr int kLevelText = 1104;
inline constexpr int kLevelSpin = 1105;
inline constexpr int kCalibrationText = 1106;
inline constexpr int kCalibrationSpin = 1108;
inline constexpr int kCalibrationSave = 1109;
inline constexpr int kLevelReset = 1111;
inline constexpr int kModeCalibration = 1113;
inline constexpr int kStartSource = 1114;
inline constexpr int kComPortList = 1116;
inline constexpr int kSerialNumber = 1119;

// Mode dialogs: their variant list reuses 1069, the ratio message 1053.
inline constexpr int kDialogList = 1069;
inline constexpr int kDialogMessage = 1053;

}  // namespace kolvane::ids
