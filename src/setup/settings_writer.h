#pragma once
// Writes a set-up's answers into the settings folder in the files' usual form (code page 932, CR
// LF), through the program's profile writer: every other line and comment stays as it was.
//
// ZUZOR.INI belongs to the product: it is created when missing, and an existing one only gets the
// keys it lacks. In MSDE_DBTOOL.INI only the keys the answers cover change; the ODBC driver, the
// debug options, Iniflg and [BACKUPTIME] stay. Each file is prepared beside itself and replaced
// in one step, so that a resident copy reloading it meanwhile never sees half of the answers.

#include "core/context.h"
#include "setup/answers.h"

#include <string>
#include <vector>

namespace setup {

struct WriteResult {
    std::string error;              // why the files were not (all) written; "" on success
    std::vector<std::string> lines; // what was done, one line per file, for the person at the terminal
};

// A value the files cannot hold as given: one that code page 932 cannot represent (it would be
// stored as "?"), or a line end. Returns the key with the reason, or "".
std::string unwritableValue(const Answers& answers);

// A new password is enciphered under the folder's key file, made when missing.
WriteResult writeAnswers(const core::ProgramContext& ctx, const Answers& answers);

} // namespace setup
