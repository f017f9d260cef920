#include "recorder/ListExport.h"

#include <functional>

#include "media/AsxWriter.h"
#include "media/MediaRefKind.h"
#include "recorder/OutputNaming.h"
#include "recorder/SettingsProfile.h"

namespace larkspan {

namespace {

bool IsLocalSource(const std::string& source) { return (ClassifyMediaRef(source) & refkind::LocalFile) != 0; }

// Writes the playlist and turns the writer's result into what the window
// shows. showFileNameOnly: the overwrite question names the file without
// its folder (Save As) instead of the whole path (Save).
ExportOutcome Write(const std::string& path, const std::string& cleanedName, const std::string& source,
                    ExportQuestions& questions, bool showFileNameOnly) {
    ExportOutcome outcome;
    outcome.path = path;
    auto confirm = [&](const std::string& existing) {
        return questions.ConfirmOverwrite(showFileNameOnly ? FileNameOf(existing) : existing);
    };
    std::string reason;
    switch (WriteAsxFile(path, cleanedName, source, confirm, &reason)) {
    case AsxWriteResult::Written:
        outcome.status = ExportStatus::Written;
        break;
    case AsxWriteResult::Declined:
        outcome.status = ExportStatus::Declined;
        break;
    case AsxWriteResult::CreateFailed:
    case AsxWriteResult::Refused:
        outcome.status = ExportStatus::Failed;
        outcome.reason = reason;
        outcome.message = "cannot write " + path + ": " + reason;
        break;
    }
    return outcome;
}

}  // namespace

std::string ExportFolder(SettingsProfile* siblingProfile, const RecorderSettings& settings) {
    if (siblingProfile) {
        std::string folder = siblingProfile->GetString(kSiblingOptionsSection, kSiblingDownDirKey, "");
        if (!folder.empty()) return folder;
    }
    return settings.baseDir;
}

std::string CleanedExportName(std::string name) {
    SanitizeFileName(name);
    return name;
}

std::string ExportSavePath(std::string_view folder, const std::string& cleanedName) {
    return JoinPath(folder, cleanedName + ".asx");
}

std::string ExportSaveAsDefault(std::string_view folder, const std::string& cleanedName) {
    return cleanedName.empty() ? JoinPath(folder, "noname.asx") : ExportSavePath(folder, cleanedName);
}

ExportOutcome SavePlaylist(const std::string& source, const std::string& name, std::string_view folder,
                           ExportQuestions& questions) {
    if (IsLocalSource(source)) return {};
    const std::string cleaned = CleanedExportName(name);
    if (cleaned.empty()) return SavePlaylistAs(source, name, folder, questions);
    return Write(ExportSavePath(folder, cleaned), cleaned, source, questions, false);
}

ExportOutcome SavePlaylistAs(const std::string& source, const std::string& name, std::string_view folder,
                             ExportQuestions& questions) {
    if (IsLocalSource(source)) return {};
    const std::string cleaned = CleanedExportName(name);
    const std::string chosen = questions.AskSaveAsPath(ExportSaveAsDefault(folder, cleaned));
    if (chosen.empty()) return {ExportStatus::Cancelled, {}, {}, {}};
    return Write(chosen, cleaned, source, questions, true);
}

}  // namespace larkspan
