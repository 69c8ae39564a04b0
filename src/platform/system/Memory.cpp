#include "platform/system/Memory.h"

#include <malloc.h>

namespace pelliqo {

void keepFrameBuffersInProcess() {
    // 32 MB is the largest mmap threshold glibc accepts: up to a 4K float mask.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);
}

}  // namespace pelliqo
