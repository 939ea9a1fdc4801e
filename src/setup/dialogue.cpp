#include "setup/dialogue.h"

#include "common/password.h"
#include "common/string_utils.h"
#include "core/settings.h"

#include <algorithm>
#include <filesystem>

namespace setup {
namespace {

// Input ended: the dialogue unwinds without writing.
struct InputEnded {};

constexpr const char* kKindNames[] = {"Full backup", "Differential backup", "Transaction-log backup"};

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return out;
}

std::string joinedWith(const std::vector<std::string>& items, std::string_view separator) {
    std::string out;
    for (const std::string& item : items)
        out += (out.empty() ? "" : std::string(separator)) + item;
    return out;
}

class Dialogue {
public:
    Dialogue(const core::ProgramContext& ctx, Prompter& p, ServerCheck& server, const core::FolderQueries& folders,
             Answers current)
        : ctx_(ctx), p_(p), server_(server), folders_(folders), a_(std::move(current)) {}

    std::optional<DialogueResult> run() {
        p_.say("Settings folder: " + ctx_.programDir.string());
        p_.say("Press Enter to keep the value in brackets; Ctrl+D ends without writing anything.");
        p_.say("");
        if (!logIn())
            return std::nullopt;
        if (!chooseProductDatabase())
            return std::nullopt;
        askDatabasesToBackUp();
        askProductFolders();
        askBackupFolder();
        for (std::size_t slot = 0; slot < a_.schedules.size(); ++slot)
            askSchedule(slot);
        a_.localTerm = askTerm("Days to keep local backups (1-999)", a_.localTerm, 999);
        askCopy();
        askTempLogTerm();
        if (!confirm())
            return std::nullopt;
        return DialogueResult{std::move(a_), std::move(listed_)};
    }

private:
    std::string ask(std::string_view question, std::string_view def) {
        auto answer = p_.ask(question, def);
        if (!answer)
            throw InputEnded{};
        return std::move(*answer);
    }

    std::string askRequired(std::string_view question, std::string_view def) {
        for (;;) {
            std::string answer = ask(question, def);
            if (!answer.empty())
                return answer;
            p_.say("  An answer is needed here.");
        }
    }

    bool askYesNo(std::string_view question, bool def) {
        for (;;) {
            if (const auto yes = parseYesNo(ask(std::string(question) + " (y/n)", def ? "y" : "n")))
                return *yes;
            p_.say("  Answer y or n.");
        }
    }

    std::string askSecret(std::string_view question) {
        auto answer = p_.askSecret(question);
        if (!answer)
            throw InputEnded{};
        return std::move(*answer);
    }

    // The server and the login, asked until a login succeeds or the person gives up.
    bool logIn() {
        const bool serverFixed = zuzorIniExists(ctx_) && !a_.server.empty();
        if (serverFixed)
            p_.say("SQL Server: " + a_.server +
                   " (from ZUZOR.INI, the product's file, which the set-up leaves as it is)");
        for (;;) {
            if (!serverFixed)
                a_.server = askRequired("SQL Server (host, host,port or host\\instance)",
                                        a_.server.empty() ? "(local)" : a_.server);
            a_.login = askRequired("SQL Server login", a_.login);
            std::string password = askPassword();
            const std::string why = server_.logIn(a_.server, a_.login, password);
            common::wipe(password);
            if (why.empty())
                break;
            p_.say("  Cannot log in: " + why);
            if (!askYesNo("Try again?", true))
                return false;
        }
        const auto names = server_.databases();
        if (!names) {
            p_.say("Cannot read the server's databases: " + server_.lastError());
            return false;
        }
        listed_ = *names;
        if (listed_.empty()) {
            p_.say("The server has no user database. Create or restore the product database first.");
            return false;
        }
        p_.say("Logged in. Databases on the server:");
        for (std::size_t i = 0; i < listed_.size(); ++i)
            p_.say("  " + std::to_string(i + 1) + ") " + listed_[i]);
        return true;
    }

    // A new password (typed twice), or the stored one when Enter is pressed; the plain text for
    // the login check.
    std::string askPassword() {
        std::string stored =
            a_.storedPassword.empty() ? std::string() : common::fnDecryptPassword(ctx_.programDir, a_.storedPassword);
        for (;;) {
            std::string typed = askSecret(stored.empty() ? "Password" : "Password (Enter keeps the stored one)");
            if (typed.empty() && !stored.empty()) {
                common::wipe(a_.password);
                return stored;
            }
            if (const std::string why = common::passwordRefusal(typed); !why.empty()) {
                p_.say("  Not stored: " + why + ".");
                continue;
            }
            std::string again = askSecret("Password again");
            const bool same = again == typed;
            common::wipe(again);
            if (same) {
                common::wipe(stored);
                a_.password = typed;
                return typed;
            }
            common::wipe(typed);
            p_.say("  The two passwords differ.");
        }
    }

    bool chooseProductDatabase() {
        const bool fixed = zuzorIniExists(ctx_) && !a_.productDatabase.empty();
        if (fixed) {
            p_.say("Product database: " + a_.productDatabase + " (from ZUZOR.INI)");
            if (std::find(listed_.begin(), listed_.end(), a_.productDatabase) == listed_.end())
                p_.say("  The server has no database of that name: the product's lock table cannot be reached.");
            return true;
        }
        const bool known = std::find(listed_.begin(), listed_.end(), a_.productDatabase) != listed_.end();
        for (;;) {
            const auto chosen = chooseDatabases(
                ask("Product database, which holds its lock table (number or name)", known ? a_.productDatabase : "1"),
                listed_);
            if (chosen && chosen->size() == 1) {
                a_.productDatabase = chosen->front();
                return true;
            }
            p_.say("  Give one number or name from the list.");
        }
    }

    void askDatabasesToBackUp() {
        std::vector<std::string> def = a_.databases;
        const bool allListed = !def.empty() && std::all_of(def.begin(), def.end(), [&](const std::string& n) {
            return std::find(listed_.begin(), listed_.end(), n) != listed_.end();
        });
        if (!allListed)
            def = {a_.productDatabase};
        for (;;) {
            const auto chosen = chooseDatabases(
                ask("Databases to back up (numbers or names, separated by blanks)", joinedWith(def, " ")), listed_);
            if (chosen && !chosen->empty()) {
                a_.databases = *chosen;
                return;
            }
            p_.say("  Give numbers or names from the list.");
        }
    }

    // The product's folders live in ZUZOR.INI: asked only where the set-up may write them.
    void askProductFolders() {
        const bool exists = zuzorIniExists(ctx_);
        if (!exists || a_.productFolder.empty())
            a_.productFolder =
                ask("Product folder (ZUZOR.INI [SABRELUND] PATH; Enter leaves it unset)", a_.productFolder);
        if (!exists || a_.documentsFolder.empty())
            a_.documentsFolder =
                ask("Technical-documents folder (ZUZOR.INI [GIJYUTU] PATH; Enter leaves it unset)", a_.documentsFolder);
    }

    void askBackupFolder() {
        for (;;) {
            const std::string path =
                askRequired("Local backup folder (an absolute path on a local fixed disk)", a_.backupFolder);
            if (!std::filesystem::path(path).is_absolute()) {
                p_.say("  Give an absolute path.");
                continue;
            }
            if (folders_.kindOf(path) == core::FolderQueries::Kind::Missing && !createFolder(path))
                continue;
            if (core::localFolderPasses(path, folders_)) {
                a_.backupFolder = path;
                return;
            }
            p_.say("  " + path +
                   " is no folder on a local fixed disk (not a RAM disk, network mount or removable "
                   "medium, and not /).");
        }
    }

    bool createFolder(const std::string& path) {
        if (!askYesNo(path + " does not exist. Create it?", true))
            return false;
        std::error_code ec;
        std::filesystem::create_directories(path, ec);
        if (ec) {
            p_.say("  Cannot create it: " + ec.message());
            return false;
        }
        p_.say("  Created. The server writes the backups into it as its own user (mssql): give that user write "
               "access (documentation: sql-server.md, \"The backup folder\").");
        return true;
    }

    void askSchedule(std::size_t slot) {
        ScheduleTexts& s = a_.schedules[slot];
        const std::string kind = kKindNames[slot];
        const bool optional = slot != 0;
        const std::string current =
            s.scheduled() && core::isValidDay(s.day) ? weekdaysText(std::uint8_t(common::fnVal(s.day))) : "none";
        for (;;) {
            const std::string text = ask(kind + ": weekdays (e.g. sun, mon-fri, daily" + (optional ? ", none)" : ")"),
                                         optional || current != "none" ? current : "sun");
            const auto mask = parseWeekdays(text);
            if (mask && *mask == 0 && optional) {
                s = ScheduleTexts{};
                return;
            }
            if (mask && *mask != 0) {
                s.day = std::to_string(*mask);
                break;
            }
            p_.say(optional ? "  Give weekdays, or none." : "  Give at least one weekday.");
        }
        for (;;) {
            if (const auto time =
                    parseTime(ask(kind + ": time (hh:mm)", core::isValidTime(s.time) ? s.time : "02:00"))) {
                s.time = *time;
                return;
            }
            p_.say("  Give a time from 00:00 to 23:59.");
        }
    }

    std::string askTerm(std::string_view question, std::string_view def, int highest) {
        for (;;) {
            std::string term = ask(question, def);
            if (isTerm(term, highest))
                return term;
            p_.say("  Give a whole number from 1 to " + std::to_string(highest) + ".");
        }
    }

    std::string askCopyTarget(std::string_view question, std::string_view def) {
        for (;;) {
            const std::string path = askRequired(question, def);
            if (!core::copyTargetPasses(path, core::TargetRule::FolderOrAbsent, folders_)) {
                p_.say("  " + path + " is a file or the root folder.");
                continue;
            }
            if (folders_.kindOf(path) == core::FolderQueries::Kind::Missing)
                p_.say("  Not there now: each run reports the copy it cannot make until it is mounted.");
            return path;
        }
    }

    void askCopy() {
        a_.copy = askYesNo("Copy the backups to an external folder (a mounted share or disk)?", a_.copy);
        if (!a_.copy)
            return;
        a_.copyFolder = askCopyTarget("External folder for the backup files", a_.copyFolder);
        a_.certificateCopyFolder =
            askCopyTarget("External folder for the certificate folder",
                          a_.certificateCopyFolder.empty() ? a_.copyFolder : a_.certificateCopyFolder);
        a_.documentsCopyFolder = askCopyTarget("External folder for the technical-documents and Wexmarl folders",
                                               a_.documentsCopyFolder.empty() ? a_.copyFolder : a_.documentsCopyFolder);
        a_.copyTerm = askTerm("Days to keep files in the external folder (1-999)", a_.copyTerm, 999);
    }

    void askTempLogTerm() {
        for (;;) {
            std::string term = ask("Days to keep the product's temporary mail and EDI logs (1-32767; Enter leaves "
                                   "ZUZOR.INI's MAILSRLOGTERM or 90)",
                                   a_.tempLogTerm);
            if (term.empty() || isTerm(term, 32767)) {
                a_.tempLogTerm = term;
                return;
            }
            p_.say("  Give a whole number from 1 to 32767, or nothing.");
        }
    }

    bool confirm() {
        p_.say("");
        p_.say("Server " + a_.server + ", login " + a_.login + ", product database " + a_.productDatabase);
        p_.say("Back up " + joinedWith(a_.databases, ", ") + " into " + a_.backupFolder + ", kept " + a_.localTerm +
               " days");
        for (std::size_t slot = 0; slot < a_.schedules.size(); ++slot)
            p_.say(std::string(kKindNames[slot]) + ": " + scheduleText(a_.schedules[slot]));
        p_.say(a_.copy ? "Copies to " + a_.copyFolder + ", kept " + a_.copyTerm + " days" : "No external copy");
        return askYesNo("Write these settings?", true);
    }

    const core::ProgramContext& ctx_;
    Prompter& p_;
    ServerCheck& server_;
    const core::FolderQueries& folders_;
    Answers a_;
    std::vector<std::string> listed_;
};

} // namespace

std::optional<bool> parseYesNo(std::string_view text) {
    const std::string t = lower(common::trim(text));
    if (t == "y" || t == "yes")
        return true;
    if (t == "n" || t == "no")
        return false;
    return std::nullopt;
}

std::optional<std::vector<std::string>> chooseDatabases(std::string_view text, const std::vector<std::string>& listed) {
    std::vector<std::string> chosen;
    std::string word;
    const auto take = [&]() -> bool {
        if (word.empty())
            return true;
        std::string name;
        if (common::isDigits(word) && word.size() <= 4) {
            const std::size_t n = std::size_t(common::fnVal(word));
            if (n == 0 || n > listed.size())
                return false;
            name = listed[n - 1];
        } else if (std::find(listed.begin(), listed.end(), word) != listed.end()) {
            name = word;
        } else {
            return false;
        }
        if (std::find(chosen.begin(), chosen.end(), name) == chosen.end())
            chosen.push_back(name);
        word.clear();
        return true;
    };
    for (char c : text) {
        if (c == ' ' || c == ',' || c == '\t') {
            if (!take())
                return std::nullopt;
        } else {
            word += c;
        }
    }
    if (!take())
        return std::nullopt;
    return chosen;
}

std::optional<DialogueResult> runDialogue(const core::ProgramContext& ctx, Prompter& prompter, ServerCheck& server,
                                          const core::FolderQueries& folders, Answers current) {
    try {
        return Dialogue(ctx, prompter, server, folders, std::move(current)).run();
    } catch (const InputEnded&) {
        prompter.say("");
        return std::nullopt;
    }
}

} // namespace setup
