#include <gtest/gtest.h>

#include <future>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "engine/PresetStore.h"
#include "frei0r/Filter.h"
#include "platform/system/UserDefaults.h"

extern "C" {
#include <frei0r.h>
}

namespace pelliqo {
namespace {

int indexOf(const std::string& name) {
    const auto parameters = filterParameters();
    for (std::size_t i = 0; i < parameters.size(); ++i)
        if (parameters[i].name == name) return static_cast<int>(i);
    ADD_FAILURE() << "no parameter " << name;
    return 0;
}

// The test photo's person over a grey wall, `shift` pixels right of the middle, as RGBA.
std::vector<std::uint32_t> hostFrame(int shift) {
    cv::Mat photo = cv::imread(PELLIQO_TEST_DATA "/people/grace_hopper.png"), person;
    cv::resize(photo, person, {60, 70});
    cv::Mat frame(96, 128, CV_8UC3, cv::Scalar(128, 128, 128));
    person.copyTo(frame(cv::Rect(34 + shift, 26, 60, 70)));
    std::vector<std::uint32_t> pixels(128 * 96);
    cv::cvtColor(frame, cv::Mat(96, 128, CV_8UC4, pixels.data()), cv::COLOR_BGR2RGBA);
    return pixels;
}

std::vector<std::uint32_t> update(Filter& filter, double time, int shift) {
    const auto in = hostFrame(shift);
    std::vector<std::uint32_t> out(in.size());
    filter.update(time, in.data(), out.data());
    return out;
}

std::unique_ptr<Filter> maskFilter() {
    auto filter = std::make_unique<Filter>(128, 96);
    filter->setValue(indexOf("quality"), std::string("fast"));
    filter->setValue(indexOf("showMask"), true);
    return filter;
}

TEST(FilterParameters, EachEffectParameterOnceInItsHostsKindAndRange) {
    std::vector<std::string> names;
    for (const FilterParameter& p : filterParameters()) names.push_back(p.name);
    EXPECT_EQ(names,
              (std::vector<std::string>{"kind", "blurStrength", "color", "pictureFit",
                                        "picturePath", "quality", "edgeSoftness", "edgeShift",
                                        "reduceFlicker", "showMask", "useSubjectMask", "preset"}));
    // Hosts show only the explanation: it carries the label and the words a choice takes.
    const std::string& kindHelp = filterParameters()[0].explanation;
    EXPECT_NE(kindHelp.find("Background"), std::string::npos) << kindHelp;
    EXPECT_NE(kindHelp.find("transparent"), std::string::npos) << kindHelp;

    Filter filter(8, 8);
    EXPECT_EQ(filter.settings().quality, QualityChoice::accurate);  // the export's default
    // 0…1 across the range; words the host gets wrong change nothing.
    filter.setValue(indexOf("edgeShift"), 0.25);
    EXPECT_DOUBLE_EQ(filter.settings().edgeShift, -3);
    filter.setValue(indexOf("quality"), std::string("ultra"));
    EXPECT_EQ(filter.settings().quality, QualityChoice::accurate);
    // As on the command line, a colour chooses its background unless one is set.
    filter.setValue(indexOf("color"), Color{1, 0, 0, 1});
    EXPECT_EQ(filter.settings().kind, BackgroundKind::color);
    filter.setValue(indexOf("kind"), std::string("transparent"));
    EXPECT_EQ(filter.settings().kind, BackgroundKind::transparent);
    EXPECT_EQ(filter.settings().red, 1);
}

TEST(FilterParameters, APresetGoesUnderWhatTheHostSets) {
    EffectSettings look;
    look.kind = BackgroundKind::color;
    look.edgeSoftness = 9;
    look.quality = QualityChoice::balanced;
    PresetStore presets(openUserDefaults());
    presets.add("Studio", look);
    Filter filter(8, 8);
    filter.setValue(indexOf("quality"), std::string("fast"));
    filter.setValue(indexOf("preset"), std::string("Studio"));
    EXPECT_EQ(filter.settings().kind, BackgroundKind::color);
    EXPECT_EQ(filter.settings().edgeSoftness, 9);
    EXPECT_EQ(filter.settings().quality, QualityChoice::fast);
    presets.remove(presets.presets().back());
}

// Times in milliseconds (FFmpeg) or seconds (MLT). A host rendering on several threads hands
// frames over a little out of order; a seek goes further.
TEST(Filter, AJumpInTimeStartsTheMaskAfreshAFrameALittleOutOfOrderDoesNot) {
    const auto fresh = update(*maskFilter(), 0, 0);
    for (const double unit : {1000.0, 1.0}) {
        SCOPED_TRACE(unit);
        auto anew = maskFilter();
        update(*anew, 0, 0);
        const auto second = update(*anew, 0.1 * unit, 3);
        EXPECT_NE(second, update(*maskFilter(), 0, 3));  // blended with the first, as exports do
        auto filter = maskFilter();
        for (int i = 0; i < 4; ++i) update(*filter, (1 + i * 0.1) * unit, 10 * (3 - i));
        EXPECT_NE(update(*filter, 1.5 * unit, 0), fresh);  // a step of two frames: blended
        EXPECT_NE(update(*filter, 1.4 * unit, 0), fresh);  // one finished late
        EXPECT_EQ(update(*filter, 1.4 * unit, 0), fresh);  // the same again
        update(*filter, 1.5 * unit, 30);
        EXPECT_EQ(update(*filter, 0.0, 0), fresh);  // back past several frames
        update(*filter, 0.1 * unit, 30);
        EXPECT_EQ(update(*filter, 10.0 * unit, 0), fresh);   // far ahead
        EXPECT_EQ(update(*filter, 10.1 * unit, 3), second);  // then on as a new filter goes on
        EXPECT_EQ(update(*filter, 12.0 * unit, 0), fresh);   // scrubbing: each a seek
    }
}

TEST(Filter, InstancesShareNothing) {
    const auto alone = [](int shift) {
        auto filter = maskFilter();
        std::vector<std::uint32_t> last;
        for (int i = 0; i < 6; ++i) last = update(*filter, i * 40.0, shift * i);
        return last;
    };
    const auto left = alone(-4), right = alone(4);
    auto first = std::async(std::launch::async, alone, -4);
    auto second = std::async(std::launch::async, alone, 4);
    EXPECT_EQ(first.get(), left);
    EXPECT_EQ(second.get(), right);
}

}  // namespace
}  // namespace pelliqo
