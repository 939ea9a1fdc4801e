#pragma once
// Where the product keeps the folders the copy run takes to the external folder.

#include "core/context.h"

#include <filesystem>
#include <string>

namespace core {

// ZUZOR.INI [SABRELUND] PATH, trimmed: the product's install folder.
std::string productFolder(const ProgramContext& ctx);

// DEDoda.ini in the install folder ("/" appended when missing), found without regard to case.
std::filesystem::path dedodaIniPath(const ProgramContext& ctx);

// DEDoda.ini [keymanage] KeyRoot, trimmed: the certificate folder.
std::string certificateSourceFolder(const ProgramContext& ctx);

// ZUZOR.INI [GIJYUTU] PATH, trimmed: the technical-documents folder.
std::string documentsSourceFolder(const ProgramContext& ctx);

} // namespace core
