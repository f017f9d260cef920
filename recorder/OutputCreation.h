#pragma once
#include <string>
#include <string_view>

#include "recorder/OutputClaim.h"
#include "recorder/QuestionAsker.h"
#include "recorder/RecorderSettings.h"

namespace larkspan {

class OutputFile;

// The Save As dialog holds a path of at most this many characters.
inline constexpr size_t kSaveAsPathMax = 511;

enum class OutputOutcome {
    Opened,         // the file is open for writing; outputPath names it
    Cancelled,      // the user cancelled: set the stop flag, record nothing
    CreationError,  // report "File Creation Error"; the stop flag stays clear
};

// The overwrite question for outputPath. With "OverWrite" on and something
// at the path: Yes goes on, No asks for another path with Save As (which then
// replaces outputPath and is not checked again), Cancel - or cancelling that
// Save As - stops. Without the setting, or with nothing there, goes on.
bool ConfirmOverwrite(const RecorderSettings& settings, std::string& outputPath, QuestionAsker& asker);

// Save As pre-filled with text; true when the user chose a path, which then
// replaces text. A chosen path longer than kSaveAsPathMax, or holding a NUL,
// is refused like a cancel.
bool AskSaveAsPath(QuestionAsker& asker, std::string& text);

// Save As on the suggested name, then creates the chosen file (truncated).
// On success outputPath is the chosen path.
bool CreateViaSaveAs(QuestionAsker& asker, const std::string& suggestedName, std::string& outputPath,
                     OutputFile& file);

// Names, confirms and creates the output file of a stream: outputPath is set
// to the stream output path (then maybe to the user's choice) and file is
// open on success.
// With a claim, a path another running recording writes is replaced by a
// free variant of it ("clip (2).asf"), and the path used stays claimed
// while the claim lives.
OutputOutcome OpenStreamOutput(const RecorderSettings& settings, std::string_view reference,
                               std::string_view requestedName, QuestionAsker& asker, std::string& outputPath,
                               OutputFile& file, OutputClaim* claim = nullptr);

// Names and creates the file a remote meta file is downloaded into. No
// question is asked; a file that cannot be created goes to Save As.
OutputOutcome OpenMetaDownload(const RecorderSettings& settings, std::string_view reference, QuestionAsker& asker,
                               std::string& outputPath, OutputFile& file, OutputClaim* claim = nullptr);

}  // namespace larkspan
