#pragma once
// The listing every retention and same-day clean-up starts from: the files matching a
// folder-and-wildcard pattern, optionally below sub-folders too, but never inside the copies of
// the certificate and technical-documents folders that the copy run keeps at its targets.

#include "core/context.h"
#include "core/daily_log.h"
#include "core/run_report.h"
#include "platform/filesystem.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace copy {

// A sub-folder a descending listing could not read, and why.
struct UnreadableFolder {
    std::string path;
    std::string reason;
};

// Appends to `list` the full paths of the files matching `pathPattern` (folder + "/" + pattern;
// an empty pattern means every file). A folder's own files come first, in NTFS order, then each
// sub-folder's files as one block. False when the pattern has no folder or its folder cannot be
// read; the entries found until then stay in the list. A sub-folder that cannot be read (a
// root-only lost+found on a backup disk) is left out and named in `unreadable`, when given, and
// the listing goes on: one such folder must not switch off every retention below the root.
// The run's progress callback is called once per folder. The settings whose folder copies are
// left out are the run's.
bool fnGetFileList(const core::ProgramContext& ctx, const core::RunPlan& plan, const platform::FileSystem& fs,
                   std::string_view pathPattern, bool recurse, std::vector<std::string>& list,
                   std::vector<UnreadableFolder>* unreadable = nullptr);

// fnGetFileList handing each file to `onFile` as it is found, with its last-modified time
// (nullopt when it could not be read: the file went away since). `folder` ends in "/"; the full
// path is folder + file.name. A retention pass reads tens of thousands of times: each is read
// relative to the open folder, and no path is put together for a file that is kept.
using ListedFileVisitor = std::function<void(const std::string& folder, const platform::DirEntry& file)>;
bool fnVisitFileList(const core::ProgramContext& ctx, const core::RunPlan& plan, const platform::FileSystem& fs,
                     std::string_view pathPattern, bool recurse, const ListedFileVisitor& onFile,
                     std::vector<UnreadableFolder>* unreadable = nullptr);

// The lines of each folder a listing left out: "結果：失敗　ﾌｫﾙﾀﾞ名：<path>", then
// "Err.Description：<reason>"; a folder the run has already written about is not written again.
void logUnreadableFolders(core::DailyLog& log, const core::RunPlan& plan,
                          const std::vector<UnreadableFolder>& unreadable);

// The two folders a descending listing leaves out: target setting + "/" + name of the source
// folder (the name only when the source exists).
struct ExcludedFolders {
    std::string certificateCopy;
    std::string documentsCopy;
};
ExcludedFolders excludedCopyFolders(const core::ProgramContext& ctx, const core::Settings& settings,
                                    const platform::FileSystem& fs);
// Whether `folder` is one of them, however its separators are written.
bool isExcludedCopyFolder(const ExcludedFolders& excluded, std::string_view folder);

} // namespace copy
