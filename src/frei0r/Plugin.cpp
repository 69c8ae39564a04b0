// The frei0r entry points: the filter "pelliqo" for hosts that load frei0r plugins (FFmpeg's
// frei0r filter, MLT, GStreamer).
// The header declares the entry points without C linkage of its own.
extern "C" {
#include <frei0r.h>
}

#include <cstdio>
#include <mutex>

#include "frei0r/Filter.h"

namespace {

using pelliqo::Filter;
using pelliqo::filterParameters;

// Said once a process: a host may make many instances.
void sayWhyFramesPassThrough(const pelliqo::EffectSettings& settings) {
    static std::once_flag once;
    std::call_once(once, [&] {
        if (const auto problem = pelliqo::filterProblem(settings))
            std::fprintf(stderr, "pelliqo: %s Frames pass through unchanged.\n", problem->c_str());
    });
}

}  // namespace

extern "C" {

// The host's libraries are the host's: their logging is left as it set it.
int f0r_init() {
    return 1;
}

void f0r_deinit() {}

void f0r_get_plugin_info(f0r_plugin_info_t* info) {
    info->name = "pelliqo";
    info->author = "Pelliqo";
    info->plugin_type = F0R_PLUGIN_TYPE_FILTER;
    info->color_model = F0R_COLOR_MODEL_RGBA8888;
    info->frei0r_version = FREI0R_MAJOR_VERSION;
    info->major_version = 0;
    info->minor_version = 1;
    info->num_params = static_cast<int>(filterParameters().size());
    info->explanation = "Removes, blurs or replaces the background behind a person";
}

void f0r_get_param_info(f0r_param_info_t* info, int index) {
    const auto& parameter = filterParameters()[static_cast<std::size_t>(index)];
    info->name = parameter.name.c_str();
    info->type = parameter.type;
    info->explanation = parameter.explanation.c_str();
}

f0r_instance_t f0r_construct(unsigned int width, unsigned int height) {
    if (width == 0 || height == 0) return nullptr;
    auto* filter = new Filter(static_cast<int>(width), static_cast<int>(height));
    sayWhyFramesPassThrough(filter->settings());
    return filter;
}

void f0r_destruct(f0r_instance_t instance) {
    delete static_cast<Filter*>(instance);
}

void f0r_set_param_value(f0r_instance_t instance, f0r_param_t param, int index) {
    auto& filter = *static_cast<Filter*>(instance);
    switch (filterParameters()[static_cast<std::size_t>(index)].type) {
        case F0R_PARAM_BOOL:
            return filter.setValue(index, *static_cast<f0r_param_bool*>(param) >= 0.5);
        case F0R_PARAM_DOUBLE:
            return filter.setValue(index, *static_cast<f0r_param_double*>(param));
        case F0R_PARAM_COLOR: {
            const auto& c = *static_cast<f0r_param_color_t*>(param);
            return filter.setValue(index, pelliqo::Color{c.r, c.g, c.b, 1});
        }
        default: {
            const char* text = *static_cast<f0r_param_string*>(param);
            return filter.setValue(index, std::string(text ? text : ""));
        }
    }
}

void f0r_get_param_value(f0r_instance_t instance, f0r_param_t param, int index) {
    auto& filter = *static_cast<Filter*>(instance);
    // The host reads a text before it asks for another on this thread.
    thread_local std::string text;
    const pelliqo::HostValue value = filter.value(index);
    if (const auto* on = std::get_if<bool>(&value)) {
        *static_cast<f0r_param_bool*>(param) = *on ? 1.0 : 0.0;
    } else if (const auto* number = std::get_if<double>(&value)) {
        *static_cast<f0r_param_double*>(param) = *number;
    } else if (const auto* c = std::get_if<pelliqo::Color>(&value)) {
        *static_cast<f0r_param_color_t*>(param) = {
            static_cast<float>(c->red), static_cast<float>(c->green), static_cast<float>(c->blue)};
    } else {
        text = std::get<std::string>(value);
        *static_cast<f0r_param_string*>(param) = text.data();
    }
}

void f0r_update(f0r_instance_t instance, double time, const uint32_t* inframe, uint32_t* outframe) {
    static_cast<Filter*>(instance)->update(time, inframe, outframe);
}

}  // extern "C"
