#pragma once

#include <QDialog>
#include <functional>

namespace pelliqo {

class PermissionCenter;

// The welcome sheet: what Pelliqo does and what it needs, with the offer to allow the
// camera and microphone now or later. Only its two buttons close it; both end in done.
class FirstRunView : public QDialog {
    Q_OBJECT

  public:
    FirstRunView(PermissionCenter& permissions, std::function<void()> done,
                 QWidget* parent = nullptr);

    // Escape and the close box do nothing: the sheet ends only through done.
    void reject() override {}

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void finish();

    PermissionCenter& permissions_;
    std::function<void()> done_;
    bool finished_ = false;
};

}  // namespace pelliqo
