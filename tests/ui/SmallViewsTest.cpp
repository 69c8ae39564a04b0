#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <fstream>
#include <functional>

#include "platform/image/MatView.h"
#include "ui/Checkerboard.h"
#include "ui/ErrorBox.h"
#include "ui/FileFilter.h"
#include "ui/FileSavePanel.h"
#include "ui/PreviewImageView.h"

namespace pelliqo {
namespace {

int grey(const QImage& image, int x, int y) {
    return qRed(image.pixel(x, y));
}

// Cameras name their files in capitals, and dialogs on Linux match names case by case.
TEST(FileFilter, ShowsCameraFilesNamedInCapitals) {
    const QString filter = fileFilter("Videos", {"mov", "mts"});
    ASSERT_TRUE(filter.startsWith("Videos (") && filter.endsWith(")"));
    const QStringList patterns = filter.section('(', 1).chopped(1).split(' ');
    const auto shown = [&](const QString& name) {
        return std::any_of(patterns.begin(), patterns.end(), [&](const QString& pattern) {
            return QRegularExpression(QRegularExpression::wildcardToRegularExpression(pattern))
                .match(name)
                .hasMatch();
        });
    };
    EXPECT_TRUE(shown("IMG_0001.MOV"));
    EXPECT_TRUE(shown("00001.MTS"));
    EXPECT_TRUE(shown("talk.mov"));
    EXPECT_FALSE(shown("notes.txt"));
}

// Acts on the first dialog of the kind to show, as its user would.
template <class Dialog>
void whenShown(std::function<void(Dialog&)> act) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
        for (QWidget* shown : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<Dialog*>(shown);
            if (dialog == nullptr || !dialog->isVisible()) continue;
            poll->deleteLater();
            poll->stop();
            return act(*dialog);
        }
    });
    poll->start(10);
}

// Linux's dialogs add no extension to a typed name; one without is no movie to an editor.
TEST(FileSavePanel, TheNameChosenEndsInTheExtensionOfWhatIsSaved) {
    QTemporaryDir dir;
    const std::filesystem::path folder = dir.path().toStdString();
    FileSavePanel panel;
    const auto typed = [&](const QString& name) {
        whenShown<QFileDialog>([&](QFileDialog& dialog) {
            dialog.findChild<QLineEdit*>("fileNameEdit")->setText(name);
            static_cast<QDialog&>(dialog).accept();  // as its Save button does
        });
        return panel.choose({folder, "clip pelliqo.mp4", movieFormat(false), "Saved as H.264."});
    };
    EXPECT_EQ(typed("talk"), folder / "talk.mp4");
    EXPECT_EQ(typed("talk.webm"), folder / "talk.webm.mp4");
    EXPECT_EQ(typed("TALK.MP4"), folder / "TALK.MP4");
    // The dialog asked before replacing "talk", not "talk.mp4".
    std::ofstream(folder / "talk.mp4") << "old";
    for (const auto answer : {QMessageBox::No, QMessageBox::Yes}) {
        whenShown<QMessageBox>([answer](QMessageBox& box) { box.button(answer)->click(); });
        EXPECT_EQ(typed("talk").has_value(), answer == QMessageBox::Yes);
    }
}

TEST(PreviewImageView, PicturesFitLetterboxedAndTheCheckerboardStaysUnderThem) {
    EXPECT_EQ(PreviewImageView::fittedRect({160, 90}, {0, 0, 400, 90}), QRectF(120, 0, 160, 90));
    EXPECT_EQ(PreviewImageView::fittedRect({100, 100}, {0, 0, 300, 200}), QRectF(50, 0, 200, 200));
    EXPECT_TRUE(PreviewImageView::fittedRect({0, 10}, {0, 0, 300, 200}).isEmpty());

    // A clear 16 × 9 picture in a wide view: checkerboard inside, plain backdrop outside.
    auto clear = *PixelBuffer::make(160, 90, PixelFormat::bgra8);
    matView(clear).setTo(cv::Scalar(0, 0, 0, 0));
    PreviewImageView view;
    view.resize(400, 90);
    view.setImage(Bitmap::from(clear));
    view.setTransparent(true);
    const QImage shot = view.grab().toImage();
    EXPECT_EQ(grey(shot, 125, 5), 199);  // the picture's first tile
    EXPECT_NE(grey(shot, 20, 45), 199);  // the letterbox band
    EXPECT_EQ(grey(shot, 20, 45), grey(shot, 380, 45));
    view.setTransparent(false);
    EXPECT_EQ(grey(view.grab().toImage(), 125, 5), grey(shot, 20, 45));
}

TEST(ErrorBox, ShowsTheErrorKeepsTheDetailsChoiceAndDismissClearsTheField) {
    std::optional<ErrorInfo> field = ErrorInfo("Recording stopped", "The disk is full.", "");
    ErrorBox box([&] { field.reset(); });
    box.setInfo(std::nullopt);
    EXPECT_TRUE(box.isHidden());
    box.setInfo(field);
    EXPECT_FALSE(box.isHidden());
    EXPECT_EQ(box.findChild<QLabel*>("errorTitle")->text(), "Recording stopped");
    auto* details = box.findChild<QPlainTextEdit*>("errorDetails");
    EXPECT_TRUE(details->isHidden());
    box.findChild<QPushButton*>("showDetails")->click();
    EXPECT_FALSE(details->isHidden());  // empty details still open an (empty) pane
    EXPECT_LE(details->maximumHeight(), 90);
    EXPECT_TRUE(details->isReadOnly());
    // A new error keeps the pane as the user left it.
    box.setInfo(ErrorInfo("Camera unavailable", "m", std::string(2000, 'x')));
    EXPECT_FALSE(details->isHidden());
    EXPECT_EQ(box.findChild<QPushButton*>("showDetails")->text(), "Show Details");
    box.findChild<QPushButton*>("dismiss")->click();
    EXPECT_FALSE(field.has_value());
}

}  // namespace
}  // namespace pelliqo
