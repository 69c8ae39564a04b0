#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace pelliqo::test {

inline std::string bytesOf(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Flipped bytes, a run overwritten, the end cut off, or a piece repeated.
inline std::string damaged(std::string bytes, std::mt19937& random) {
    if (bytes.empty()) return bytes;
    const auto at = [&](std::size_t size) {
        return std::uniform_int_distribution<std::size_t>(0, size - 1)(random);
    };
    switch (random() % 4) {
        case 0:
            for (int i = 0; i < 1 + static_cast<int>(random() % 8); ++i) {
                bytes[at(bytes.size())] = static_cast<char>(random());
            }
            break;
        case 1: {
            const std::size_t start = at(bytes.size());
            const std::size_t length =
                std::min<std::size_t>(1 + random() % 64, bytes.size() - start);
            for (std::size_t i = 0; i < length; ++i) bytes[start + i] = static_cast<char>(random());
            break;
        }
        case 2:
            bytes.resize(at(bytes.size()));
            break;
        default: {
            const std::size_t start = at(bytes.size());
            const std::size_t length =
                std::min<std::size_t>(1 + random() % 256, bytes.size() - start);
            bytes.insert(at(bytes.size()), bytes.substr(start, length));
        }
    }
    return bytes;
}

}  // namespace pelliqo::test
