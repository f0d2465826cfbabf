// The two text files a session of measurements leaves behind: the results
// log (Save Calculation Results) and the vertex file (Save Vertex Results),
// which the transform tool also reads and writes.
#pragma once

#include "analysis/Measurement.h"
#include "geometry/Point3D.h"

#include <string>
#include <string_view>
#include <vector>

// The bytes of a saved results log: the log text with every line break
// written as CR LF, nothing added before or after.
std::string ResultsLogFileBytes(std::string_view log);

// Whether Save Vertex Results writes a vertex: its position is closer than
// 150 m to the origin (squared distance < 22500) and every component of its
// error half spread is below 10. Strict comparisons; a NaN fails them.
bool IsVertexSaved(const VertexRecord& vertex);

// Appends one vertex line, "%lf\t%lf\t%lf" and CR LF.
void AppendVertexLine(std::string& out, const CPoint3D& p);

// The bytes of a saved vertex file: one line per vertex that passes
// IsVertexSaved, in order.
std::string VertexFileBytes(const std::vector<VertexRecord>& vertices);

// Write the files in one piece: on failure the target is left as it was,
// "Unable to save %s" is reported through ReportMessage and false returned.
bool SaveResultsLog(const std::string& path, std::string_view log);
bool SaveVertexFile(const std::string& path, const std::vector<VertexRecord>& vertices);

// The reading rule of vertex files: a line (without its line end) is a
// vertex when "%lf %lf %lf" reads three numbers from it; leading blanks, any
// blanks between the numbers and any text after the third are accepted.
bool ParseVertexLine(std::string_view line, CPoint3D& p);

// Every vertex of a vertex file's text, in file order; other lines are
// skipped.
std::vector<CPoint3D> ParseVertexText(std::string_view text);
