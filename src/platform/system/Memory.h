#pragma once

namespace pelliqo {

// Every frame allocates a few frame-sized buffers. By default the C library hands such
// large blocks straight back to the system, so the next frame pays for fresh pages again
// (several milliseconds per 1080p frame). This keeps them in the process for reuse.
void keepFrameBuffersInProcess();

}  // namespace pelliqo
