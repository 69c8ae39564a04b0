#pragma once

#include <QWidget>

#include "process/ProcessModel.h"

namespace pelliqo {

// The desktop's save dialog, asking where an export goes.
class FileSavePanel : public SavePanel {
  public:
    explicit FileSavePanel(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }
    std::optional<std::filesystem::path> choose(const SaveRequest& request) override;

  private:
    QWidget* parent_;
};

}  // namespace pelliqo
