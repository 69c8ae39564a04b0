#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/output/CameraOutput.h"

namespace pelliqo {

// A v4l2loopback device written as YUYV through the V4L2 output interface.
class LoopbackOutput final : public CameraOutput {
  public:
    explicit LoopbackOutput(std::string device);
    ~LoopbackOutput() override;
    LoopbackOutput(const LoopbackOutput&) = delete;
    LoopbackOutput& operator=(const LoopbackOutput&) = delete;

    std::optional<PlatformError> start(int width, int height, int framesPerSecond) override;
    std::optional<PlatformError> publish(const PixelBuffer& frame) override;
    void stop() override;
    // A loopback device keeps no count of its readers.
    bool hasReader() const override { return true; }

    // The loopback devices, the one labelled with our name first; empty when there are none.
    static std::vector<std::string> devices();
    // The devices this process writes to now: no camera of ours to pick.
    static std::vector<std::string> inUse();

  private:
    std::string device_;
    int fd_ = -1;
    int width_ = 0;
    int height_ = 0;
    std::vector<std::uint8_t> frame_;  // one YUYV frame, written whole
};

}  // namespace pelliqo
