#pragma once

#include <array>
#include <cstdint>
#include <opencv2/core.hpp>
#include <vector>

namespace pelliqo {

// The two ways high-dynamic-range video (from phones and cameras) encodes light.
enum class HdrTransfer { pq, hlg };

// Brings a high-dynamic-range picture to the ordinary sRGB one everything else here works on:
// the light each value stands for, with reference white (203 cd/m², HLG's 75 %) near white
// and brighter light up to the picture's peak rolled off below white. Hues are kept: a colour
// is dimmed as a whole, and colours beyond BT.709's are brought to its edge.
class ToneMapping {
  public:
    // `wideGamut`: the primaries are BT.2020's. `peakNits`: the brightest light of a PQ
    // picture (HLG pictures are made for 1,000 cd/m²).
    ToneMapping(HdrTransfer transfer, bool wideGamut, double peakNits);

    // 16-bit R'G'B' (three CV_16UC1 planes, red first) to opaque BGRA bytes of their size.
    void apply(const std::array<cv::Mat, 3>& rgb, cv::Mat& bgra) const;

  private:
    void applyRow(const std::array<const std::uint16_t*, 3>& rgb, cv::Vec4b* out, int width,
                  std::vector<float>& scratch) const;

    std::vector<float> light_;           // a light for each of 4,096 input levels (white = 1)
    std::vector<std::uint8_t> encoded_;  // a byte for each of 4,096 steps of the light's root
    cv::Matx33f gamut_;
    float peak_ = 1;  // light that becomes white
};

}  // namespace pelliqo
