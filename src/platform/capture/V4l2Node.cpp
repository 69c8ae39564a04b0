#include "platform/capture/V4l2Node.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "platform/output/CameraOutput.h"
#include "platform/system/FileDescriptor.h"

namespace pelliqo {

namespace fs = std::filesystem;

namespace {

// The node, opened to be asked about; closed on every way out.
FileDescriptor openNode(const std::string& path) {
    return FileDescriptor(::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
}

// A question asked again while a signal interrupts it.
bool ask(int fd, unsigned long request, void* answer) {
    int e = 0;
    do {
        e = ::ioctl(fd, request, answer);
    } while (e < 0 && errno == EINTR);
    return e == 0;
}

int nodeNumber(const std::string& path) {
    const std::string name = fs::path(path).filename().string();
    return std::atoi(name.c_str() + std::min<std::size_t>(5, name.size()));
}

// FFmpeg's names for the V4L2 formats it reads; others are left out, as it cannot.
std::optional<std::string> formatName(std::uint32_t fourcc) {
    static const std::map<std::uint32_t, std::string> names{
        {V4L2_PIX_FMT_YUYV, "yuyv422"}, {V4L2_PIX_FMT_UYVY, "uyvy422"},
        {V4L2_PIX_FMT_NV12, "nv12"},    {V4L2_PIX_FMT_YUV420, "yuv420p"},
        {V4L2_PIX_FMT_RGB24, "rgb24"},  {V4L2_PIX_FMT_BGR24, "bgr24"},
        {V4L2_PIX_FMT_GREY, "gray"},    {V4L2_PIX_FMT_MJPEG, "mjpeg"},
        {V4L2_PIX_FMT_JPEG, "mjpeg"},   {V4L2_PIX_FMT_H264, "h264"}};
    const auto found = names.find(fourcc);
    if (found == names.end()) return std::nullopt;
    return found->second;
}

// The rates at one size: each discrete interval, or for a range the rates of 30 and its
// ends where they lie within it.
std::vector<double> ratesAt(int fd, std::uint32_t fourcc, std::uint32_t width,
                            std::uint32_t height) {
    std::vector<double> rates;
    v4l2_frmivalenum interval{};
    interval.pixel_format = fourcc;
    interval.width = width;
    interval.height = height;
    for (interval.index = 0; ask(fd, VIDIOC_ENUM_FRAMEINTERVALS, &interval); ++interval.index) {
        const auto rateOf = [](const v4l2_fract& f) {
            return f.numerator > 0 ? static_cast<double>(f.denominator) / f.numerator : 0.0;
        };
        if (interval.type == V4L2_FRMIVAL_TYPE_DISCRETE) {
            rates.push_back(rateOf(interval.discrete));
            continue;
        }
        const double fastest = rateOf(interval.stepwise.min);
        const double slowest = rateOf(interval.stepwise.max);
        rates.insert(rates.end(), {fastest, slowest});
        if (slowest <= 30 && 30 <= fastest) rates.push_back(30);
        break;
    }
    return rates;
}

// The sizes of one format: each discrete size, or for a range its ends and 1280 × 720 where
// the range holds it.
std::vector<std::pair<std::uint32_t, std::uint32_t>> sizesOf(int fd, std::uint32_t fourcc) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> sizes;
    v4l2_frmsizeenum size{};
    size.pixel_format = fourcc;
    for (size.index = 0; ask(fd, VIDIOC_ENUM_FRAMESIZES, &size); ++size.index) {
        if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
            sizes.emplace_back(size.discrete.width, size.discrete.height);
            continue;
        }
        const auto& range = size.stepwise;
        sizes.emplace_back(range.min_width, range.min_height);
        sizes.emplace_back(range.max_width, range.max_height);
        const auto holds = [](std::uint32_t value, std::uint32_t low, std::uint32_t high,
                              std::uint32_t step) {
            return low <= value && value <= high && (step == 0 || (value - low) % step == 0);
        };
        if (holds(1280, range.min_width, range.max_width, range.step_width) &&
            holds(720, range.min_height, range.max_height, range.step_height)) {
            sizes.emplace_back(1280, 720);
        }
        break;
    }
    return sizes;
}

// Whether every format of the node's that FFmpeg reads is grey (and there is one). A node
// that lists none, as an idle loopback device, is not taken for grey.
bool offersGreyOnly(int fd) {
    bool grey = false;
    v4l2_fmtdesc format{};
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    for (format.index = 0; ask(fd, VIDIOC_ENUM_FMT, &format); ++format.index) {
        const auto name = formatName(format.pixelformat);
        if (name && *name != "gray") return false;
        grey = grey || name.has_value();
    }
    return grey;
}

}  // namespace

std::optional<V4l2Node> queryNode(const std::string& path) {
    const FileDescriptor fd = openNode(path);
    v4l2_capability cap{};
    if (fd.get() < 0 || !ask(fd.get(), VIDIOC_QUERYCAP, &cap)) return std::nullopt;
    // The node's own capabilities, where the driver gives them; the device's are those of
    // all its nodes together.
    const std::uint32_t own =
        (cap.capabilities & V4L2_CAP_DEVICE_CAPS) != 0 ? cap.device_caps : cap.capabilities;
    const bool captures = (own & (V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_VIDEO_CAPTURE_MPLANE)) != 0;
    return V4l2Node{path, reinterpret_cast<const char*>(cap.driver),
                    reinterpret_cast<const char*>(cap.card), captures,
                    captures && offersGreyOnly(fd.get())};
}

std::vector<V4l2Node> videoNodes() {
    std::vector<V4l2Node> nodes;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/dev", error)) {
        const std::string name = entry.path().filename().string();
        if (!name.starts_with("video")) continue;
        if (auto node = queryNode(entry.path().string())) nodes.push_back(std::move(*node));
    }
    std::ranges::sort(nodes, {}, [](const V4l2Node& node) { return nodeNumber(node.path); });
    return nodes;
}

std::map<std::string, std::string> stableNodeNames() {
    std::map<std::string, std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/dev/v4l/by-id", error)) {
        const fs::path target = fs::canonical(entry.path(), error);
        if (error) continue;
        // A camera with several capture nodes has a link for each; its first is the camera.
        const auto [at, added] = names.emplace(target.string(), entry.path().string());
        if (!added && entry.path().string() < at->second) at->second = entry.path().string();
    }
    return names;
}

std::vector<DeviceInfo> camerasAmong(const std::vector<V4l2Node>& nodes,
                                     const std::map<std::string, std::string>& stableNames,
                                     const std::vector<std::string>& ownOutputs) {
    std::vector<V4l2Node> capturing;
    for (const V4l2Node& node : nodes) {
        const bool ours = node.card == cameraOutputName ||
                          std::ranges::find(ownOutputs, node.path) != ownOutputs.end();
        if (node.captures && !ours) capturing.push_back(node);
    }
    std::ranges::stable_partition(capturing, [](const V4l2Node& node) { return !node.greyOnly; });
    std::vector<DeviceInfo> cameras;
    std::map<std::string, int> seen;
    for (const V4l2Node& node : capturing) {
        const auto stable = stableNames.find(node.path);
        const std::string id = stable != stableNames.end() ? stable->second : node.path;
        std::string name = node.card.empty() ? node.path : node.card;
        if (node.greyOnly) name += " (black and white)";
        const int count = ++seen[name];
        cameras.push_back({id, count == 1 ? name : name + " (" + std::to_string(count) + ")"});
    }
    return cameras;
}

std::vector<CameraMode> cameraModes(const std::string& path) {
    const FileDescriptor fd = openNode(path);
    std::vector<CameraMode> modes;
    if (fd.get() < 0) return modes;
    v4l2_fmtdesc format{};
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    for (format.index = 0; ask(fd.get(), VIDIOC_ENUM_FMT, &format); ++format.index) {
        const auto name = formatName(format.pixelformat);
        if (!name) continue;
        const bool compressed = (format.flags & V4L2_FMT_FLAG_COMPRESSED) != 0;
        for (const auto& [width, height] : sizesOf(fd.get(), format.pixelformat)) {
            modes.push_back({*name, compressed, static_cast<int>(width), static_cast<int>(height),
                             ratesAt(fd.get(), format.pixelformat, width, height)});
        }
    }
    return modes;
}

}  // namespace pelliqo
