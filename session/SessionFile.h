// A saved measuring session: the pair, the database and the dialog's options
// it was measured with, and every measurement with its pixels, how they were
// set, its results and its note.
//
// The file is JSON (UTF-8), one object:
//   "format": "ranvista-session", "version": 1,
//   "left_image", "right_image": paths, relative to the session file's
//       folder when the image lies below it, else absolute;
//   "database": the store file's path (same rule; empty when unknown);
//   "options": {"left_camera", "right_camera": catalogue id or null,
//       "2d": bool, "rl_vector": bool, "rl_vector_text": text,
//       "az_corr": [left, right] degrees,
//       "product_models": bool (false: catalogue cameras even for products;
//       true when absent)},
//   "pixel_sigma": {"left", "right"}: 1-sigma of a mark in pixels,
//   "measurements": [{"index", "left_pixel": [col, row], "right_pixel",
//       "left_set", "right_set": "clicked" | "matched" | "reselected",
//       "range" (m), "position": [x, y, z] (m), "azimuth", "elevation" (deg),
//       "range_spread": [below, above] (m, the ±1-pixel sweep),
//       "half_spread": [x, y, z] (m, the vertex file's error),
//       "sigma": {"range", "down_range", "cross_range", "vertical"} (m) or null,
//       "covariance": 9 numbers, row by row (m²) or null,
//       "pixel_sigma": {"left", "right"}: the 1-sigma of this measurement's
//           marks in pixels (a matched mark has the matcher's; the
//           session's pixel_sigma when absent),
//       "miss_distance" (m) or null, "time" (ISO 8601 UTC), "note",
//       "log_entry": the calculation's text in the results log}].
// Numbers are written so that they read back exactly.
#pragma once

#include "base/AtomicFile.h"
#include "products/ProductCamera.h"
#include "session/MeasurementRecord.h"
#include "stereo/CalcInput.h"
#include "stereo/PointUncertainty.h"
#include "stereo/StereoRig.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// Bounds of a session file, far above a day of measuring: a bigger or
// endless file (a device, a FIFO) is refused with a message.
inline constexpr std::size_t kMaxSessionFileBytes = std::size_t{64} << 20;
inline constexpr std::size_t kMaxSessionMeasurements = 100000;

struct SessionDocument {
    std::string leftImage; // as used (absolute once read from a file)
    std::string rightImage;
    std::string database;
    CalcOptions options;
    PixelSigmas pixelSigmas;
    std::vector<MeasurementRecord> measurements;
};

// The file's text for a session saved at sessionPath.
std::string SessionText(const SessionDocument& session, const std::string& sessionPath);
bool WriteSessionFile(const std::string& path, const SessionDocument& session, std::string* error);

// The same file written as its measurements come, never holding them: the
// bytes WriteSessionFile writes for the header and the measurements added,
// in place at path only after Commit.
class SessionFileWriter {
public:
    // header: everything but the measurements (which it may leave empty).
    SessionFileWriter(const std::string& path, const SessionDocument& header);
    // False once writing failed (Commit then fails and says why).
    bool Add(const MeasurementRecord& record);
    std::size_t Count() const { return m_count; }
    bool Commit(std::string* error);

private:
    static constexpr std::size_t kFlushBytes = std::size_t{1} << 16;
    bool Flush();

    AtomicFileWriter m_file;
    std::string m_buffer;
    std::size_t m_count = 0;
};

struct SessionReadResult {
    bool ok = false;
    std::string message; // why not
    SessionDocument session;
};
// Relative paths are resolved against the folder of sessionPath.
SessionReadResult ReadSessionText(const std::string& text, const std::string& sessionPath);
SessionReadResult ReadSessionFile(const std::string& path);
// Whether path is a regular file that begins as a session file does (for
// refusing to write anything else over one).
bool LooksLikeSessionFile(const std::string& path);

// The same file read piece by piece, never holding its measurements: header
// gets everything but the measurements, then row gets each measurement in
// order. A file whose header values do not all come before the measurements
// (as this program writes them) is read whole and given the same way. The
// result's session holds the header only; on failure the rows given so far
// are not to be used.
SessionReadResult StreamSessionFile(const std::string& path,
                                    const std::function<void(const SessionDocument&)>& header,
                                    const std::function<void(const MeasurementRecord&)>& row);

// One saved measurement calculated again with the session's pair, options
// and db (its rig); lastPosition chains the distance to the last point.
struct RecalculatedMeasurement {
    RangeCalcInput input;
    RangeCalcResult result;
    MeasurementRecord record; // index, sources, time and note kept
};
// The cameras of the session's pair, as its options and db give them; built
// once for all its measurements.
StereoRig SessionRig(const SessionDocument& session, const ImageDatabase& db);
RecalculatedMeasurement Recalculate(const StereoRig& rig, const MeasurementRecord& saved,
                                    const CPoint3D& lastPosition);
// What a user would see change in a measurement calculated again, e.g.
// "Measurement 3: range 4.1200 m is now 4.1350 m (moved 0.0150 m)"; nothing
// when it did not move.
std::optional<std::string> RecalculationChange(const MeasurementRecord& saved,
                                               const RecalculatedMeasurement& again);

struct SessionRecalculationResult {
    std::vector<RecalculatedMeasurement> measurements; // the successful ones, in order
    // One line per measurement whose result differs from the saved one (or
    // that no longer calculates), e.g. "Measurement 3: range 4.1200 m is now
    // 4.1350 m".
    std::vector<std::string> changes;
};
// Every measurement again, in order (a newer database may move them).
SessionRecalculationResult RecalculateSession(const SessionDocument& session,
                                              const ImageDatabase& db);
