// The results log a session of measurements leaves behind (Save Calculation
// Results); the vertex file is registration/VertexFile.h.
#pragma once

#include <string>
#include <string_view>

// The bytes of a saved results log: the log text with every line break
// written as CR LF, nothing added before or after.
std::string ResultsLogFileBytes(std::string_view log);

// Writes the log in one piece: on failure the target is left as it was,
// "Unable to save %s" is reported through ReportMessage and false returned.
bool SaveResultsLog(const std::string& path, std::string_view log);
