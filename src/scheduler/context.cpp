#include "scheduler/context.h"

#include "common/string_utils.h"
#include "platform/local_filesystem.h"
#include "scheduler/settings.h"

namespace scheduler {

namespace {
// Holds no state: one instance serves every context that does not bring its own.
const platform::LocalFileSystem kRealFiles;
} // namespace

ProgramContext::ProgramContext(platform::Clock& c, platform::UiSink& u, const platform::FileSystem& f,
                               std::filesystem::path dir)
    : clock(c), ui(u), files(f), programDir(std::move(dir)) {}

ProgramContext::ProgramContext(platform::Clock& c, platform::UiSink& u, std::filesystem::path dir)
    : ProgramContext(c, u, kRealFiles, std::move(dir)) {}

data::DataEnv ProgramContext::dataEnv() const {
    data::DataEnv env;
    env.clock = &clock;
    env.ui = &ui;
    env.programDir = programDir;
    if (const std::string driver = common::trim(fnGetScheduleIni(*this, "ODBC", "DRIVER")); !driver.empty())
        env.odbcDriver = driver;
    return env;
}

} // namespace scheduler
