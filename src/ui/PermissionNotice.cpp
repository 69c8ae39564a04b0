#include "ui/PermissionNotice.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include "live/PermissionCenter.h"

namespace pelliqo {

PermissionNotice::PermissionNotice(const QString& text, const QString& pane, QWidget* parent)
    : QFrame(parent) {
    setObjectName("permissionNotice");
    setStyleSheet("#permissionNotice { background: rgba(255, 204, 0, 38); border-radius: 8px; }");
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(10, 10, 10, 10);
    auto* lock = new QLabel;
    lock->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(16, 16));
    row->addWidget(lock, 0, Qt::AlignVCenter);
    auto* label = new QLabel(text);
    label->setWordWrap(true);
    row->addWidget(label, 1);
    auto* open = new QPushButton(tr("Open Settings"));
    row->addWidget(open, 0, Qt::AlignVCenter);
    connect(open, &QPushButton::clicked, this,
            [pane] { PermissionCenter::openSettings(pane.toStdString()); });
}

}  // namespace pelliqo
