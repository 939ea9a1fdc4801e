#include "core/last_run.h"

#include "common/ansi_strings.h"
#include "platform/profile.h"
#include "platform/write_all.h"

#include <charconv>
#include <limits>

namespace core {
namespace {

constexpr std::string_view kSection = "LastRun";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF"; // read back as UTF-8

std::string joined(const std::vector<std::string>& items) {
    std::string out;
    for (const auto& item : items)
        out += (out.empty() ? "" : "\t") + item;
    return out;
}

std::size_t countOf(const std::string& text) {
    std::size_t n = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), n);
    return error == std::errc() && end == text.data() + text.size() ? n : 0;
}

} // namespace

std::filesystem::path lastRunPath(const std::filesystem::path& configDir) {
    return configDir / kLastRunFileName;
}

std::error_code recordLastRun(const std::filesystem::path& configDir, const RunReport& report) {
    std::string text = std::string(kByteOrderMark) + "[" + std::string(kSection) + "]\r\n";
    const auto key = [&](std::string_view name, const std::string& value) {
        text += std::string(name) + "=" + value + "\r\n";
    };
    key("START", platform::formatDateTime(report.started));
    key("END", platform::formatDateTime(report.finished));
    key("RESULT", report.flawless() ? "flawless" : "failed");
    key("FILES", std::to_string(report.files.written.size()));
    key("FAILURES", std::to_string(report.failures.size()));
    key("UNREADABLE", joined(report.unreadableFolders));
    return platform::replaceFileAtomically(lastRunPath(configDir), text, 0644);
}

std::optional<LastRun> readLastRun(const std::filesystem::path& configDir) {
    const auto file = lastRunPath(configDir);
    const auto read = [&](std::string_view key) {
        return platform::profileRead(file, kSection, key, "", std::numeric_limits<std::size_t>::max());
    };
    LastRun run;
    run.started = platform::parseDateTime(read("START"));
    run.finished = platform::parseDateTime(read("END"));
    if (!run.started || !run.finished)
        return std::nullopt;
    run.flawless = read("RESULT") == "flawless";
    run.filesWritten = countOf(read("FILES"));
    run.failures = countOf(read("FAILURES"));
    if (const std::string folders = read("UNREADABLE"); !folders.empty())
        common::fnSplitToArray(folders, "\t", run.unreadableFolders);
    return run;
}

} // namespace core
