#include "common/messages.h"

namespace common {
namespace {

// "%1", "%2" and "%3" stand for the inserted texts.
struct Entry {
    int code;
    const char* text;
    platform::MsgIcon icon;
};

constexpr Entry kCatalogue[] = {
    {3001, "%1に失敗しました。%2", platform::MsgIcon::Critical},
    {3004, "%1が存在しません。", platform::MsgIcon::Exclamation},
    {3005, "%1が正しくありません。", platform::MsgIcon::Exclamation},
    {3010, "排他管理テーブルの読込みに失敗しました。", platform::MsgIcon::Critical},
    {3013, "%1が入力されていません。", platform::MsgIcon::Exclamation},
    {3014, "%1が選択されていません。", platform::MsgIcon::Exclamation},
    {3024, "INIファイルへの書込みに失敗しました。\n書込み値：%1\n処理：%3", platform::MsgIcon::Critical},
};

const Entry* find(int code) {
    for (const auto& e : kCatalogue)
        if (e.code == code)
            return &e;
    return nullptr;
}

// The second text of 3001 names the item; it reads as a note on its own line.
std::string detail(std::string_view text) {
    return text.empty() ? std::string() : "\n（" + std::string(text) + "）";
}

std::string fill(std::string_view pattern, std::string_view t1, std::string_view t2, std::string_view t3, int code) {
    std::string out;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] >= '1' && pattern[i + 1] <= '3') {
            const char n = pattern[++i];
            if (n == '1')
                out += t1;
            else if (n == '2')
                out += code == 3001 ? detail(t2) : std::string(t2);
            else
                out += t3;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

} // namespace

std::string messageText(int code, std::string_view t1, std::string_view t2, std::string_view t3) {
    if (const Entry* e = find(code))
        return fill(e->text, t1, t2, t3, code);
    std::string out = "メッセージ番号 " + std::to_string(code);
    for (auto t : {t1, t2, t3})
        if (!t.empty())
            out += "\n" + std::string(t);
    return out;
}

platform::MsgIcon messageIcon(int code) {
    const Entry* e = find(code);
    return e ? e->icon : platform::MsgIcon::Information;
}

std::int32_t fnQRMES01_DispMessage(platform::UiSink& ui, std::int32_t code, std::int32_t, std::string_view text1,
                                   std::string_view text2, std::string_view text3) {
    ui.message(code, text1, text2, text3, messageText(code, text1, text2, text3), messageIcon(code));
    return 0;
}

} // namespace common
