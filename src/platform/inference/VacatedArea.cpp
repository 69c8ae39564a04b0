#include "platform/inference/VacatedArea.h"

#include <algorithm>
#include <opencv2/imgproc.hpp>

#include "platform/image/Motion.h"

namespace pelliqo {

cv::Mat vacatedArea(const cv::Mat& motion, const cv::Mat& lastMask) {
    if (motion.empty() || motion.type() != CV_32FC2 || lastMask.size() != motion.size() ||
        lastMask.type() != CV_8UC1) {
        return {};
    }
    cv::Mat followed, vacated;
    cv::remap(lastMask, followed, positionsFrom(motion), cv::noArray(), cv::INTER_LINEAR,
              cv::BORDER_REPLICATE);
    cv::subtract(lastMask, followed, vacated);  // saturates at 0
    return vacated;
}

void forgetWhereVacated(cv::Mat& state, const cv::Mat& vacated, int widen, float strength) {
    if (vacated.empty() || state.dims != 4 || state.type() != CV_32F) return;
    const int channels = state.size[1], rows = state.size[2], columns = state.size[3];
    // A state's cell holds for the whole block of the input it covers: any vacated pixel in
    // it counts, so a narrow band is not averaged away.
    cv::Mat near, share;
    const int block = std::max(1, vacated.cols / columns), reach = block + 2 * widen;
    cv::dilate(vacated, near, cv::getStructuringElement(cv::MORPH_RECT, {reach, reach}));
    cv::resize(near, share, {columns, rows}, 0, 0, cv::INTER_AREA);
    cv::Mat kept;
    share.convertTo(kept, CV_32F, -strength / 255.0, 1.0);
    kept = cv::max(kept, 0.0);
    for (int c = 0; c < channels; ++c) {
        cv::Mat channel(rows, columns, CV_32F, state.ptr<float>(0, c));
        cv::multiply(channel, kept, channel);
    }
}

}  // namespace pelliqo
