// What must hold for any bytes read as a session file, and for the exports
// of whatever it reads: used by the libFuzzer targets.
#pragma once

#include "geometry/CameraCatalogue.h"
#include "session/MeasurementExport.h"
#include "session/SessionFile.h"

#include <cmath>
#include <string>

namespace fuzzcheck {

inline bool Finite(const CPoint3D& p) {
    return std::isfinite(p.m_dX) && std::isfinite(p.m_dY) && std::isfinite(p.m_dZ);
}

// "" when the reader behaved, else what went wrong.
inline std::string CheckSessionBytes(const std::string& bytes) {
    const SessionReadResult r = ReadSessionText(bytes, "/fuzz/s.rvsession");
    if (!r.ok) {
        return r.message.empty() ? "refused without a reason" : "";
    }
    const SessionDocument& s = r.session;
    if (s.measurements.size() > kMaxSessionMeasurements) {
        return "more measurements than a session holds";
    }
    for (const auto& camera : {s.options.leftCamera, s.options.rightCamera}) {
        if (camera && CatalogueEntryOf(*camera) == nullptr) {
            return "a camera outside the catalogue";
        }
    }
    for (const MeasurementRecord& m : s.measurements) {
        if (m.index < 0 || !std::isfinite(m.rangeM) || !Finite(m.position) ||
            !std::isfinite(m.leftPixel.x) || !std::isfinite(m.rightPixel.y)) {
            return "a measurement number out of range";
        }
    }
    // What was read saves and reads back alike.
    const SessionReadResult again =
        ReadSessionText(SessionText(s, "/fuzz/s.rvsession"), "/fuzz/s.rvsession");
    if (!again.ok || again.session.measurements.size() != s.measurements.size()) {
        return "a session read does not read back after saving: " + again.message;
    }
    return "";
}

// The exports of any session read: one CSV line and one PLY vertex per
// measurement.
inline std::string CheckExportBytes(const std::string& bytes) {
    const SessionReadResult r = ReadSessionText(bytes, "/fuzz/s.rvsession");
    if (!r.ok) {
        return "";
    }
    const auto& rows = r.session.measurements;
    const auto lines = [](const std::string& csv) {
        std::size_t n = 0;
        bool quoted = false;
        for (const char c : csv) {
            quoted = c == '"' ? !quoted : quoted;
            n += c == '\n' && !quoted ? 1 : 0;
        }
        return n;
    };
    const std::size_t head = lines(MeasurementsCsv({})); // the comment and the header
    if (lines(MeasurementsCsv(rows)) != head + rows.size()) {
        return "the CSV does not hold one line per measurement (" + std::to_string(rows.size()) +
               ")";
    }
    for (const PlyEncoding encoding : {PlyEncoding::Ascii, PlyEncoding::BinaryLittleEndian}) {
        const std::string ply = MeasurementsPly(rows, {}, encoding);
        if (ply.find("element vertex " + std::to_string(rows.size()) + "\n") == std::string::npos) {
            return "the PLY header does not count the measurements";
        }
    }
    return "";
}

} // namespace fuzzcheck
