#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct sqlite3;

namespace standin {

// A SQL Server collation of the families this server knows: Japanese (code page 932),
// Latin1_General and SQL_Latin1_General_CP1 (code page 1252), each case- and accent-sensitive or
// not, kana- and width-sensitive or not (_KS, _WS), or binary (_BIN, _BIN2).
struct Collation {
    enum class Family : std::uint8_t { Japanese, Latin1General, SqlLatin1General };

    Family family = Family::Japanese;
    bool ignoreCase = true;
    bool ignoreAccent = false;
    bool ignoreKana = true;
    bool ignoreWidth = true;
    bool binary = false;  // _BIN
    bool binary2 = false; // _BIN2

    // The canonical spelling, "Japanese_CI_AS".
    std::string name() const;
    int codePage() const;
    // The five bytes TDS carries: LCID, comparison flags and version, then the SQL sort id.
    std::array<std::uint8_t, 5> tdsBytes() const;
    // A stable number for the collation, kept in each database file.
    std::uint32_t code() const;
    static std::optional<Collation> fromCode(std::uint32_t code);

    bool operator==(const Collation&) const = default;
};

// The collation a name denotes, ignoring ASCII case; nullopt for names SQL Server would refuse
// with 448 or that this server does not know.
std::optional<Collation> findCollation(std::string_view name);

// Japanese_CI_AS, the collation of the product's servers.
Collation defaultCollation();

// Compares two UTF-8 texts as SQL Server does under the collation: trailing blanks do not count,
// and case, accents, kana type and width count only where the collation says so. <0, 0 or >0.
int compareText(const Collation& collation, std::string_view a, std::string_view b);

// The text as the collation's code page holds it: characters outside the code page become "?".
// A text literal without N is converted so, and so is a value stored in a VARCHAR column.
std::string toCodePage(const Collation& collation, std::string_view utf8);
// Length of the text in bytes of the collation's code page (what VARCHAR(n) counts).
std::size_t codePageBytes(const Collation& collation, std::string_view utf8);

// Makes every collation this server knows available to SQLite under its names (and any case
// of them): COLLATE clauses in column definitions and expressions find them when needed.
void registerCollations(sqlite3* db);

} // namespace standin
