#include "scheduler/context.h"

#include "common/string_utils.h"
#include "scheduler/settings.h"

namespace scheduler {

ProgramContext::ProgramContext(platform::Clock& c, platform::UiSink& u, std::filesystem::path dir)
    : clock(c), ui(u), programDir(std::move(dir)) {}

platform::LocalTime ProgramContext::runTime() const {
    return currentTick ? *currentTick : clock.now();
}

data::DataEnv ProgramContext::dataEnv() const {
    data::DataEnv env;
    env.clock = &clock;
    env.ui = &ui;
    env.programDir = programDir;
    if (const std::string driver = common::trim(fnGetScheduleIni(*this, "ODBC", "DRIVER")); !driver.empty())
        env.odbcDriver = driver;
    return env;
}

void ProgramContext::releaseDatabase() {
    database.reset();
}

} // namespace scheduler
