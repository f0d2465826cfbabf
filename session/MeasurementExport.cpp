#include "session/MeasurementExport.h"

#include "base/AtomicFile.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstring>

std::string ExactText(double v) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, v).ptr;
    return std::string(text, end);
}

namespace {

// A CSV field: quoted when it holds a separator, a quote or a line break,
// with quotes doubled.
std::string CsvField(const std::string& s) {
    if (s.find_first_of(",\"\r\n") == std::string::npos) {
        return s;
    }
    std::string q = "\"";
    for (const char c : s) {
        q += c;
        if (c == '"') {
            q += '"';
        }
    }
    return q + '"';
}

template <typename T> void AppendLittleEndian(std::string& out, T value) {
    char bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));
    if constexpr (std::endian::native == std::endian::big) {
        for (std::size_t i = 0; i < sizeof(T) / 2; ++i) {
            std::swap(bytes[i], bytes[sizeof(T) - 1 - i]);
        }
    }
    out.append(bytes, sizeof(T));
}

} // namespace

std::string MeasurementsCsvHeader() {
    return "# frame: Ranvista output frame (Z up, metres); azimuth and bearing in degrees "
           "clockwise from +X seen from above; elevation above z = 0\n"
           "index,left_col_px,left_row_px,right_col_px,right_row_px,left_set,right_set,range_m,"
           "x_m,y_m,z_m,azimuth_deg,elevation_deg,range_spread_below_m,range_spread_above_m,"
           "sigma_range_m,sigma_down_range_m,sigma_cross_range_m,sigma_vertical_m,"
           "miss_distance_m,time_utc,note\n";
}

void AppendMeasurementCsvRow(std::string& out, const MeasurementRecord& r) {
    const auto add = [&out](const std::string& field) {
        out += field;
        out += ',';
    };
    add(std::to_string(r.index));
    add(ExactText(r.leftPixel.x));
    add(ExactText(r.leftPixel.y));
    if (r.IsMono()) {
        // No right pixel: its fields are empty and its source says "mono".
        out += ",,";
    } else {
        add(ExactText(r.rightPixel.x));
        add(ExactText(r.rightPixel.y));
    }
    add(std::string(PixelSourceName(r.leftSource)));
    add(r.IsMono() ? std::string("mono") : std::string(PixelSourceName(r.rightSource)));
    add(ExactText(r.rangeM));
    add(ExactText(r.position.m_dX));
    add(ExactText(r.position.m_dY));
    add(ExactText(r.position.m_dZ));
    add(ExactText(r.azimuthDeg));
    add(ExactText(r.elevationDeg));
    add(ExactText(r.rangeSpreadBelowM));
    add(ExactText(r.rangeSpreadAboveM));
    if (r.uncertainty) {
        add(ExactText(r.uncertainty->rangeSigmaM));
        add(ExactText(r.uncertainty->downRangeSigmaM));
        add(ExactText(r.uncertainty->crossRangeSigmaM));
        add(ExactText(r.uncertainty->verticalSigmaM));
    } else {
        out += ",,,,";
    }
    add(r.missDistanceM ? ExactText(*r.missDistanceM) : std::string());
    add(CsvField(r.timeUtc));
    out += CsvField(r.note);
    out += '\n';
}

std::string MeasurementsCsv(const std::vector<MeasurementRecord>& rows) {
    std::string out = MeasurementsCsvHeader();
    for (const MeasurementRecord& r : rows) {
        AppendMeasurementCsvRow(out, r);
    }
    return out;
}

std::string MeasurementsPlyHeader(std::size_t vertexCount, bool coloured, PlyEncoding encoding) {
    std::string out = "ply\n";
    out +=
        encoding == PlyEncoding::Ascii ? "format ascii 1.0\n" : "format binary_little_endian 1.0\n";
    out += "comment Ranvista measurements in the output frame (Z up), metres\n";
    out += "element vertex " + std::to_string(vertexCount) + "\n";
    out += "property double x\nproperty double y\nproperty double z\n";
    if (coloured) {
        out += "property uchar red\nproperty uchar green\nproperty uchar blue\n";
    }
    out += "property int index\nend_header\n";
    return out;
}

void AppendMeasurementPlyVertex(std::string& out, const CPoint3D& position, int index,
                                const Rgb* colour, PlyEncoding encoding) {
    if (encoding == PlyEncoding::Ascii) {
        out += ExactText(position.m_dX) + ' ' + ExactText(position.m_dY) + ' ' +
               ExactText(position.m_dZ);
        if (colour) {
            for (const std::uint8_t c : *colour) {
                out += ' ' + std::to_string(c);
            }
        }
        out += ' ' + std::to_string(index) + '\n';
        return;
    }
    AppendLittleEndian(out, position.m_dX);
    AppendLittleEndian(out, position.m_dY);
    AppendLittleEndian(out, position.m_dZ);
    if (colour) {
        out.append(reinterpret_cast<const char*>(colour->data()), 3);
    }
    AppendLittleEndian(out, static_cast<std::int32_t>(index));
}

std::string MeasurementsPly(const std::vector<MeasurementRecord>& rows,
                            const std::vector<Rgb>& colours, PlyEncoding encoding) {
    const bool coloured = !rows.empty() && colours.size() == rows.size();
    std::string out = MeasurementsPlyHeader(rows.size(), coloured, encoding);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        AppendMeasurementPlyVertex(out, rows[i].position, rows[i].index,
                                   coloured ? &colours[i] : nullptr, encoding);
    }
    return out;
}

bool WriteExport(const std::string& path, const std::string& bytes, std::string* error) {
    return WriteFileAtomically(path, bytes, error);
}

void AppendJsonString(std::string& out, std::string_view text) {
    const bool ascii = std::all_of(text.begin(), text.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (!ascii) {
        out += nlohmann::json(std::string(text))
                   .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        return;
    }
    out += '"';
    for (const char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                static constexpr char kHex[] = "0123456789abcdef";
                out += "\\u00";
                out += kHex[(c >> 4) & 0xF];
                out += kHex[c & 0xF];
            } else {
                out += c;
            }
        }
    }
    out += '"';
}
