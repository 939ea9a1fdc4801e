#pragma once
// The change marker: after a successful statement that inserted, updated or deleted rows of one
// of the product's business tables, [SABRELUND] BackupFlag of ZUZOR.INI becomes "1". The tables
// are recognised by a fixed, ordered list of positional rules on the SQL text as written.

#include "data/data_env.h"

#include <span>
#include <string_view>

namespace data {

struct ChangeExclusion {
    int position = 0;           // 1-based character position; 0 = no exclusion
    std::string_view character; // the rule fails when this character stands there
};

struct ChangeRule {
    int start;             // 1-based character position where the name must begin
    int length;            // characters of the name
    std::string_view name; // compared exactly
    ChangeExclusion exclusions[2];
};

// The 94 rules in the order they are tried.
std::span<const ChangeRule> changeRules();

// True when the text begins with INSERT, UPDATE or DELETE (any case) and one rule matches.
bool isTrackedChange(std::string_view sql);

// Sets the marker when the statement is a tracked change. A failed write shows the profile-write
// failure message; nothing is reported to the caller.
void sbSetChangeMarker(const DataEnv& env, std::string_view sql);

} // namespace data
