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
    const QString kind = request.format.fileType == MovieFileType::quickTime
                             ? QObject::tr("QuickTime movie")
                             : QObject::tr("MPEG-4 movie");
    dialog.setNameFilter(
        QStringLiteral("%1 (*.%2)").arg(kind, QLatin1StringView(request.format.extension)));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return std::filesystem::path(dialog.selectedFiles().front().toStdString());
}

}  // namespace pelliqo
