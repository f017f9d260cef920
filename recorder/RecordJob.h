#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "recorder/RecorderSettings.h"
#include "recorder/RunOutputs.h"

namespace larkspan {

// The window message that carries a worker's status (wParam the status,
// lParam the job number).
inline constexpr unsigned kWmRecordStatus = 0x04F1;

enum class RecordStatus : int {
    Connecting = 0,
    HeaderReceived = 2,
    Finished = 3,
    Progress = 5,
    // Something the user should read that does not fail the job (a
    // playlist cut at its bound, an entry skipped); the owner takes the
    // texts with TakeNotices. Owners that know only the four above ignore it.
    Notice = 6,
};

// The recorder window as a worker sees it. Called on the worker's thread:
// an implementation queues the status for the user-interface thread and
// returns at once, so that a worker never waits for the window.
class RecordStatusTarget {
public:
    virtual ~RecordStatusTarget() = default;
    virtual void PostRecordStatus(RecordStatus status, std::uint16_t jobNumber) = 0;
};

// What a worker is started with, by value.
struct RecordJob {
    RecordStatusTarget* notifyWindow = nullptr;  // nothing is posted while null
    std::uint16_t jobNumber = 0;                 // from the window's running counter, from 1
    RecorderSettings settings;                   // snapshot taken when the job starts
    std::string sourceRef;                       // URL or local path of a stream or meta file
    std::string requestedName;                   // file name without folder, may be empty
    // The files written by the run this job belongs to; jobs of one run share
    // it, so that no recording replaces a file an earlier one of the run
    // wrote. Null: the job keeps its own.
    std::shared_ptr<RunOutputs> runOutputs;
};

}  // namespace larkspan
