#pragma once
#include <string>
#include <string_view>

#include "recorder/RecorderSettings.h"

namespace larkspan {

class SettingsProfile;

// Exporting a row of the record list as a one-entry ASX playlist (the Save
// and Save As commands). The window supplies the row's source and name, the
// export folder and the questions; everything else is decided here.

// Where the sibling download program keeps its download folder.
inline constexpr const char* kSiblingOptionsSection = "Options";
inline constexpr const char* kSiblingDownDirKey = "DownDir";

// The folder playlists are exported to: the sibling program's download
// folder when its profile (may be null) names one, else "base dir".
std::string ExportFolder(SettingsProfile* siblingProfile, const RecorderSettings& settings);

// The row's name as a file name and playlist title: SanitizeFileName.
std::string CleanedExportName(std::string name);

// folder/cleaned.asx: where Save writes without a dialog.
std::string ExportSavePath(std::string_view folder, const std::string& cleanedName);

// The file Save As proposes: folder/cleaned.asx, or folder/noname.asx for an
// empty name.
std::string ExportSaveAsDefault(std::string_view folder, const std::string& cleanedName);

// What the export asks the user.
class ExportQuestions {
public:
    virtual ~ExportQuestions() = default;
    // OverwriteQuestionText(shownName) with Yes and No; true for Yes. Save
    // shows the full path, Save As the chosen file's name without folder.
    virtual bool ConfirmOverwrite(const std::string& shownName) = 0;
    // A save dialog for "asx Files (*.asx)" proposing defaultPath, default
    // extension ".asx", not asking about overwriting itself. The chosen path,
    // or an empty text when the user cancels.
    virtual std::string AskSaveAsPath(const std::string& defaultPath) = 0;
};

enum class ExportStatus {
    NotExported,  // a local source: the commands do nothing
    Cancelled,    // the Save As dialog was cancelled
    Declined,     // the file existed and the user said No
    Written,
    Failed,       // see message
};

struct ExportOutcome {
    ExportStatus status = ExportStatus::NotExported;
    std::string path;     // the file written, or that could not be written
    std::string message;  // for Failed: "cannot write <path>: <reason>"
    std::string reason;   // for Failed: the reason alone ("No such file or directory")
};

// Save: writes ExportSavePath for the cleaned name without a dialog; with an
// empty cleaned name it is Save As.
ExportOutcome SavePlaylist(const std::string& source, const std::string& name, std::string_view folder,
                           ExportQuestions& questions);

// Save As: asks for the file, proposing ExportSaveAsDefault, and writes it.
ExportOutcome SavePlaylistAs(const std::string& source, const std::string& name, std::string_view folder,
                             ExportQuestions& questions);

}  // namespace larkspan
