#pragma once
// The server side of the restore check: reading backup headers and file lists, restoring into the
// scratch database, checking and dropping it. Every statement that names a database names the
// scratch one: the check has no way to touch any other.

#include "core/context.h"
#include "data/connection.h"
#include "restore/chain.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace restore {

// The reserved name the chains are restored under; the product never uses it.
inline constexpr std::string_view kScratchDatabase = "encrt_restore_check";

// One file of a backup set, as RESTORE FILELISTONLY lists it.
struct SetFile {
    std::string logicalName;
    char type = 'D'; // D data, L log, S and F for FILESTREAM and full-text
    std::uint64_t size = 0;
};

class ScratchServer {
public:
    explicit ScratchServer(const core::ProgramContext& ctx);

    // Logs in with the product's login to the server of ZUZOR.INI; false with error().
    bool open();
    const std::string& error() const { return error_; }
    const core::ProgramContext& context() const { return ctx_; }

    std::optional<SetHeader> header(const std::filesystem::path& file);
    std::optional<std::vector<SetFile>> fileList(const std::filesystem::path& file);
    // The server's default data folder (InstanceDefaultDataPath).
    std::optional<std::string> defaultDataFolder();

    // Whether the scratch database exists (a crash may have left it).
    std::optional<bool> scratchExists();
    // RESTORE DATABASE/LOG <scratch> FROM DISK = file WITH [MOVE …,] NORECOVERY|RECOVERY, CHECKSUM.
    bool restoreStep(const BackupFile& file, const std::vector<std::pair<std::string, std::string>>& moves, bool last);
    // DBCC CHECKDB (<scratch>) WITH NO_INFOMSGS, ALL_ERRORMSGS.
    bool checkScratch();
    bool dropScratch();

private:
    bool run(std::string_view sql);
    bool query(std::string_view sql, data::ResultTable& table);

    const core::ProgramContext& ctx_;
    data::Connection connection_;
    std::string error_;
};

// A T-SQL string literal: N'…' with quotes doubled.
std::string sqlText(std::string_view text);

} // namespace restore
