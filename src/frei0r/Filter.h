#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/FrameEffect.h"
#include "frei0r/FilterParameters.h"

namespace pelliqo {

// One instance of the frei0r filter: a stream of frames through its own effect, as an
// export runs it (smoothing on), with the parameters its host set. Frames are RGBA, packed
// rows of the size the instance was made for. Instances share nothing.
class Filter {
  public:
    // A frame further than this many steps (their recent average) from the last one is taken
    // as a jump (a seek). Nearer ones carry on even going back: a host rendering on several
    // threads hands frames over a little out of order.
    static constexpr double stepsToAJump = 4;

    Filter(int width, int height);

    // The parameter's value as the host last set it, else as the settings in use have it.
    HostValue value(int index) const;
    void setValue(int index, HostValue value);
    // The settings in use: the export's defaults, under the named preset, under what the host
    // set.
    const EffectSettings& settings() const { return settings_; }

    void update(double time, const std::uint32_t* in, std::uint32_t* out);

  private:
    EffectSettings madeSettings() const;
    bool startsRun(double time);

    int width_;
    int height_;
    FrameEffect effect_{FrameEffect::Frames::video};
    std::vector<std::optional<HostValue>> given_;
    EffectSettings settings_;
    std::optional<double> lastTime_;
    double step_ = 0;
    std::optional<PixelBuffer> frame_;
    std::optional<PixelBuffer> finished_;
};

// Why the filter passes frames through unchanged with these settings (the models are missing
// or damaged); nothing when it can work.
std::optional<std::string> filterProblem(const EffectSettings& settings);

}  // namespace pelliqo
