#pragma once

namespace pelliqo {

// OpenCV and FFmpeg print warnings of their own to the console; every failure reaches the
// user through our own reports instead, so their logging is switched off at start.
void silenceLibraryLogging();

}  // namespace pelliqo
