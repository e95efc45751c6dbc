// The panel's texts that several tests compare against, byte for byte.
#pragma once

#include <string>

namespace kolvane::test {

inline const std::string kStopText = "          СТОП          ";
inline const std::string kInterrupted =
    "Измерения по USB прерваны. Для дальнейшей работы запросите конфигурацию прибора нажатием "
    "кнопки <Конфиг.>";

}  // namespace kolvane::test
