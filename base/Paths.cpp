#include "base/Paths.h"

namespace {

std::string_view::size_type LastSeparator(std::string_view path) {
    // A plain backward scan: find_last_of searches its set once per character.
    for (auto i = path.size(); i > 0; --i) {
        if (path[i - 1] == '/' || path[i - 1] == '\\') {
            return i - 1;
        }
    }
    return std::string_view::npos;
}

std::string_view NameOf(std::string_view path) {
    const auto p = LastSeparator(path);
    return p == std::string_view::npos ? path : path.substr(p + 1);
}

} // namespace

std::string PathFolder(std::string_view path) {
    const auto p = LastSeparator(path);
    return std::string(p == std::string_view::npos ? path : path.substr(0, p + 1));
}

std::string PathName(std::string_view path) {
    return std::string(NameOf(path));
}

std::string PathExtension(std::string_view path) {
    const std::string_view name = NameOf(path);
    const auto d = name.rfind('.');
    return d == std::string_view::npos ? std::string() : std::string(name.substr(d + 1));
}

std::string PathTitle(std::string_view path) {
    const std::string_view name = NameOf(path);
    const auto d = name.rfind('.');
    if (d == std::string_view::npos || d + 1 == name.size()) {
        return std::string(name);
    }
    return std::string(name.substr(0, d));
}
