#include "core/lock_table.h"

#include "data/connection.h"
#include "data/database.h"
#include "data/sql_text.h"
#include "platform/codepage.h"
#include "platform/utf8.h"

#include <chrono>
#include <thread>

namespace core {
namespace {

// A fixed-length text field: padded with blanks or cut to `length` characters.
std::string fixedText(const std::string& text, std::size_t length) {
    std::size_t bytes = 0, chars = 0;
    for (; bytes < text.size() && chars < length; ++chars)
        bytes = platform::utf8::next(text, bytes);
    return text.substr(0, bytes) + std::string(length - chars, ' ');
}

// The product's common change columns.
void sbReadLockCommon(data::QRCDBS_RecordSet& rs, HaitaKanriRecord& row) {
    row.更新日 = rs.fnGetDate(std::string("更新日"));
    row.更新操作者 = fixedText(rs.fnGetChar(std::string("更新操作者")), 16);
    row.更新画面ＩＤ = fixedText(rs.fnGetChar(std::string("更新画面ＩＤ")), 16);
    row.更新カウンタ = rs.fnGetSmallInt(std::string("更新カウンタ"));
    row.削除区分 = fixedText(rs.fnGetChar(std::string("削除区分")), 1);
}

void readLockRow(data::QRCDBS_RecordSet& rs, HaitaKanriRecord& row) {
    sbReadLockCommon(rs, row);
    row.ＫＥＹテーブル名称１ = fixedText(rs.fnGetChar(std::string("ＫＥＹテーブル名称１")), 128);
    row.ＫＥＹＩＤ１ = rs.fnGetInt(std::string("ＫＥＹＩＤ１"));
    row.ＫＥＹテーブル名称２ = fixedText(rs.fnGetChar(std::string("ＫＥＹテーブル名称２")), 128);
    row.ＫＥＹＩＤ２ = rs.fnGetInt(std::string("ＫＥＹＩＤ２"));
    row.テーブル名称 = fixedText(rs.fnGetChar(std::string("テーブル名称")), 128);
    row.ロックＩＤ番号 = rs.fnGetInt(std::string("ロックＩＤ番号"));
    row.ロックＣＤ番号 = fixedText(rs.fnGetChar(std::string("ロックＣＤ番号")), 32);
}

// The statements on the lock table; "{}" marks where a value goes.
constexpr std::string_view kSelectLockRowsSql =
    R"(Select * From 排他管理 Where (削除区分 = '0') AND ＫＥＹテーブル名称２ <> '内訳名称' AND テーブル名称 <> '内訳';)";
constexpr std::string_view kFindLockRowSql = R"(Select テーブル名称 From 排他管理 Where テーブル名称 = '{}';)";
constexpr std::string_view kDeleteLockRowsSql =
    R"(Delete From 排他管理  Where 削除区分 = '0' And テーブル名称 = '{}';)";
constexpr std::string_view kInsertLockRowSql =
    R"(Insert into 排他管理 (更新日, 更新操作者, 更新画面ＩＤ, 更新カウンタ, 削除区分, )"
    R"(ＫＥＹテーブル名称１, ＫＥＹＩＤ１, ＫＥＹテーブル名称２, ＫＥＹＩＤ２, テーブル名称, )"
    R"(ロックＩＤ番号, ロックＣＤ番号 ) Values (GetDate(), '{}', '{}', 0, '0', '　', 0, '　', 0, '{}', 0, '　' );)";

} // namespace

bool fnSelectLockRows(DbSession& session, std::vector<HaitaKanriRecord>& rows) {
    rows.clear();
    if (!session.database)
        return false;
    auto rs = session.database->fnOpenRecordSet(kSelectLockRowsSql, 0, -1, -1);
    if (!rs)
        return false;
    bool result = true;
    while (!rs->pbEOF()) {
        readLockRow(*rs, rows.emplace_back());
        if (!rs->fnMoveNext()) {
            result = false;
            break;
        }
    }
    rs->fnClose();
    return result;
}

bool fnFindLockRow(DbSession& session, std::string_view name, bool& found) {
    found = false;
    if (!session.database)
        return false;
    auto rs = session.database->fnOpenRecordSet(data::fillSql(kFindLockRowSql, {name}), 0, 1, -1);
    if (!rs)
        return false;
    found = !rs->pbEOF();
    rs->fnClose();
    return true;
}

LockRowsDeletion fnDeleteLockRows(DbSession& session, std::string_view name) {
    const std::string sql = data::fillSql(kDeleteLockRowsSql, {name});
    if (session.database && session.database->fnExecute(sql))
        return {true, {}};
    return {false,
            "排他管理テーブルから「テーブル名称 = '" + std::string(name) + "'」のレコードを削除できませんでした。"};
}

bool fnInsertLockRow(const ProgramContext& ctx, DbSession& session, std::string_view name,
                     const LockInsertOptions& options) {
    if (!session.database)
        return false;
    const std::string sql =
        data::fillSql(kInsertLockRowSql, {fnSqlText(options.operatorName, 16), fnActiveFormName(ctx), name});
    bool ok = false;
    for (int attempt = 0; attempt <= options.repeatCount; ++attempt) {
        std::int32_t affected = 0, error = 0;
        ok = session.database->fnExecuteEx(sql, &affected, &error, true, data::hresult::kErrorsInCommand);
        // Only a statement the server refused is worth another try.
        if (ok || error != data::hresult::kErrorsInCommand)
            break;
        if (attempt < options.repeatCount)
            std::this_thread::sleep_for(std::chrono::milliseconds(options.pauseMilliseconds));
    }
    return ok;
}

std::string fnSqlText(std::string_view text, std::int32_t maxBytes) {
    std::string cut;
    if (maxBytes > 0) {
        std::size_t bytes = 0;
        for (std::size_t i = 0; i < text.size();) {
            const std::size_t next = platform::utf8::next(text, i);
            bytes += platform::cp932Length(text.substr(i, next - i));
            if (bytes > std::size_t(maxBytes))
                break;
            cut.append(text.substr(i, next - i));
            i = next;
        }
    } else {
        cut = text;
    }
    std::string out;
    for (char c : cut)
        out += c == '\'' ? std::string("''") : std::string(1, c);
    return out;
}

std::string fnActiveFormName(const ProgramContext& ctx) {
    std::string name;
    try {
        name = ctx.ui.activeWindowName();
    } catch (...) {
        // Asking the desktop may fail in many ways; the row then names no window.
        name.clear();
    }
    return fnSqlText(name, 16);
}

} // namespace core
