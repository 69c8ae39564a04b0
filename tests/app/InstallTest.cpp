#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cstdio>
#include <filesystem>
#include <string>

namespace pelliqo {
namespace {

namespace fs = std::filesystem;

struct Shell {
    int code;
    std::string output;
};

Shell shell(const std::string& command) {
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return {-1, ""};
    std::string output;
    char chunk[256];
    while (fgets(chunk, sizeof chunk, pipe) != nullptr) output += chunk;
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

// An install into a fresh prefix runs on its own models: once they are gone from the
// prefix, it says so rather than falling back on the build's.
TEST(Install, TheInstalledProgramRunsFromItsPrefix) {
    QTemporaryDir dir;
    const fs::path prefix = dir.filePath("prefix").toStdString();
    const Shell install =
        shell("cmake --install '" PELLIQO_BUILD_DIR "' --prefix '" + prefix.string() + "'");
    ASSERT_EQ(install.code, 0) << install.output;
    for (const char* file :
         {"share/applications/pelliqo.desktop", "share/icons/hicolor/scalable/apps/pelliqo.svg",
          "share/pelliqo/models/manifest.json"}) {
        EXPECT_TRUE(fs::exists(prefix / file)) << file;
    }

    const std::string mask = "'" + (prefix / "bin/pelliqo").string() + "' mask '" +
                             PELLIQO_TEST_DATA "/people/camera.png' '" +
                             dir.filePath("mask.png").toStdString() + "'";
    const Shell made = shell(mask);
    EXPECT_EQ(made.code, 0) << made.output;
    EXPECT_TRUE(fs::exists(dir.filePath("mask.png").toStdString()));

    fs::remove(prefix / "share/pelliqo/models/fast.onnx");
    const Shell missing = shell(mask);
    EXPECT_EQ(missing.code, 1);
    EXPECT_NE(missing.output.find((prefix / "share/pelliqo/models").string()), std::string::npos)
        << missing.output;
}

}  // namespace
}  // namespace pelliqo
