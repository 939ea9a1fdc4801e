#include "database_state.h"

#include "reply.h"
#include "utf.h"

#include <charconv>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <unistd.h>

namespace standin {
namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kFirstLsn = 36000000000100001ull;
constexpr std::uint64_t kLsnPerChange = 100;

fs::path stateFile(const Catalog& catalog, const std::string& name) {
    fs::path file = catalog.fileOf(name);
    file.replace_extension(".state");
    return file;
}

// Bytes 24-27 of a SQLite file count its committed write transactions.
std::uint32_t readChangeCounter(const fs::path& file) {
    unsigned char bytes[4] = {};
    const int fd = ::open(file.c_str(), O_RDONLY);
    if (fd >= 0) {
        if (::pread(fd, bytes, 4, 24) != 4) {
            bytes[0] = bytes[1] = bytes[2] = bytes[3] = 0;
        }
        ::close(fd);
    }
    return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) | (std::uint32_t{bytes[2]} << 8) |
           bytes[3];
}

std::uint64_t toNumber(const std::string& text) {
    std::uint64_t value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

bool simpleByDefault(const std::string& name) {
    return iequals(name, "master") || iequals(name, "msdb") || iequals(name, "tempdb");
}

} // namespace

std::string newFamilyGuid() {
    static std::mutex mutex;
    static std::mt19937_64 random{std::random_device{}()};
    std::lock_guard lock(mutex);
    char text[37];
    const std::uint64_t a = random(), b = random();
    std::snprintf(text, sizeof text, "%08X-%04X-%04X-%04X-%012llX", static_cast<unsigned>(a >> 32),
                  static_cast<unsigned>((a >> 16) & 0xFFFF), static_cast<unsigned>(a & 0xFFFF),
                  static_cast<unsigned>(b >> 48), static_cast<unsigned long long>(b & 0xFFFFFFFFFFFFull));
    return text;
}

DatabaseState loadDatabaseState(const Catalog& catalog, const std::string& name) {
    DatabaseState state;
    std::ifstream in(stateFile(catalog, name));
    if (!in) {
        state.familyGuid = newFamilyGuid();
        state.recoveryModel = simpleByDefault(name) ? "SIMPLE" : "FULL";
        state.lsn = kFirstLsn;
        state.changeCounter = readChangeCounter(catalog.fileOf(name));
        return state;
    }
    std::map<std::string, std::string> values;
    std::string line;
    while (std::getline(in, line)) {
        if (const auto eq = line.find('='); eq != std::string::npos) {
            values[line.substr(0, eq)] = line.substr(eq + 1);
        }
    }
    state.familyGuid = values["family"];
    state.recoveryModel = values["recovery"].empty() ? "FULL" : values["recovery"];
    state.lsn = std::max(toNumber(values["lsn"]), kFirstLsn);
    state.changeCounter = static_cast<std::uint32_t>(toNumber(values["changes"]));
    state.fullCheckpointLsn = toNumber(values["full_checkpoint"]);
    state.logChainLsn = toNumber(values["log_chain"]);
    state.restoring = values["restoring"] == "1";
    state.redoLsn = toNumber(values["redo"]);
    state.restoreBaseLsn = toNumber(values["restore_base"]);
    state.differentialRestored = values["differential_restored"] == "1";
    state.dataFile = values["data_file"];
    state.logFile = values["log_file"];
    return state;
}

void saveDatabaseState(const Catalog& catalog, const std::string& name, const DatabaseState& state) {
    std::ostringstream out;
    out << "family=" << state.familyGuid << "\nrecovery=" << state.recoveryModel << "\nlsn=" << state.lsn
        << "\nchanges=" << state.changeCounter << "\nfull_checkpoint=" << state.fullCheckpointLsn
        << "\nlog_chain=" << state.logChainLsn << "\nrestoring=" << (state.restoring ? 1 : 0)
        << "\nredo=" << state.redoLsn << "\nrestore_base=" << state.restoreBaseLsn
        << "\ndifferential_restored=" << (state.differentialRestored ? 1 : 0) << "\ndata_file=" << state.dataFile
        << "\nlog_file=" << state.logFile << "\n";
    const fs::path target = stateFile(catalog, name);
    const fs::path temporary = target.string() + ".new";
    {
        std::ofstream file(temporary, std::ios::trunc);
        file << out.str();
        if (!file.flush()) {
            throw SqlError(5123, "Cannot write the state of database '" + name + "'.");
        }
    }
    std::error_code ec;
    fs::rename(temporary, target, ec);
    if (ec) {
        throw SqlError(5123, "Cannot write the state of database '" + name + "': " + ec.message());
    }
}

void forgetDatabaseState(const Catalog& catalog, const std::string& name) {
    const DatabaseState state = loadDatabaseState(catalog, name);
    std::error_code ec;
    for (const std::string& file : {state.dataFile, state.logFile}) {
        if (!file.empty()) {
            fs::remove(file, ec);
        }
    }
    fs::remove(stateFile(catalog, name), ec);
}

void advanceLsn(const Catalog& catalog, const std::string& name, DatabaseState& state) {
    const std::uint32_t counter = readChangeCounter(catalog.fileOf(name));
    if (counter != state.changeCounter) {
        const std::uint32_t changes = counter - state.changeCounter; // wraps as the counter does
        state.lsn += kLsnPerChange * std::max<std::uint64_t>(1, std::min<std::uint32_t>(changes, 1000000));
        state.changeCounter = counter;
    }
}

void refuseWhileRestoring(const Catalog& catalog, const std::string& name) {
    std::error_code ec;
    if (!fs::exists(stateFile(catalog, name), ec)) {
        return;
    }
    if (loadDatabaseState(catalog, name).restoring) {
        throw SqlError(927, "Database '" + name + "' cannot be opened. It is in the middle of a restore.");
    }
}

} // namespace standin
