#include "restore/chain.h"

#include "core/backup_names.h"
#include "platform/ascii.h"

#include <algorithm>

namespace restore {
namespace {

using core::BackupKind;

int typeOf(BackupKind kind) {
    return kind == BackupKind::Full ? 1 : kind == BackupKind::Diff ? 5 : 2;
}

// The order in which one run makes its kinds.
int rank(BackupKind kind) {
    return kind == BackupKind::Full ? 0 : kind == BackupKind::Diff ? 1 : 2;
}

bool madeBefore(const BackupFile& a, const BackupFile& b) {
    return a.stamp != b.stamp ? a.stamp < b.stamp : rank(a.kind) < rank(b.kind);
}

std::string kindWords(int type) {
    return type == 1   ? "a full backup"
           : type == 5 ? "a differential backup"
           : type == 2 ? "a log backup"
                       : "another kind";
}

} // namespace

std::optional<BackupFile> parseBackupFileName(std::string_view database, const std::filesystem::path& file) {
    const auto name = core::parseBackupFileName(file.filename().string());
    if (!name || name->database != database)
        return std::nullopt;
    return BackupFile{file, name->kind, platform::formatYmdHms(name->stamp)};
}

std::vector<BackupFile> newestChain(std::vector<BackupFile> files) {
    std::sort(files.begin(), files.end(), madeBefore);
    const auto newestOf = [&](BackupKind kind, const BackupFile* after) -> const BackupFile* {
        const BackupFile* found = nullptr;
        for (const BackupFile& f : files)
            if (f.kind == kind && (!after || madeBefore(*after, f)))
                found = &f;
        return found;
    };
    const BackupFile* full = newestOf(BackupKind::Full, nullptr);
    if (!full)
        return {};
    std::vector<BackupFile> chain{*full};
    if (const BackupFile* diff = newestOf(BackupKind::Diff, full))
        chain.push_back(*diff);
    const BackupFile base = chain.back();
    for (const BackupFile& f : files)
        if (f.kind == BackupKind::Log && madeBefore(base, f))
            chain.push_back(f);
    return chain;
}

std::optional<ChainBreak> checkChain(std::string_view database, const std::vector<BackupFile>& files,
                                     const std::vector<SetHeader>& headers, std::vector<std::size_t>& used) {
    used.clear();
    std::uint64_t redo = 0; // the LSN the database has been restored to
    std::uint64_t fullCheckpoint = 0;
    for (std::size_t i = 0; i < files.size() && i < headers.size(); ++i) {
        const SetHeader& h = headers[i];
        if (!platform::equalsNoCase(h.databaseName, database))
            return ChainBreak{i, "it holds a backup of database " + h.databaseName};
        if (h.backupType != typeOf(files[i].kind))
            return ChainBreak{i, "its name says " + kindWords(typeOf(files[i].kind)) + ", but it holds " +
                                     kindWords(h.backupType)};
        switch (files[i].kind) {
        case BackupKind::Full:
            fullCheckpoint = h.checkpointLsn;
            redo = h.lastLsn;
            break;
        case BackupKind::Diff:
            if (h.differentialBaseLsn != fullCheckpoint)
                return ChainBreak{i, "its base is not the full backup " + files[0].path.filename().string() +
                                         " (base LSN " + std::to_string(h.differentialBaseLsn) + ", full backup LSN " +
                                         std::to_string(fullCheckpoint) + ")"};
            redo = h.lastLsn;
            break;
        case BackupKind::Log:
            if (h.lastLsn <= redo)
                continue; // ends before the restored base: nothing in it is needed
            if (h.firstLsn > redo)
                return ChainBreak{i, "the log chain breaks before it (it begins at LSN " + std::to_string(h.firstLsn) +
                                         ", the restore has reached LSN " + std::to_string(redo) + ")"};
            redo = h.lastLsn;
            break;
        }
        used.push_back(i);
    }
    return std::nullopt;
}

} // namespace restore
