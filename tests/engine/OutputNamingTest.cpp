#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QTemporaryDir>
#include <fstream>
#include <limits>

#include "engine/OutputNaming.h"

namespace pelliqo {
namespace {

namespace fs = std::filesystem;

bool matches(const std::string& text, const char* pattern) {
    const QRegularExpression whole(
        QRegularExpression::anchoredPattern(QString::fromLatin1(pattern)));
    return whole.match(QString::fromStdString(text)).hasMatch();
}

TEST(FormatTime, MinutesAndTwoDigitSeconds) {
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<std::pair<double, std::string>> cases{
        {0, "0:00"},     {59.9, "0:59"},         {60, "1:00"},    {3599, "59:59"},
        {3600, "60:00"}, {3725, "62:05"},        {-5, "0:00"},    {inf, "0:00"},
        {-inf, "0:00"},  {std::nan(""), "0:00"}, {0.999, "0:00"}, {125.5, "2:05"}};
    for (const auto& [seconds, text] : cases) EXPECT_EQ(formatTime(seconds), text) << seconds;
    // Beyond any integer conversion it still reads as minutes and seconds.
    EXPECT_TRUE(matches(formatTime(1e300), R"(\d+:[0-5]\d)"));
}

class RecordingNames : public testing::Test {
  protected:
    void touch(const std::string& name) { std::ofstream(folder / name) << "x"; }
    QTemporaryDir dir;
    fs::path folder = dir.path().toStdString();
    const std::string stamp = "2024-03-05 14.07.09";
};

TEST_F(RecordingNames, CollisionsCountUpAndEachFileCountsOnItsOwn) {
    touch("Pelliqo 2024-03-05 14.07.09.mp4");
    auto paths = recordingPaths(folder, stamp, BackgroundKind::color, true);
    EXPECT_EQ(paths.processed, folder / "Pelliqo 2024-03-05 14.07.09 2.mp4");
    EXPECT_EQ(paths.original, folder / "Pelliqo 2024-03-05 14.07.09 (original).mp4");

    fs::create_symlink("nowhere", folder / "Pelliqo 2024-03-05 14.07.09 2.mp4");  // taken too
    touch("Pelliqo 2024-03-05 14.07.09 (original).mp4");
    paths = recordingPaths(folder, stamp, BackgroundKind::color, true);
    EXPECT_EQ(paths.processed, folder / "Pelliqo 2024-03-05 14.07.09 3.mp4");
    EXPECT_EQ(paths.original, folder / "Pelliqo 2024-03-05 14.07.09 (original) 2.mp4");

    // A transparent take is a .mov; its original take is an .mp4.
    const auto clear = recordingPaths(folder, stamp, BackgroundKind::transparent, true);
    EXPECT_EQ(clear.processed, folder / "Pelliqo 2024-03-05 14.07.09.mov");
    EXPECT_EQ(clear.original, folder / "Pelliqo 2024-03-05 14.07.09 (original) 2.mp4");
}

TEST(ExportNames, EndInTheExtensionOfWhatIsSaved) {
    EXPECT_EQ(withExtension("clips.v2/talk", "mp4"), "clips.v2/talk.mp4");
    EXPECT_EQ(withExtension("talk.", "mp4"), "talk.mp4");
    EXPECT_EQ(withExtension("talk.mp4", "mov"), "talk.mp4.mov");
}

}  // namespace
}  // namespace pelliqo
