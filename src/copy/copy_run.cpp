#include "copy/copy_run.h"

#include "common/string_utils.h"
#include "copy/copy_texts.h"

namespace copy {

std::string resultPrefix(std::string_view outcome) {
    return std::string(texts::kResult) + std::string(outcome) + std::string(core::kIdeographicSpace);
}

bool namesAFolder(std::string_view setting) {
    return !common::trim(setting).empty();
}

std::string failureBoxText(std::string_view heading, std::string_view source, std::string_view targetFolder,
                           std::string_view errorText) {
    std::string text(heading);
    text += '\r';
    text += std::string(texts::kSourceFile) + std::string(source) + '\r';
    text += std::string(texts::kTargetFolder) + std::string(targetFolder) + '\r';
    text += '\r';
    text += errorText;
    return text;
}

} // namespace copy
