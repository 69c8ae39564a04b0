#include "engine/KeyFrameMask.h"

#include <algorithm>
#include <cmath>
#include <opencv2/imgproc.hpp>
#include <vector>

namespace pelliqo {

namespace {

// The key frame's masks are carried unless the motion was lost over more than this share of
// the picture (as at a cut). More than a skipped camera frame's carry allows: the person mask
// mends where people moved, and a panning camera or a moving background loses 10–30 %.
constexpr double carryLostAtMost = 0.3;
// The person mask counts as changed (grey levels) from the first value on, fully from the
// second; past this share of the picture changed, the subject network looks again.
constexpr float changedFrom = 64;
constexpr float changedFully = 192;
constexpr double changedAtMost = 0.03;
// How far (a share of the width) from a person the subject mask holds a person's change is
// still taken: as far as people move between key frames.
constexpr double subjectPeopleReach = 0.025;

// How much the subject mask holds the people near each pixel (as far as they may have moved):
// 0 where there are none, or none the subject holds.
cv::Mat subjectPeople(const cv::Mat& subject, const cv::Mat& person) {
    const cv::Mat held = cv::min(subject, person);
    const int radius = std::max(2, static_cast<int>(std::lround(held.cols * subjectPeopleReach)));
    const cv::Mat disc =
        cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(2 * radius + 1, 2 * radius + 1));
    cv::Mat near;
    cv::dilate(held, near, disc);
    return near;
}

// The carried subject value with the person's change since the key frame taken in: where a
// person left, the subject goes with them; where one came, it comes as far as the subject
// holds the people near. Only as far as the picture changed there too (0…255): a person mask
// that changes over a still picture is the person engine wavering (it drops a leg when an arm
// moves), while the subject engine still sees what it saw.
std::uint8_t joined(int subject, int personThen, int personNow, int subjectPeopleNear,
                    int pictureChanged) {
    const int change = personNow - personThen;
    const float weight = std::clamp((static_cast<float>(std::abs(change)) - changedFrom) /
                                        (changedFully - changedFrom),
                                    0.0f, 1.0f) *
                         static_cast<float>(pictureChanged) / 255.0f;
    int target = subject;
    if (change < 0) target = std::min(subject, personNow);
    if (change > 0) target = std::max(subject, std::min(personNow, subjectPeopleNear));
    return static_cast<std::uint8_t>(static_cast<float>(subject) +
                                     weight * static_cast<float>(target - subject) + 0.5f);
}

}  // namespace

void KeyFrameMask::keyFrame(const cv::Mat& subject, const cv::Mat& person, const cv::Mat& picture) {
    // The third mask: where the picture changed since, none yet.
    const cv::Mat unchanged(subject.size(), CV_8U, cv::Scalar(0));
    cv::Mat masks;
    cv::merge(std::vector<cv::Mat>{subject, person, unchanged}, masks);
    carried_.restart(masks, picture);
    size_ = subject.size();
    since_ = 0;
}

std::optional<cv::Mat> KeyFrameMask::between(const cv::Mat& person, const cv::Mat& picture) {
    if (size_.empty() || person.size() != size_ || ++since_ >= every_) return std::nullopt;
    auto carried = carried_.carriedMasksTo(picture, carryLostAtMost);
    if (!carried) return std::nullopt;
    cv::Mat subject, personThen;
    cv::extractChannel(carried->mask, subject, 0);
    cv::extractChannel(carried->mask, personThen, 1);
    const cv::Mat near = subjectPeople(subject, personThen);
    cv::Mat out(size_, CV_8U);
    int personChanged = 0;
    for (int y = 0; y < out.rows; ++y) {
        // The third carried mask is the history's own: where the motion was lost in any frame
        // since the key frame, the picture changed, and stays so as it is carried on.
        auto* masks = carried->mask.ptr<cv::Vec3b>(y);
        const auto* lost = carried->untracked.ptr<float>(y);
        const auto* now = person.ptr<std::uint8_t>(y);
        const auto* people = near.ptr<std::uint8_t>(y);
        auto* o = out.ptr<std::uint8_t>(y);
        for (int x = 0; x < out.cols; ++x) {
            auto& [subjectThen, then, changed] = masks[x].val;
            changed = std::max(changed, cv::saturate_cast<std::uint8_t>(lost[x] * 255.0f));
            o[x] = joined(subjectThen, then, now[x], people[x], changed);
            personChanged += std::abs(now[x] - then) >= 128;
        }
    }
    if (personChanged > changedAtMost * static_cast<double>(out.total())) return std::nullopt;
    return out;
}

void KeyFrameMask::clear() {
    carried_.clear();
    size_ = {};
    since_ = 0;
}

}  // namespace pelliqo
