#include "collation.h"

#include "utf.h"

#include <cerrno>
#include <iconv.h>
#include <memory>
#include <sqlite3.h>
#include <vector>

namespace standin {
namespace {

using Family = Collation::Family;

struct FamilyInfo {
    const char* prefix;
    std::uint32_t lcid;
    int codePage;
};

constexpr FamilyInfo kFamilies[] = {
    {"Japanese_", 0x0411, 932},
    {"Latin1_General_", 0x0409, 1252},
    {"SQL_Latin1_General_CP1_", 0x0409, 1252},
};

const FamilyInfo& infoOf(Family family) {
    return kFamilies[static_cast<int>(family)];
}

// TDS collation flag bits [MS-TDS 2.2.5.1.2], shifted above the 20-bit LCID.
constexpr std::uint32_t kIgnoreCase = 0x01, kIgnoreAccent = 0x02, kIgnoreKana = 0x04, kIgnoreWidth = 0x08,
                        kBinary = 0x10, kBinary2 = 0x20;
constexpr std::uint32_t kCodeMagic = 0x53430000;

std::uint32_t flagsOf(const Collation& c) {
    return (c.ignoreCase ? kIgnoreCase : 0) | (c.ignoreAccent ? kIgnoreAccent : 0) | (c.ignoreKana ? kIgnoreKana : 0) |
           (c.ignoreWidth ? kIgnoreWidth : 0) | (c.binary ? kBinary : 0) | (c.binary2 ? kBinary2 : 0);
}

// The sort order of a SQL collation; 0 for the Windows collations.
std::uint8_t sqlSortId(const Collation& c) {
    if (c.family != Family::SqlLatin1General) {
        return 0;
    }
    return !c.ignoreCase ? 51 : c.ignoreAccent ? 54 : 52;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && iequals(text.substr(0, prefix.size()), prefix);
}

// "CI_AS", "CS_AI_KS_WS", "BIN2", ... after the family prefix.
bool parseOptions(std::string_view rest, Collation& c) {
    if (iequals(rest, "BIN") || iequals(rest, "BIN2")) {
        c.binary = rest.size() == 3;
        c.binary2 = !c.binary;
        c.ignoreCase = c.ignoreKana = c.ignoreWidth = false;
        return true;
    }
    if (rest.size() < 5 || rest[2] != '_') {
        return false;
    }
    const std::string_view caseWord = rest.substr(0, 2), accentWord = rest.substr(3, 2);
    if ((!iequals(caseWord, "CI") && !iequals(caseWord, "CS")) ||
        (!iequals(accentWord, "AI") && !iequals(accentWord, "AS"))) {
        return false;
    }
    c.ignoreCase = iequals(caseWord, "CI");
    c.ignoreAccent = iequals(accentWord, "AI");
    rest.remove_prefix(5);
    if (startsWithNoCase(rest, "_KS")) {
        c.ignoreKana = false;
        rest.remove_prefix(3);
    }
    if (startsWithNoCase(rest, "_WS")) {
        c.ignoreWidth = false;
        rest.remove_prefix(3);
    }
    return rest.empty();
}

// --- Folding: what the collation does not tell apart is made the same before comparing. ---

char32_t halfwidthKatakana(char32_t c) {
    static constexpr char16_t kTable[] = {
        0x3002, 0x300C, 0x300D, 0x3001, 0x30FB, 0x30F2, 0x30A1, 0x30A3, 0x30A5, 0x30A7, 0x30A9, 0x30E3, 0x30E5,
        0x30E7, 0x30C3, 0x30FC, 0x30A2, 0x30A4, 0x30A6, 0x30A8, 0x30AA, 0x30AB, 0x30AD, 0x30AF, 0x30B1, 0x30B3,
        0x30B5, 0x30B7, 0x30B9, 0x30BB, 0x30BD, 0x30BF, 0x30C1, 0x30C4, 0x30C6, 0x30C8, 0x30CA, 0x30CB, 0x30CC,
        0x30CD, 0x30CE, 0x30CF, 0x30D2, 0x30D5, 0x30D8, 0x30DB, 0x30DE, 0x30DF, 0x30E0, 0x30E1, 0x30E2, 0x30E4,
        0x30E6, 0x30E8, 0x30E9, 0x30EA, 0x30EB, 0x30EC, 0x30ED, 0x30EF, 0x30F3, 0x309B, 0x309C};
    return kTable[c - 0xFF61];
}

// A katakana letter with a (semi-)voiced sound mark, when one exists: ｶﾞ is ガ, ﾊﾟ is パ.
char32_t voiced(char32_t base, bool semi) {
    static constexpr char16_t kVoiceable[] = {0x30AB, 0x30AD, 0x30AF, 0x30B1, 0x30B3, 0x30B5, 0x30B7, 0x30B9,
                                              0x30BB, 0x30BD, 0x30BF, 0x30C1, 0x30C4, 0x30C6, 0x30C8};
    if (base >= 0x30CF && base <= 0x30DB && (base - 0x30CF) % 3 == 0) { // ハ ヒ フ ヘ ホ
        return base + (semi ? 2 : 1);
    }
    if (semi) {
        return 0;
    }
    if (base == 0x30A6) {
        return 0x30F4; // ヴ
    }
    for (const char16_t letter : kVoiceable) {
        if (base == letter) {
            return base + 1;
        }
    }
    return 0;
}

char32_t foldCase(char32_t c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3A9) ||
        (c >= 0x410 && c <= 0x42F)) {
        return c + 0x20;
    }
    if (c >= 0x400 && c <= 0x40F) {
        return c + 0x50;
    }
    if ((c >= 0x100 && c <= 0x137 && c % 2 == 0) || (c >= 0x139 && c <= 0x148 && c % 2 == 1) ||
        (c >= 0x14A && c <= 0x177 && c % 2 == 0) || (c >= 0x179 && c <= 0x17E && c % 2 == 1)) {
        return c + 1;
    }
    if (c == 0x178) {
        return 0xFF;
    }
    if (c >= 0xFF21 && c <= 0xFF3A) { // full-width letters, when width counts
        return c + 0x20;
    }
    return c;
}

char32_t foldAccent(char32_t c) {
    // Latin-1 letters with diacritics, from U+00C0, to their base letters ('*': no base letter).
    static constexpr char kBase[] = "AAAAAA*CEEEEIIII*NOOOOO*OUUUUY**aaaaaa*ceeeeiiii*nooooo*ouuuuy*y";
    if (c >= 0xC0 && c <= 0xFF && kBase[c - 0xC0] != '*') {
        return static_cast<char32_t>(kBase[c - 0xC0]);
    }
    return c;
}

std::u32string foldForComparison(const Collation& c, std::string_view text) {
    while (!text.empty() && text.back() == ' ') { // trailing blanks do not count in comparisons
        text.remove_suffix(1);
    }
    std::u32string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        char32_t ch = nextCodePoint(text, pos);
        if (c.ignoreWidth) {
            if (ch >= 0xFF01 && ch <= 0xFF5E) {
                ch -= 0xFEE0;
            } else if (ch == 0x3000) {
                ch = ' ';
            } else if (ch >= 0xFF61 && ch <= 0xFF9F) {
                ch = halfwidthKatakana(ch);
                std::size_t next = pos;
                const char32_t mark = next < text.size() ? nextCodePoint(text, next) : 0;
                if (mark == 0xFF9E || mark == 0xFF9F) {
                    if (const char32_t composed = voiced(ch, mark == 0xFF9F)) {
                        ch = composed;
                        pos = next;
                    }
                }
            }
        }
        if (c.ignoreKana && ((ch >= 0x30A1 && ch <= 0x30F6) || ch == 0x30FD || ch == 0x30FE)) {
            ch -= 0x60;
        }
        if (c.ignoreCase) {
            ch = foldCase(ch);
        }
        if (c.ignoreAccent) {
            ch = foldAccent(ch);
        }
        out += ch;
    }
    return out;
}

int collationCompare(void* collation, int lengthA, const void* a, int lengthB, const void* b) {
    return compareText(*static_cast<const Collation*>(collation),
                       std::string_view(static_cast<const char*>(a), static_cast<std::size_t>(lengthA)),
                       std::string_view(static_cast<const char*>(b), static_cast<std::size_t>(lengthB)));
}

void collationNeeded(void*, sqlite3* db, int, const char* name) {
    if (const auto collation = findCollation(name)) {
        sqlite3_create_collation_v2(db, name, SQLITE_UTF8, new Collation(*collation), collationCompare,
                                    [](void* p) { delete static_cast<Collation*>(p); });
    }
}

// --- Code pages through iconv, one converter pair per thread and code page. ---

class Converter {
public:
    Converter(const char* to, const char* from) : cd_(::iconv_open(to, from)) {}
    ~Converter() {
        if (ok()) {
            ::iconv_close(cd_);
        }
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts all of `in`; an input character the target cannot hold becomes `replacement`.
    std::string run(std::string_view in, const char* replacement) {
        ::iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        std::string out;
        char buffer[256];
        auto* from = const_cast<char*>(in.data());
        std::size_t left = in.size();
        while (left > 0) {
            char* to = buffer;
            std::size_t room = sizeof buffer;
            const std::size_t rc = ::iconv(cd_, &from, &left, &to, &room);
            out.append(buffer, static_cast<std::size_t>(to - buffer));
            if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) {
                out += replacement;
                std::size_t skip = 0;
                nextCodePoint(std::string_view(from, left), skip);
                skip = errno == EINVAL ? left : std::max<std::size_t>(skip, 1);
                from += skip;
                left -= skip;
            }
        }
        return out;
    }

private:
    iconv_t cd_;
};

struct CodePageConverters {
    std::unique_ptr<Converter> encode; // UTF-8 to the code page
    std::unique_ptr<Converter> decode; // and back
};

CodePageConverters& convertersFor(int codePage) {
    thread_local CodePageConverters cp932, cp1252;
    CodePageConverters& slot = codePage == 932 ? cp932 : cp1252;
    if (!slot.encode) {
        const char* name = codePage == 932 ? "CP932" : "CP1252";
        slot.encode = std::make_unique<Converter>(name, "UTF-8");
        slot.decode = std::make_unique<Converter>("UTF-8", name);
    }
    return slot;
}

std::string encode(const Collation& collation, std::string_view utf8) {
    CodePageConverters& converters = convertersFor(collation.codePage());
    return converters.encode->ok() ? converters.encode->run(utf8, "?") : std::string(utf8);
}

} // namespace

std::string Collation::name() const {
    std::string out = infoOf(family).prefix;
    if (binary || binary2) {
        return out + (binary2 ? "BIN2" : "BIN");
    }
    out += ignoreCase ? "CI_" : "CS_";
    out += ignoreAccent ? "AI" : "AS";
    if (family != Family::SqlLatin1General) {
        out += ignoreKana ? "" : "_KS";
        out += ignoreWidth ? "" : "_WS";
    }
    return out;
}

int Collation::codePage() const {
    return infoOf(family).codePage;
}

std::array<std::uint8_t, 5> Collation::tdsBytes() const {
    const std::uint32_t info = infoOf(family).lcid | (flagsOf(*this) << 20);
    return {static_cast<std::uint8_t>(info), static_cast<std::uint8_t>(info >> 8),
            static_cast<std::uint8_t>(info >> 16), static_cast<std::uint8_t>(info >> 24), sqlSortId(*this)};
}

std::uint32_t Collation::code() const {
    return kCodeMagic | (static_cast<std::uint32_t>(family) << 8) | flagsOf(*this);
}

std::optional<Collation> Collation::fromCode(std::uint32_t code) {
    const std::uint32_t family = (code >> 8) & 0xFF;
    if ((code & 0xFFFF0000) != kCodeMagic || family > static_cast<std::uint32_t>(Family::SqlLatin1General)) {
        return std::nullopt;
    }
    const std::uint32_t flags = code & 0xFF;
    Collation c;
    c.family = static_cast<Family>(family);
    c.ignoreCase = flags & kIgnoreCase;
    c.ignoreAccent = flags & kIgnoreAccent;
    c.ignoreKana = flags & kIgnoreKana;
    c.ignoreWidth = flags & kIgnoreWidth;
    c.binary = flags & kBinary;
    c.binary2 = flags & kBinary2;
    // Only what a name can say is a collation.
    const auto named = findCollation(c.name());
    return named && *named == c ? named : std::nullopt;
}

std::optional<Collation> findCollation(std::string_view name) {
    // The longer prefix first: "SQL_Latin1_General_CP1_" is not a Latin1_General collation.
    for (int f = 2; f >= 0; --f) {
        if (!startsWithNoCase(name, kFamilies[f].prefix)) {
            continue;
        }
        Collation c;
        c.family = static_cast<Family>(f);
        if (!parseOptions(name.substr(std::string_view(kFamilies[f].prefix).size()), c)) {
            return std::nullopt;
        }
        // The SQL collations of code page 1252 that exist: CS_AS, CI_AS, CI_AI; no binary forms.
        if (c.family == Family::SqlLatin1General &&
            (c.binary || c.binary2 || (!c.ignoreCase && c.ignoreAccent) || !c.ignoreKana || !c.ignoreWidth)) {
            return std::nullopt;
        }
        return c;
    }
    return std::nullopt;
}

Collation defaultCollation() {
    return Collation{};
}

int compareText(const Collation& collation, std::string_view a, std::string_view b) {
    const std::u32string x = foldForComparison(collation, a), y = foldForComparison(collation, b);
    return x < y ? -1 : x > y ? 1 : 0;
}

std::string toCodePage(const Collation& collation, std::string_view utf8) {
    CodePageConverters& converters = convertersFor(collation.codePage());
    if (!converters.encode->ok() || !converters.decode->ok()) {
        return std::string(utf8);
    }
    return converters.decode->run(converters.encode->run(utf8, "?"), "?");
}

std::size_t codePageBytes(const Collation& collation, std::string_view utf8) {
    return encode(collation, utf8).size();
}

void registerCollations(sqlite3* db) {
    sqlite3_collation_needed(db, nullptr, collationNeeded);
}

} // namespace standin
