#include "platform/inference/ModelDirectory.h"

#include <dlfcn.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <fstream>
#include <iterator>

#include "platform/inference/ModelChecks.h"

namespace pelliqo {

namespace fs = std::filesystem;

namespace {

constexpr auto repair = "; run ./scripts/setup to fetch and convert the models.";

PlatformError modelError(const std::string& sentence) {
    return PlatformError{std::string(domain::files), 2, sentence, std::nullopt, nullptr};
}

}  // namespace

PlatformError damagedModel(const fs::path& path) {
    return modelError("The model file " + path.string() + " is damaged" + repair);
}

fs::path ModelDirectory::defaultLocation() {
    std::error_code error;
    std::vector<fs::path> folders;
    // Beside the program in the build; in the data folder of an installed program.
    const fs::path exe = fs::read_symlink("/proc/self/exe", error);
    if (!error)
        folders = {exe.parent_path() / "models", exe.parent_path() / PELLIQO_INSTALLED_MODEL_DIR};
    // Code loaded into another program (the frei0r filter in PREFIX/lib/frei0r-1) finds the
    // data folder from its own file.
    Dl_info code{};
    if (dladdr(reinterpret_cast<void*>(&damagedModel), &code) != 0 && code.dli_fname != nullptr)
        folders.push_back(fs::path(code.dli_fname).parent_path() / "../../share/pelliqo/models");
    for (const fs::path& folder : folders)
        if (fs::exists(folder / "manifest.json", error)) return folder.lexically_normal();
    return PELLIQO_MODEL_DIR;
}

Result<ModelDirectory> ModelDirectory::open(const fs::path& folder) {
    const fs::path manifestPath = folder / "manifest.json";
    std::ifstream in(manifestPath, std::ios::binary);
    if (!in)
        return modelError("The models are missing (no " + manifestPath.string() + ")" + repair);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(text));
    if (!document.isObject()) return damagedModel(manifestPath);
    ModelDirectory directory;
    for (const QJsonValue& entry : document.object().value(QLatin1StringView("models")).toArray()) {
        const QJsonObject o = entry.toObject();
        const QJsonArray input = o.value(QLatin1StringView("input")).toArray();
        ModelInfo info{o.value(QLatin1StringView("name")).toString().toStdString(),
                       o.value(QLatin1StringView("title")).toString().toStdString(),
                       folder / o.value(QLatin1StringView("file")).toString().toStdString(),
                       input.at(0).toInt(),
                       input.at(1).toInt(),
                       o.value(QLatin1StringView("sha256")).toString().toStdString()};
        if (info.name.empty() || info.inputWidth <= 0 || info.inputHeight <= 0) {
            return damagedModel(manifestPath);
        }
        directory.models_.push_back(std::move(info));
    }
    return directory;
}

namespace {

bool matches(const ModelInfo& model, std::string_view name) {
    return model.name == name || (model.name.size() > name.size() && model.name.starts_with(name) &&
                                  model.name[name.size()] == '-');
}

}  // namespace

std::string ModelDirectory::title(std::string_view name) const {
    for (const ModelInfo& model : models_)
        if (matches(model, name)) return model.title;
    return {};
}

Result<std::vector<ModelInfo>> ModelDirectory::verified(std::string_view name) const {
    std::vector<ModelInfo> found;
    for (const ModelInfo& model : models_) {
        if (!matches(model, name)) continue;
        if (!fs::exists(model.path)) {
            return modelError("The model file " + model.path.string() + " is missing" + repair);
        }
        if (ModelChecks::shared().sha256(model.path) != model.sha256)
            return damagedModel(model.path);
        found.push_back(model);
    }
    if (found.empty()) {
        return modelError("The " + std::string(name) + " model is missing" + repair);
    }
    return found;
}

}  // namespace pelliqo
