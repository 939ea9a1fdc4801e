#include "setup/setup_options.h"

#include "common/password.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace setup {
namespace {

// Every answer option takes a value; --no-copy is the one switch.
constexpr std::array<std::string_view, 18> kAnswerOptions = {"--server",
                                                             "--login",
                                                             "--password-file",
                                                             "--product-database",
                                                             "--product-folder",
                                                             "--documents-folder",
                                                             "--database",
                                                             "--backup-folder",
                                                             "--full",
                                                             "--diff",
                                                             "--log",
                                                             "--keep-days",
                                                             "--temp-log-days",
                                                             "--copy-folder",
                                                             "--copy-certificates-folder",
                                                             "--copy-documents-folder",
                                                             "--copy-keep-days",
                                                             "--no-copy"};

bool isAnswerOption(std::string_view name) {
    return std::find(kAnswerOptions.begin(), kAnswerOptions.end(), name) != kAnswerOptions.end();
}

std::string scheduleOption(const std::string& name, const std::string& value, ScheduleTexts& schedule, bool optional) {
    const auto parsed = parseSchedule(value);
    if (!parsed || (!optional && !parsed->scheduled()))
        return name + ": \"" + value + "\" is no schedule \"DAYS hh:mm\" (for example \"mon-fri 02:00\")" +
               (optional ? " or \"none\"" : "");
    schedule = *parsed;
    return {};
}

std::string termOption(const std::string& name, const std::string& value, std::string& term, int highest) {
    if (!isTerm(value, highest))
        return name + ": \"" + value + "\" is no number of days from 1 to " + std::to_string(highest);
    term = value;
    return {};
}

// A value ZUZOR.INI holds already: the product's file is not changed by the set-up.
std::string productValue(const std::string& name, const std::string& value, std::string& held, bool zuzorExists) {
    if (zuzorExists && !held.empty() && held != value)
        return name + ": ZUZOR.INI names \"" + held + "\"; it is the product's file and the set-up does not change it";
    held = value;
    return {};
}

} // namespace

SetupCommandLine parseSetupArguments(const std::vector<std::string>& arguments) {
    SetupCommandLine cl;
    for (std::size_t i = 0; i < arguments.size() && cl.error.empty(); ++i) {
        std::string name = arguments[i], value;
        const auto equals = name.find('=');
        const bool inline_ = name.starts_with("--") && equals != std::string::npos;
        if (inline_) {
            value = name.substr(equals + 1);
            name.resize(equals);
        }
        if (name == "--setup" || name == "--help" || name == "--no-copy") {
            if (inline_)
                cl.error = name + " takes no value";
            else if (name == "--help")
                cl.help = true;
            else if (name == "--no-copy")
                cl.answers.emplace_back(name, "");
            continue;
        }
        if (name != "--config-dir" && !isAnswerOption(name)) {
            cl.error = "--setup does not take \"" + name + "\"";
            break;
        }
        if (!inline_) {
            if (i + 1 >= arguments.size()) {
                cl.error = name + " needs a value";
                break;
            }
            value = arguments[++i];
        }
        if (name == "--config-dir")
            cl.configDir = value;
        else
            cl.answers.emplace_back(name, value);
    }
    return cl;
}

std::string applyAnswerOptions(const SetupCommandLine& cl, Answers& a, bool zuzorExists,
                               const PasswordReader& readPassword) {
    bool databasesGiven = false, copyFolderGiven = false;
    for (const auto& [name, value] : cl.answers) {
        std::string why;
        if (name == "--server")
            why = productValue(name, value, a.server, zuzorExists);
        else if (name == "--product-database")
            why = productValue(name, value, a.productDatabase, zuzorExists);
        else if (name == "--product-folder")
            why = productValue(name, value, a.productFolder, zuzorExists);
        else if (name == "--documents-folder")
            why = productValue(name, value, a.documentsFolder, zuzorExists);
        else if (name == "--login")
            a.login = value;
        else if (name == "--password-file") {
            auto password = readPassword(value);
            if (!password)
                why = name + ": cannot read a password from \"" + value + "\"";
            else if (const std::string refusal = common::passwordRefusal(*password); !refusal.empty())
                why = name + ": " + refusal;
            else
                a.password = std::move(*password);
            if (password)
                common::wipe(*password);
        } else if (name == "--database") {
            if (!databasesGiven)
                a.databases.clear();
            databasesGiven = true;
            if (std::find(a.databases.begin(), a.databases.end(), value) == a.databases.end())
                a.databases.push_back(value);
        } else if (name == "--backup-folder")
            a.backupFolder = value;
        else if (name == "--full")
            why = scheduleOption(name, value, a.schedules[0], false);
        else if (name == "--diff")
            why = scheduleOption(name, value, a.schedules[1], true);
        else if (name == "--log")
            why = scheduleOption(name, value, a.schedules[2], true);
        else if (name == "--keep-days")
            why = termOption(name, value, a.localTerm, 999);
        else if (name == "--temp-log-days")
            why = termOption(name, value, a.tempLogTerm, 32767);
        else if (name == "--copy-keep-days")
            why = termOption(name, value, a.copyTerm, 999);
        else if (name == "--no-copy")
            a.copy = false;
        else if (name == "--copy-folder") {
            a.copy = true;
            a.copyFolder = value;
            copyFolderGiven = true;
        } else if (name == "--copy-certificates-folder")
            a.certificateCopyFolder = value;
        else if (name == "--copy-documents-folder")
            a.documentsCopyFolder = value;
        if (!why.empty())
            return why;
    }
    // The product folders' copies go beside the backups unless told otherwise.
    if (copyFolderGiven && a.certificateCopyFolder.empty())
        a.certificateCopyFolder = a.copyFolder;
    if (copyFolderGiven && a.documentsCopyFolder.empty())
        a.documentsCopyFolder = a.copyFolder;
    if (a.databases.empty() && !a.productDatabase.empty())
        a.databases = {a.productDatabase};
    return {};
}

std::vector<std::string> missingAnswers(const Answers& a) {
    std::vector<std::string> missing;
    const std::pair<bool, const char*> required[] = {
        {a.server.empty(), "--server"},
        {a.login.empty(), "--login"},
        {a.password.empty() && a.storedPassword.empty(), "--password-file"},
        {a.productDatabase.empty(), "--product-database"},
        {a.backupFolder.empty(), "--backup-folder"},
    };
    for (const auto& [isMissing, option] : required)
        if (isMissing)
            missing.emplace_back(option);
    return missing;
}

std::string setupHelp() {
    return R"(Usage: encrt-schedule-backup --setup [--config-dir DIR] [ANSWER OPTIONS]
Sets up the settings folder: asks for the server, the login, the databases, the backup folder,
the schedules and the terms, logs in to check them, writes MSDE_DBTOOL.INI (and ZUZOR.INI when it
is missing), checks that the server has the procedure master..SSP_BackUPDB and ends with what
--status says. Without answer options it asks on the terminal; with them it asks nothing, and
what they leave out keeps the value the folder holds.

Answer options:
  --server NAME              SQL Server: host, host,port or host\instance (ZUZOR.INI SERVER_NAME)
  --login NAME               the SQL Server login the backups run as
  --password-file FILE       its password: the first line of FILE; "-" reads standard input
  --product-database NAME    the product database, which holds the lock table (ZUZOR.INI DB_NAME)
  --product-folder DIR       the product folder (ZUZOR.INI [SABRELUND] PATH)
  --documents-folder DIR     the technical-documents folder (ZUZOR.INI [GIJYUTU] PATH)
  --database NAME            a database to back up; repeat for more (default: the product database)
  --backup-folder DIR        the local backup folder on a fixed disk; created when missing
  --full "DAYS hh:mm"        the full backup, for example "sun 02:00" or "mon-fri 01:30"
  --diff "DAYS hh:mm"|none   the differential backup (default: none)
  --log "DAYS hh:mm"|none    the transaction-log backup (default: none)
  --keep-days N              days local backups are kept (1-999, default 30)
  --temp-log-days N          days the product's temporary logs are kept (1-32767)
  --copy-folder DIR          copy the backups to this external folder
  --copy-certificates-folder DIR, --copy-documents-folder DIR
                             where the product's folders are copied (default: --copy-folder)
  --copy-keep-days N         days files are kept in the external folder (1-999, default 60)
  --no-copy                  no external copy
DAYS: sun, mon-fri, mon,thu, weekdays, weekend, daily. ZUZOR.INI belongs to the product: an
existing one is not changed, only keys it lacks are added.

Exit status: 0 the settings were written; 1 they were not (the reason is on standard error);
2 a command line the set-up cannot use.
)";
}

} // namespace setup
