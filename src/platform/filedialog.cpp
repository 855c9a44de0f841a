#include "platform/filedialog.h"

#include <QFileDialog>

namespace ravlon {

namespace {

FileDialogHandler& Handler() {
    static FileDialogHandler handler;
    return handler;
}

} // namespace

std::string AskFileName(QWidget* parent, const FileDialogRequest& request) {
    if (Handler()) return Handler()(request);
    QFileDialog dialog(parent, QString::fromStdString(request.caption), QString(),
                       QString::fromStdString(request.filter));
    if (request.kind == FileDialogKind::Folder) {
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly);
    } else if (request.kind == FileDialogKind::Save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(QString::fromStdString(request.defaultSuffix));
    } else {
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first().toStdString();
}

void SetFileDialogHandler(FileDialogHandler handler) {
    Handler() = std::move(handler);
}

} // namespace ravlon
