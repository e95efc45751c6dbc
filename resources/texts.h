// The panel's own texts that the handlers and the counter share: what a
// setting that failed or was refused says. Byte for byte, trailing blanks
// included.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "protocol/protocol.h"

namespace kolvane {

// The failure texts. Handlers tell theirs apart only by the trailing blanks.
inline std::string NoResponseText(std::size_t blanks) {
  return "Нет отклика от прибора" + std::string(blanks, ' ');
}
inline std::string NoUsbText(std::size_t blanks) {
  return "Нет передачи данных по USB" + std::string(blanks, ' ');
}
inline constexpr const char* kTxBufferEmptyText = "Буфер передачи пуст.";

// What the message field shows when the setting's acknowledgement failed;
// empty for a setting whose dialog has no message field.
inline std::string FailureText(const protocol::SettingFrame& frame) {
  switch (frame.failure) {
    case protocol::Failure::kNoResponse:
      return NoResponseText(frame.failureBlanks);
    case protocol::Failure::kNoUsb:
      return NoUsbText(frame.failureBlanks);
    case protocol::Failure::kTxBufferEmpty:
      return kTxBufferEmptyText;
    case protocol::Failure::kUnreported:
      break;
  }
  return {};
}

// A channel other than C refused in DL4; the last letter is the Cyrillic Es.
inline constexpr const char* kSwitchToChannelCText = "Включите канал С ";
// The level spin refused while the test function is on.
inline constexpr const char* kSwitchToMeasureText = "Включите измерение";
// The ratio dialog's refusals: the variant does not suit the active channel.
inline constexpr const char* kChannelBOnText = "Включен канал B. Выберите B/C.  ";
inline constexpr const char* kChannelAOnText = "Включен канал A. Выберите A/C или C/A.  ";
inline constexpr const char* kChannelCOnText = "Включен канал C. Выберите A/C или C/A.  ";

// The message field cleared.
inline constexpr std::size_t kClearedMessageBlanks = 36;

// The configuration readback did not get a whole state.
inline constexpr std::string_view kBadStateText =
    "Неверно получено состояние панели, нажмите кнопку <Конфигурация>.";
// The instrument reported an interruption: the message and the display.
inline constexpr std::string_view kInterruptedText =
    "Измерения по USB прерваны. Для дальнейшей работы запросите конфигурацию прибора нажатием "
    "кнопки <Конфиг.>";
inline constexpr std::string_view kStopText = "          СТОП          ";
// Count mode keeps the channel it has.
inline constexpr const char* kNoChannelsInCount =
    " В режиме СЧЕТ переключение каналов невозможно  ";
// Start in single shot.
inline constexpr const char* kMeasuringText = "Измерение.";

}  // namespace kolvane
