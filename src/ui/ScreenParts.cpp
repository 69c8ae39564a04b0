#include "ui/ScreenParts.h"

#include <QFrame>
#include <QHBoxLayout>

#include "ui/SettingsPanel.h"

namespace pelliqo {

QLabel* secondaryLabel(const QString& text) {
    auto* label = new QLabel(text);
    label->setWordWrap(true);
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

QLabel* captionLabel(const QString& text, bool wrap) {
    QLabel* label = secondaryLabel(text);
    label->setWordWrap(wrap);
    QFont small = label->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    label->setFont(small);
    return label;
}

QVBoxLayout* splitScreen(QWidget* screen, SettingsPanel* panel) {
    auto* row = new QHBoxLayout(screen);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    auto* left = new QVBoxLayout;
    left->setContentsMargins(12, 12, 12, 12);
    left->setSpacing(10);
    row->addLayout(left, 1);
    auto* divider = new QFrame;
    divider->setFrameShape(QFrame::VLine);
    row->addWidget(divider);
    row->addWidget(panel);
    return left;
}

}  // namespace pelliqo
