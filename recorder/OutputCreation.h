#pragma once
#include <atomic>
#include <string>
#include <string_view>

#include "recorder/OutputClaim.h"
#include "recorder/QuestionAsker.h"
#include "recorder/RecorderSettings.h"

namespace larkspan {

class OutputFile;
class RunOutputs;

// The Save As dialog holds a path of at most this many characters.
inline constexpr size_t kSaveAsPathMax = 511;

enum class OutputOutcome {
    Opened,         // the file is open for writing; outputPath names it
    Cancelled,      // the user cancelled (or the job was stopped): set the stop flag, record nothing
    Skipped,        // the user keeps the existing file: skip this entry, go on with the job
    CreationError,  // report "File Creation Error"; the stop flag stays clear
};

enum class OverwriteDecision { Proceed, Skip, Stop };

// The overwrite question for outputPath. With "OverWrite" on and something
// at the path: Yes goes on, No asks for another path with Save As (which then
// replaces outputPath and is not checked again), Skip keeps the file and
// skips the entry, Cancel - or cancelling that Save As - stops. Without the
// setting, or with nothing there, goes on.
OverwriteDecision ConfirmOverwrite(const RecorderSettings& settings, std::string& outputPath, QuestionAsker& asker);

// What a recording brings to the opening of its output besides the settings.
struct OutputGuards {
    // With a claim, a path another running recording writes is replaced by
    // a free variant of it ("clip (2).asf"), and the path used stays
    // claimed while the claim lives.
    OutputClaim* claim = nullptr;
    // With a claim: paths earlier recordings of the same run wrote are
    // replaced by a free variant too.
    const RunOutputs* written = nullptr;
    // Checked after every question: a job stopped while a question was open
    // creates nothing.
    const std::atomic<bool>* stop = nullptr;
};

// Opens path for writing so that an existing file is replaced only by the
// first byte written (OutputFile::CreateReplacing); something that is not a
// regular file (a device, a pipe) is opened as it is.
bool CreateOutputFile(OutputFile& file, const std::string& path);

// Save As pre-filled with text; true when the user chose a path, which then
// replaces text. A chosen path longer than kSaveAsPathMax, or holding a NUL,
// is refused like a cancel.
bool AskSaveAsPath(QuestionAsker& asker, std::string& text);

// Save As on the suggested name, then creates the chosen file
// (CreateOutputFile). On success outputPath is the chosen path.
bool CreateViaSaveAs(QuestionAsker& asker, const std::string& suggestedName, std::string& outputPath,
                     OutputFile& file);

// Names, confirms and creates the output file of a stream: outputPath is set
// to the stream output path (then maybe to the user's choice) and file is
// open on success. An existing file is replaced only once the recording
// writes its first byte.
OutputOutcome OpenStreamOutput(const RecorderSettings& settings, std::string_view reference,
                               std::string_view requestedName, QuestionAsker& asker, std::string& outputPath,
                               OutputFile& file, const OutputGuards& guards = {});

// Names and creates the file a remote meta file is downloaded into. No
// question is asked; a file that cannot be created goes to Save As.
OutputOutcome OpenMetaDownload(const RecorderSettings& settings, std::string_view reference, QuestionAsker& asker,
                               std::string& outputPath, OutputFile& file, const OutputGuards& guards = {});

}  // namespace larkspan
