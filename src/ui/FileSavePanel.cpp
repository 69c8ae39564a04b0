#include "ui/FileSavePanel.h"

#include <QFileDialog>

namespace pelliqo {

std::optional<std::filesystem::path> FileSavePanel::choose(const SaveRequest& request) {
    QFileDialog dialog(parent_, QString::fromStdString(request.message));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDirectory(QString::fromStdString(request.folder.string()));
    dialog.selectFile(QString::fromStdString(request.proposedName));
    dialog.setLabelText(QFileDialog::Accept, QObject::tr("Save"));
    dialog.setNameFilter(request.transparent ? QObject::tr("QuickTime movie (*.mov)")
                                             : QObject::tr("MPEG-4 movie (*.mp4)"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return std::filesystem::path(dialog.selectedFiles().front().toStdString());
}

}  // namespace pelliqo
