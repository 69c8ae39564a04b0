#include "platform/system/Memory.h"

#include <malloc.h>

namespace pelliqo {

void keepFrameBuffersInProcess() {
    // Frames are made on one thread and dropped on another; with an arena per thread, the
    // blocks went back to the system and every frame faulted its memory in again, zeroed
    // by the kernel (measured: a fifth of an export's processor time). One arena keeps them.
    mallopt(M_ARENA_MAX, 1);
    // 32 MB is the largest mmap threshold glibc accepts: up to a 4K float mask.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);
}

}  // namespace pelliqo
