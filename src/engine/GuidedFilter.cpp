#include "engine/GuidedFilter.h"

#include <algorithm>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "platform/image/LinearTaps.h"

namespace pelliqo {

namespace {

cv::Mat boxMean(const cv::Mat& m, int radius) {
    cv::Mat out;
    cv::boxFilter(m, out, CV_32F, cv::Size(2 * radius + 1, 2 * radius + 1), {-1, -1}, true,
                  cv::BORDER_REPLICATE);
    return out;
}

cv::Mat resized(const cv::Mat& m, cv::Size size, int interpolation) {
    if (m.size() == size) return m;
    cv::Mat out;
    cv::resize(m, out, size, 0, 0, interpolation);
    return out;
}

// Area averaging down to size, halving first while the picture is twice as large: exact
// halvings cost a fraction of one uneven step from the full size, for nearly the same average.
cv::Mat shrunk(cv::Mat m, cv::Size size) {
    while (m.cols >= 2 * size.width && m.rows >= 2 * size.height) {
        m = resized(m, cv::Size(m.cols / 2, m.rows / 2), cv::INTER_AREA);
    }
    return resized(m, size, cv::INTER_AREA);
}

// The window-averaged slope a of mask ≈ a·guide + b: a = cov(I, p) / (var(I) + ε).
cv::Mat slopes(const cv::Mat& p, const cv::Mat& guide, int radius, double epsilon) {
    // The four window means in one pass: I, p, I², I·p.
    cv::Mat sums;
    cv::merge(std::vector<cv::Mat>{guide, p, guide.mul(guide), guide.mul(p)}, sums);
    const cv::Mat means = boxMean(sums, radius);
    cv::Mat a(p.size(), CV_32F);
    const auto e = static_cast<float>(epsilon);
    for (int y = 0; y < a.rows; ++y) {
        const auto* m = means.ptr<cv::Vec4f>(y);
        auto* out = a.ptr<float>(y);
        for (int x = 0; x < a.cols; ++x) {
            const float variance = m[x][2] - m[x][0] * m[x][0];
            const float covariance = m[x][3] - m[x][0] * m[x][1];
            out[x] = covariance / (variance + e);
        }
    }
    return boxMean(a, radius);
}

// mask↑ + a↑·(guide − guide shrunk↑), from the small (a, mask, guide) channels. Scaling up
// happens here, row by row, so no full-size copy of the three channels is ever made.
cv::Mat applied(const cv::Mat& low, const cv::Mat& guide) {
    const std::vector<LinearTap> across = linearTaps(low.cols, guide.cols);
    const std::vector<LinearTap> down = linearTaps(low.rows, guide.rows);
    cv::Mat q(guide.size(), CV_32F);
    cv::parallel_for_(cv::Range(0, guide.rows), [&](const cv::Range& rows) {
        std::vector<cv::Vec3f> row(static_cast<std::size_t>(low.cols));
        for (int y = rows.start; y < rows.end; ++y) {
            const LinearTap t = down[static_cast<std::size_t>(y)];
            const auto* r0 = low.ptr<cv::Vec3f>(t.i0);
            const auto* r1 = low.ptr<cv::Vec3f>(t.i1);
            for (int x = 0; x < low.cols; ++x) row[x] = r0[x] + (r1[x] - r0[x]) * t.w;
            const auto* g = guide.ptr<std::uint8_t>(y);
            auto* out = q.ptr<float>(y);
            for (int x = 0; x < guide.cols; ++x) {
                const LinearTap h = across[static_cast<std::size_t>(x)];
                const cv::Vec3f c = row[h.i0] + (row[h.i1] - row[h.i0]) * h.w;
                const float detail = g[x] * (1.0f / 255) - c[2];
                out[x] = std::clamp(c[1] + c[0] * detail, 0.0f, 1.0f);
            }
        }
    });
    return q;
}

}  // namespace

cv::Mat GuidedFilter::upscaled(const cv::Mat& mask, const cv::Mat& guide, cv::Size size) const {
    CV_Assert(mask.type() == CV_32FC1 && guide.type() == CV_8UC1);
    if (mask.empty() || guide.empty() || size.empty()) return cv::Mat(size, CV_32F, cv::Scalar(0));
    const cv::Mat target = shrunk(guide, size);
    const cv::Size fit(std::min(mask.cols, size.width), std::min(mask.rows, size.height));
    const cv::Mat p = resized(mask, fit, cv::INTER_AREA);
    cv::Mat smallGuide;
    shrunk(target, fit).convertTo(smallGuide, CV_32F, 1.0 / 255);
    cv::Mat low;
    cv::merge(std::vector<cv::Mat>{slopes(p, smallGuide, radius, epsilon), p, smallGuide}, low);
    // A 3 × 3 blur takes two thirds off the camera's noise, which the slope would otherwise
    // carry into the edge as flicker, for an edge one pixel softer.
    cv::Mat steady;
    cv::GaussianBlur(target, steady, cv::Size(3, 3), 0, 0, cv::BORDER_REPLICATE);
    return applied(low, steady);
}

}  // namespace pelliqo
