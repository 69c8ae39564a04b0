#include "ui/FirstRunView.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "live/PermissionCenter.h"
#include "ui/ScreenParts.h"

namespace pelliqo {

namespace {

QWidget* iconLine(QStyle* style, QStyle::StandardPixmap icon, const QString& text) {
    auto* line = new QWidget;
    auto* row = new QHBoxLayout(line);
    row->setContentsMargins(0, 0, 0, 0);
    auto* picture = new QLabel;
    picture->setPixmap(style->standardIcon(icon).pixmap(16, 16));
    row->addWidget(picture, 0, Qt::AlignTop);
    auto* label = new QLabel(text);
    label->setWordWrap(true);
    row->addWidget(label, 1);
    return line;
}

}  // namespace

FirstRunView::FirstRunView(PermissionCenter& permissions, std::function<void()> done,
                           QWidget* parent)
    : QDialog(parent), permissions_(permissions), done_(std::move(done)) {
    setObjectName("firstRun");
    setWindowTitle(tr("Welcome to Pelliqo"));
    setModal(true);
    setFixedWidth(520);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(14);

    auto* title = new QLabel(tr("Welcome to Pelliqo"));
    QFont large = title->font();
    large.setPointSizeF(large.pointSizeF() * 2);
    large.setBold(true);
    title->setFont(large);
    column->addWidget(title);
    auto* intro =
        new QLabel(tr("Pelliqo removes or replaces the background behind you, live "
                      "from your webcam or afterwards on any video file."));
    intro->setWordWrap(true);
    column->addWidget(intro);

    auto* needs = new QVBoxLayout;
    needs->setSpacing(8);
    needs->addWidget(iconLine(style(), QStyle::SP_ComputerIcon,
                              tr("Camera: needed to show and record the live preview.")));
    needs->addWidget(
        iconLine(style(), QStyle::SP_MediaVolume,
                 tr("Microphone: optional, only to record your voice with the video.")));
    needs->addWidget(
        iconLine(style(), QStyle::SP_DirIcon, tr("Videos folder: recordings are saved there.")));
    column->addLayout(needs);
    column->addWidget(
        secondaryLabel(tr("Everything is processed on this computer. Pelliqo has no "
                          "network code and sends nothing anywhere.")));
    column->addWidget(
        secondaryLabel(tr("The result depends on good lighting and a plain, steady "
                          "camera. Hair and fast-moving hands can have rough edges.")));
    column->addWidget(
        secondaryLabel(tr("You can use \"Process a video\" without giving any permission.")));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto* notNow = new QPushButton(tr("Not now"));
    notNow->setObjectName("notNow");
    notNow->setAutoDefault(false);
    auto* allow = new QPushButton(tr("Allow camera and microphone"));
    allow->setObjectName("allowBoth");
    allow->setDefault(true);
    buttons->addWidget(notNow);
    buttons->addWidget(allow);
    column->addLayout(buttons);

    connect(notNow, &QPushButton::clicked, this, &FirstRunView::finish);
    connect(allow, &QPushButton::clicked, this, [this] {
        // The answers come later on the main queue; the sheet may be gone by then.
        permissions_.requestCamera([self = QPointer<FirstRunView>(this)] {
            if (!self) return;
            self->permissions_.requestMic([self] {
                if (self) self->finish();
            });
        });
    });
}

void FirstRunView::finish() {
    finished_ = true;
    if (done_) done_();
    accept();
}

void FirstRunView::closeEvent(QCloseEvent* event) {
    if (!finished_) event->ignore();
}

}  // namespace pelliqo
