#include "platform/system/LibrarySetup.h"

#include <opencv2/core.hpp>
#include <opencv2/core/utils/logger.hpp>

extern "C" {
#include <libavutil/log.h>
}

namespace pelliqo {

void setUpLibraries() {
    cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
    av_log_set_level(AV_LOG_QUIET);
#if defined(__SANITIZE_THREAD__)
    cv::setNumThreads(1);
#endif
}

}  // namespace pelliqo
