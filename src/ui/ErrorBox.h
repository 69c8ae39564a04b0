#pragma once

#include <QFrame>
#include <functional>
#include <optional>

#include "errors/ErrorInfo.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace pelliqo {

// One failure as a tinted box: title, message, "Show Details" with a scrolling, selectable
// pane, and "Dismiss", which clears the caller's field. Takes no space without an error.
class ErrorBox : public QFrame {
    Q_OBJECT

  public:
    using Dismiss = std::function<void()>;

    explicit ErrorBox(Dismiss dismiss, QWidget* parent = nullptr);

    void setInfo(const std::optional<ErrorInfo>& info);
    bool showsDetails() const { return showDetails_; }

    static constexpr int detailsMaxHeight = 90;

  private:
    void toggleDetails();

    Dismiss dismiss_;
    bool showDetails_ = false;  // kept across errors
    QLabel* title_;
    QLabel* message_;
    QPlainTextEdit* details_;
};

}  // namespace pelliqo
