#pragma once
#include <QObject>
#include <QString>

#include <functional>
#include <string>

#include "recorder/ListExport.h"

class QWidget;

namespace larkspan {

class RecordList;
class SettingsProfile;

// Save, Save As and Copy to Clipboard of the record list's selected row:
// the first two write it as a one-entry ASX playlist into the export folder
// (Save As through a save dialog), the third puts its source on the
// clipboard. A playlist that cannot be written is reported with its path and
// the reason. Also tells the main window which row is selected, for the
// menu's graying (RecorderWindow::SetSelectedSource).
class ExportCommands : public QObject, private ExportQuestions {
    Q_OBJECT

public:
    static constexpr int kSaveCommand = 32788;
    static constexpr int kSaveAsCommand = 32789;
    static constexpr int kCopyToClipboardCommand = 32792;

    // Replaces the save dialog: the chosen path, or empty for Cancel.
    using SaveAsHook = std::function<QString(const QString& proposedPath)>;
    // Replaces the Yes/No overwrite question; true for Yes.
    using ConfirmHook = std::function<bool(const QString& question)>;
    // Replaces the message box.
    using MessageHook = std::function<void(const QString& text)>;

    // list must outlive the commands. siblingProfile (may be null) is the
    // sibling download program's profile, whose download folder is preferred
    // to the settings' "base dir" as the export folder.
    ExportCommands(RecordList& list, SettingsProfile* siblingProfile = nullptr, QWidget* dialogParent = nullptr,
                   QObject* parent = nullptr);

    void SetSaveAsHook(SaveAsHook hook) { saveAs_ = std::move(hook); }
    void SetConfirmHook(ConfirmHook hook) { confirm_ = std::move(hook); }
    void SetMessageHook(MessageHook hook) { message_ = std::move(hook); }

    // Save and Save As only take sources that are not local files; Copy to
    // Clipboard takes any selected row.
    static bool IsLocalSource(const QString& source);

public slots:
    void Save();
    void SaveAs();
    void CopyToClipboard();
    // Runs Save, Save As or Copy to Clipboard by its id; false for other ids.
    bool HandleCommand(int id);

signals:
    // The selected row's source (empty when no row is selected) and whether
    // it is a local file; sent when either changes.
    void selectedSourceChanged(const QString& source, bool isLocal);

private slots:
    void UpdateSelection();

private:
    bool ConfirmOverwrite(const std::string& shownName) override;
    std::string AskSaveAsPath(const std::string& defaultPath) override;
    void Report(const ExportOutcome& outcome);
    // The selected row's source and name; false when no row is selected.
    bool SelectedRow(std::string& source, std::string& name) const;

    RecordList& list_;
    SettingsProfile* sibling_;
    QWidget* dialogParent_;
    SaveAsHook saveAs_;
    ConfirmHook confirm_;
    MessageHook message_;
    QString shownSource_;
    bool shownLocal_ = false;
};

}  // namespace larkspan
