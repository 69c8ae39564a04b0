#include "app/CommandSupport.h"

#include "app/CommandLine.h"
#include "engine/Segmenter.h"
#include "platform/ModelDirectory.h"

namespace pelliqo {

Result<std::shared_ptr<SegmentationEngine>> installedEngine(QualityChoice quality) {
    auto models = ModelDirectory::open(ModelDirectory::defaultLocation());
    if (!models) return models.error();
    return makeSegmentationEngine(segmentationLevel(quality), models.value());
}

int usageError(std::ostream& err, const std::string& command, const std::string& problem,
               const char* usage) {
    err << "pelliqo " << command << ": " << problem << "\nUsage: " << usage << "\n";
    return exitCode::usage;
}

}  // namespace pelliqo
