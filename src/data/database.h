#pragma once
// QRCDBS_DataBase: the program's one way to talk to the product database. Every operation
// reports by its return value; none throws.

#include "data/data_env.h"
#include "data/recordset.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace data {

class QRCDBS_DataBase {
public:
    explicit QRCDBS_DataBase(DataEnv env);
    ~QRCDBS_DataBase();
    QRCDBS_DataBase(const QRCDBS_DataBase&) = delete;
    QRCDBS_DataBase& operator=(const QRCDBS_DataBase&) = delete;

    // Settings file read by fnOpenFromIni and the keys in it.
    std::string gsIniPath;
    std::string gsIniSection = "DATABASE";
    std::string gsIniServer = "SERVER_NAME";
    std::string gsIniDataBase = "DB_NAME";
    std::string gsIniUser = "USER_NAME";
    std::string gsIniPassWord = "PASSWORD";
    std::int32_t glDataBaseType = 1;

    const std::string& psServerName() const;
    const std::string& psDataBaseName() const;
    const std::string& psUserName() const;
    const std::string& psPassWord() const;

    bool fnOpen(std::string_view server, std::string_view database, std::string_view user, std::string_view password,
                std::int32_t databaseType);
    bool fnOpenEtc(std::string_view connectionString);
    bool fnOpenFromIni(std::string_view sIniPath = {}, std::string_view sIniSection = {},
                       std::string_view sIniServer = {}, std::string_view sIniDataBase = {},
                       std::string_view sIniUser = {}, std::string_view sIniPassWord = {},
                       std::int32_t lDataBaseType = -1);
    bool fnClose();
    std::unique_ptr<QRCDBS_RecordSet> fnOpenRecordSet(std::string_view sql, std::int32_t cursorType = 0,
                                                      std::int32_t lockType = 1, std::int32_t options = -1);
    bool fnExecute(std::string_view sql, std::int32_t* affected = nullptr, std::int16_t* status = nullptr);
    bool fnExecuteEx(std::string_view sql, std::int32_t* affected = nullptr, std::int32_t* errorCode = nullptr,
                     bool showMessage = true, std::int32_t silentCode = 0);
    std::int16_t fnBeginTrans();
    bool fnCommitTrans(std::optional<std::int16_t> nStat = std::nullopt);
    bool fnRollBackTrans(std::optional<std::int16_t> nStat = std::nullopt);
    bool fnOpenFile(std::string_view prefix, std::string_view path);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace data
