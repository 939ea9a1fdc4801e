#pragma once
// The program keeps its texts as UTF-8 std::string; Qt wants QString. Every crossing goes through
// these two, so that no widget ever reads a text as Latin-1.

#include <QString>

#include <string>
#include <string_view>

namespace platform_qt {

inline QString toQString(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
}

inline std::string fromQString(const QString& text) {
    return text.toStdString();
}

} // namespace platform_qt
