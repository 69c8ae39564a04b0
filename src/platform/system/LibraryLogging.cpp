#include "platform/system/LibraryLogging.h"

#include <opencv2/core/utils/logger.hpp>

extern "C" {
#include <libavutil/log.h>
}

namespace pelliqo {

void silenceLibraryLogging() {
    cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
    av_log_set_level(AV_LOG_QUIET);
}

}  // namespace pelliqo
