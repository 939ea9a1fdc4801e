#pragma once
// The product's standard messages: a code, up to three inserted texts, and a catalogue of
// Japanese texts shown to the user.

#include "platform/ui_sink.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace common {

// The text a person reads for `code` with the inserted texts in place.
std::string messageText(int code, std::string_view text1, std::string_view text2, std::string_view text3);

// The icon fitting the code: failures of the system are critical, wrong or missing entries
// exclamations.
platform::MsgIcon messageIcon(int code);

// Shows message `code` through the sink and returns when the user has closed it. `option` is
// always 0 in this program. The result is 0; no caller looks at it.
std::int32_t fnQRMES01_DispMessage(platform::UiSink& ui, std::int32_t code, std::int32_t option, std::string_view text1,
                                   std::string_view text2, std::string_view text3);

} // namespace common
