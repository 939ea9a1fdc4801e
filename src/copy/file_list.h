#pragma once
// The listing every retention and same-day clean-up starts from: the files matching a
// folder-and-wildcard pattern, optionally below sub-folders too, but never inside the copies of
// the certificate and technical-documents folders that the copy run keeps at its targets.

#include "platform/filesystem.h"
#include "scheduler/context.h"

#include <string>
#include <string_view>
#include <vector>

namespace copy {

// Appends to `list` the full paths of the files matching `pathPattern` (folder + "/" + pattern;
// an empty pattern means every file). A folder's own files come first, in NTFS order, then each
// sub-folder's files as one block. False when the pattern has no folder or a folder cannot be
// read; the entries found until then stay in the list. Pending window events are let through
// once per folder.
bool fnGetFileList(scheduler::ProgramContext& ctx, const platform::FileSystem& fs, std::string_view pathPattern,
                   bool recurse, std::vector<std::string>& list);

// The two folders a descending listing leaves out: target setting + "/" + name of the source
// folder (the name only when the source exists).
struct ExcludedFolders {
    std::string certificateCopy;
    std::string documentsCopy;
};
ExcludedFolders excludedCopyFolders(const scheduler::ProgramContext& ctx, const platform::FileSystem& fs);

} // namespace copy
