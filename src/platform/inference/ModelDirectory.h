#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "errors/Result.h"

namespace pelliqo {

// One converted model as the manifest describes it.
struct ModelInfo {
    std::string name;   // "fast", "balanced", "accurate-320x176", …
    std::string title;  // what the settings panel names it
    std::filesystem::path path;
    int inputWidth = 0;
    int inputHeight = 0;
    std::string sha256;
};

// The folder of converted segmentation models, described by its manifest.json.
class ModelDirectory {
  public:
    // Beside the program (build/models), in the installed data folder
    // (PREFIX/share/pelliqo/models beside PREFIX/bin/pelliqo), or where the build put them.
    static std::filesystem::path defaultLocation();

    // Fails with a sentence naming what is missing and how to repair it.
    static Result<ModelDirectory> open(const std::filesystem::path& folder);

    // Models whose name is the given one or starts with it and a dash ("accurate" finds
    // every accurate size). Each file is checked against its checksum; a missing or damaged
    // file fails with a sentence that names it.
    Result<std::vector<ModelInfo>> verified(std::string_view name) const;

    const std::vector<ModelInfo>& models() const { return models_; }

    // The title of the first model of that name (as verified() matches names); empty when
    // there is none. Not checked against the files: the panel only names it.
    std::string title(std::string_view name) const;

  private:
    std::vector<ModelInfo> models_;
};

// The error for a model file that is there but cannot be used.
PlatformError damagedModel(const std::filesystem::path& path);

}  // namespace pelliqo
