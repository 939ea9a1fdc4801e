// The replies the executor builds, token by token, as a client sees them before its driver folds
// them into return codes: errors and the DONE tokens around them, the transaction and database
// changes the server announces, the collation sent with a change of database.

#include "executor.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

using namespace standin;
using testing::ElementsAre;

// One reply item as a short word: "error 8152", "done", "done error more", "rollback", "use X".
std::string describe(const ReplyItem& item) {
    return std::visit(
        [](const auto& v) -> std::string {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, ServerMessage>) {
                return (v.severity > 10 ? "error " : "info ") + std::to_string(v.number);
            } else if constexpr (std::is_same_v<T, Done>) {
                return std::string(v.token == DoneToken::DoneProc ? "doneproc" : "done") +
                       ((v.status & kDoneError) != 0 ? " error" : "") + ((v.status & kDoneCount) != 0 ? " count" : "") +
                       ((v.status & kDoneMore) != 0 ? " more" : "");
            } else if constexpr (std::is_same_v<T, TransactionChange>) {
                return v.event == TransactionEvent::Begin    ? "begin"
                       : v.event == TransactionEvent::Commit ? "commit"
                                                             : "rollback";
            } else if constexpr (std::is_same_v<T, DatabaseChange>) {
                return "use " + v.newName + " " + v.collation.name();
            } else if constexpr (std::is_same_v<T, ResultSet>) {
                return "rows " + std::to_string(v.rows.size());
            } else {
                return "status";
            }
        },
        item);
}

class Replies : public testing::Test {
protected:
    Replies()
        : folder_(std::filesystem::temp_directory_path() / ("standin-replies-" + std::to_string(::getpid()))),
          catalog_(folder_), executor_(settings_, "master", cancel_, true, 53) {}
    ~Replies() override { std::filesystem::remove_all(folder_); }

    std::vector<std::string> run(const std::string& sql) {
        std::vector<std::string> items;
        for (const ReplyItem& item : executor_.runBatch(sql).items) {
            items.push_back(describe(item));
        }
        return items;
    }

    std::filesystem::path folder_;
    Catalog catalog_;
    ServerSettings settings_{&catalog_, {}, {}};
    CancelSignal cancel_;
    Executor executor_;
};

TEST_F(Replies, AStatementErrorIsFollowedByTheRestOfTheBatch) {
    run("CREATE TABLE t (s NVARCHAR(2))");
    EXPECT_THAT(run("INSERT INTO t VALUES ('a'); INSERT INTO t VALUES ('abc'); SELECT s FROM t"),
                ElementsAre("done count more", "error 8152", "done error more", "rows 1", "done count"));
}

TEST_F(Replies, AConversionErrorEndsTheBatchAndAnnouncesTheRollback) {
    run("CREATE TABLE t (i INT)");
    EXPECT_THAT(
        run("BEGIN TRAN; INSERT INTO t VALUES (1); INSERT INTO t VALUES ('x'); SELECT 1"),
        ElementsAre("begin", "done more", "done count more", "error 245", "done error more", "rollback", "done"));
    EXPECT_THAT(run("SELECT @@TRANCOUNT, COUNT(*) FROM t"), ElementsAre("rows 1", "done count"));
}

TEST_F(Replies, XactAbortEndsTheBatchAtAnyErrorAndRollsBack) {
    run("CREATE TABLE t (s NVARCHAR(2)); SET XACT_ABORT ON");
    EXPECT_THAT(run("BEGIN TRAN; INSERT INTO t VALUES ('abc'); INSERT INTO t VALUES ('a')"),
                ElementsAre("begin", "done more", "error 8152", "done error more", "rollback", "done"));
    EXPECT_THAT(run("SET XACT_ABORT OFF; BEGIN TRAN; INSERT INTO t VALUES ('abc'); COMMIT"),
                ElementsAre("done more", "begin", "done more", "error 8152", "done error more", "commit", "done"));
}

TEST_F(Replies, AChangeOfDatabaseCarriesItsCollation) {
    run("CREATE DATABASE latin COLLATE Latin1_General_CS_AS");
    EXPECT_THAT(run("USE latin"), ElementsAre("use latin Latin1_General_CS_AS", "info 5701", "done"));
    EXPECT_EQ(executor_.collation().name(), "Latin1_General_CS_AS");
    EXPECT_THAT(run("USE master"), ElementsAre("use master Japanese_CI_AS", "info 5701", "done"));
}

TEST_F(Replies, ANameErrorEndsTheBatchButKeepsTheTransaction) {
    EXPECT_THAT(run("BEGIN TRAN; SELECT * FROM nowhere; SELECT 1"),
                ElementsAre("begin", "done more", "error 208", "done error"));
    EXPECT_THAT(run("SELECT @@TRANCOUNT"), ElementsAre("rows 1", "done count"));
    EXPECT_THAT(run("ROLLBACK"), ElementsAre("rollback", "done"));
}

} // namespace
