// The open and save file dialogs, through one injectable place so that tests
// can answer them instead of a person (like ShowMessageBox). UI thread only.
#pragma once

#include <functional>
#include <string>

class QWidget;

namespace ravlon {

// Folder: an existing folder (the dialog can make a new one).
enum class FileDialogKind { Open, Save, Folder };

struct FileDialogRequest {
    FileDialogKind kind = FileDialogKind::Open;
    std::string caption;
    std::string filter;        // Qt filter text, "Name (*.ext);;All files (*.*)"
    std::string defaultSuffix; // save dialogs: appended when the name has none
};

// The chosen file name, or "" when the user cancelled. An open dialog accepts
// existing files only; a save dialog asks before it overwrites a file.
std::string AskFileName(QWidget* parent, const FileDialogRequest& request);

// Replaces the dialog (tests); an empty handler restores the real dialog.
using FileDialogHandler = std::function<std::string(const FileDialogRequest&)>;
void SetFileDialogHandler(FileDialogHandler handler);

} // namespace ravlon
