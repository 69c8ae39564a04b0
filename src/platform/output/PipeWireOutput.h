#pragma once

#include <memory>
#include <optional>

#include "platform/output/CameraOutput.h"

namespace pelliqo {

// A PipeWire video source node named after us, offering BGRx (copied as it is) and YUYV.
class PipeWireOutput final : public CameraOutput {
  public:
    PipeWireOutput();
    ~PipeWireOutput() override;
    PipeWireOutput(const PipeWireOutput&) = delete;
    PipeWireOutput& operator=(const PipeWireOutput&) = delete;

    std::optional<PlatformError> start(int width, int height, int framesPerSecond) override;
    std::optional<PlatformError> publish(const PixelBuffer& frame) override;
    void stop() override;
    bool hasReader() const override;

    // Whether a PipeWire daemon answers for this user.
    static bool available();

    struct State;

  private:
    std::unique_ptr<State> state_;
};

}  // namespace pelliqo
