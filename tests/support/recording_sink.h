#pragma once
// A user-interface sink for tests: records every call as the headless line it would print and
// answers from queues (folders to choose, actions to run when the settings dialog opens). A
// MESSAGE line is recorded without its last field, the catalogue's text: tests compare the code
// and inserted texts their code passes, and the catalogue has tests of its own.

#include "platform/ui_sink.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace testsupport {

class RecordingSink : public platform::HeadlessUiSink {
public:
    std::vector<std::string> lines;
    std::vector<platform::RunSummary> runs; // the journal's RUN lines, kept apart from what a user sees
    std::deque<std::string> folderAnswers;
    std::function<void()> onSettingsDialog;
    std::function<std::string()> activeWindow; // none: no window is active

    void openSettingsDialog() override {
        HeadlessUiSink::openSettingsDialog();
        if (onSettingsDialog)
            onSettingsDialog();
    }
    std::string chooseFolder(std::string_view title, std::string_view initial) override {
        lines.push_back("CHOOSE\t" + std::string(title) + "\t" + std::string(initial));
        if (folderAnswers.empty())
            return {};
        std::string answer = folderAnswers.front();
        folderAnswers.pop_front();
        return answer;
    }
    void runFinished(const platform::RunSummary& run) override { runs.push_back(run); }
    std::string activeWindowName() const override { return activeWindow ? activeWindow() : std::string(); }
    void message(int code, std::string_view text1, std::string_view text2, std::string_view text3, std::string_view,
                 platform::MsgIcon icon) override {
        HeadlessUiSink::message(code, text1, text2, text3, "", icon);
        lines.back().pop_back(); // the TAB before the empty catalogue text
    }

protected:
    void writeLine(const std::string& line) override { lines.push_back(line); }
};

} // namespace testsupport
