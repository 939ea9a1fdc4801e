#include "app/command_line.h"

#include "app/app_texts.h"

#include <QCommandLineParser>

#include <system_error>

namespace app {
namespace {

const char* const kHelp = R"(Usage: encrt-schedule-backup [options]
Keeps the product database backed up on the configured schedule: a tray icon, a one-minute
scheduler, backups made by the server.

Options:
  --config-dir DIR    use DIR as the program's own folder (MSDE_DBTOOL.INI, ZUZOR.INI)
  --headless          no tray and no windows; messages go to standard error
  --clock DATETIME    start the program's clock at "yyyy/MM/dd HH:mm:ss"
  --tick-once         perform one scheduler tick right after start-up, then end
  --settings          open the settings dialog alone and end when it closes
  --help              show this help and end
  --version           show the version and end
)";

CommandLine fail(std::string message) {
    CommandLine cl;
    cl.exitStatus = kUsageError;
    cl.err = std::string(kProgramName) + ": " + message + "\nTry '" + std::string(kProgramName) + " --help'.\n";
    return cl;
}

CommandLine finish(std::string out) {
    CommandLine cl;
    cl.exitStatus = 0;
    cl.out = std::move(out);
    return cl;
}

} // namespace

CommandLine parseCommandLine(const QStringList& arguments, const std::filesystem::path& defaultConfigDir) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption configDir(QStringLiteral("config-dir"), {}, QStringLiteral("DIR"));
    const QCommandLineOption headless(QStringLiteral("headless"));
    const QCommandLineOption clock(QStringLiteral("clock"), {}, QStringLiteral("DATETIME"));
    const QCommandLineOption tickOnce(QStringLiteral("tick-once"));
    const QCommandLineOption settings(QStringLiteral("settings"));
    const QCommandLineOption help(QStringLiteral("help"));
    const QCommandLineOption version(QStringLiteral("version"));
    parser.addOptions({configDir, headless, clock, tickOnce, settings, help, version});

    if (!parser.parse(arguments))
        return fail(parser.errorText().toStdString());
    if (parser.isSet(help))
        return finish(kHelp);
    if (parser.isSet(version))
        return finish(std::string(kProgramName) + " " ENCRT_VERSION "\n");
    if (!parser.positionalArguments().isEmpty())
        return fail("unexpected argument \"" + parser.positionalArguments().constFirst().toStdString() + "\"");

    CommandLine cl;
    Options& o = cl.options;
    o.headless = parser.isSet(headless);
    o.tickOnce = parser.isSet(tickOnce);
    o.settingsOnly = parser.isSet(settings);
    if (o.settingsOnly && (o.headless || o.tickOnce))
        return fail("--settings opens the dialog alone and takes neither --headless nor --tick-once");

    if (parser.isSet(clock)) {
        const std::string text = parser.value(clock).toStdString();
        o.clockStart = platform::parseDateTime(text);
        if (!o.clockStart)
            return fail("--clock: \"" + text + "\" is not a date-time \"yyyy/MM/dd HH:mm:ss\"");
    }

    const std::filesystem::path dir =
        parser.isSet(configDir) ? std::filesystem::path(parser.value(configDir).toStdString()) : defaultConfigDir;
    std::error_code ec;
    o.configDir = std::filesystem::canonical(dir, ec);
    if (ec || !std::filesystem::is_directory(o.configDir, ec))
        return fail("--config-dir: \"" + dir.string() + "\" is not a folder");
    return cl;
}

QStringList argumentsOf(int argc, char** argv) {
    QStringList list;
    for (int i = 0; i < argc; ++i)
        list << QString::fromLocal8Bit(argv[i]);
    return list;
}

} // namespace app
