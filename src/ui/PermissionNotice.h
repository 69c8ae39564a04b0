#pragma once

#include <QFrame>
#include <QString>

namespace pelliqo {

// A one-line notice with a lock, the text (wrapping, never cut) and "Open Settings", which
// opens the desktop's settings at the pane.
class PermissionNotice : public QFrame {
    Q_OBJECT

  public:
    PermissionNotice(const QString& text, const QString& pane, QWidget* parent = nullptr);
};

}  // namespace pelliqo
