// The parts of a file path. Both '/' and '\' separate folders; only the last
// '.' of the file name starts the extension. Header-only so that every core
// library can use it without a link dependency.
#pragma once

#include <string>
#include <string_view>

namespace rv_detail {
inline std::string_view::size_type LastSeparator(std::string_view path) {
    // A plain backward scan: find_last_of searches its set once per character.
    for (auto i = path.size(); i > 0; --i) {
        if (path[i - 1] == '/' || path[i - 1] == '\\') {
            return i - 1;
        }
    }
    return std::string_view::npos;
}
} // namespace rv_detail

// Text up to and including the last separator; the whole path when it has none.
inline std::string PathFolder(std::string_view path) {
    const auto p = rv_detail::LastSeparator(path);
    return std::string(p == std::string_view::npos ? path : path.substr(0, p + 1));
}

namespace rv_detail {
inline std::string_view NameOf(std::string_view path) {
    const auto p = LastSeparator(path);
    return p == std::string_view::npos ? path : path.substr(p + 1);
}
} // namespace rv_detail

// Text after the last separator; the whole path when it has none.
inline std::string PathName(std::string_view path) {
    return std::string(rv_detail::NameOf(path));
}

// Text after the last '.' of the file name; empty when the name has none.
inline std::string PathExtension(std::string_view path) {
    const std::string_view name = rv_detail::NameOf(path);
    const auto d = name.rfind('.');
    return d == std::string_view::npos ? std::string() : std::string(name.substr(d + 1));
}

// The file name without its extension and the '.' before it (a name ending
// in '.' has an empty extension and keeps its dot).
inline std::string PathTitle(std::string_view path) {
    const std::string_view name = rv_detail::NameOf(path);
    const auto d = name.rfind('.');
    if (d == std::string_view::npos || d + 1 == name.size()) {
        return std::string(name);
    }
    return std::string(name.substr(0, d));
}
