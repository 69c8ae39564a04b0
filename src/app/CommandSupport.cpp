#include "app/CommandSupport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <fstream>

#include "app/CommandLine.h"
#include "engine/FrameEffect.h"
#include "platform/image/ImageFile.h"
#include "platform/inference/ModelDirectory.h"
#include "platform/inference/SegmentationEngine.h"
#include "platform/system/FileDescriptor.h"
#include "process/StagedFile.h"

namespace pelliqo {

namespace {

// The bytes written beside the file and moved over it once they are on the disk.
bool writeStaged(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    auto staged = StagedFile::create(path);
    if (!staged) return false;
    std::ofstream out(staged.value().path(), std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    return out.good() && !staged.value().commit();
}

}  // namespace

bool modelReady(QualityChoice quality, std::ostream& err) {
    auto models = ModelDirectory::open(ModelDirectory::defaultLocation());
    const auto engine = models ? makeSegmentationEngine(segmentationLevel(quality), models.value())
                               : Result<std::shared_ptr<SegmentationEngine>>(models.error());
    if (!engine) err << "pelliqo: " << engine.error().description << "\n";
    return engine.ok();
}

bool settingsReady(const EffectSettings& settings, std::ostream& err) {
    if (settings.kind == BackgroundKind::picture && !settings.showMask &&
        !settings.picturePath.empty() && !readPicture(settings.picturePath)) {
        err << "pelliqo: can't read " << settings.picturePath << " as an image.\n";
        return false;
    }
    if (!FrameEffect::needsMask(settings)) return true;
    if (!modelReady(settings.quality, err)) return false;
    if (!settings.useSubjectMask) return true;
    // Asked for by name, the subject mask must not quietly become the person mask.
    auto models = ModelDirectory::open(ModelDirectory::defaultLocation());
    const auto subject = models ? models.value().verified("subject")
                                : Result<std::vector<ModelInfo>>(models.error());
    if (!subject) err << "pelliqo: " << subject.error().description << "\n";
    return subject.ok();
}

namespace {
std::atomic<bool> workLeft{false};
}  // namespace

void leaveWorkRunning() {
    workLeft = true;
}

bool commandLeftWorkRunning() {
    return workLeft;
}

std::unique_ptr<QCoreApplication> commandApplication() {
    if (QCoreApplication::instance() != nullptr) return nullptr;
    static int argc = 1;
    static char name[] = "pelliqo";
    static char* argv[] = {name, nullptr};
    return std::make_unique<QCoreApplication>(argc, argv);
}

std::optional<PixelBuffer> readInputPicture(const std::string& path, const EffectSettings& settings,
                                            std::ostream& err) {
    auto frame = readImageFile(path);
    if (!frame) {
        err << "pelliqo: can't read " << path << " as an image.\n";
        return std::nullopt;
    }
    if (!settingsReady(settings, err)) return std::nullopt;
    return frame;
}

bool writeOutputPicture(const std::string& path, const cv::Mat& pixels, std::ostream& err) {
    auto bytes = encodeImageFile(pixels, path);
    // A pipe or a device (/dev/stdout) has no name to tell the kind by: it gets a PNG.
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (!bytes && (std::filesystem::is_fifo(status) || std::filesystem::is_character_file(status)))
        bytes = encodeImageFile(pixels, "picture.png");
    if (bytes && writeStaged(path, *bytes)) return true;
    err << "pelliqo: can't write " << path << ".\n";
    return false;
}

Files inputAndOutput(const std::vector<std::string>& positional) {
    const auto named = [&](std::size_t i, const char* standard) {
        return positional.at(i) == "-" ? std::string(standard) : positional.at(i);
    };
    return {named(0, "/dev/stdin"), named(1, "/dev/stdout")};
}

namespace {

bool isTerminal(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) return false;
    const FileDescriptor device(::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    return device.get() >= 0 && ::isatty(device.get()) == 1;
}

}  // namespace

std::optional<std::string> terminalProblem(const Files& files) {
    if (isTerminal(files.input))
        return "INPUT is a terminal; name a file, or pipe the input from a program";
    if (isTerminal(files.output))
        return "OUTPUT is a terminal; name a file, or pipe the output to a program";
    return std::nullopt;
}

int usageError(std::ostream& err, const std::string& command, const std::string& problem,
               const char* usage) {
    err << "pelliqo " << command << ": " << problem << "\nUsage: " << usage << "\n";
    return exitCode::usage;
}

}  // namespace pelliqo
