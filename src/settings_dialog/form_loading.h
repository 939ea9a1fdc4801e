#pragma once
// Filling the dialog's values from the settings files and the server's database list, in the
// order the dialog runs them when it opens: clear, list and defaults, schedule, file copy.

#include "core/context.h"
#include "settings_dialog/form_values.h"

#include <string>
#include <vector>

namespace settings_dialog {

void sbClearSchedule(FormValues& v);
void sbClearFileCopy(FormValues& v);

// One unticked item per server database, and the schedule a file without one would get: full
// on Monday at 09:00, differential Tuesday to Friday at 09:00, log on Friday at 11:00 (the kinds
// themselves stay off).
void sbSetDbListAndDefaults(FormValues& v, const std::vector<std::string>& serverDatabases);

// MSDE_DBTOOL.INI [Schedule] and the three kinds; the temporary-log term falls back to
// ZUZOR.INI. Needs `serverDatabases` to be the list shown.
void sbLoadSchedule(const core::ProgramContext& ctx, const std::vector<std::string>& serverDatabases, FormValues& v);

// MSDE_DBTOOL.INI [FILE_COPY] and the product's source folders, whatever the copy flag says.
void sbLoadFileCopy(const core::ProgramContext& ctx, FormValues& v);

// All of the above on a fresh set of values.
FormValues loadedValues(const core::ProgramContext& ctx, const std::vector<std::string>& serverDatabases);

} // namespace settings_dialog
