#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <QTemporaryDir>
#include <memory>
#include <string>

namespace pelliqo::test {

// A folder shared by the tests of one suite, for the clips it makes once; it goes with the suite.
template <class Suite, class Base = testing::Test>
class SuiteFolder : public Base {
  protected:
    static void TearDownTestSuite() { folder_.reset(); }
    static QTemporaryDir& folder() {
        if (!folder_) folder_ = std::make_unique<QTemporaryDir>();
        return *folder_;
    }
    static std::string path(const std::string& name) {
        return folder().filePath(QString::fromStdString(name)).toStdString();
    }

  private:
    static inline std::unique_ptr<QTemporaryDir> folder_;
};

}  // namespace pelliqo::test
