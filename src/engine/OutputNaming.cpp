#include "engine/OutputNaming.h"

#include <sys/statvfs.h>

#include <QDateTime>
#include <QDir>
#include <QStandardPaths>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

#include "engine/MovieFormat.h"

namespace pelliqo {

namespace fs = std::filesystem;

fs::path OutputNaming::moviesFolder(const std::vector<fs::path>& reported, const fs::path& home) {
    return reported.empty() ? home : reported.front();
}

fs::path OutputNaming::moviesFolder() {
    std::vector<fs::path> reported;
    for (const QString& folder :
         QStandardPaths::standardLocations(QStandardPaths::MoviesLocation)) {
        reported.emplace_back(folder.toStdString());
    }
    return moviesFolder(reported, QDir::homePath().toStdString());
}

std::optional<std::int64_t> OutputNaming::freeSpace(const fs::path& location) {
    struct statvfs volume {};
    if (statvfs(location.c_str(), &volume) != 0) return std::nullopt;
    return static_cast<std::int64_t>(volume.f_bavail) * static_cast<std::int64_t>(volume.f_frsize);
}

std::string OutputNaming::stamp() {
    return QDateTime::currentDateTime()
        .toString(QStringLiteral("yyyy-MM-dd HH.mm.ss"))
        .toStdString();
}

std::string formatTime(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0) seconds = 0;
    // Whole seconds, as a double so that no size of input can overflow a conversion.
    const double whole = std::trunc(seconds);
    const double minutes = std::floor(whole / 60);
    const int rest = static_cast<int>(whole - minutes * 60);
    char text[400];
    std::snprintf(text, sizeof text, "%.0f:%02d", minutes, rest);
    return text;
}

fs::path firstFreePath(const fs::path& folder, const std::string& base,
                       const std::string& extension) {
    // A link counts as taken even when it leads nowhere: a file made at its name would be
    // made where it leads.
    const auto taken = [](const fs::path& p) {
        std::error_code unknown;
        return fs::exists(fs::symlink_status(p, unknown));
    };
    fs::path candidate = folder / (base + "." + extension);
    for (int n = 2; taken(candidate); ++n) {
        candidate = folder / (base + " " + std::to_string(n) + "." + extension);
    }
    return candidate;
}

RecordingPaths recordingPaths(const fs::path& folder, const std::string& stamp, BackgroundKind kind,
                              bool keepOriginal) {
    const std::string base = "Pelliqo " + stamp;
    RecordingPaths paths{firstFreePath(folder, base, std::string(movieFormat(kind).extension)),
                         std::nullopt};
    if (keepOriginal)
        paths.original =
            firstFreePath(folder, base + " (original)", std::string(movieFormat(false).extension));
    return paths;
}

bool sameLocation(const fs::path& a, const fs::path& b) {
    std::error_code error;
    if (fs::equivalent(a, b, error)) return true;
    const fs::path first = fs::weakly_canonical(a, error);
    if (error) return false;
    const fs::path second = fs::weakly_canonical(b, error);
    return !error && first == second;
}

std::string exportName(const fs::path& input, BackgroundKind kind) {
    return input.stem().string() + " pelliqo." + std::string(movieFormat(kind).extension);
}

fs::path withExtension(const fs::path& chosen, std::string_view extension) {
    const std::string has = chosen.extension().string();
    const auto sameLetter = [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) ==
               std::tolower(static_cast<unsigned char>(b));
    };
    if (has.size() == extension.size() + 1 &&
        std::equal(extension.begin(), extension.end(), has.begin() + 1, sameLetter))
        return chosen;
    fs::path named = chosen;
    named += (has == "." ? "" : ".") + std::string(extension);  // "talk." is "talk.mp4"
    return named;
}

}  // namespace pelliqo
