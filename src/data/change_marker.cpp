#include "data/change_marker.h"

#include "common/vbfile.h"
#include "data/debug_log.h"
#include "platform/profile.h"
#include "platform/utf8.h"

#include <array>
#include <vector>

namespace data {
namespace {

// A business table and the characters that, standing right after its name, make it another
// table (a "...Ｂ" or "...Ｗ" sibling). The exclusion of 出来高内訳 stands on the blank that is part
// of its name.
struct TrackedTable {
    int length;                   // characters of the name
    std::string_view name;        // compared exactly
    int excludedAt;               // characters from the name's start to the excluded one
    std::string_view excluded[2]; // empty: none
};

// The masters first, then the tables whose "...Ｂ" sibling is left out, then the two with "Ｂ" and
// "Ｗ" siblings.
constexpr TrackedTable kTables[] = {
    {5, "システムＭ", 0, {}},
    {3, "年度Ｍ", 0, {}},
    {3, "自社Ｍ", 0, {}},
    {6, "自社担当者Ｍ", 0, {}},
    {3, "他社Ｍ", 0, {}},
    {6, "他社担当者Ｍ", 0, {}},
    {5, "ＢＰＩＤＭ", 0, {}},
    {4, "設計社Ｍ", 0, {}},
    {6, "設計担当者Ｍ", 0, {}},
    {3, "種目Ｍ", 0, {}},
    {3, "科目Ｍ", 0, {}},
    {3, "細目Ｍ", 0, {}},
    {5, "仕様規格Ｍ", 0, {}},
    {5, "集計区分Ｍ", 0, {}},
    {3, "部位Ｍ", 0, {}},
    {3, "単位Ｍ", 0, {}},
    {3, "単価Ｍ", 0, {}},
    {7, "種目表示番号Ｍ", 0, {}},
    {7, "科目表示番号Ｍ", 0, {}},
    {5, "金額種類Ｍ", 0, {}},
    {8, "内訳書出力形式Ｍ", 0, {}},
    {5, "物件種別Ｍ", 0, {}},
    {5, "建物分類Ｍ", 0, {}},
    {7, "建物数量区分Ｍ", 0, {}},
    {5, "建物用途Ｍ", 0, {}},
    {5, "都道府県Ｍ", 0, {}},
    {5, "構造区分Ｍ", 0, {}},
    {4, "杭工法Ｍ", 0, {}},
    {5, "基礎種類Ｍ", 0, {}},
    {6, "主仕上部位Ｍ", 0, {}},
    {4, "主仕上Ｍ", 0, {}},
    {4, "事業所Ｍ", 0, {}},
    {8, "メーカー＿商社Ｍ", 0, {}},
    {3, "雛型Ｍ", 0, {}},
    {5, "金融機関Ｍ", 0, {}},
    {11, "担当者別取引先関連情報", 0, {}},
    {4, "物件管理", 4, {"Ｂ"}},
    {4, "物件概要", 4, {"Ｂ"}},
    {6, "物件見積要項", 6, {"Ｂ"}},
    {5, "物件用単価", 5, {"Ｂ"}},
    {4, "内訳名称", 4, {"Ｂ"}},
    {3, "代価表", 3, {"Ｂ"}},
    {4, "取引情報", 4, {"Ｂ"}},
    {8, "原本インデックス", 8, {"Ｂ"}},
    {11, "送受信インデックス履歴", 11, {"Ｂ", "Ｗ"}},
    {6, "出来高内訳 ", 5, {"Ｂ", "Ｗ"}},
};
// Tried after all the others, from both starts.
constexpr TrackedTable kLastTable{11, "受信確認メッセージ履歴", 11, {"Ｂ"}};

// Start 13 follows "INSERT INTO " and "DELETE FROM ", start 8 follows "UPDATE ".
constexpr int kStarts[] = {13, 8};

constexpr ChangeRule ruleAt(int start, const TrackedTable& table) {
    ChangeRule rule{start, table.length, table.name, {}};
    for (std::size_t i = 0; i < std::size(table.excluded); ++i)
        if (!table.excluded[i].empty())
            rule.exclusions[i] = {start + table.excludedAt, table.excluded[i]};
    return rule;
}

// Every table from start 13, the same from start 8, and the last table from both.
constexpr auto kRules = [] {
    std::array<ChangeRule, 2 * (std::size(kTables) + 1)> rules{};
    std::size_t n = 0;
    for (const int start : kStarts)
        for (const auto& table : kTables)
            rules[n++] = ruleAt(start, table);
    for (const int start : kStarts)
        rules[n++] = ruleAt(start, kLastTable);
    return rules;
}();
static_assert(kRules.size() == 94);

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
