#pragma once

#include <sys/types.h>

#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace pelliqo {

// The checksums of model files, each remembered with what tells its contents have not changed
// since (size, times, inode), in a file kept from run to run: the subject model is large enough
// (176 MB, a second to read) that every start of the program would otherwise pay that again.
class ModelChecks {
  public:
    // Kept in the store file; with none, for this run only.
    explicit ModelChecks(std::filesystem::path store);

    // In the user's cache folder.
    static ModelChecks& shared();

    // The file's SHA-256 in hex; empty when it cannot be read.
    std::string sha256(const std::filesystem::path& file);

  private:
    struct Stamp {
        off_t size = 0;
        long long modified = 0;  // nanoseconds
        long long changed = 0;   // nanoseconds; no program can set it back
        ino_t inode = 0;
        dev_t device = 0;
        bool operator==(const Stamp&) const = default;
    };
    struct Known {
        Stamp stamp;
        std::string sum;
    };

    static std::optional<Stamp> stampOf(const std::filesystem::path& file);
    std::map<std::filesystem::path, Known> stored() const;
    void save() const;

    std::mutex lock_;
    std::filesystem::path store_;
    std::map<std::filesystem::path, Known> known_;
};

}  // namespace pelliqo
