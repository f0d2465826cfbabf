// The measurements of a session as files other tools read: CSV for
// spreadsheets, PLY (ASCII or binary little-endian) for point-cloud viewers.
// Numbers are written so that they read back exactly; unknown values are
// left empty (CSV) and every file is written atomically.
#pragma once

#include "session/MeasurementRecord.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The CSV: a comment line naming the frame, a header naming each column
// with its unit, one row per measurement. A monoscopic row has empty right
// pixel fields and "mono" as its right_set.
std::string MeasurementsCsv(const std::vector<MeasurementRecord>& rows);

// The same piece by piece: the comment and header lines, then one row.
std::string MeasurementsCsvHeader();
void AppendMeasurementCsvRow(std::string& out, const MeasurementRecord& r);

enum class PlyEncoding { Ascii, BinaryLittleEndian };
using Rgb = std::array<std::uint8_t, 3>;

// The PLY piece by piece: the header for vertexCount vertices, then each
// vertex (colour given exactly when the header says coloured).
std::string MeasurementsPlyHeader(std::size_t vertexCount, bool coloured, PlyEncoding encoding);
void AppendMeasurementPlyVertex(std::string& out, const CPoint3D& position, int index,
                                const Rgb* colour, PlyEncoding encoding);

// One vertex per measurement (x, y, z as doubles, the measurement's index as
// an int) with red, green and blue when colours holds one per row.
std::string MeasurementsPly(const std::vector<MeasurementRecord>& rows,
                            const std::vector<Rgb>& colours, PlyEncoding encoding);

// Writes bytes atomically; on failure, error says why.
bool WriteExport(const std::string& path, const std::string& bytes, std::string* error);

// Exact text of a number: the shortest that reads back to the same double.
std::string ExactText(double v);

// text as a JSON string, written straight into out. Bytes that are not UTF-8
// (a note pasted from elsewhere) become U+FFFD; plain ASCII, by far the
// common case, is escaped here exactly as the JSON library escapes it.
void AppendJsonString(std::string& out, std::string_view text);
