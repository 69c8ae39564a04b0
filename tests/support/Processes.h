#pragma once

#include <filesystem>
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

// Starts a program (looked up on the PATH) with these variables added to the environment
// and its output discarded; its process id.
int spawnQuietly(const std::vector<std::string>& argv, const Environment& environment);

// Waits up to five seconds for the file a started program makes; false when it does not
// come or the program ends first.
bool waitForFile(const std::filesystem::path& file, int pid);

// Whether the program has ended.
bool hasEnded(int pid);

// Ends a started program and waits for it.
void stopProcess(int pid);

}  // namespace pelliqo::test
