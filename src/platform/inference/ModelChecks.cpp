#include "platform/inference/ModelChecks.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <QCryptographicHash>
#include <QFile>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/system/FileDescriptor.h"

namespace pelliqo {

namespace fs = std::filesystem;

namespace {

std::string hashOf(const fs::path& file) {
    QFile in(QString::fromStdString(file.string()));
    if (!in.open(QIODevice::ReadOnly)) return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&in)) return {};
    return hash.result().toHex().toStdString();
}

fs::path cacheFolder() {
    const char* cache = std::getenv("XDG_CACHE_HOME");
    if (cache != nullptr && fs::path(cache).is_absolute()) return fs::path(cache) / "pelliqo";
    const char* home = std::getenv("HOME");
    if (home != nullptr && fs::path(home).is_absolute()) return fs::path(home) / ".cache/pelliqo";
    return {};
}

long long nanoseconds(const timespec& t) {
    return static_cast<long long>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

}  // namespace

ModelChecks::ModelChecks(fs::path store) : store_(std::move(store)), known_(stored()) {}

ModelChecks& ModelChecks::shared() {
    const fs::path folder = cacheFolder();
    static ModelChecks checks(folder.empty() ? fs::path() : folder / "model-checks");
    return checks;
}

std::string ModelChecks::sha256(const fs::path& file) {
    const auto before = stampOf(file);
    if (!before) return {};
    {
        const std::lock_guard hold(lock_);
        const auto it = known_.find(file);
        if (it != known_.end() && it->second.stamp == *before) return it->second.sum;
    }
    std::string sum = hashOf(file);
    // Changed while it was read, the sum is of neither version: not worth keeping.
    if (sum.empty() || stampOf(file) != before) return sum;
    const std::lock_guard hold(lock_);
    known_[file] = Known{*before, sum};
    save();
    return sum;
}

std::optional<ModelChecks::Stamp> ModelChecks::stampOf(const fs::path& file) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) return std::nullopt;
    return Stamp{st.st_size, nanoseconds(st.st_mtim), nanoseconds(st.st_ctim), st.st_ino,
                 st.st_dev};
}

std::map<fs::path, ModelChecks::Known> ModelChecks::stored() const {
    std::map<fs::path, Known> all;
    std::ifstream in(store_);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        Known known;
        Stamp& s = known.stamp;
        std::string file;
        if (fields >> known.sum >> s.size >> s.modified >> s.changed >> s.inode >> s.device &&
            fields.get() == ' ' && std::getline(fields, file) && !file.empty()) {
            all[file] = known;
        }
    }
    return all;
}

// Whole, or not at all: written beside the store, then put in its place, with what other runs
// added since this one read it. Files gone since are left out. A store that cannot be written
// only costs the next run its reading.
void ModelChecks::save() const {
    if (store_.empty()) return;
    std::map<fs::path, Known> all = stored();
    for (const auto& [file, known] : known_) all.insert_or_assign(file, known);
    std::ostringstream text;
    for (const auto& [file, known] : all) {
        const Stamp& s = known.stamp;
        if (file.string().find('\n') != std::string::npos || !stampOf(file)) continue;
        text << known.sum << ' ' << s.size << ' ' << s.modified << ' ' << s.changed << ' '
             << s.inode << ' ' << s.device << ' ' << file.string() << '\n';
    }
    std::error_code ignored;
    fs::create_directories(store_.parent_path(), ignored);
    std::string temporary = store_.string() + ".XXXXXX";
    const FileDescriptor out(::mkostemp(temporary.data(), O_CLOEXEC));
    if (out.get() < 0) return;
    const std::string bytes = text.str();
    const bool whole =
        ::write(out.get(), bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    if (!whole || ::rename(temporary.c_str(), store_.c_str()) != 0) ::unlink(temporary.c_str());
}

}  // namespace pelliqo
