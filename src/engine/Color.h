#pragma once

namespace pelliqo {

// A colour in sRGB, components 0…1 (wider values are kept as given). The window converts
// its own colour values to this; one it cannot express in sRGB arrives with non-finite
// components.
struct Color {
    double red = 0;
    double green = 0;
    double blue = 0;
    double opacity = 1;

    bool operator==(const Color&) const = default;
};

}  // namespace pelliqo
