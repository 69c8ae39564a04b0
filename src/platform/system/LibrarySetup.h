#pragma once

namespace pelliqo {

// Done once at start by the program, the tests and the benchmarks. OpenCV and FFmpeg print
// warnings of their own to the console; every failure reaches the user through our own
// reports instead, so their logging is switched off. In a ThreadSanitizer build OpenCV's
// parallel loops also run on the calling thread: TBB hands them to its workers and back in
// ways the sanitizer cannot see, which would bury real reports.
void setUpLibraries();

}  // namespace pelliqo
