#include "platform/ui_sink.h"

#include "platform/write_all.h"

#include <cstdio>
#include <unistd.h>

namespace platform {

std::string HeadlessUiSink::escape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t"; // a TAB would split the field
        else
            out += c;
    }
    return out;
}

std::string_view HeadlessUiSink::iconName(MsgIcon icon) {
    switch (icon) {
    case MsgIcon::Critical:
        return "critical";
    case MsgIcon::Information:
        return "information";
    case MsgIcon::Exclamation:
        break;
    }
    return "exclamation";
}

void HeadlessUiSink::messageBox(std::string_view text, std::string_view title, MsgIcon icon) {
    writeLine("MSGBOX\t" + std::string(iconName(icon)) + "\t" + escape(title.empty() ? kProgramTitle : title) + "\t" +
              escape(text));
}

// The text a person reads comes last, so that readers of the journal need no catalogue and
// scripts that split the line keep their fields where they were.
void HeadlessUiSink::message(int code, std::string_view text1, std::string_view text2, std::string_view text3,
                             std::string_view shownText, MsgIcon) {
    writeLine("MESSAGE\t" + std::to_string(code) + "\t" + escape(text1) + "\t" + escape(text2) + "\t" + escape(text3) +
              "\t" + escape(shownText));
}

void HeadlessUiSink::notice(std::string_view text, std::string_view title) {
    writeLine("NOTICE\t" + escape(title.empty() ? kProgramTitle : title) + "\t" + escape(text));
}

void HeadlessUiSink::runFinished(const RunSummary& run) {
    writeLine("RUN\t" + escape(run.start) + "\t" + escape(run.end) + "\t" + escape(run.result) + "\t" +
              std::to_string(run.filesMade) + "\t" + std::to_string(run.failures));
}

void HeadlessUiSink::openSettingsDialog() {
    writeLine("DIALOG\tsettings");
}

std::string HeadlessUiSink::chooseFolder(std::string_view, std::string_view) {
    return {};
}

void HeadlessUiSink::writeLine(const std::string& line) {
    // One write per event keeps lines whole when several processes share the terminal.
    writeAll(STDERR_FILENO, line + "\n");
}

} // namespace platform
