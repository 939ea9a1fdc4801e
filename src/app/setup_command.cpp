#include "app/setup_command.h"

#include "app/app_texts.h"
#include "app/status_command.h"
#include "backup/db_list.h"
#include "common/password.h"
#include "core/connection.h"
#include "core/settings.h"
#include "data/connection_string.h"
#include "platform/clock.h"
#include "platform/local_filesystem.h"
#include "platform/terminal.h"
#include "platform/ui_sink.h"
#include "setup/dialogue.h"
#include "setup/settings_writer.h"
#include "setup/setup_options.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sys/stat.h>

namespace app {
namespace {

namespace fs = std::filesystem;

constexpr int kNotWritten = 1;

void out(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

int fail(const std::string& message, int status = kNotWritten) {
    std::fflush(stdout);
    std::cerr << kProgramName << " --setup: " << message << "\n";
    return status;
}

// A word as a POSIX shell reads it back.
std::string shellWord(const std::string& text) {
    if (!text.empty() && text.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"
                                                "/._-+,:@%") == std::string::npos)
        return text;
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::optional<std::string> readPasswordFile(const std::string& file) {
    std::string line;
    if (file == "-") {
        if (!std::getline(std::cin, line))
            return std::nullopt;
    } else {
        std::ifstream in(file, std::ios::binary);
        if (!in || !std::getline(in, line))
            return std::nullopt;
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

// The settings folder: made when missing (mode 0700, as it will hold the password key).
std::optional<fs::path> settingsFolder(const setup::SetupCommandLine& cl, const DefaultConfigDir& defaultConfigDir) {
    const fs::path dir = cl.configDir ? *cl.configDir : defaultConfigDir(true);
    std::error_code ec;
    if (!fs::exists(dir, ec) && fs::create_directories(dir, ec))
        fs::permissions(dir, fs::perms::owner_all, ec);
    const fs::path canonical = fs::canonical(dir, ec);
    if (ec || !fs::is_directory(canonical, ec))
        return std::nullopt;
    return canonical;
}

// The answers from the options: logged in with, checked against the server's list.
std::optional<setup::DialogueResult> answersFromOptions(const core::ProgramContext& ctx,
                                                        const setup::SetupCommandLine& cl, setup::ServerCheck& server,
                                                        std::string& error) {
    setup::DialogueResult result{setup::currentAnswers(ctx), {}};
    setup::Answers& a = result.answers;
    if ((error = setup::applyAnswerOptions(cl, a, setup::zuzorIniExists(ctx), readPasswordFile)); !error.empty())
        return std::nullopt;
    if (const auto missing = setup::missingAnswers(a); !missing.empty()) {
        for (const std::string& option : missing)
            error += (error.empty() ? "give " : ", ") + option;
        error += " (neither the options nor the settings folder hold it)";
        return std::nullopt;
    }
    std::string password =
        a.password.empty() ? common::fnDecryptPassword(ctx.programDir, a.storedPassword) : a.password;
    error = server.logIn(a.server, a.login, password);
    common::wipe(password);
    if (!error.empty()) {
        error = "cannot log in to " + a.server + " as " + a.login + ": " + error;
        return std::nullopt;
    }
    const auto names = server.databases();
    if (!names) {
        error = "cannot read the server's databases: " + server.lastError();
        return std::nullopt;
    }
    result.serverDatabases = *names;
    std::error_code ec;
    if (!a.backupFolder.empty() && fs::path(a.backupFolder).is_absolute() && !fs::exists(a.backupFolder, ec) &&
        fs::create_directories(a.backupFolder, ec))
        out("Created the backup folder " + a.backupFolder + ".");
    return result;
}

// The server name as sqlcmd takes it.
std::string sqlcmdServer(const std::string& server) {
    const auto address = data::parseServerName(server);
    if (!address)
        return server;
    std::string name = address->host.empty() ? "localhost" : address->host;
    if (!address->instance.empty())
        name += "\\" + address->instance;
    if (address->port)
        name += "," + std::to_string(*address->port);
    return name;
}

fs::path procedureScript() {
    const fs::path installed = ENCRT_PROCEDURE_SCRIPT;
    std::error_code ec;
    if (fs::exists(installed, ec) || !fs::exists(ENCRT_SOURCE_PROCEDURE_SCRIPT, ec))
        return installed;
    return ENCRT_SOURCE_PROCEDURE_SCRIPT;
}

void reportProcedure(setup::ServerCheck& server, const setup::Answers& a) {
    const auto found = server.backupProcedureFound();
    if (!found) {
        out("Cannot tell whether master..SSP_BackUPDB exists: " + server.lastError());
    } else if (*found) {
        out("master..SSP_BackUPDB: installed.");
        return;
    } else {
        out("master..SSP_BackUPDB is missing, or " + a.login +
            " may not run it. Every backup fails until it is "
            "there. Install it once as an administrator of the server:");
    }
    out("  sqlcmd -C -S " + shellWord(sqlcmdServer(a.server)) + " -U sa -d master -i " +
        shellWord(procedureScript().string()));
    out("  then, in master: GRANT EXECUTE ON dbo.SSP_BackUPDB TO " + a.login + ";");
}

// Logs in the way every run does, from the files just written.
bool checkAsTheProgramDoes(const core::ProgramContext& ctx) {
    core::DbSession session;
    const core::DbObjectResult opened = core::fnGetDbObject(ctx, session);
    if (!opened) {
        out(opened.failure == core::DbObjectFailure::OpenFailed
                ? "The program cannot open the product database with these settings."
                : "The settings lack the login or ZUZOR.INI.");
        return false;
    }
    if (backup::fnReadDBList(session) != backup::DbListFailure::None) {
        out("The program cannot read the server's database list with these settings.");
        return false;
    }
    const std::string failing = setup::firstFailingItem(setup::currentAnswers(ctx), session.serverDatabases,
                                                        core::FileSystemFolders(ctx.files));
    if (!failing.empty()) {
        out("The check made before every run fails: " + failing);
        return false;
    }
    out("The program logs in with these settings and they pass the check made before every run.");
    return true;
}

// A backup now, named and dated as at the latest due time of the full backup up to today.
std::string tryOutCommand(const fs::path& dir, const setup::Answers& a, const DefaultConfigDir& defaultConfigDir) {
    platform::LocalTime day = platform::floorToMinute(platform::SystemClock().now());
    const auto mask = std::uint8_t(std::stoi(a.schedules[0].day));
    for (int back = 0; back < 7; ++back, day -= std::chrono::days(1)) {
        // The mask counts Monday 1 ... Sunday 64; the weekday here counts Sunday 1 ... Saturday 7.
        const int bit = (platform::weekdaySunday1(day) + 5) % 7;
        if (mask & (1u << bit))
            break;
    }
    const std::string clock = platform::formatSlashDate(day) + " " + a.schedules[0].time + ":00";
    return std::string(kProgramName) + configDirArgument(dir, defaultConfigDir) + " --headless --clock '" + clock +
           "' --tick-once";
}

} // namespace

std::string configDirArgument(const fs::path& configDir, const DefaultConfigDir& defaultConfigDir) {
    std::error_code ec;
    if (fs::weakly_canonical(defaultConfigDir(false), ec) == fs::weakly_canonical(configDir, ec) && !ec)
        return {};
    return " --config-dir " + shellWord(configDir.string());
}

std::string setupCommandFor(const fs::path& configDir, const DefaultConfigDir& defaultConfigDir) {
    return std::string(kProgramName) + " --setup" + configDirArgument(configDir, defaultConfigDir);
}

int runSetup(const std::vector<std::string>& arguments, const DefaultConfigDir& defaultConfigDir) {
    const setup::SetupCommandLine cl = setup::parseSetupArguments(arguments);
    if (!cl.error.empty())
        return fail(cl.error + "\nTry '" + std::string(kProgramName) + " --setup --help'.", kUsageError);
    if (cl.help) {
        std::cout << setup::setupHelp();
        return 0;
    }
    if (!cl.optionForm() && !platform::inputIsTerminal())
        return fail("standard input is no terminal: give the answers as options (" + std::string(kProgramName) +
                        " --setup --help)",
                    kUsageError);
    const auto dir = settingsFolder(cl, defaultConfigDir);
    if (!dir)
        return fail("cannot make or use the settings folder " +
                    (cl.configDir ? *cl.configDir : defaultConfigDir(false)).string());

    platform::SystemClock clock;
    platform::HeadlessUiSink ui;
    const platform::LocalFileSystem files;
    core::ProgramContext ctx(clock, ui, files, *dir);
    setup::ServerCheck server(ctx.dataEnv());
    const core::FileSystemFolders folders(files);

    std::optional<setup::DialogueResult> result;
    if (cl.optionForm()) {
        std::string error;
        if (!(result = answersFromOptions(ctx, cl, server, error)))
            return fail(error);
    } else {
        setup::TerminalPrompter prompter;
        if (!(result = setup::runDialogue(ctx, prompter, server, folders, setup::currentAnswers(ctx))))
            return fail("nothing was written");
    }
    const setup::Answers& a = result->answers;
    if (const std::string failing = setup::firstFailingItem(a, result->serverDatabases, folders); !failing.empty())
        return fail("nothing was written: " + failing + " does not pass the check made before every run");
    const setup::WriteResult written = setup::writeAnswers(ctx, a);
    for (const std::string& line : written.lines)
        out(line);
    if (!written.error.empty())
        return fail(written.error);

    checkAsTheProgramDoes(ctx);
    reportProcedure(server, a);
    out("");
    out("Try a backup now (made at once, named and dated as at the full backup's last due time):");
    out("  " + tryOutCommand(*dir, a, defaultConfigDir));
    if (configDirArgument(*dir, defaultConfigDir).empty())
        out("Then start the program: on a desktop from the menu (it starts with every session from then on); "
            "without one: systemctl --user enable --now encrt-schedule-backup");
    else
        out("The menu entry, the autostart entry and the systemd user unit use the default settings folder; "
            "start the program for this one with --config-dir.");
    out("");
    out("What --status says now:");
    Options status;
    status.configDir = *dir;
    runStatus(status);
    return 0;
}

} // namespace app
