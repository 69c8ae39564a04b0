#pragma once

#include <QLabel>
#include <QVBoxLayout>

namespace pelliqo {

class SettingsPanel;

// Small building blocks the screens share.

// Text in the secondary colour, wrapping.
QLabel* secondaryLabel(const QString& text);
// Secondary text in caption size.
QLabel* captionLabel(const QString& text, bool wrap = true);

// Lays a mode screen out: a column on the left (its margins and spacing set), a divider,
// and the settings panel on the right. Gives the column to fill.
QVBoxLayout* splitScreen(QWidget* screen, SettingsPanel* panel);

}  // namespace pelliqo
