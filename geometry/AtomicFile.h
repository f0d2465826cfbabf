// Writing a whole file so that a failure never leaves a half-written file:
// the bytes go to a temporary file in the same folder, which is flushed to
// disk and then renamed over the target. On failure the target is untouched
// and the temporary file is removed.
#pragma once

#include <string>
#include <string_view>

// Returns true on success; on failure returns false and, when error is given,
// describes what went wrong (the caller words the user's message).
bool WriteFileAtomically(const std::string& path, std::string_view bytes,
                         std::string* error = nullptr);

// Text as written by a text-mode stream on the desktop platform: every "\n"
// becomes "\r\n".
std::string ToCrLf(std::string_view text);
