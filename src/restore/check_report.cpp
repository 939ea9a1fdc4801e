#include "restore/check_report.h"

#include <charconv>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace restore {
namespace {

// One line per value: tabs and line ends inside a text become blanks.
std::string flat(std::string text) {
    for (char& c : text)
        if (c == '\t' || c == '\r' || c == '\n')
            c = ' ';
    return text;
}

std::string secondsText(double seconds) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.3f", seconds);
    return buffer;
}

double secondsOf(const std::string& text) {
    double value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

std::vector<std::string> splitTabs(const std::string& text) {
    std::vector<std::string> parts;
    std::istringstream in(text);
    std::string part;
    while (std::getline(in, part, '\t'))
        parts.push_back(part);
    return parts;
}

} // namespace

int CheckReport::exitStatus() const {
    if (!cannotRun.empty() || interrupted)
        return 2;
    for (const DatabaseResult& d : databases)
        if (!d.ok)
            return 1;
    return 0;
}

std::string sourceName(Source source) {
    return source == Source::Local ? "local" : "external";
}

std::filesystem::path stateFilePath(const std::filesystem::path& settingsFolder) {
    return settingsFolder / kStateFileName;
}

bool writeStateFile(const std::filesystem::path& settingsFolder, const CheckReport& report) {
    std::ostringstream out;
    out << "time=" << platform::formatDateTime(report.started) << "\n"
        << "finished=" << platform::formatDateTime(report.finished) << "\n"
        << "source=" << sourceName(report.source) << "\n"
        << "result="
        << (report.exitStatus() == 0   ? "ok"
            : report.exitStatus() == 1 ? "failed"
                                       : "not-run")
        << "\n";
    if (!report.cannotRun.empty() || report.interrupted)
        out << "error=" << flat(report.interrupted ? "interrupted by a signal" : report.cannotRun) << "\n";
    for (const DatabaseResult& d : report.databases)
        out << "database=" << flat(d.database) << "\t" << (d.ok ? "ok" : "failed") << "\t"
            << secondsText(d.restoreSeconds) << "\t" << secondsText(d.checkSeconds) << "\t" << d.files.size() << "\t"
            << flat(d.error) << "\n";
    const std::filesystem::path target = stateFilePath(settingsFolder);
    const std::filesystem::path temporary = target.string() + ".new";
    {
        std::ofstream file(temporary, std::ios::trunc);
        file << out.str();
        if (!file.flush())
            return false;
    }
    std::error_code ec;
    std::filesystem::rename(temporary, target, ec);
    if (ec)
        std::filesystem::remove(temporary, ec);
    return !ec;
}

std::optional<CheckReport> readStateFile(const std::filesystem::path& settingsFolder) {
    std::ifstream in(stateFilePath(settingsFolder));
    if (!in)
        return std::nullopt;
    CheckReport report;
    std::string line, result;
    bool timed = false;
    while (std::getline(in, line)) {
        const auto eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "time") {
            const auto time = platform::parseDateTime(value);
            timed = time.has_value();
            report.started = time.value_or(platform::LocalTime{});
        } else if (key == "finished") {
            report.finished = platform::parseDateTime(value).value_or(report.started);
        } else if (key == "source") {
            report.source = value == "external" ? Source::External : Source::Local;
        } else if (key == "result") {
            result = value;
        } else if (key == "error") {
            report.cannotRun = value.empty() ? "not run" : value;
        } else if (key == "database") {
            const auto parts = splitTabs(value);
            if (parts.size() < 5)
                continue;
            DatabaseResult d;
            d.database = parts[0];
            d.ok = parts[1] == "ok";
            d.restoreSeconds = secondsOf(parts[2]);
            d.checkSeconds = secondsOf(parts[3]);
            d.error = parts.size() > 5 ? parts[5] : "";
            report.databases.push_back(std::move(d));
        }
    }
    if (!timed || (result == "not-run" && report.cannotRun.empty()))
        return std::nullopt;
    return report;
}

} // namespace restore
