#include "ui/FileSavePanel.h"

#include <QFileDialog>
#include <QMessageBox>

#include "engine/OutputNaming.h"

namespace pelliqo {

namespace {

// The dialog asked before replacing the name it was given, not the one with the extension
// added to it.
bool mayReplace(QWidget* parent, const std::filesystem::path& file) {
    std::error_code unknown;  // then the export says what is wrong with the place
    if (!std::filesystem::exists(file, unknown)) return true;
    const QString name = QString::fromStdString(file.filename().string());
    return QMessageBox::question(
               parent, QObject::tr("Replace"),
               QObject::tr("%1 already exists.\nDo you want to replace it?").arg(name)) ==
           QMessageBox::Yes;
}

}  // namespace

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
    const std::filesystem::path typed = dialog.selectedFiles().front().toStdString();
    // A pipe or a device chosen on purpose is written as it is.
    std::error_code unknown;
    const std::filesystem::file_status found = std::filesystem::status(typed, unknown);
    if (std::filesystem::exists(found) && !std::filesystem::is_regular_file(found)) return typed;
    const std::filesystem::path named = withExtension(typed, request.format.extension);
    if (named != typed && !mayReplace(parent_, named)) return std::nullopt;
    return named;
}

}  // namespace pelliqo
