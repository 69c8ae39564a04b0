#include "platform/system/LibrarySetup.h"

#include <malloc.h>

#include <opencv2/core.hpp>
#include <opencv2/core/utils/logger.hpp>

extern "C" {
#include <libavutil/log.h>
}

namespace pelliqo {

namespace {

// Frames of megabytes are made and dropped at video rate on several threads. By default the
// C library hands such blocks back to the system when they are freed, so every frame faulted
// its memory in again, zeroed by the kernel: a fifth of an export's processor time. One arena
// that keeps what it has (up to a bound) serves them from memory already mapped.
void keepFrameMemory() {
    mallopt(M_ARENA_MAX, 1);
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
}

}  // namespace

void setUpLibraries() {
    keepFrameMemory();
    cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
    av_log_set_level(AV_LOG_QUIET);
#if defined(__SANITIZE_THREAD__)
    cv::setNumThreads(1);
#endif
}

}  // namespace pelliqo
