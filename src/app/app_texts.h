#pragma once
// Names and texts of the resident program that several classes share.

#include <string_view>

namespace app {

inline constexpr std::string_view kProgramName = "encrt-schedule-backup";

// The hidden window's caption; it also names the single-instance lock.
inline constexpr std::string_view kResidentCaption = "スケジュールバックアップ常駐画面";
inline constexpr std::string_view kTrayTip = "スケジュールバックアップ常駐";
inline constexpr std::string_view kMenuSetUp = "設定(&S)";
inline constexpr std::string_view kMenuEnd = "終了(&X)";

} // namespace app
