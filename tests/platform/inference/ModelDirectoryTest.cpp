#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/inference/ModelChecks.h"
#include "platform/inference/ModelDirectory.h"

namespace pelliqo {
namespace {

namespace fs = std::filesystem;

class ModelFolder : public testing::Test {
  protected:
    QTemporaryDir dir;
    fs::path root = fs::path(dir.path().toStdString());

    void write(const std::string& name, const std::string& bytes) {
        std::ofstream(root / name, std::ios::binary) << bytes;
    }
    void manifest(const std::string& sha256) {
        write("manifest.json",
              R"({"converter": "x", "models": [{"name": "fast", "title": "t", "file": "fast.onnx",)"
              R"( "input": [256, 144], "sha256": ")" +
                  sha256 + R"("}]})");
    }
    // SHA-256 of "not a network".
    const std::string garbageSha =
        "0e668baeb36bdc26f2e1d0ef18231cf9691164e23adc211315ded82fd710e114";
};

TEST_F(ModelFolder, AMissingManifestOrAMissingOrDamagedModelIsNamed) {
    const auto none = ModelDirectory::open(root);
    ASSERT_FALSE(none);
    EXPECT_NE(none.error().description.find("manifest.json"), std::string::npos);
    EXPECT_NE(none.error().description.find("run ./scripts/setup"), std::string::npos);

    manifest(garbageSha);
    const auto missing = ModelDirectory::open(root).value().verified("fast");
    ASSERT_FALSE(missing);
    EXPECT_NE(missing.error().description.find((root / "fast.onnx").string() + " is missing"),
              std::string::npos);
    EXPECT_FALSE(ModelDirectory::open(root).value().verified("balanced"));

    manifest(std::string(64, '0'));
    write("fast.onnx", "not a network");
    const auto damaged = ModelDirectory::open(root).value().verified("fast");
    ASSERT_FALSE(damaged);
    EXPECT_NE(damaged.error().description.find("fast.onnx is damaged"), std::string::npos);
}

// A run takes what earlier ones summed on trust, two at once too, until the file changes, even
// where its size and time are put back; a store that cannot be written only costs reading it.
TEST_F(ModelFolder, ChecksumsAreKeptForTheNextRunUntilTheFileChanges) {
    write("fast.onnx", "not a network");
    write("balanced.onnx", "");
    const fs::path model = root / "fast.onnx", store = root / "cache/model-checks";
    ModelChecks one(store), other(store);
    EXPECT_EQ(one.sha256(model), garbageSha);
    other.sha256(root / "balanced.onnx");
    const std::string trusted(64, 'a');  // each line starts with a sum
    std::ifstream in(store);
    std::string text;
    for (std::string line; std::getline(in, line);) text += trusted + line.substr(64) + "\n";
    std::ofstream(store) << text;
    ModelChecks next(store);
    EXPECT_EQ(next.sha256(model), trusted);
    EXPECT_EQ(next.sha256(root / "balanced.onnx"), trusted);

    const auto time = fs::last_write_time(model);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // file times move in steps
    write("fast.onnx", "not a netwerk");
    fs::last_write_time(model, time);
    const std::string changed = "dc005a42c403d3c84fd32c1f92a9da996eb58fb63c9976a38d4bf139c416dc9a";
    EXPECT_EQ(ModelChecks(store).sha256(model), changed);
    EXPECT_EQ(ModelChecks(model / "cannot be a folder").sha256(model), changed);
}

}  // namespace
}  // namespace pelliqo
