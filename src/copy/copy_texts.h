#pragma once
// The fixed texts of the copy run: daily-log lines and message boxes, byte for byte as users and
// their support staff know them.

#include <string_view>

namespace copy::texts {

// Section lines.
inline constexpr std::string_view kCopySkipped = "---バックアップコピー処理を実施フラグがOFFのためスキップ---";
inline constexpr std::string_view kRetentionStart = "---コピー先の保存期間を過ぎたファイルの削除 Start---";
inline constexpr std::string_view kRetentionEnd = "---コピー先の保存期間を過ぎたファイルの削除 End---";
inline constexpr std::string_view kBackupCopyStart = "---DBバックアップファイルコピー Start---";
inline constexpr std::string_view kBackupCopyEnd = "---DBバックアップファイルコピー End---";
inline constexpr std::string_view kCertificatesStart = "---Sabrelund証明書フォルダコピー Start---";
inline constexpr std::string_view kCertificatesEnd = "---Sabrelund証明書フォルダコピー End---";
inline constexpr std::string_view kDocumentsStart = "---Sabrelund技術資料フォルダコピー Start---";
inline constexpr std::string_view kDocumentsEnd = "---Sabrelund技術資料フォルダコピー End---";
inline constexpr std::string_view kWexmarlStart = "---Sabrelund Wexmarlフォルダコピー Start---";
inline constexpr std::string_view kWexmarlEnd = "---Sabrelund Wexmarlフォルダコピー End---";

// Pieces of the result lines (deletion lines and the error line: core/daily_log.h).
inline constexpr std::string_view kResult = "結果：";
inline constexpr std::string_view kSuccess = "成功";
inline constexpr std::string_view kFailure = "失敗";
inline constexpr std::string_view kNotExecuted = "未実行";
inline constexpr std::string_view kSourceFile = "ｺﾋﾟｰ元ﾌｧｲﾙ名：";
inline constexpr std::string_view kSourceFolder = "ｺﾋﾟｰ元ﾌｫﾙﾀﾞ名：";
inline constexpr std::string_view kTargetFolder = "ｺﾋﾟｰ先ﾌｫﾙﾀﾞ名：";
inline constexpr std::string_view kCause = "原因：";
inline constexpr std::string_view kSourceFileMissing = "ｺﾋﾟｰ元ﾌｧｲﾙが見つかりません";
inline constexpr std::string_view kSourceFolderMissing = "ｺﾋﾟｰ元ﾌｫﾙﾀﾞが見つかりません";

// Message boxes: title and first line.
inline constexpr std::string_view kBackupCopyFailedTitle = "Sabrelund DBバックアップファイルコピー失敗";
inline constexpr std::string_view kBackupCopyFailed = "DBバックアップファイルコピー失敗";
inline constexpr std::string_view kCertificatesFailedTitle = "Sabrelund 証明書フォルダコピー失敗";
inline constexpr std::string_view kCertificatesFailed = "証明書フォルダコピー失敗";
inline constexpr std::string_view kDocumentsFailedTitle = "Sabrelund 技術資料フォルダコピー失敗";
inline constexpr std::string_view kDocumentsFailed = "技術資料フォルダコピー失敗";
inline constexpr std::string_view kWexmarlFailedTitle = "Sabrelund Wexmarlフォルダコピー失敗";
inline constexpr std::string_view kWexmarlFailed = "Wexmarlフォルダコピー失敗";

} // namespace copy::texts
