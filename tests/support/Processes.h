#pragma once

#include <QTemporaryDir>
#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace pelliqo::test {

class ScopedEnvironment {
  public:
    ScopedEnvironment(std::string name, const std::string& value);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

  private:
    std::string name_;
    std::optional<std::string> saved_;
};

using Environment = std::vector<std::pair<std::string, std::string>>;

// Its process id, or -1; both output streams go to the file.
int spawnProgram(const std::vector<std::string>& argv, const std::string& outputFile = "/dev/null",
                 const Environment& environment = {});

// Killed past the deadline, which counts as no exit at all.
struct ProgramRun {
    std::optional<int> code;
    std::string output;
};
ProgramRun runWithin(const std::vector<std::string>& argv, std::chrono::seconds deadline,
                     const std::string& outputFile);
// The child's wait status once it has ended; past the deadline it is killed, and nothing.
std::optional<int> waitWithin(int pid, std::chrono::seconds deadline);
// Whether the process handles the signal itself (so its start is over, if it does so then).
bool catchesSignal(int pid, int signal);

// The shell script run with a private file system of `size` (as "16k") mounted on the folder,
// which is made and passed as $1, the arguments following as $2…; nothing where this machine
// gives no private mounts. The output file is the folder's name with ".log".
std::optional<ProgramRun> runOnSmallDisk(const std::string& folder, const std::string& size,
                                         const std::string& script,
                                         const std::vector<std::string>& arguments);

// Servers in a runtime folder of their own, stopped in reverse order.
class Daemons {
  public:
    Daemons() = default;
    ~Daemons();
    Daemons(const Daemons&) = delete;
    Daemons& operator=(const Daemons&) = delete;

    std::string folder() const { return dir_.path().toStdString(); }

    // Waits up to five seconds for the file it makes in the folder (if one is named), then
    // lets it settle; false when the file does not come or the program has ended.
    bool start(const std::vector<std::string>& argv, const Environment& environment,
               const std::string& madeFile, std::chrono::milliseconds settle = {});

  private:
    QTemporaryDir dir_;
    std::vector<int> pids_;
};

}  // namespace pelliqo::test
