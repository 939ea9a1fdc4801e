#pragma once
// Reading what the headless program writes to the journal (standard error): the RUN line each run
// ends with, and everything else.

#include <regex>
#include <string>

namespace testsupport {

// The RUN lines of a standard-error text, one per line, in their order.
inline std::vector<std::string> runLines(const std::string& err) {
    std::vector<std::string> out;
    std::size_t at = 0;
    for (std::size_t end; (end = err.find('\n', at)) != std::string::npos; at = end + 1)
        if (err.compare(at, 4, "RUN\t") == 0)
            out.push_back(err.substr(at, end - at));
    return out;
}

// The text without its RUN lines.
inline std::string withoutRunLines(const std::string& err) {
    std::string out;
    std::size_t at = 0;
    for (std::size_t end; (end = err.find('\n', at)) != std::string::npos; at = end + 1)
        if (err.compare(at, 4, "RUN\t") != 0)
            out += err.substr(at, end - at + 1);
    return out + err.substr(at);
}

// "RUN<TAB>start<TAB>end<TAB>result<TAB>files<TAB>failures" of a run started on `day` ("yyyy/MM/dd").
inline bool isRunLine(const std::string& line, const std::string& day, const std::string& result, int files,
                      int failures) {
    const std::string stamp = day + " [0-9]{2}:[0-9]{2}:[0-9]{2}";
    return std::regex_match(line, std::regex("RUN\t" + stamp + "\t" + stamp + "\t" + result + "\t" +
                                             std::to_string(files) + "\t" + std::to_string(failures)));
}

} // namespace testsupport
