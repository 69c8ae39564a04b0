#include "platform/output/LoopbackOutput.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <mutex>

#include "platform/capture/V4l2Node.h"
#include "platform/output/Yuyv.h"

namespace pelliqo {

namespace {

namespace fs = std::filesystem;

// v4l2loopback names itself so in the capabilities every V4L2 device reports. A device is
// known by its driver, not by what it offers now: with exclusive_caps a loopback device shows
// only capture once a writer has set it up.
constexpr std::string_view loopbackDriver = "v4l2 loopback";

// The devices written to now, one entry a writer.
struct Written {
    std::mutex lock;
    std::vector<std::string> devices;
};

Written& written() {
    static Written all;
    return all;
}

void noteWriting(const std::string& device, bool writing) {
    Written& all = written();
    const std::lock_guard guard(all.lock);
    if (writing) {
        all.devices.push_back(device);
    } else if (const auto found = std::ranges::find(all.devices, device);
               found != all.devices.end()) {
        all.devices.erase(found);
    }
}

}  // namespace

std::vector<std::string> LoopbackOutput::devices() {
    std::vector<std::string> found;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/dev", error)) {
        const std::string path = entry.path().string();
        if (entry.path().filename().string().rfind("video", 0) != 0) continue;
        const auto caps = queryNode(path);
        if (!caps || caps->driver != loopbackDriver) continue;
        found.push_back(path);
        // Ours goes first.
        if (caps->card == cameraOutputName)
            std::rotate(found.begin(), found.end() - 1, found.end());
    }
    return found;
}

std::vector<std::string> LoopbackOutput::inUse() {
    Written& all = written();
    const std::lock_guard guard(all.lock);
    return all.devices;
}

LoopbackOutput::LoopbackOutput(std::string device) : device_(std::move(device)) {}

LoopbackOutput::~LoopbackOutput() {
    stop();
}

std::optional<PlatformError> LoopbackOutput::start(int width, int height, int framesPerSecond) {
    stop();
    if (width <= 0 || height <= 0 || width % 2 != 0) return PlatformError::posix(EINVAL);
    fd_ = ::open(device_.c_str(), O_RDWR | O_CLOEXEC);
    if (fd_ < 0) return PlatformError::posix(errno);
    v4l2_format format{};
    format.type = V4L2_BUF_TYPE_VIDEO_OUTPUT;
    format.fmt.pix.width = static_cast<std::uint32_t>(width);
    format.fmt.pix.height = static_cast<std::uint32_t>(height);
    format.fmt.pix.pixelformat = V4L2_PIX_FMT_YUYV;
    format.fmt.pix.field = V4L2_FIELD_NONE;
    format.fmt.pix.bytesperline = static_cast<std::uint32_t>(width) * 2;
    format.fmt.pix.sizeimage = format.fmt.pix.bytesperline * static_cast<std::uint32_t>(height);
    format.fmt.pix.colorspace = V4L2_COLORSPACE_SRGB;
    format.fmt.pix.ycbcr_enc = V4L2_YCBCR_ENC_601;
    format.fmt.pix.quantization = V4L2_QUANTIZATION_LIM_RANGE;
    if (::ioctl(fd_, VIDIOC_S_FMT, &format) != 0) {
        const int e = errno;
        stop();
        return PlatformError::posix(e);
    }
    v4l2_streamparm rate{};
    rate.type = V4L2_BUF_TYPE_VIDEO_OUTPUT;
    rate.parm.output.timeperframe = {1, static_cast<std::uint32_t>(std::max(framesPerSecond, 1))};
    ::ioctl(fd_, VIDIOC_S_PARM, &rate);  // a hint for readers; the device may keep its own
    width_ = width;
    height_ = height;
    frame_.assign(format.fmt.pix.sizeimage, 0);
    noteWriting(device_, true);
    return std::nullopt;
}

std::optional<PlatformError> LoopbackOutput::publish(const PixelBuffer& frame) {
    if (fd_ < 0 || frame.width() != width_ || frame.height() != height_)
        return PlatformError::posix(EINVAL);
    if (!convertToYuyv(frame, frame_.data(), width_ * 2)) return PlatformError::posix(EINVAL);
    // The device takes a frame in one write; a short one would tear the picture.
    const ssize_t written = ::write(fd_, frame_.data(), frame_.size());
    if (written < 0) return PlatformError::posix(errno);
    if (static_cast<std::size_t>(written) != frame_.size()) return PlatformError::posix(EIO);
    return std::nullopt;
}

void LoopbackOutput::stop() {
    if (width_ > 0) noteWriting(device_, false);
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    width_ = height_ = 0;
}

}  // namespace pelliqo
