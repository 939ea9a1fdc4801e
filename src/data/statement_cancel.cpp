#include "data/statement_cancel.h"

#include <sql.h>

namespace data {
namespace {

thread_local StatementGroup* currentGroup = nullptr;

} // namespace

void StatementGroup::cancel() {
    cancelled_ = true;
    const std::lock_guard lock(mutex_);
    for (void* statement : running_)
        SQLCancel(statement);
}

StatementGroupScope::StatementGroupScope(StatementGroup* group) : previous_(currentGroup) {
    currentGroup = group;
}

StatementGroupScope::~StatementGroupScope() {
    currentGroup = previous_;
}

bool statementsCancelled() {
    return currentGroup && currentGroup->cancelled();
}

RunningStatement::RunningStatement(void* statement) : group_(currentGroup), statement_(statement) {
    if (!group_)
        return;
    const std::lock_guard lock(group_->mutex_);
    group_->running_.insert(statement_);
}

RunningStatement::~RunningStatement() {
    if (!group_)
        return;
    const std::lock_guard lock(group_->mutex_);
    group_->running_.erase(statement_);
}

} // namespace data
