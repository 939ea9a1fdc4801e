#include "app/command_line.h"

#include "app/app_texts.h"
#include "status/report_format.h"

#include <QCommandLineParser>

#include <system_error>

namespace app {
namespace {

const char* const kHelp = R"(Usage: encrt-schedule-backup [options]
Keeps the product database backed up on the configured schedule: a tray icon, a one-minute
scheduler, backups made by the server.

Options:
  --config-dir DIR    use DIR as the settings folder (MSDE_DBTOOL.INI, ZUZOR.INI)
  --headless          no tray and no windows; messages go to standard error
  --clock DATETIME    start the program's clock at "yyyy/MM/dd HH:mm:ss"
  --tick-once         perform one scheduler tick right after start-up, then end
  --settings          open the settings dialog alone and end when it closes
  --status            check from the files whether the backups are made as scheduled;
                      first line OK:, WARNING:, CRITICAL: or UNKNOWN:, exit status 0 to 3
  --json              with --status: print one JSON object instead
  --metrics           with --status: print the facts as Prometheus metrics instead
  --grace MIN         with --status: minutes a due backup may take (default 60)
  --setup             set up the settings folder on a terminal, or from the answers given as
                      options (--setup --help lists them)
  --restore-age DAYS  with --status: days the last restore check may be old (default 8)
  --restore-check     restore the newest chain of backups of every selected database under a
                      scratch name, check it with DBCC CHECKDB and drop it; exit status 0 all
                      good, 1 a chain failed, 2 the check could not run
  --from local|external  with --restore-check: the folder to restore from (default local)
  --database NAME     with --restore-check: check this database only (repeatable)
  --help              show this help and end
  --version           show the version and end

Without --config-dir the settings folder is the program's own folder when it holds
MSDE_DBTOOL.INI, otherwise $XDG_CONFIG_HOME/encrt-schedule-backup (~/.config/... when the
variable is unset), which is created when missing.
)";

CommandLine fail(std::string message) {
    CommandLine cl;
    cl.exitStatus = kUsageError;
    cl.err = std::string(kProgramName) + ": " + message + "\nTry '" + std::string(kProgramName) + " --help'.\n";
    return cl;
}

// The health check answers every failure in its own convention: UNKNOWN on standard output, in
// the form that was asked for, so that a monitoring system always gets what it can read.
CommandLine failStatus(std::string message, Options::StatusFormat format) {
    CommandLine cl;
    cl.exitStatus = kStatusUnknown;
    const status::Report report = status::unknownReport(std::move(message));
    switch (format) {
    case Options::StatusFormat::Json:
        cl.out = status::formatJson(report);
        break;
    case Options::StatusFormat::Metrics:
        cl.out = status::formatMetrics(report);
        break;
    case Options::StatusFormat::Text:
        cl.out = status::formatText(report);
        break;
    }
    return cl;
}

Options::StatusFormat statusFormatAsked(const QStringList& arguments) {
    if (arguments.contains(QStringLiteral("--json")))
        return Options::StatusFormat::Json;
    if (arguments.contains(QStringLiteral("--metrics")))
        return Options::StatusFormat::Metrics;
    return Options::StatusFormat::Text;
}

CommandLine finish(std::string out) {
    CommandLine cl;
    cl.exitStatus = 0;
    cl.out = std::move(out);
    return cl;
}

// The options of --restore-check; the reason they cannot be used, "" when they can.
std::string readRestoreCheckOptions(const QCommandLineParser& parser, const QCommandLineOption& restoreCheck,
                                    const QCommandLineOption& from, const QCommandLineOption& database, Options& o) {
    o.restoreCheck = parser.isSet(restoreCheck);
    if (!o.restoreCheck)
        return parser.isSet(from) || parser.isSet(database) ? "--from and --database belong to --restore-check" : "";
    if (o.status || o.headless || o.tickOnce || o.settingsOnly)
        return "--restore-check runs alone and takes none of --status, --headless, --tick-once, --settings";
    const QString source = parser.value(from);
    if (parser.isSet(from) && source != QStringLiteral("local") && source != QStringLiteral("external"))
        return "--from: \"" + source.toStdString() + "\" is neither local nor external";
    o.restoreFromExternal = source == QStringLiteral("external");
    for (const QString& name : parser.values(database)) {
        if (name.trimmed().isEmpty())
            return "--database: a database name is needed";
        o.restoreDatabases.push_back(name.toStdString());
    }
    return {};
}

} // namespace

CommandLine parseCommandLine(const QStringList& arguments, const DefaultConfigDir& defaultConfigDir) {
    if (arguments.contains(QStringLiteral("--setup"))) {
        CommandLine cl;
        cl.options.setup = true;
        for (qsizetype i = 1; i < arguments.size(); ++i)
            cl.options.setupArguments.push_back(arguments[i].toStdString());
        return cl;
    }
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption configDir(QStringLiteral("config-dir"), {}, QStringLiteral("DIR"));
    const QCommandLineOption headless(QStringLiteral("headless"));
    const QCommandLineOption clock(QStringLiteral("clock"), {}, QStringLiteral("DATETIME"));
    const QCommandLineOption tickOnce(QStringLiteral("tick-once"));
    const QCommandLineOption settings(QStringLiteral("settings"));
    const QCommandLineOption status(QStringLiteral("status"));
    const QCommandLineOption json(QStringLiteral("json"));
    const QCommandLineOption metrics(QStringLiteral("metrics"));
    const QCommandLineOption grace(QStringLiteral("grace"), {}, QStringLiteral("MIN"));
    const QCommandLineOption restoreCheck(QStringLiteral("restore-check"));
    const QCommandLineOption from(QStringLiteral("from"), {}, QStringLiteral("FOLDER"));
    const QCommandLineOption database(QStringLiteral("database"), {}, QStringLiteral("NAME"));
    const QCommandLineOption help(QStringLiteral("help"));
    const QCommandLineOption version(QStringLiteral("version"));
    parser.addOptions({configDir, headless, clock, tickOnce, settings, status, json, metrics, grace, help, version});
    const QCommandLineOption restoreAge(QStringLiteral("restore-age"), {}, QStringLiteral("DAYS"));
    parser.addOptions({restoreCheck, from, database, restoreAge});

    const bool statusAsked = arguments.contains(QStringLiteral("--status"));
    const Options::StatusFormat format = statusFormatAsked(arguments);
    const auto failWith = [statusAsked, format](std::string message) {
        return statusAsked ? failStatus(std::move(message), format) : fail(std::move(message));
    };
    if (!parser.parse(arguments))
        return failWith(parser.errorText().toStdString());
    if (parser.isSet(help))
        return finish(kHelp);
    if (parser.isSet(version))
        return finish(std::string(kProgramName) + " " ENCRT_VERSION "\n");
    if (!parser.positionalArguments().isEmpty())
        return failWith("unexpected argument \"" + parser.positionalArguments().constFirst().toStdString() + "\"");

    CommandLine cl;
    Options& o = cl.options;
    o.headless = parser.isSet(headless);
    o.tickOnce = parser.isSet(tickOnce);
    o.settingsOnly = parser.isSet(settings);
    o.status = parser.isSet(status);
    o.statusFormat = format;
    if (o.settingsOnly && (o.headless || o.tickOnce))
        return fail("--settings opens the dialog alone and takes neither --headless nor --tick-once");
    if (o.status && (o.headless || o.tickOnce || o.settingsOnly))
        return failWith("--status only reads files and takes none of --headless, --tick-once, --settings");
    if (!o.status && (parser.isSet(json) || parser.isSet(metrics) || parser.isSet(grace)))
        return fail("--json, --metrics and --grace belong to --status");
    if (parser.isSet(json) && parser.isSet(metrics))
        return failWith("--json and --metrics are two forms of the same report: choose one");
    if (auto error = readRestoreCheckOptions(parser, restoreCheck, from, database, o); !error.empty())
        return fail(error);
    if (parser.isSet(restoreAge)) {
        bool ok = false;
        o.restoreAgeDays = parser.value(restoreAge).toInt(&ok);
        if (!o.status)
            return fail("--restore-age belongs to --status");
        if (!ok || o.restoreAgeDays < 1)
            return failWith("--restore-age: \"" + parser.value(restoreAge).toStdString() +
                            "\" is not a number of days");
    }
    if (parser.isSet(grace)) {
        bool ok = false;
        o.graceMinutes = parser.value(grace).toInt(&ok);
        if (!ok || o.graceMinutes < 0)
            return failWith("--grace: \"" + parser.value(grace).toStdString() + "\" is not a number of minutes");
    }

    if (parser.isSet(clock)) {
        const std::string text = parser.value(clock).toStdString();
        o.clockStart = platform::parseDateTime(text);
        if (!o.clockStart)
            return failWith("--clock: \"" + text + "\" is not a date-time \"yyyy/MM/dd HH:mm:ss\"");
    }

    const std::filesystem::path dir = parser.isSet(configDir)
                                          ? std::filesystem::path(parser.value(configDir).toStdString())
                                          : defaultConfigDir(!o.status);
    std::error_code ec;
    o.configDir = std::filesystem::canonical(dir, ec);
    if (ec || !std::filesystem::is_directory(o.configDir, ec))
        return o.status ? failStatus("cannot read the settings folder " + dir.string() + ": no such folder", format)
                        : fail("--config-dir: \"" + dir.string() + "\" is not a folder");
    return cl;
}

QStringList argumentsOf(int argc, char** argv) {
    QStringList list;
    for (int i = 0; i < argc; ++i)
        list << QString::fromLocal8Bit(argv[i]);
    return list;
}

} // namespace app
