#include "core/context.h"

#include "common/string_utils.h"
#include "core/settings.h"

namespace core {

ProgramContext::ProgramContext(platform::Clock& c, platform::UiSink& u, const platform::FileSystem& f,
                               std::filesystem::path dir)
    : clock(c), ui(u), files(f), programDir(std::move(dir)) {}

data::DataEnv ProgramContext::dataEnv() const {
    data::DataEnv env;
    env.clock = &clock;
    env.ui = &ui;
    env.programDir = programDir;
    if (const std::string driver = common::trim(fnGetScheduleIni(*this, "ODBC", "DRIVER")); !driver.empty())
        env.odbcDriver = driver;
    return env;
}

} // namespace core
