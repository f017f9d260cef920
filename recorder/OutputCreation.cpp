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

bool Stopped(const OutputGuards& guards) { return guards.stop && guards.stop->load(); }

OutputOutcome CreateOrFallBack(QuestionAsker& asker, std::string& outputPath, OutputFile& file,
                               const OutputGuards& guards) {
    if (CreateOutputFile(file, outputPath)) return OutputOutcome::Opened;
    std::string chosen = FileNameOf(outputPath);
    const bool picked = AskSaveAsPath(asker, chosen);
    if (Stopped(guards)) return OutputOutcome::Cancelled;
    if (!picked) return OutputOutcome::CreationError;
    if (guards.claim && !guards.claim->Claim(chosen)) return OutputOutcome::CreationError;
    outputPath = chosen;
    return CreateOutputFile(file, outputPath) ? OutputOutcome::Opened : OutputOutcome::CreationError;
}

}  // namespace

std::string OverwriteQuestionText(const std::string& path) { return path + " \n\n File exist. Overwrite?"; }

bool AskSaveAsPath(QuestionAsker& asker, std::string& text) {
    std::string chosen = asker.AskSaveAs(FitDialog(text));
    if (chosen.empty() || chosen.size() > kSaveAsPathMax || chosen.find('\0') != std::string::npos) return false;
    text = std::move(chosen);
    return true;
}

OverwriteDecision ConfirmOverwrite(const RecorderSettings& settings, std::string& outputPath, QuestionAsker& asker) {
    if (!settings.overWrite || !SomethingAt(outputPath)) return OverwriteDecision::Proceed;
    switch (asker.AskOverwrite(outputPath)) {
    case OverwriteAnswer::Yes:
        return OverwriteDecision::Proceed;
    case OverwriteAnswer::No:
        return AskSaveAsPath(asker, outputPath) ? OverwriteDecision::Proceed : OverwriteDecision::Stop;
    case OverwriteAnswer::Skip:
        return OverwriteDecision::Skip;
    case OverwriteAnswer::Cancel:
        break;
    }
    return OverwriteDecision::Stop;
}

bool CreateOutputFile(OutputFile& file, const std::string& path) {
    std::error_code ec;
    const auto status = std::filesystem::status(std::filesystem::path(path), ec);
    // A device or a pipe cannot be replaced by a renamed file (and must not
    // be); a folder fails to open, which leads to Save As.
    if (!ec && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) return file.Create(path);
    return file.CreateReplacing(path);
}

bool CreateViaSaveAs(QuestionAsker& asker, const std::string& suggestedName, std::string& outputPath,
                     OutputFile& file) {
    std::string chosen = suggestedName;
    if (!AskSaveAsPath(asker, chosen)) return false;
    outputPath = chosen;
    return CreateOutputFile(file, outputPath);
}

OutputOutcome OpenStreamOutput(const RecorderSettings& settings, std::string_view reference,
                               std::string_view requestedName, QuestionAsker& asker, std::string& outputPath,
                               OutputFile& file, const OutputGuards& guards) {
    outputPath = StreamOutputPath(reference, requestedName, settings.baseDir);
    if (guards.claim) outputPath = guards.claim->ClaimFreeVariant(outputPath, guards.written);
    const OverwriteDecision decision = ConfirmOverwrite(settings, outputPath, asker);
    if (decision == OverwriteDecision::Stop || Stopped(guards)) return OutputOutcome::Cancelled;
    if (decision == OverwriteDecision::Skip) return OutputOutcome::Skipped;
    // A path the user chose in Save As may be one another recording writes.
    if (guards.claim && !guards.claim->Holds(outputPath) && !guards.claim->Claim(outputPath))
        return OutputOutcome::CreationError;
    return CreateOrFallBack(asker, outputPath, file, guards);
}

OutputOutcome OpenMetaDownload(const RecorderSettings& settings, std::string_view reference, QuestionAsker& asker,
                               std::string& outputPath, OutputFile& file, const OutputGuards& guards) {
    outputPath = MetaDownloadPath(reference, settings.baseDir);
    if (guards.claim) outputPath = guards.claim->ClaimFreeVariant(outputPath, guards.written);
    if (Stopped(guards)) return OutputOutcome::Cancelled;
    return CreateOrFallBack(asker, outputPath, file, guards);
}

}  // namespace larkspan
