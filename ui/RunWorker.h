#pragma once

#include <QObject>
#include <QThread>
#include <atomic>
#include <memory>

#include "common/RunRelay.h"
#include "run/RunRequest.h"
#include "run/Ui.h"

namespace kestrin {

/// Runs one CuttingRun at a time on a thread of its own, its Ui calls relayed (see
/// RunRelay) to `gui` on the thread the worker was made on, through Qt's event loop.
class RunWorker : public QObject {
    Q_OBJECT

  public:
    explicit RunWorker(Ui& gui);
    /// Stops a run still going and waits for it.
    ~RunWorker() override;

    /// Starts a run of `request` (its `stop` is the worker's own). Only when idle.
    void Start(RunRequest request);
    bool Running() const { return thread_ != nullptr; }

    /// The run ends soon after, saving nothing; a question or message it still
    /// has is not shown (the question counts as No). Finished follows.
    void Stop() { stop_ = true; }

  signals:
    /// The run is over and its thread gone; its memory has been given back.
    void Finished();

  private:
    std::atomic<bool> stop_ = false;
    RunRelay relay_;
    std::unique_ptr<QThread> thread_;
};

}  // namespace kestrin
