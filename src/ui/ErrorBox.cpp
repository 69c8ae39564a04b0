#include "ui/ErrorBox.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace pelliqo {

ErrorBox::ErrorBox(Dismiss dismiss, QWidget* parent)
    : QFrame(parent),
      dismiss_(std::move(dismiss)),
      title_(new QLabel),
      message_(new QLabel),
      details_(new QPlainTextEdit) {
    setObjectName("errorBox");
    setStyleSheet("#errorBox { background: rgba(255, 149, 0, 31); border-radius: 8px; }");
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(10, 10, 10, 10);
    column->setSpacing(6);

    auto* top = new QHBoxLayout;
    auto* icon = new QLabel;
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(20, 20));
    top->addWidget(icon, 0, Qt::AlignTop);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    QFont headline = title_->font();
    headline.setBold(true);
    title_->setFont(headline);
    title_->setObjectName("errorTitle");
    message_->setObjectName("errorMessage");
    message_->setWordWrap(true);
    texts->addWidget(title_);
    texts->addWidget(message_);
    top->addLayout(texts, 1);
    auto* details = new QPushButton(tr("Show Details"));
    details->setObjectName("showDetails");
    auto* dismissButton = new QPushButton(tr("Dismiss"));
    dismissButton->setObjectName("dismiss");
    top->addWidget(details, 0, Qt::AlignTop);
    top->addWidget(dismissButton, 0, Qt::AlignTop);
    column->addLayout(top);

    details_->setObjectName("errorDetails");
    details_->setReadOnly(true);
    details_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPointSizeF(mono.pointSizeF() * 0.85);
    details_->setFont(mono);
    details_->setMaximumHeight(detailsMaxHeight);
    details_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    details_->setStyleSheet("background: rgba(0, 0, 0, 15); border-radius: 6px;");
    details_->setVisible(false);
    column->addWidget(details_);

    connect(details, &QPushButton::clicked, this, &ErrorBox::toggleDetails);
    connect(dismissButton, &QPushButton::clicked, this, [this] {
        if (dismiss_) dismiss_();
    });
    setVisible(false);
}

void ErrorBox::setInfo(const std::optional<ErrorInfo>& info) {
    setVisible(info.has_value());
    if (!info) return;
    title_->setText(QString::fromStdString(info->title));
    message_->setText(QString::fromStdString(info->message));
    details_->setPlainText(QString::fromStdString(info->details));
    details_->setVisible(showDetails_);
}

void ErrorBox::toggleDetails() {
    showDetails_ = !showDetails_;
    details_->setVisible(showDetails_);
}

}  // namespace pelliqo
