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

} // namespace

CommandLine parseCommandLine(const QStringList& arguments, const DefaultConfigDir& defaultConfigDir) {
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
    const QCommandLineOption help(QStringLiteral("help"));
    const QCommandLineOption version(QStringLiteral("version"));
    parser.addOptions({configDir, headless, clock, tickOnce, settings, status, json, metrics, grace, help, version});

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
