#include "data/log_out.h"

#include "common/string_utils.h"
#include "data/variant_convert.h"
#include "platform/codepage.h"
#include "platform/utf8.h"

#include <fstream>
#include <optional>

namespace data {
namespace {

constexpr int kKeepDays = 3;

// "yyyy/mm/dd" with one- or two-digit month and day.
std::optional<platform::LocalDays> parseSlashDate(std::string_view text) {
    if (auto t = platform::parseDateTime(std::string(text) + " 00:00:00"))
        return platform::dayOf(*t);
    return std::nullopt;
}

// The first 10 characters (not bytes) of a text.
std::string firstCharacters(std::string_view text, std::size_t n) {
    return std::string(text.substr(0, platform::utf8::offsetOf(text, n)));
}

std::optional<std::string> readFirstLine(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string line;
    if (!in || !std::getline(in, line))
        return std::nullopt;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return platform::fromCp932(line);
}

} // namespace

void QRCDBG_LogOut::prINIPath(std::string_view sIniPathName) {
    const std::filesystem::path settings = common::trim(sIniPathName).empty()
                                               ? programIniPath(log_.env())
                                               : std::filesystem::path(std::string(sIniPathName));
    log_.readOptions(settings, kRecordsetLogDefault);
    if (!log_.on())
        return;
    startAfreshWhenOld();
    log_.writeHeader();
}

void QRCDBG_LogOut::startAfreshWhenOld() {
    const auto file = log_.path();
    if (!data::fnFileExists(file))
        return;
    const auto first = readFirstLine(file);
    if (!first)
        return;
    std::vector<std::string> parts;
    std::int16_t count = 0;
    fnSplitText(*first, " ", parts, count);
    if (parts.size() < 2)
        return;
    auto logDay = parseSlashDate(firstCharacters(parts[1], 10));
    if (!logDay) {
        // Not a date: reported, and the log counts as dated day 0, so it is started afresh.
        if (const auto& env = log_.env(); env.ui)
            env.ui->messageBox("型が一致しません。(13)", "prINIPath", platform::MsgIcon::Exclamation);
        logDay = platform::dayOf(zeroDateTime());
    }
    if ((platform::dayOf(logNow(log_.env())) - *logDay).count() >= kKeepDays) {
        std::error_code ec;
        std::filesystem::remove(file, ec);
        if (ec && log_.env().ui)
            log_.env().ui->messageBox(ec.message() + "(" + std::to_string(ec.value()) + ")", "prINIPath",
                                      platform::MsgIcon::Exclamation);
    }
}

std::int16_t QRCDBG_LogOut::fnFileExists(std::string_view path) const {
    return data::fnFileExists(std::string(path));
}

void QRCDBG_LogOut::sbWriteLogLine(std::string_view sLogDat, std::string_view sTitle) {
    if (!log_.on())
        return;
    if (!sTitle.empty()) {
        const auto t = logNow(log_.env());
        log_.sbWriteDebugLog(
            "[ " + std::string(sTitle) + " ] " + platform::formatSlashDate(t) + " " + platform::formatHms(t), true);
    }
    if (!sLogDat.empty())
        log_.sbWriteDebugLog(sLogDat, true);
}

} // namespace data
