#include "products/ProductFiles.h"

#include "products/ProductLabel.h"

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

std::optional<std::string> ReadFileHead(const std::string& path, std::uint64_t maxBytes) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) {
        return std::nullopt;
    }
    const auto size = fs::file_size(path, ec);
    if (ec) {
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::string bytes(static_cast<std::size_t>(std::min<std::uint64_t>(size, maxBytes)), '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

std::optional<std::uint64_t> FileSize(const std::string& path) {
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    if (ec) {
        return std::nullopt;
    }
    return size;
}

std::optional<std::string> ResolveBeside(const std::string& beside, const std::string& name) {
    if (name.empty() || name.find('/') != std::string::npos ||
        name.find('\\') != std::string::npos || name == "." || name == "..") {
        return std::nullopt;
    }
    const fs::path folder = fs::path(beside).parent_path();
    std::error_code ec;
    const fs::path exact = (folder.empty() ? fs::path(".") : folder) / name;
    if (fs::is_regular_file(exact, ec)) {
        return exact.string();
    }
    const std::string wanted = UpperAscii(name);
    for (fs::directory_iterator it(folder.empty() ? fs::path(".") : folder, ec), end;
         !ec && it != end; it.increment(ec)) {
        if (UpperAscii(it->path().filename().string()) == wanted && it->is_regular_file(ec)) {
            return it->path().string();
        }
    }
    return std::nullopt;
}

std::optional<std::string> FindSibling(const std::string& path, const std::string& extension) {
    return ResolveBeside(path, fs::path(path).stem().string() + extension);
}
