#include "Processes.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

namespace pelliqo::test {

ScopedEnvironment::ScopedEnvironment(std::string name, const std::string& value)
    : name_(std::move(name)) {
    if (const char* old = std::getenv(name_.c_str())) saved_ = old;
    setenv(name_.c_str(), value.c_str(), 1);
}

ScopedEnvironment::~ScopedEnvironment() {
    if (saved_) {
        setenv(name_.c_str(), saved_->c_str(), 1);
    } else {
        unsetenv(name_.c_str());
    }
}

int spawnProgram(const std::vector<std::string>& argv, const std::string& outputFile,
                 const Environment& environment) {
    const int pid = fork();
    if (pid != 0) return pid;
    for (const auto& [name, value] : environment) setenv(name.c_str(), value.c_str(), 1);
    const int output = ::open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(output, 1);
    dup2(output, 2);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
}

ProgramRun runWithin(const std::vector<std::string>& argv, std::chrono::seconds deadline,
                     const std::string& outputFile) {
    const int child = spawnProgram(argv, outputFile);
    if (child < 0) return {};
    const std::optional<int> status = waitWithin(child, deadline);
    std::ifstream file(outputFile, std::ios::binary);
    std::string output((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (!status || !WIFEXITED(*status)) return {std::nullopt, output};
    return {WEXITSTATUS(*status), output};
}

std::optional<int> waitWithin(int pid, std::chrono::seconds deadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > end) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return status;
}

bool catchesSignal(int pid, int signal) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("SigCgt:"))
            return (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1)) & 1;
    }
    return false;
}

std::optional<ProgramRun> runOnSmallDisk(const std::string& folder, const std::string& size,
                                         const std::string& script,
                                         const std::vector<std::string>& arguments) {
    std::filesystem::create_directory(folder);
    std::vector<std::string> argv{
        "unshare",
        "-rm",
        "sh",
        "-c",
        "mount -t tmpfs -o size=" + size + " tmpfs \"$1\" || exit 77; " + script,
        "sh",
        folder};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    ProgramRun run = runWithin(argv, std::chrono::seconds(120), folder + ".log");
    if (run.code == 77 || run.output.find("unshare:") != std::string::npos) return std::nullopt;
    return run;
}

namespace {

bool hasEnded(int pid) {
    int status = 0;
    return waitpid(pid, &status, WNOHANG) == pid;
}

}  // namespace

bool Daemons::start(const std::vector<std::string>& argv, const Environment& environment,
                    const std::string& madeFile, std::chrono::milliseconds settle) {
    const int pid = spawnProgram(argv, "/dev/null", environment);
    pids_.push_back(pid);
    const std::filesystem::path file = folder() + "/" + madeFile;
    for (int i = 0; !madeFile.empty() && !std::filesystem::exists(file); ++i) {
        if (i == 100 || hasEnded(pid)) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::this_thread::sleep_for(settle);
    return !hasEnded(pid);
}

Daemons::~Daemons() {
    for (auto it = pids_.rbegin(); it != pids_.rend(); ++it) {
        kill(*it, SIGTERM);
        waitpid(*it, nullptr, 0);
    }
}

}  // namespace pelliqo::test
