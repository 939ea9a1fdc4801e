#pragma once
// A user-interface sink for tests: records every call as the headless line it would print and
// answers from queues (folders to choose, actions to run when the settings dialog opens).

#include "platform/ui_sink.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace testsupport {

class RecordingSink : public platform::HeadlessUiSink {
public:
    std::vector<std::string> lines;
    std::deque<std::string> folderAnswers;
    std::function<void()> onSettingsDialog;
    int processEventsCalls = 0;

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
    void processEvents() override { ++processEventsCalls; }

protected:
    void writeLine(const std::string& line) override { lines.push_back(line); }
};

} // namespace testsupport
