#include "copy/file_list.h"

#include "common/string_utils.h"
#include "core/product_folders.h"

namespace copy {
namespace {

// Repeated and trailing separators do not make a folder another one.
std::string normalized(std::string_view path) {
    std::string out;
    for (char c : common::trim(path))
        if (c != '/' || out.empty() || out.back() != '/')
            out += c;
    while (out.size() > 1 && out.back() == '/')
        out.pop_back();
    return out;
}

std::string copyFolderOf(const platform::FileSystem& fs, const std::string& targetSetting,
                         const std::string& sourceFolder) {
    std::string out = targetSetting;
    if (common::trim(targetSetting).empty() || common::trim(targetSetting).back() != '/')
        out += '/';
    if (!sourceFolder.empty() && fs.folderExists(sourceFolder))
        out += platform::folderCopyName(sourceFolder); // the name the folder copy gives it
    return normalized(out);
}

struct Listing {
    const core::RunPlan& plan;
    const platform::FileSystem& fs;
    bool recurse;
    bool withTimes;
    ExcludedFolders excluded;
    const ListedFileVisitor& onFile;
    std::vector<UnreadableFolder>* unreadable;

    // One pass over a folder: its matching files first, then its sub-folders.
    std::vector<platform::DirEntry> entriesOf(const std::string& prefix, const std::string& pattern,
                                              std::error_code& ec) const {
        if (withTimes)
            return fs.listWithTimes(prefix, pattern, ec);
        auto entries = fs.list(prefix, "*", platform::EntryKinds::Both, ec);
        std::erase_if(entries, [&](const platform::DirEntry& e) {
            return !e.isFolder && !platform::wildcardMatch(pattern, e.name);
        });
        return entries;
    }

    // False only when the folder at the top of the listing cannot be read.
    bool visit(const std::string& prefix, const std::string& pattern, bool top) {
        plan.breathe();
        std::error_code ec;
        auto entries = entriesOf(prefix, pattern, ec);
        if (ec && top)
            return false;
        if (ec) {
            // Nothing of a folder that failed part-way is listed: what it holds is not known.
            if (unreadable)
                unreadable->push_back({prefix.substr(0, prefix.size() - 1), ec.message()});
            return true;
        }
        for (const auto& e : entries)
            if (!e.isFolder)
                onFile(prefix, e);
        if (!recurse)
            return true;
        for (const auto& e : entries) {
            if (!e.isFolder)
                continue;
            const std::string sub = prefix + e.name;
            if (isExcludedCopyFolder(excluded, sub))
                continue;
            visit(sub + "/", pattern, false);
        }
        return true;
    }
};

bool listFiles(const core::ProgramContext& ctx, const core::RunPlan& plan, const platform::FileSystem& fs,
               std::string_view pathPattern, bool recurse, bool withTimes, const ListedFileVisitor& onFile,
               std::vector<UnreadableFolder>* unreadable) {
    const auto slash = pathPattern.rfind('/');
    if (slash == std::string_view::npos)
        return false;
    const std::string prefix(pathPattern.substr(0, slash + 1));
    std::string pattern(pathPattern.substr(slash + 1));
    if (pattern.empty())
        pattern = "*.*";
    // The exclusions depend only on the settings files: work them out once per listing.
    const auto excluded = recurse ? excludedCopyFolders(ctx, plan.settings, fs) : ExcludedFolders{};
    Listing listing{plan, fs, recurse, withTimes, excluded, onFile, unreadable};
    return listing.visit(prefix, pattern, true);
}

} // namespace

ExcludedFolders excludedCopyFolders(const core::ProgramContext& ctx, const core::Settings& settings,
                                    const platform::FileSystem& fs) {
    return {copyFolderOf(fs, settings.keyFileDir, core::certificateSourceFolder(ctx)),
            copyFolderOf(fs, settings.gijyutuFileDir, core::documentsSourceFolder(ctx))};
}

bool isExcludedCopyFolder(const ExcludedFolders& excluded, std::string_view folder) {
    const std::string candidate = normalized(folder);
    return candidate == excluded.certificateCopy || candidate == excluded.documentsCopy;
}

bool fnGetFileList(const core::ProgramContext& ctx, const core::RunPlan& plan, const platform::FileSystem& fs,
                   std::string_view pathPattern, bool recurse, std::vector<std::string>& list,
                   std::vector<UnreadableFolder>* unreadable) {
    const auto add = [&](const std::string& folder, const platform::DirEntry& file) {
        list.push_back(folder + file.name);
    };
    return listFiles(ctx, plan, fs, pathPattern, recurse, false, add, unreadable);
}

bool fnVisitFileList(const core::ProgramContext& ctx, const core::RunPlan& plan, const platform::FileSystem& fs,
                     std::string_view pathPattern, bool recurse, const ListedFileVisitor& onFile,
                     std::vector<UnreadableFolder>* unreadable) {
    return listFiles(ctx, plan, fs, pathPattern, recurse, true, onFile, unreadable);
}

void logUnreadableFolders(core::DailyLog& log, const core::RunPlan& plan,
                          const std::vector<UnreadableFolder>& unreadable) {
    for (const auto& folder : unreadable) {
        if (plan.unreadable && !plan.unreadable->firstMeeting(folder.path))
            continue;
        log.line("結果：失敗" + std::string(core::kIdeographicSpace) + "ﾌｫﾙﾀﾞ名：" + folder.path);
        core::logErrorDescription(log, folder.reason);
    }
}

} // namespace copy
