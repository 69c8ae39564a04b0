#pragma once

#include <functional>
#include <memory>
#include <opencv2/core.hpp>
#include <optional>

#include "errors/Result.h"
#include "platform/image/PixelBuffer.h"
#include "platform/inference/ModelDirectory.h"

namespace pelliqo {

// Quality levels of person segmentation, in the platform's numbering.
enum class SegmentationLevel { accurate = 0, balanced = 1, fast = 2 };

// One picture to segment.
struct SegmentationInput {
    SegmentationInput(cv::Mat picture = {}, std::function<cv::Mat(cv::Size)> scaling = {})
        : pixels(std::move(picture)), scaled(std::move(scaling)) {}

    cv::Mat pixels;  // CV_8UC4, BGRA
    // The picture scaled bilinearly to a size, for a frame that holds more than `pixels` show
    // (a movie frame's 4:2:0 planes, of which pixels is a half-size copy): a network's input
    // keeps the edge detail of the full frame. Empty for other pictures.
    std::function<cv::Mat(cv::Size)> scaled;
    // Whether the frame must keep a camera's pace: an engine with a quicker form uses it.
    bool quick = false;
    // How the picture moved since the last frame, per pixel back to where it was (CV_32FC2),
    // at the size the caller measured it; empty when unknown. An engine with memory uses it
    // when it is at the engine's own size.
    cv::Mat motion;
};

// A segmentation engine (of persons, or of all foreground objects). Each instance keeps its own
// model and, for engines that remember earlier frames, its own state; one stream of frames uses one
// instance.
class SegmentationEngine {
  public:
    virtual ~SegmentationEngine() = default;

    // An 8-bit one-channel mask at the engine's own resolution, 255 for the person (or
    // subject), or nothing when the engine fails.
    virtual std::optional<PixelBuffer> segment(const SegmentationInput& input) = 0;

    // Forgets what earlier frames taught an engine with memory.
    virtual void resetState() {}
};

// The engine for a level, with its models loaded from the folder; fails with a sentence
// naming the missing or damaged model file.
Result<std::shared_ptr<SegmentationEngine>> makeSegmentationEngine(SegmentationLevel level,
                                                                   const ModelDirectory& models);

// The engine for all foreground objects (the "subject mask"), loaded like the person
// engines.
Result<std::shared_ptr<SegmentationEngine>> makeSubjectEngine(const ModelDirectory& models);

// Whether the subject engine is offered: its model is installed and intact. Looked at once
// per run, as checking the file reads all of it.
bool subjectEngineOffered();

}  // namespace pelliqo
