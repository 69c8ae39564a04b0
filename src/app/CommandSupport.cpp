#include "app/CommandSupport.h"

#include "app/CommandLine.h"
#include "engine/Segmenter.h"
#include "platform/ImageFile.h"
#include "platform/ModelDirectory.h"

namespace pelliqo {

Result<std::shared_ptr<SegmentationEngine>> installedEngine(QualityChoice quality) {
    auto models = ModelDirectory::open(ModelDirectory::defaultLocation());
    if (!models) return models.error();
    return makeSegmentationEngine(segmentationLevel(quality), models.value());
}

bool modelsReady(const EffectSettings& settings, std::ostream& err) {
    if (settings.kind == BackgroundKind::none && !settings.showMask) return true;
    auto engine = installedEngine(settings.quality);
    if (!engine) err << "pelliqo: " << engine.error().description << "\n";
    return engine.ok();
}

std::unique_ptr<QCoreApplication> commandApplication() {
    if (QCoreApplication::instance() != nullptr) return nullptr;
    static int argc = 1;
    static char name[] = "pelliqo";
    static char* argv[] = {name, nullptr};
    return std::make_unique<QCoreApplication>(argc, argv);
}

std::optional<PixelBuffer> readInputPicture(const std::string& path, std::ostream& err) {
    auto frame = readImageFile(path);
    if (!frame) err << "pelliqo: can't read " << path << " as an image.\n";
    return frame;
}

Result<std::optional<Image>> segmentPicture(const PixelBuffer& picture,
                                            const EffectSettings& settings) {
    auto engine = installedEngine(settings.quality);
    if (!engine) return engine.error();
    Segmenter segmenter([shared = engine.value()](SegmentationLevel) { return shared; });
    return segmenter.mask(picture, settings, false);
}

int usageError(std::ostream& err, const std::string& command, const std::string& problem,
               const char* usage) {
    err << "pelliqo " << command << ": " << problem << "\nUsage: " << usage << "\n";
    return exitCode::usage;
}

}  // namespace pelliqo
