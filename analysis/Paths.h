// The parts of a file path. Both '/' and '\' separate folders; only the last
// '.' of the file name starts the extension. Header-only so that every core
// library can use it without a link dependency.
#pragma once

#include <string>
#include <string_view>

namespace rv_detail {
inline std::string_view::size_type LastSeparator(std::string_view path) {
    return path.find_last_of("/\\");
}
} // namespace rv_detail

// Text up to and including the last separator; the whole path when it has none.
inline std::string PathFolder(std::string_view path) {
    const auto p = rv_detail::LastSeparator(path);
    return std::string(p == std::string_view::npos ? path : path.substr(0, p + 1));
}

// Text after the last separator; the whole path when it has none.
inline std::string PathName(std::string_view path) {
    const auto p = rv_detail::LastSeparator(path);
    return std::string(p == std::string_view::npos ? path : path.substr(p + 1));
}

// Text after the last '.' of the file name; empty when the name has none.
inline std::string PathExtension(std::string_view path) {
    const std::string name = PathName(path);
    const auto d = name.rfind('.');
    return d == std::string::npos ? std::string() : name.substr(d + 1);
}

// The file name without its extension and the '.' before it.
inline std::string PathTitle(std::string_view path) {
    const std::string name = PathName(path);
    const std::string ext = PathExtension(path);
    if (ext.empty()) {
        return name;
    }
    return name.substr(0, name.size() - (ext.size() + 1));
}
