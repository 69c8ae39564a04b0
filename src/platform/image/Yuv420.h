#pragma once

#include <array>
#include <cstdint>
#include <opencv2/core.hpp>
#include <optional>

#include "platform/image/PixelBuffer.h"

namespace pelliqo {

// Where the three planes of a 4:2:0 picture go: luma at full size, the two chroma planes at
// half size each way.
struct Yuv420Planes {
    std::uint8_t* y;
    int yStride;
    std::uint8_t* u;
    int uStride;
    std::uint8_t* v;
    int vStride;
};

// A 4:2:0 picture in BT.709 limited range, the colours our movies are tagged with, held in
// one byte buffer: the luma rows, then half as many rows again with U in their left half and
// V in their right. One allocation, so it pools and shares like any other buffer. Even sides.
class Yuv420Frame {
  public:
    // The height of the buffer a frame of this height needs.
    static int storageHeight(int height) { return height / 2 * 3; }
    // A fresh frame, or nothing for an odd or invalid size or when memory runs out.
    static std::optional<Yuv420Frame> make(int width, int height);
    // A frame in a byte buffer of storageHeight rows (from a pool); nothing for another shape.
    static std::optional<Yuv420Frame> over(const PixelBuffer& storage);

    int width() const { return storage_.width(); }
    int height() const { return storage_.height() / 3 * 2; }
    // The planes as matrices over the buffer's bytes: writes go to the frame.
    cv::Mat luma() const;
    cv::Mat chromaU() const;
    cv::Mat chromaV() const;
    // Luma, U and V, in that order.
    std::array<cv::Mat, 3> planeMats() const { return {luma(), chromaU(), chromaV()}; }
    Yuv420Planes planes() const;
    const PixelBuffer& storage() const { return storage_; }

  private:
    explicit Yuv420Frame(PixelBuffer storage) : storage_(std::move(storage)) {}

    PixelBuffer storage_;
};

// A BGRA picture as 4:2:0; each chroma sample is the mean of the 2 × 2 pixels it covers.
// Alpha is ignored. False, with nothing written, for a picture that is not BGRA or has an odd
// side.
bool convertToYuv420(const PixelBuffer& bgra, const Yuv420Planes& planes);

// The frame as opaque BGRA scaled bilinearly to the size, luma and chroma each from their
// own resolution: the same samples a bilinear scaling of its full-size BGRA picture takes.
// Empty for an empty size.
cv::Mat scaledBgra(const Yuv420Frame& frame, cv::Size size);

}  // namespace pelliqo
