#include "recorder/OutputCreation.h"

#include <filesystem>
#include <system_error>

#include "asf/OutputFile.h"
#include "recorder/OutputNaming.h"

namespace larkspan {

namespace {

bool SomethingAt(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::path(path), ec);
}

// The dialog's buffer holds kSaveAsPathMax characters; a longer suggestion
// is shown cut (at a UTF-8 character boundary).
std::string FitDialog(const std::string& text) {
    if (text.size() <= kSaveAsPathMax) return text;
    size_t n = kSaveAsPathMax;
    for (int i = 0; i < 3 && n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80; ++i) --n;
    if ((static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) n = kSaveAsPathMax;  // not UTF-8 anyway
    return text.substr(0, n);
}

OutputOutcome CreateOrFallBack(QuestionAsker& asker, std::string& outputPath, OutputFile& file, OutputClaim* claim) {
    if (file.Create(outputPath)) return OutputOutcome::Opened;
    std::string chosen = FileNameOf(outputPath);
    if (!AskSaveAsPath(asker, chosen)) return OutputOutcome::CreationError;
    if (claim && !claim->Claim(chosen)) return OutputOutcome::CreationError;
    outputPath = chosen;
    return file.Create(outputPath) ? OutputOutcome::Opened : OutputOutcome::CreationError;
}

}  // namespace

std::string OverwriteQuestionText(const std::string& path) { return path + " \n\n File exist. Overwrite?"; }

bool AskSaveAsPath(QuestionAsker& asker, std::string& text) {
    std::string chosen = asker.AskSaveAs(FitDialog(text));
    if (chosen.empty() || chosen.size() > kSaveAsPathMax || chosen.find('\0') != std::string::npos) return false;
    text = std::move(chosen);
    return true;
}

bool ConfirmOverwrite(const RecorderSettings& settings, std::string& outputPath, QuestionAsker& asker) {
    if (!settings.overWrite || !SomethingAt(outputPath)) return true;
    switch (asker.AskOverwrite(outputPath)) {
    case OverwriteAnswer::Yes:
        return true;
    case OverwriteAnswer::No:
        return AskSaveAsPath(asker, outputPath);
    case OverwriteAnswer::Cancel:
    case OverwriteAnswer::Skip:
        break;
    }
    return false;
}

bool CreateViaSaveAs(QuestionAsker& asker, const std::string& suggestedName, std::string& outputPath,
                     OutputFile& file) {
    std::string chosen = suggestedName;
    if (!AskSaveAsPath(asker, chosen)) return false;
    outputPath = chosen;
    return file.Create(outputPath);
}

OutputOutcome OpenStreamOutput(const RecorderSettings& settings, std::string_view reference,
                               std::string_view requestedName, QuestionAsker& asker, std::string& outputPath,
                               OutputFile& file, OutputClaim* claim) {
    outputPath = StreamOutputPath(reference, requestedName, settings.baseDir);
    if (claim) outputPath = claim->ClaimFreeVariant(outputPath);
    if (!ConfirmOverwrite(settings, outputPath, asker)) return OutputOutcome::Cancelled;
    // A path the user chose in Save As may be one another recording writes.
    if (claim && !claim->Holds(outputPath) && !claim->Claim(outputPath)) return OutputOutcome::CreationError;
    return CreateOrFallBack(asker, outputPath, file, claim);
}

OutputOutcome OpenMetaDownload(const RecorderSettings& settings, std::string_view reference, QuestionAsker& asker,
                               std::string& outputPath, OutputFile& file, OutputClaim* claim) {
    outputPath = MetaDownloadPath(reference, settings.baseDir);
    if (claim) outputPath = claim->ClaimFreeVariant(outputPath);
    return CreateOrFallBack(asker, outputPath, file, claim);
}

}  // namespace larkspan
