#pragma once

#include <opencv2/core.hpp>

namespace cv {
class DISOpticalFlow;
}

namespace pelliqo {

// Dense motion between two grey pictures of one size (OpenCV's DIS optical flow at its
// quickest); the estimator is kept from frame to frame.
class Motion {
  public:
    Motion();
    ~Motion();
    Motion(Motion&&) noexcept;
    Motion& operator=(Motion&&) noexcept;

    // Each pixel's displacement (CV_32FC2) from this picture to where it was in the last one.
    cv::Mat since(const cv::Mat& last, const cv::Mat& picture);

  private:
    cv::Ptr<cv::DISOpticalFlow> flow_;
};

// Where each pixel comes from (its position plus its displacement): the map cv::remap takes.
cv::Mat positionsFrom(const cv::Mat& displacements);

}  // namespace pelliqo
