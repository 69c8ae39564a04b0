#include "app/StillCommand.h"

#include <opencv2/imgproc.hpp>
#include <vector>

#include "app/Arguments.h"
#include "app/CommandLine.h"
#include "app/CommandSupport.h"
#include "app/EffectOptions.h"
#include "engine/FrameEffect.h"
#include "engine/PresetStore.h"
#include "platform/image/MatView.h"
#include "platform/image/Rendering.h"
#include "platform/system/UserDefaults.h"

namespace pelliqo {

namespace {

int usageError(std::ostream& err, const std::string& problem) {
    return pelliqo::usageError(err, "still", problem, usageWithEffectOptions(stillUsage).c_str());
}

}  // namespace

int runStill(const std::vector<std::string>& args, std::ostream&, std::ostream& err) {
    const auto parsed = parseArguments(args, effectOptionSpecs());
    if (const auto* problem = std::get_if<std::string>(&parsed)) return usageError(err, *problem);
    const auto& arguments = std::get<Arguments>(parsed);
    if (arguments.positional.size() != 2) return usageError(err, "needs INPUT and OUTPUT.png");
    EffectSettings settings;
    const PresetStore presets(openUserDefaults());
    if (auto problem = applyEffectOptions(arguments, settings, presets))
        return usageError(err, *problem);
    const Files files = inputAndOutput(arguments.positional);
    if (const auto problem = terminalProblem(files)) return usageError(err, *problem);
    const auto& [input, output] = files;
    const auto frame = readInputPicture(input, settings, err);
    if (!frame) return exitCode::failure;
    FrameEffect effect(FrameEffect::Frames::stills);
    const auto result = effect.apply(*frame, settings);
    auto rendered = PixelBuffer::make(frame->width(), frame->height(), PixelFormat::bgra8);
    if (!result || !rendered || !renderInto(*result, *rendered)) {
        err << "pelliqo: can't make the picture.\n";
        return exitCode::failure;
    }
    cv::Mat pixels = matView(*rendered);
    if (settings.kind != BackgroundKind::transparent || settings.showMask) {
        cv::Mat opaque;
        cv::cvtColor(pixels, opaque, cv::COLOR_BGRA2BGR);
        pixels = opaque;
    }
    return writeOutputPicture(output, pixels, err) ? exitCode::ok : exitCode::failure;
}

}  // namespace pelliqo
