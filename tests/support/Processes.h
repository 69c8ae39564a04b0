#pragma once

#include <QTemporaryDir>
#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace pelliqo::test {

// An environment variable set for as long as the object lives, then put back as it was.
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

// Starts a program (looked up on the PATH) with these variables added and both its output
// streams going to the file; its process id, or -1.
int spawnProgram(const std::vector<std::string>& argv, const std::string& outputFile = "/dev/null",
                 const Environment& environment = {});

// A program run to its end, or killed once past the deadline, which then counts as no exit
// at all; its output (both streams) kept in the file.
struct ProgramRun {
    std::optional<int> code;
    std::string output;
};
ProgramRun runWithin(const std::vector<std::string>& argv, std::chrono::seconds deadline,
                     const std::string& outputFile);

// Server programs started for a test in a temporary runtime folder of their own, their
// output discarded; stopped in the reverse order when the object goes.
class Daemons {
  public:
    Daemons() = default;
    ~Daemons();
    Daemons(const Daemons&) = delete;
    Daemons& operator=(const Daemons&) = delete;

    std::string folder() const { return dir_.path().toStdString(); }

    // Starts a program (looked up on the PATH) with these variables added, waits up to five
    // seconds for the file it makes in the folder (if one is named), then lets it settle;
    // false when the file does not come or the program has ended.
    bool start(const std::vector<std::string>& argv, const Environment& environment,
               const std::string& madeFile, std::chrono::milliseconds settle = {});

  private:
    QTemporaryDir dir_;
    std::vector<int> pids_;
};

}  // namespace pelliqo::test
