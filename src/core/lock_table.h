#pragma once
// The product's exclusive-control table 排他管理: programs insert a row naming what they work on
// and delete it when done. The scheduler reads it to see whether a backup runs elsewhere and
// announces its own run in it.

#include "core/context.h"
#include "core/db_session.h"
#include "platform/datetime.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace core {

// One row as read. Texts are fixed-length: padded with blanks on the right, cut when longer.
struct HaitaKanriRecord {
    platform::LocalTime 更新日{};
    std::string 更新操作者;   // 16 characters
    std::string 更新画面ＩＤ; // 16 characters
    std::int16_t 更新カウンタ = 0;
    std::string 削除区分;             // 1 character, "0" = live row
    std::string ＫＥＹテーブル名称１; // 128 characters
    std::int32_t ＫＥＹＩＤ１ = 0;
    std::string ＫＥＹテーブル名称２; // 128 characters
    std::int32_t ＫＥＹＩＤ２ = 0;
    std::string テーブル名称; // 128 characters
    std::int32_t ロックＩＤ番号 = 0;
    std::string ロックＣＤ番号; // 32 characters
};

// The insert's module settings and the operator name; this program leaves them all at zero and
// empty, which gives exactly one attempt.
struct LockInsertOptions {
    std::int16_t repeatCount = 0;
    std::int16_t pauseMilliseconds = 0;
    std::string operatorName;
};

// All live rows except those of breakdown names, in the server's order.
bool fnSelectLockRows(DbSession& session, std::vector<HaitaKanriRecord>& rows);
// Whether any row (live or deleted) names `name`; false only when the query fails.
bool fnFindLockRow(DbSession& session, std::string_view name, bool& found);
// How a deletion of lock rows went; a failure carries the text of its box, which the caller
// shows (this function shows nothing).
struct LockRowsDeletion {
    bool deleted = false;
    std::string failureText;
    explicit operator bool() const { return deleted; }
};
// Deletes the live rows of `name`.
LockRowsDeletion fnDeleteLockRows(DbSession& session, std::string_view name);
bool fnInsertLockRow(const ProgramContext& ctx, DbSession& session, std::string_view name,
                     const LockInsertOptions& options = {});

// The text cut to its first maxBytes code page 932 bytes (when maxBytes > 0; a character that
// does not fit whole is dropped), with every single quote doubled.
std::string fnSqlText(std::string_view text, std::int32_t maxBytes);
// The active window's name through fnSqlText(…, 16); "" when none is active or asking fails.
std::string fnActiveFormName(const ProgramContext& ctx);

} // namespace core
