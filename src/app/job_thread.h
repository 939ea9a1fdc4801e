#pragma once
// The job runner of the program: each job runs on a thread of its own, so that the GUI thread
// keeps the tray menu, the timer and the boxes going while a backup waits hours for the server.
// The job's end is handed back to the GUI thread.

#include "scheduler/job.h"

#include <QObject>

#include <memory>
#include <thread>

namespace app {

class ThreadJobRunner final : public QObject, public scheduler::JobRunner {
    Q_OBJECT
public:
    explicit ThreadJobRunner(QObject* parent = nullptr) : QObject(parent) {}
    // Waits for a job that still runs: the program ends only after its job (or without waiting
    // for it, through writeStopLineAndAbandon).
    ~ThreadJobRunner() override;

    void start(Work work, Finished finished) override;
    void requestStop(std::string line) override;

    // For a job that did not stop in time: its stop line, unless the job has written it.
    void writeStopLine(const core::ProgramContext& services);

private:
    std::shared_ptr<scheduler::JobStop> stop_; // the running job's
    std::jthread thread_;
};

} // namespace app
