#pragma once
// Reads a daily log back: checks it is code page 932 with CR LF line ends and returns its lines
// in UTF-8 with the leading timestamps of section lines replaced by "<ts>".

#include "platform/codepage.h"
#include "support/temp_dir.h"

#include <regex>
#include <string>
#include <vector>

namespace testsupport {

inline std::vector<std::string> readLogLines(const std::filesystem::path& path) {
    const std::string bytes = readFile(path);
    std::vector<std::string> lines;
    if (!platform::isValidCp932(bytes) || (!bytes.empty() && bytes.substr(bytes.size() - 2) != "\r\n"))
        return {"<not a code page 932 file with CR LF line ends>"};
    static const std::regex stamp(R"(^\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}  )");
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const auto end = bytes.find("\r\n", pos);
        const std::string line = platform::fromCp932(bytes.substr(pos, end - pos));
        if (line.find('\n') != std::string::npos || line.find('\r') != std::string::npos)
            return {"<a line end other than CR LF>"};
        lines.push_back(std::regex_replace(line, stamp, "<ts>  "));
        pos = end + 2;
    }
    return lines;
}

} // namespace testsupport
