#pragma once
// Writing the dialog's values to MSDE_DBTOOL.INI (and the temporary-log term to ZUZOR.INI)
// through the profile primitives, key by key. Each stops at the first key that cannot be written
// (after its one message 3024) and answers false; what was written before stays written.

#include "core/context.h"
#include "settings_dialog/form_values.h"

#include <string>

namespace settings_dialog {

// The ticked databases in list order, joined by TAB.
std::string selectedDatabases(const FormValues& v);

// [Schedule], the three kinds ("NON" for a kind that is off) and ZUZOR.INI [ENCNT] MAILSRLOGTERM.
bool fnSaveSchedule(const core::ProgramContext& ctx, const FormValues& v);

// [FILE_COPY] EXECUTE; the folders and the external term only when copying is on, so that they
// stay stored for the next time it is switched on.
bool fnSaveFileCopy(const core::ProgramContext& ctx, const FormValues& v);

bool fnSaveSettings(const core::ProgramContext& ctx, const FormValues& v);

} // namespace settings_dialog
