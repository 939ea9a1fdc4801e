#include "data/change_marker.h"

#include "common/vbfile.h"
#include "data/debug_log.h"
#include "platform/profile.h"
#include "platform/utf8.h"

#include <array>
#include <vector>

namespace data {
namespace {

// Start 13 follows "INSERT INTO " and "DELETE FROM ", start 8 follows "UPDATE ". The masters come
// first, then the tables whose "...Ｂ" sibling is left out, then the two with "Ｂ" and "Ｗ"
// siblings; the same 46 from start 8; and last 受信確認メッセージ履歴 from both starts. The
// exclusion of 出来高内訳 stands on the blank that is part of its name.
constexpr std::array<ChangeRule, 94> kRules{{
    {13, 5, "システムＭ", {}},
    {13, 3, "年度Ｍ", {}},
    {13, 3, "自社Ｍ", {}},
    {13, 6, "自社担当者Ｍ", {}},
    {13, 3, "他社Ｍ", {}},
    {13, 6, "他社担当者Ｍ", {}},
    {13, 5, "ＢＰＩＤＭ", {}},
    {13, 4, "設計社Ｍ", {}},
    {13, 6, "設計担当者Ｍ", {}},
    {13, 3, "種目Ｍ", {}},
    {13, 3, "科目Ｍ", {}},
    {13, 3, "細目Ｍ", {}},
    {13, 5, "仕様規格Ｍ", {}},
    {13, 5, "集計区分Ｍ", {}},
    {13, 3, "部位Ｍ", {}},
    {13, 3, "単位Ｍ", {}},
    {13, 3, "単価Ｍ", {}},
    {13, 7, "種目表示番号Ｍ", {}},
    {13, 7, "科目表示番号Ｍ", {}},
    {13, 5, "金額種類Ｍ", {}},
    {13, 8, "内訳書出力形式Ｍ", {}},
    {13, 5, "物件種別Ｍ", {}},
    {13, 5, "建物分類Ｍ", {}},
    {13, 7, "建物数量区分Ｍ", {}},
    {13, 5, "建物用途Ｍ", {}},
    {13, 5, "都道府県Ｍ", {}},
    {13, 5, "構造区分Ｍ", {}},
    {13, 4, "杭工法Ｍ", {}},
    {13, 5, "基礎種類Ｍ", {}},
    {13, 6, "主仕上部位Ｍ", {}},
    {13, 4, "主仕上Ｍ", {}},
    {13, 4, "事業所Ｍ", {}},
    {13, 8, "メーカー＿商社Ｍ", {}},
    {13, 3, "雛型Ｍ", {}},
    {13, 5, "金融機関Ｍ", {}},
    {13, 11, "担当者別取引先関連情報", {}},
    {13, 4, "物件管理", {{17, "Ｂ"}}},
    {13, 4, "物件概要", {{17, "Ｂ"}}},
    {13, 6, "物件見積要項", {{19, "Ｂ"}}},
    {13, 5, "物件用単価", {{18, "Ｂ"}}},
    {13, 4, "内訳名称", {{17, "Ｂ"}}},
    {13, 3, "代価表", {{16, "Ｂ"}}},
    {13, 4, "取引情報", {{17, "Ｂ"}}},
    {13, 8, "原本インデックス", {{21, "Ｂ"}}},
    {13, 11, "送受信インデックス履歴", {{24, "Ｂ"}, {24, "Ｗ"}}},
    {13, 6, "出来高内訳 ", {{18, "Ｂ"}, {18, "Ｗ"}}},
    {8, 5, "システムＭ", {}},
    {8, 3, "年度Ｍ", {}},
    {8, 3, "自社Ｍ", {}},
    {8, 6, "自社担当者Ｍ", {}},
    {8, 3, "他社Ｍ", {}},
    {8, 6, "他社担当者Ｍ", {}},
    {8, 5, "ＢＰＩＤＭ", {}},
    {8, 4, "設計社Ｍ", {}},
    {8, 6, "設計担当者Ｍ", {}},
    {8, 3, "種目Ｍ", {}},
    {8, 3, "科目Ｍ", {}},
    {8, 3, "細目Ｍ", {}},
    {8, 5, "仕様規格Ｍ", {}},
    {8, 5, "集計区分Ｍ", {}},
    {8, 3, "部位Ｍ", {}},
    {8, 3, "単位Ｍ", {}},
    {8, 3, "単価Ｍ", {}},
    {8, 7, "種目表示番号Ｍ", {}},
    {8, 7, "科目表示番号Ｍ", {}},
    {8, 5, "金額種類Ｍ", {}},
    {8, 8, "内訳書出力形式Ｍ", {}},
    {8, 5, "物件種別Ｍ", {}},
    {8, 5, "建物分類Ｍ", {}},
    {8, 7, "建物数量区分Ｍ", {}},
    {8, 5, "建物用途Ｍ", {}},
    {8, 5, "都道府県Ｍ", {}},
    {8, 5, "構造区分Ｍ", {}},
    {8, 4, "杭工法Ｍ", {}},
    {8, 5, "基礎種類Ｍ", {}},
    {8, 6, "主仕上部位Ｍ", {}},
    {8, 4, "主仕上Ｍ", {}},
    {8, 4, "事業所Ｍ", {}},
    {8, 8, "メーカー＿商社Ｍ", {}},
    {8, 3, "雛型Ｍ", {}},
    {8, 5, "金融機関Ｍ", {}},
    {8, 11, "担当者別取引先関連情報", {}},
    {8, 4, "物件管理", {{12, "Ｂ"}}},
    {8, 4, "物件概要", {{12, "Ｂ"}}},
    {8, 6, "物件見積要項", {{14, "Ｂ"}}},
    {8, 5, "物件用単価", {{13, "Ｂ"}}},
    {8, 4, "内訳名称", {{12, "Ｂ"}}},
    {8, 3, "代価表", {{11, "Ｂ"}}},
    {8, 4, "取引情報", {{12, "Ｂ"}}},
    {8, 8, "原本インデックス", {{16, "Ｂ"}}},
    {8, 11, "送受信インデックス履歴", {{19, "Ｂ"}, {19, "Ｗ"}}},
    {8, 6, "出来高内訳 ", {{13, "Ｂ"}, {13, "Ｗ"}}},
    {13, 11, "受信確認メッセージ履歴", {{24, "Ｂ"}}},
    {8, 11, "受信確認メッセージ履歴", {{19, "Ｂ"}}},
}};

// Byte offsets of the characters of a UTF-8 text, plus the end.
std::vector<std::size_t> characterOffsets(std::string_view text) {
    std::vector<std::size_t> offsets;
    for (std::size_t i = 0; i < text.size(); i = platform::utf8::next(text, i))
        offsets.push_back(i);
    offsets.push_back(text.size());
    return offsets;
}

// Characters [position, position + count) (1-based), shorter or empty where the text ends.
std::string_view characters(std::string_view text, const std::vector<std::size_t>& offsets, int position, int count) {
    const std::size_t chars = offsets.size() - 1;
    const std::size_t first = std::min(std::size_t(position - 1), chars);
    const std::size_t last = std::min(first + std::size_t(count), chars);
    return text.substr(offsets[first], offsets[last] - offsets[first]);
}

bool isChangeVerb(std::string_view sql) {
    std::string head(sql.substr(0, 6));
    for (char& c : head)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return head == "INSERT" || head == "UPDATE" || head == "DELETE";
}

bool matches(const ChangeRule& rule, std::string_view sql, const std::vector<std::size_t>& offsets) {
    if (characters(sql, offsets, rule.start, rule.length) != rule.name)
        return false;
    for (const auto& ex : rule.exclusions)
        if (ex.position > 0 && characters(sql, offsets, ex.position, 1) == ex.character)
            return false;
    return true;
}

} // namespace

std::span<const ChangeRule> changeRules() {
    return kRules;
}

bool isTrackedChange(std::string_view sql) {
    if (!isChangeVerb(sql))
        return false;
    const auto offsets = characterOffsets(sql);
    for (const auto& rule : kRules)
        if (matches(rule, sql, offsets))
            return true;
    return false;
}

void sbSetChangeMarker(const DataEnv& env, std::string_view sql) {
    if (!isTrackedChange(sql))
        return;
    const auto ini = zuzorIniPath(env);
    if (env.ui)
        common::VBFILE_WriteINI(*env.ui, "SABRELUND", "BackupFlag", "1", ini);
    else
        platform::profileWrite(ini, "SABRELUND", "BackupFlag", "1");
}

} // namespace data
