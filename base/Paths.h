// The parts of a file path. Both '/' and '\' separate folders; only the last
// '.' of the file name starts the extension.
#pragma once

#include <string>
#include <string_view>

// Text up to and including the last separator; the whole path when it has none.
std::string PathFolder(std::string_view path);
// Text after the last separator; the whole path when it has none.
std::string PathName(std::string_view path);
// Text after the last '.' of the file name; empty when the name has none.
std::string PathExtension(std::string_view path);
// The file name without its extension and the '.' before it (a name ending
// in '.' has an empty extension and keeps its dot).
std::string PathTitle(std::string_view path);
