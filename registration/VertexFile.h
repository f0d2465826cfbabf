// The vertex file (Save Vertex Results), which registration reads and
// writes too: one "%lf\t%lf\t%lf" line per saved vertex, CR LF line ends.
#pragma once

#include "geometry/Measurement.h"
#include "geometry/Point3D.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Whether Save Vertex Results writes a vertex: its position is closer than
// 150 m to the origin (squared distance < 22500) and every component of its
// error half spread is below 10. Strict comparisons; a NaN fails them.
bool IsVertexSaved(const VertexRecord& vertex);

// Appends one vertex line, "%lf\t%lf\t%lf" and CR LF.
void AppendVertexLine(std::string& out, const CPoint3D& p);

// The bytes of a saved vertex file: one line per vertex that passes
// IsVertexSaved, in order.
std::string VertexFileBytes(const std::vector<VertexRecord>& vertices);

// Writes the file in one piece: on failure the target is left as it was,
// "Unable to save %s" is reported through ReportMessage and false returned.
bool SaveVertexFile(const std::string& path, const std::vector<VertexRecord>& vertices);

// The reading rule of vertex files: a line (without its line end) is a
// vertex when "%lf %lf %lf" reads three numbers from it; leading blanks, any
// blanks between the numbers and any text after the third are accepted.
bool ParseVertexLine(std::string_view line, CPoint3D& p);

// Every vertex of a vertex file's text, in file order; other lines are
// skipped.
std::vector<CPoint3D> ParseVertexText(std::string_view text);

// The vertices of a vertex file, read whole before anything is done with
// them. Nothing is returned, and the reason is reported through
// ReportMessage, when the file cannot be opened or read ("Unable to open
// %s"), holds a line longer than any vertex line, or holds a vertex line
// that the reading rule takes but that is not three plain decimal numbers
// (nan, inf, hexadecimal, out of range), naming the line.
std::optional<std::vector<CPoint3D>> ReadVertexFile(const std::string& path);
