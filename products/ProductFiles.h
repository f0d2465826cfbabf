// File helpers of the product readers: bounded reads and names resolved
// beside a label without regard to case.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// At most maxBytes from the start of path; nothing when it cannot be opened.
std::optional<std::string> ReadFileHead(const std::string& path, std::uint64_t maxBytes);
// The file's size, or nothing.
std::optional<std::uint64_t> FileSize(const std::string& path);
// The file called name (compared without regard to case) in the folder of
// beside; nothing when there is none. Names with a folder part are refused.
std::optional<std::string> ResolveBeside(const std::string& beside, const std::string& name);
// The file in the folder of path whose name is stem + one of the extensions
// (case-insensitive), e.g. the .IMG beside a .LBL.
std::optional<std::string> FindSibling(const std::string& path, const std::string& extension);
