#include "app/MaskCommand.h"

#include <opencv2/imgproc.hpp>

#include "app/Arguments.h"
#include "app/CommandLine.h"
#include "app/CommandSupport.h"
#include "engine/FrameEffect.h"

namespace pelliqo {

namespace {

constexpr OptionSpec options[] = {{"--quality", true}, {"--subject-mask", false}};

int usageError(std::ostream& err, const std::string& problem) {
    return pelliqo::usageError(err, "mask", problem, maskUsage);
}

}  // namespace

int runMask(const std::vector<std::string>& args, std::ostream&, std::ostream& err) {
    const auto parsed = parseArguments(args, options);
    if (const auto* problem = std::get_if<std::string>(&parsed)) return usageError(err, *problem);
    const auto& arguments = std::get<Arguments>(parsed);
    if (arguments.positional.size() != 2) return usageError(err, "needs INPUT and OUTPUT.png");
    EffectSettings settings;
    if (const auto text = arguments.value("--quality")) {
        const auto quality = fromRawValue<QualityChoice>(*text);
        if (!quality) return usageError(err, "unknown quality \"" + *text + "\"");
        settings.quality = *quality;
    }
    settings.useSubjectMask = arguments.flags.contains("--subject-mask");
    const Files files = inputAndOutput(arguments.positional);
    if (const auto problem = terminalProblem(files)) return usageError(err, *problem);
    const auto& [input, output] = files;
    const auto frame = readInputPicture(input, settings, err);
    if (!frame) return exitCode::failure;
    FrameEffect effect(FrameEffect::Frames::stills);
    const auto mask = effect.mask(*frame, settings);
    if (!mask) {
        err << "No person found.\n";
        return exitCode::noPerson;
    }
    cv::Mat bytes = mask->pixels();
    if (bytes.type() != CV_8UC1) mask->pixels().convertTo(bytes, CV_8U, 255.0);
    cv::Mat scaled;
    cv::resize(bytes, scaled, cv::Size(frame->width(), frame->height()), 0, 0, cv::INTER_LINEAR);
    return writeOutputPicture(output, scaled, err) ? exitCode::ok : exitCode::failure;
}

}  // namespace pelliqo
