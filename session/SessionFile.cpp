#include "session/SessionFile.h"

#include "base/AtomicFile.h"
#include "geometry/CameraCatalogue.h"
#include "session/MeasurementExport.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <memory>
#include <sstream>
#include <string_view>

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

namespace {

constexpr const char* kFormat = "ranvista-session";

// Relative to the session's folder when the file lies below it.
std::string StoredPath(const std::string& path, const std::string& sessionPath) {
    if (path.empty()) {
        return path;
    }
    std::error_code ec;
    const fs::path absolute = fs::absolute(path, ec);
    const fs::path folder = fs::absolute(sessionPath, ec).parent_path();
    if (ec) {
        return path;
    }
    const fs::path rel = absolute.lexically_normal().lexically_relative(folder.lexically_normal());
    if (rel.empty() || *rel.begin() == "..") {
        return absolute.lexically_normal().string();
    }
    return rel.string();
}

std::string ResolvedPath(const std::string& stored, const std::string& sessionPath) {
    if (stored.empty() || fs::path(stored).is_absolute()) {
        return stored;
    }
    std::error_code ec;
    const fs::path folder = fs::absolute(sessionPath, ec).parent_path();
    return (folder / stored).lexically_normal().string();
}

Json Number(double v) {
    return std::isfinite(v) ? Json(v) : Json();
}
Json Pair(double a, double b) {
    return Json::array({Number(a), Number(b)});
}
Json Camera(const std::optional<CameraId>& id) {
    return id ? Json(*id) : Json();
}

// The record's JSON object on one line, written directly: an autosave of
// ten thousand measurements must not stall the window.
void AppendNumber(std::string& out, double v) {
    out += std::isfinite(v) ? ExactText(v) : std::string("null");
}
void AppendNumbers(std::string& out, std::initializer_list<double> values) {
    out += '[';
    bool first = true;
    for (const double v : values) {
        if (!first) {
            out += ',';
        }
        first = false;
        AppendNumber(out, v);
    }
    out += ']';
}
void AppendRecord(std::string& out, const MeasurementRecord& r) {
    out += "{\"index\":" + std::to_string(r.index);
    if (r.IsMono()) {
        // One image's pixel: no right pixel, and what its ray met.
        out += ",\"kind\":\"mono\",\"surface\":";
        AppendJsonString(out, r.surface);
        out += ",\"left_pixel\":";
        AppendNumbers(out, {r.leftPixel.x, r.leftPixel.y});
        out += ",\"left_set\":\"";
        out += PixelSourceName(r.leftSource);
    } else {
        out += ",\"left_pixel\":";
        AppendNumbers(out, {r.leftPixel.x, r.leftPixel.y});
        out += ",\"right_pixel\":";
        AppendNumbers(out, {r.rightPixel.x, r.rightPixel.y});
        out += ",\"left_set\":\"";
        out += PixelSourceName(r.leftSource);
        out += "\",\"right_set\":\"";
        out += PixelSourceName(r.rightSource);
    }
    out += "\",\"range\":";
    AppendNumber(out, r.rangeM);
    out += ",\"position\":";
    AppendNumbers(out, {r.position.m_dX, r.position.m_dY, r.position.m_dZ});
    out += ",\"azimuth\":";
    AppendNumber(out, r.azimuthDeg);
    out += ",\"elevation\":";
    AppendNumber(out, r.elevationDeg);
    out += ",\"range_spread\":";
    AppendNumbers(out, {r.rangeSpreadBelowM, r.rangeSpreadAboveM});
    out += ",\"half_spread\":";
    const CPoint3D& e = r.vertex.m_ptError;
    AppendNumbers(out, {e.m_dX, e.m_dY, e.m_dZ});
    if (r.uncertainty) {
        const PointUncertainty& u = *r.uncertainty;
        out += ",\"sigma\":{\"range\":";
        AppendNumber(out, u.rangeSigmaM);
        out += ",\"down_range\":";
        AppendNumber(out, u.downRangeSigmaM);
        out += ",\"cross_range\":";
        AppendNumber(out, u.crossRangeSigmaM);
        out += ",\"vertical\":";
        AppendNumber(out, u.verticalSigmaM);
        out += "},\"covariance\":";
        const auto& c = u.covarianceM2;
        AppendNumbers(
            out, {c[0][0], c[0][1], c[0][2], c[1][0], c[1][1], c[1][2], c[2][0], c[2][1], c[2][2]});
    } else {
        out += ",\"sigma\":null,\"covariance\":null";
    }
    out += ",\"pixel_sigma\":{\"left\":";
    AppendNumber(out, r.pixelSigmas.leftPx);
    out += ",\"right\":";
    AppendNumber(out, r.pixelSigmas.rightPx);
    out += '}';
    out += ",\"miss_distance\":";
    if (r.missDistanceM) {
        AppendNumber(out, *r.missDistanceM);
    } else {
        out += "null";
    }
    out += ",\"time\":";
    AppendJsonString(out, r.timeUtc);
    out += ",\"note\":";
    AppendJsonString(out, r.note);
    out += ",\"log_entry\":";
    AppendJsonString(out, r.logEntry);
    out += '}';
}

// Readers that refuse a value of the wrong kind with the key's name.
struct Reader {
    std::string error;

    double Num(const Json& j, const char* key) {
        const auto it = j.find(key);
        if (it == j.end() || !it->is_number() || !std::isfinite(it->get<double>())) {
            Fail(key);
            return 0.0;
        }
        return it->get<double>();
    }
    std::optional<double> OptNum(const Json& j, const char* key) {
        const auto it = j.find(key);
        if (it == j.end() || it->is_null()) {
            return std::nullopt;
        }
        return Num(j, key);
    }
    std::vector<double> Nums(const Json& j, const char* key, std::size_t n) {
        std::vector<double> v(n, 0.0);
        const auto it = j.find(key);
        if (it == j.end() || !it->is_array() || it->size() != n) {
            Fail(key);
            return v;
        }
        for (std::size_t i = 0; i < n; ++i) {
            if (!(*it)[i].is_number() || !std::isfinite((*it)[i].get<double>())) {
                Fail(key);
                return v;
            }
            v[i] = (*it)[i].get<double>();
        }
        return v;
    }
    std::string Text(const Json& j, const char* key) {
        const auto it = j.find(key);
        if (it == j.end() || !it->is_string()) {
            Fail(key);
            return {};
        }
        return it->get<std::string>();
    }
    bool Bool(const Json& j, const char* key) {
        const auto it = j.find(key);
        if (it == j.end() || !it->is_boolean()) {
            Fail(key);
            return false;
        }
        return it->get<bool>();
    }
    std::optional<CameraId> Cam(const Json& j, const char* key) {
        const auto it = j.find(key);
        if (it == j.end() || it->is_null()) {
            return std::nullopt;
        }
        // Only a camera of the catalogue: a number past int must not wrap
        // round into one.
        if (!it->is_number_integer() || it->get<std::int64_t>() < 0 ||
            it->get<std::int64_t>() > std::numeric_limits<int>::max() ||
            CatalogueEntryOf(static_cast<CameraId>(it->get<std::int64_t>())) == nullptr) {
            Fail(key);
            return std::nullopt;
        }
        return static_cast<CameraId>(it->get<std::int64_t>());
    }
    PixelSource Source(const Json& j, const char* key) {
        const auto s = PixelSourceFromName(Text(j, key));
        if (!s) {
            Fail(key);
        }
        return s.value_or(PixelSource::Clicked);
    }
    void Fail(const char* key) {
        if (error.empty()) {
            error = std::string("missing or malformed \"") + key + "\"";
        }
    }
};

// sigmas: the session's, for a measurement saved without its own.
MeasurementRecord ReadRecord(const Json& j, const PixelSigmas& sigmas, Reader& rd) {
    MeasurementRecord r;
    r.pixelSigmas = sigmas;
    if (!j.is_object()) {
        rd.Fail("measurements");
        return r;
    }
    if (const double index = rd.Num(j, "index");
        index >= 0 && index <= std::numeric_limits<int>::max() && index == std::trunc(index)) {
        r.index = static_cast<int>(index);
    } else {
        rd.Fail("index");
    }
    // Rows without a kind (every row before monoscopic ones existed) are stereo.
    if (const auto kind = j.find("kind"); kind != j.end()) {
        if (rd.Text(j, "kind") == "mono") {
            r.kind = MeasurementKind::Mono;
            r.surface = rd.Text(j, "surface");
        } else {
            rd.Fail("kind");
        }
    }
    const auto l = rd.Nums(j, "left_pixel", 2);
    r.leftPixel = {l[0], l[1]};
    r.leftSource = rd.Source(j, "left_set");
    if (!r.IsMono()) {
        const auto rp = rd.Nums(j, "right_pixel", 2);
        r.rightPixel = {rp[0], rp[1]};
        r.rightSource = rd.Source(j, "right_set");
    }
    r.rangeM = rd.Num(j, "range");
    const auto p = rd.Nums(j, "position", 3);
    r.position = {p[0], p[1], p[2]};
    r.azimuthDeg = rd.Num(j, "azimuth");
    r.elevationDeg = rd.Num(j, "elevation");
    const auto spread = rd.Nums(j, "range_spread", 2);
    r.rangeSpreadBelowM = spread[0];
    r.rangeSpreadAboveM = spread[1];
    const auto half = rd.Nums(j, "half_spread", 3);
    r.vertex = VertexRecord{r.position, {half[0], half[1], half[2]}};
    if (const auto it = j.find("sigma"); it != j.end() && it->is_object()) {
        PointUncertainty u;
        u.rangeSigmaM = rd.Num(*it, "range");
        u.downRangeSigmaM = rd.Num(*it, "down_range");
        u.crossRangeSigmaM = rd.Num(*it, "cross_range");
        u.verticalSigmaM = rd.Num(*it, "vertical");
        const auto c = rd.Nums(j, "covariance", 9);
        for (int i = 0; i < 9; ++i) {
            u.covarianceM2[i / 3][i % 3] = c[i];
        }
        r.uncertainty = u;
    }
    if (const auto it = j.find("pixel_sigma"); it != j.end()) {
        if (it->is_object()) {
            r.pixelSigmas.leftPx = rd.Num(*it, "left");
            r.pixelSigmas.rightPx = rd.Num(*it, "right");
        } else {
            rd.Fail("pixel_sigma");
        }
    }
    r.missDistanceM = rd.OptNum(j, "miss_distance");
    r.timeUtc = rd.Text(j, "time");
    r.note = rd.Text(j, "note");
    r.logEntry = rd.Text(j, "log_entry");
    return r;
}

} // namespace

namespace {

// The file's text up to the list of measurements (its key written, the list not).
std::string SessionHead(const SessionDocument& s, const std::string& sessionPath) {
    Json j;
    j["format"] = kFormat;
    j["version"] = 1;
    j["left_image"] = StoredPath(s.leftImage, sessionPath);
    j["right_image"] = StoredPath(s.rightImage, sessionPath);
    j["database"] = StoredPath(s.database, sessionPath);
    j["options"] = {{"left_camera", Camera(s.options.leftCamera)},
                    {"right_camera", Camera(s.options.rightCamera)},
                    {"2d", s.options.b2D},
                    {"rl_vector", s.options.bRLVector},
                    {"rl_vector_text", s.options.strRLVector},
                    {"az_corr", Pair(s.options.dAzCorrLeft, s.options.dAzCorrRight)},
                    {"product_models", s.options.bProductModels}};
    j["pixel_sigma"] = {{"left", Number(s.pixelSigmas.leftPx)},
                        {"right", Number(s.pixelSigmas.rightPx)}};
    j["measurements"] = Json::array();
    std::string text = j.dump(1, ' ', false, Json::error_handler_t::replace);
    // The measurements one to a line, in place of the empty list at the end.
    const std::string empty = "[]\n}";
    text.resize(text.size() - empty.size());
    return text;
}

// What goes before the measurement numbered index (0, 1, ...), and after the
// last of count.
const char* BeforeMeasurement(std::size_t index) {
    return index == 0 ? "[\n  " : ",\n  ";
}
const char* SessionTail(std::size_t count) {
    return count == 0 ? "[]\n}\n" : "\n ]\n}\n";
}

} // namespace

std::string SessionText(const SessionDocument& s, const std::string& sessionPath) {
    std::string text = SessionHead(s, sessionPath);
    for (std::size_t i = 0; i < s.measurements.size(); ++i) {
        text += BeforeMeasurement(i);
        AppendRecord(text, s.measurements[i]);
    }
    return text + SessionTail(s.measurements.size());
}

bool WriteSessionFile(const std::string& path, const SessionDocument& session, std::string* error) {
    return WriteFileAtomically(path, SessionText(session, path), error);
}

SessionFileWriter::SessionFileWriter(const std::string& path, const SessionDocument& header)
    : m_file(path) {
    if (m_file.Created()) {
        m_buffer = SessionHead(header, path);
    }
}

bool SessionFileWriter::Add(const MeasurementRecord& record) {
    m_buffer += BeforeMeasurement(m_count++);
    AppendRecord(m_buffer, record);
    // A stream target gets the file whole at Commit.
    return m_buffer.size() < kFlushBytes || m_file.Direct() || Flush();
}

bool SessionFileWriter::Commit(std::string* error) {
    m_buffer += SessionTail(m_count);
    if (!m_file.Created() || !Flush() || !m_file.Commit(error)) {
        if (error != nullptr && error->empty()) {
            *error = m_file.Error();
        }
        return false;
    }
    return true;
}

bool SessionFileWriter::Flush() {
    const bool ok = m_file.Write(m_buffer);
    m_buffer.clear();
    return ok;
}

namespace {

// Everything but the measurements; false with res.message when j is not a
// session this version reads (field errors go to rd).
bool ReadHeader(const Json& j, const std::string& sessionPath, Reader& rd, SessionReadResult& res) {
    if (!j.is_object()) {
        res.message = "not a JSON object";
        return false;
    }
    // A format of another type is a foreign file too, never an exception.
    if (const auto format = j.find("format");
        format == j.end() || !format->is_string() || *format != kFormat) {
        res.message = "not a Ranvista session";
        return false;
    }
    // Compared as the number it is: 2^32 + 1 is not version 1.
    if (!j.contains("version") || !j["version"].is_number_integer() || j["version"] != 1) {
        res.message = "a session version this Ranvista cannot read";
        return false;
    }
    SessionDocument& s = res.session;
    s.leftImage = ResolvedPath(rd.Text(j, "left_image"), sessionPath);
    s.rightImage = ResolvedPath(rd.Text(j, "right_image"), sessionPath);
    s.database = ResolvedPath(rd.Text(j, "database"), sessionPath);
    if (const auto it = j.find("options"); it != j.end() && it->is_object()) {
        s.options.leftCamera = rd.Cam(*it, "left_camera");
        s.options.rightCamera = rd.Cam(*it, "right_camera");
        s.options.b2D = rd.Bool(*it, "2d");
        s.options.bRLVector = rd.Bool(*it, "rl_vector");
        s.options.strRLVector = rd.Text(*it, "rl_vector_text");
        const auto az = rd.Nums(*it, "az_corr", 2);
        s.options.dAzCorrLeft = az[0];
        s.options.dAzCorrRight = az[1];
        // Sessions written before the option existed measured products with
        // their own models.
        if (const auto pm = it->find("product_models"); pm != it->end()) {
            s.options.bProductModels = rd.Bool(*it, "product_models");
        }
    } else {
        rd.Fail("options");
    }
    if (const auto it = j.find("pixel_sigma"); it != j.end() && it->is_object()) {
        s.pixelSigmas.leftPx = rd.Num(*it, "left");
        s.pixelSigmas.rightPx = rd.Num(*it, "right");
    }
    return true;
}

} // namespace

SessionReadResult ReadSessionText(const std::string& text, const std::string& sessionPath) {
    SessionReadResult res;
    const Json j = Json::parse(text, nullptr, false);
    if (j.is_discarded()) {
        res.message = "not a JSON object";
        return res;
    }
    Reader rd;
    if (!ReadHeader(j, sessionPath, rd, res)) {
        return res;
    }
    SessionDocument& s = res.session;
    const auto rows = j.find("measurements");
    if (rows == j.end() || !rows->is_array()) {
        rd.Fail("measurements");
    } else if (rows->size() > kMaxSessionMeasurements) {
        res.message = "more than " + std::to_string(kMaxSessionMeasurements) +
                      " measurements, more than a session holds";
        return res;
    } else {
        for (const Json& row : *rows) {
            s.measurements.push_back(ReadRecord(row, s.pixelSigmas, rd));
        }
    }
    if (!rd.error.empty()) {
        res.message = rd.error;
        res.session = {};
        return res;
    }
    res.ok = true;
    return res;
}

namespace {

// The fields of a measurement, in the order ReadRecord checks them (so that
// a row read from events fails on the same key).
enum class Field : std::uint8_t {
    Index,
    Kind,
    Surface,
    LeftPixel,
    LeftSet,
    RightPixel,
    RightSet,
    Range,
    Position,
    Azimuth,
    Elevation,
    RangeSpread,
    HalfSpread,
    Sigma,
    Covariance,
    PixelSigma,
    MissDistance,
    Time,
    Note,
    LogEntry,
    Other, // a key this version does not read: its value is skipped
};
constexpr std::size_t kFields = static_cast<std::size_t>(Field::Other);

constexpr std::array<std::string_view, kFields> kFieldNames = {
    "index",       "kind",          "surface",     "left_pixel", "left_set",
    "right_pixel", "right_set",     "range",       "position",   "azimuth",
    "elevation",   "range_spread",  "half_spread", "sigma",      "covariance",
    "pixel_sigma", "miss_distance", "time",        "note",       "log_entry"};

// The keys of "sigma" and of "pixel_sigma".
constexpr std::array<std::string_view, 4> kSigmaKeys = {"range", "down_range", "cross_range",
                                                        "vertical"};
constexpr std::array<std::string_view, 2> kPixelSigmaKeys = {"left", "right"};

// What a value of the row turned out to be.
enum class Got : std::uint8_t { Absent, Null, Number, Text, Numbers, Object, Other };

// One measurement's values as the parser gives them, read into a record
// without building a tree; Finish then checks them as ReadRecord does.
class RowFields {
public:
    void Start(bool isObject) {
        m_isObject = isObject;
        m_got.fill(Got::Absent);
        m_count.fill(0);
        m_sub = -1;
    }
    // A key inside the row (depth 1 of the row) or inside its "sigma" or
    // "pixel_sigma" object (depth 2).
    void Key(int depth, std::string_view key) {
        if (depth == 1) {
            m_field = Field::Other;
            m_sub = -1;
            for (std::size_t i = 0; i < kFields; ++i) {
                if (kFieldNames[i] == key) {
                    m_field = static_cast<Field>(i);
                    Set(Got::Absent); // a repeated key: its last value counts
                    break;
                }
            }
            return;
        }
        m_sub = -1;
        const auto find = [&](const auto& keys) {
            for (std::size_t i = 0; i < keys.size(); ++i) {
                if (keys[i] == key) {
                    m_sub = static_cast<int>(i);
                }
            }
        };
        if (m_field == Field::Sigma) {
            find(kSigmaKeys);
        } else if (m_field == Field::PixelSigma) {
            find(kPixelSigmaKeys);
        }
        if (m_sub >= 0) {
            SubGot()[static_cast<std::size_t>(m_sub)] = Got::Absent;
        }
    }
    // A value at depth 1 (a field), 2 (in a field's list or object) or
    // deeper; number when kind is Number, text when Text.
    void Value(int depth, Got kind, double number, std::string* text) {
        if (m_field == Field::Other) {
            return;
        }
        if (depth == 1) {
            Set(kind);
            if (kind == Got::Number) {
                if (std::isfinite(number)) {
                    Values()[0] = number;
                } else {
                    Set(Got::Other);
                }
            } else if (kind == Got::Text) {
                Text().assign(*text);
            }
            return;
        }
        if (depth == 2 && Now() == Got::Numbers) {
            std::size_t& n = m_count[Index()];
            if (kind == Got::Number && std::isfinite(number) && n < 9) {
                Values()[n++] = number;
            } else {
                Set(Got::Other);
            }
            return;
        }
        if (depth == 2 && Now() == Got::Object && m_sub >= 0) {
            SubGot()[static_cast<std::size_t>(m_sub)] =
                kind == Got::Number && std::isfinite(number) ? Got::Number : Got::Other;
            SubValues()[static_cast<std::size_t>(m_sub)] = number;
            return;
        }
        if (depth >= 2 && Now() == Got::Numbers) {
            Set(Got::Other);
        }
    }
    // A list or an object opening at depth (1: the field's value).
    void Open(int depth, bool object) {
        if (m_field == Field::Other) {
            return;
        }
        if (depth == 1) {
            Set(object ? Got::Object : Got::Numbers);
            m_count[Index()] = 0;
            m_sub = -1;
            if (object && (m_field == Field::Sigma || m_field == Field::PixelSigma)) {
                SubGot().fill(Got::Absent);
            }
            return;
        }
        if (Now() == Got::Numbers) {
            Set(Got::Other); // a list inside a list of numbers
        } else if (Now() == Got::Object && depth == 2 && m_sub >= 0) {
            SubGot()[static_cast<std::size_t>(m_sub)] = Got::Other;
        }
    }

    // The record, or false with the first fault in rd (which has none yet).
    bool Finish(const PixelSigmas& sigmas, Reader& rd, MeasurementRecord& r) const {
        if (!m_isObject) {
            rd.Fail("measurements");
            return false;
        }
        r.pixelSigmas = sigmas;
        const double index = Num(Field::Index, rd);
        if (index >= 0 && index <= std::numeric_limits<int>::max() && index == std::trunc(index)) {
            r.index = static_cast<int>(index);
        } else {
            rd.Fail("index");
        }
        r.kind = MeasurementKind::Stereo;
        r.surface.clear();
        if (GotOf(Field::Kind) != Got::Absent) {
            if (GotOf(Field::Kind) == Got::Text && m_kind == "mono") {
                r.kind = MeasurementKind::Mono;
                r.surface = TextOf(Field::Surface, rd);
            } else {
                rd.Fail("kind");
            }
        }
        const auto l = Nums(Field::LeftPixel, 2, rd);
        r.leftPixel = {l[0], l[1]};
        r.leftSource = Source(Field::LeftSet, rd);
        r.rightPixel = {};
        r.rightSource = PixelSource::Clicked;
        if (!r.IsMono()) {
            const auto rp = Nums(Field::RightPixel, 2, rd);
            r.rightPixel = {rp[0], rp[1]};
            r.rightSource = Source(Field::RightSet, rd);
        }
        r.rangeM = Num(Field::Range, rd);
        const auto p = Nums(Field::Position, 3, rd);
        r.position = {p[0], p[1], p[2]};
        r.azimuthDeg = Num(Field::Azimuth, rd);
        r.elevationDeg = Num(Field::Elevation, rd);
        const auto spread = Nums(Field::RangeSpread, 2, rd);
        r.rangeSpreadBelowM = spread[0];
        r.rangeSpreadAboveM = spread[1];
        const auto half = Nums(Field::HalfSpread, 3, rd);
        r.vertex = VertexRecord{r.position, {half[0], half[1], half[2]}};
        r.uncertainty.reset();
        if (GotOf(Field::Sigma) == Got::Object) {
            PointUncertainty u;
            u.rangeSigmaM = Sub(m_sigma, 0, "range", rd);
            u.downRangeSigmaM = Sub(m_sigma, 1, "down_range", rd);
            u.crossRangeSigmaM = Sub(m_sigma, 2, "cross_range", rd);
            u.verticalSigmaM = Sub(m_sigma, 3, "vertical", rd);
            const auto c = Nums(Field::Covariance, 9, rd);
            for (std::size_t i = 0; i < 9; ++i) {
                u.covarianceM2[i / 3][i % 3] = c[i];
            }
            r.uncertainty = u;
        }
        if (GotOf(Field::PixelSigma) == Got::Object) {
            r.pixelSigmas.leftPx = Sub(m_pixelSigma, 0, "left", rd);
            r.pixelSigmas.rightPx = Sub(m_pixelSigma, 1, "right", rd);
        } else if (GotOf(Field::PixelSigma) != Got::Absent) {
            rd.Fail("pixel_sigma");
        }
        r.missDistanceM.reset();
        if (GotOf(Field::MissDistance) != Got::Absent && GotOf(Field::MissDistance) != Got::Null) {
            r.missDistanceM = Num(Field::MissDistance, rd);
        }
        r.timeUtc = TextOf(Field::Time, rd);
        r.note = TextOf(Field::Note, rd);
        r.logEntry = TextOf(Field::LogEntry, rd);
        return rd.error.empty();
    }

private:
    using Values9 = std::array<double, 9>;
    struct SubObject {
        std::array<Got, 4> got{};
        std::array<double, 4> values{};
    };

    std::size_t Index() const { return static_cast<std::size_t>(m_field); }
    Got Now() const { return m_got[Index()]; }
    Got GotOf(Field f) const { return m_got[static_cast<std::size_t>(f)]; }
    void Set(Got g) { m_got[Index()] = g; }
    Values9& Values() { return m_values[Index()]; }
    std::array<Got, 4>& SubGot() {
        return m_field == Field::Sigma ? m_sigma.got : m_pixelSigma.got;
    }
    std::array<double, 4>& SubValues() {
        return m_field == Field::Sigma ? m_sigma.values : m_pixelSigma.values;
    }
    // The text member that holds field f (m_ignored for any other field).
    template <typename Self> static auto& TextOf(Self& self, Field f) {
        switch (f) {
        case Field::Kind:
            return self.m_kind;
        case Field::LeftSet:
            return self.m_leftSet;
        case Field::RightSet:
            return self.m_rightSet;
        case Field::Surface:
            return self.m_surface;
        case Field::Time:
            return self.m_time;
        case Field::Note:
            return self.m_note;
        case Field::LogEntry:
            return self.m_logEntry;
        default:
            return self.m_ignored;
        }
    }
    std::string& Text() { return TextOf(*this, m_field); }
    const std::string& TextIn(Field f) const { return TextOf(*this, f); }
    static const char* Name(Field f) { return kFieldNames[static_cast<std::size_t>(f)].data(); }

    double Num(Field f, Reader& rd) const {
        if (GotOf(f) != Got::Number) {
            rd.Fail(Name(f));
            return 0.0;
        }
        return m_values[static_cast<std::size_t>(f)][0];
    }
    Values9 Nums(Field f, std::size_t n, Reader& rd) const {
        const std::size_t i = static_cast<std::size_t>(f);
        if (m_got[i] != Got::Numbers || m_count[i] != n) {
            rd.Fail(Name(f));
            return {};
        }
        return m_values[i];
    }
    const std::string& TextOf(Field f, Reader& rd) const {
        if (GotOf(f) != Got::Text) {
            rd.Fail(Name(f));
            return m_ignored;
        }
        return TextIn(f);
    }
    PixelSource Source(Field f, Reader& rd) const {
        const auto s = PixelSourceFromName(TextOf(f, rd));
        if (!s) {
            rd.Fail(Name(f));
        }
        return s.value_or(PixelSource::Clicked);
    }
    static double Sub(const SubObject& o, std::size_t i, const char* key, Reader& rd) {
        if (o.got[i] != Got::Number) {
            rd.Fail(key);
            return 0.0;
        }
        return o.values[i];
    }

    bool m_isObject = true;
    Field m_field = Field::Other;
    int m_sub = -1;
    std::array<Got, kFields> m_got{};
    std::array<std::size_t, kFields> m_count{};
    std::array<Values9, kFields> m_values{};
    SubObject m_sigma;
    SubObject m_pixelSigma;
    std::string m_kind, m_leftSet, m_rightSet, m_surface, m_time, m_note, m_logEntry, m_ignored;
};

// The header keys ReadHeader reads: a streamed file must give them all before
// its measurements ("pixel_sigma" too, since every row takes it).
constexpr std::array<const char*, 7> kHeaderKeys = {
    "format", "version", "left_image", "right_image", "database", "options", "pixel_sigma"};

// The parser's events for a whole session file: the header's values kept as
// a small tree and read by ReadHeader, each measurement read by RowFields
// and handed on, never kept.
class SessionEvents {
public:
    SessionEvents(const std::string& path,
                  const std::function<void(const SessionDocument&)>& header,
                  const std::function<void(const MeasurementRecord&)>& row)
        : m_path(path), m_header(header), m_row(row) {}

    // The nlohmann SAX interface.
    bool null() { return Scalar(Got::Null, 0.0, nullptr, Json()); }
    bool boolean(bool v) { return Scalar(Got::Other, 0.0, nullptr, Json(v)); }
    bool number_integer(Json::number_integer_t v) {
        return Scalar(Got::Number, static_cast<double>(v), nullptr, Json(v));
    }
    bool number_unsigned(Json::number_unsigned_t v) {
        return Scalar(Got::Number, static_cast<double>(v), nullptr, Json(v));
    }
    bool number_float(Json::number_float_t v, const std::string&) {
        return Scalar(Got::Number, v, nullptr, Json(v));
    }
    bool string(std::string& v) { return Scalar(Got::Text, 0.0, &v, Json()); }
    bool binary(Json::binary_t&) { return Scalar(Got::Other, 0.0, nullptr, Json()); }
    bool start_object(std::size_t) { return Open(true); }
    bool start_array(std::size_t) { return Open(false); }
    bool end_object() { return Close(); }
    bool end_array() { return Close(); }
    bool key(std::string& k) {
        if (m_depth == 1) {
            TopKey(k);
        } else if (InHeaderValue()) {
            m_headerKeys.back() = k;
        } else if (InRow() && m_rowIsObject && m_depth - kRowDepth <= 1) {
            m_rowFields.Key(m_depth - kRowDepth + 1, k);
        }
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) {
        return false;
    }

    bool HeaderGiven() const { return m_headerGiven; }
    bool OutOfOrder() const { return m_outOfOrder; }
    std::size_t RowsGiven() const { return m_rowsGiven; }
    const std::string& LateKey() const { return m_lateKey; }
    SessionDocument& Header() { return m_session; }
    Reader& Rows() { return m_rd; }

private:
    // Depth of a measurement object: the top object, the list, the row.
    static constexpr int kRowDepth = 3;

    bool InHeaderValue() const { return !m_headerStack.empty(); }
    bool InRow() const { return m_inRows && !m_rowsDone && m_depth >= kRowDepth; }
    bool Reading() const {
        return m_headerGiven && !m_outOfOrder && m_rd.error.empty() && m_lateKey.empty();
    }

    void TopKey(const std::string& k) {
        m_key = k;
        if (!m_rowsDone) {
            return;
        }
        // After the measurements only keys no one reads may follow.
        const bool read =
            k == "measurements" || std::any_of(kHeaderKeys.begin(), kHeaderKeys.end(),
                                               [&k](const char* h) { return k == h; });
        if (read) {
            if (m_rowsGiven > 0) {
                if (m_lateKey.empty()) {
                    m_lateKey = k;
                }
            } else {
                m_outOfOrder = true;
            }
        }
    }

    // A value inside the header, kept in its tree.
    void HeaderValue(Json v, bool container) {
        Json* slot = nullptr;
        if (m_headerStack.empty()) {
            slot = &m_headerValues[m_key];
        } else if (m_headerStack.back()->is_array()) {
            m_headerStack.back()->push_back(Json());
            slot = &m_headerStack.back()->back();
        } else {
            slot = &(*m_headerStack.back())[m_headerKeys.back()];
        }
        *slot = std::move(v);
        if (container) {
            m_headerStack.push_back(slot);
            m_headerKeys.emplace_back();
        }
    }

    bool Scalar(Got kind, double number, std::string* text, Json value) {
        if (m_depth == 0) {
            m_outOfOrder = true; // not an object: said by the whole read
        } else if (m_depth == 1 || InHeaderValue()) {
            HeaderValue(text != nullptr ? Json(*text) : std::move(value), false);
        } else if (m_inRows && !m_rowsDone && m_depth == 2) {
            m_rowFields.Start(false);
            FinishRow();
        } else if (InRow() && m_rowIsObject) {
            m_rowFields.Value(m_depth - kRowDepth + 1, kind, number, text);
        }
        return true;
    }

    bool Open(bool object) {
        if (m_depth == 0) {
            m_outOfOrder = m_outOfOrder || !object;
        } else if (m_depth == 1 && !object && m_key == "measurements" && !m_inRows && !m_rowsDone) {
            StartRows();
        } else if (m_depth == 1 || InHeaderValue()) {
            HeaderValue(object ? Json::object() : Json::array(), true);
        } else if (m_inRows && !m_rowsDone && m_depth == 2) {
            m_rowIsObject = object;
            m_rowFields.Start(object);
        } else if (InRow() && m_rowIsObject) {
            m_rowFields.Open(m_depth - kRowDepth + 1, object);
        }
        ++m_depth;
        return true;
    }

    bool Close() {
        --m_depth;
        if (InHeaderValue()) {
            m_headerStack.pop_back();
            m_headerKeys.pop_back();
        } else if (m_inRows && !m_rowsDone && m_depth == 1) {
            m_rowsDone = true;
        } else if (m_inRows && !m_rowsDone && m_depth == 2) {
            FinishRow();
        }
        return true;
    }

    void StartRows() {
        m_inRows = true;
        for (const char* k : kHeaderKeys) {
            m_outOfOrder = m_outOfOrder || !m_headerValues.contains(k);
        }
        if (m_outOfOrder) {
            return;
        }
        SessionReadResult h;
        Reader hr;
        if (ReadHeader(m_headerValues, m_path, hr, h) && hr.error.empty()) {
            m_session = std::move(h.session);
            m_header(m_session);
            m_headerGiven = true;
        } else {
            m_outOfOrder = true;
        }
    }

    void FinishRow() {
        if (Reading() && m_rowFields.Finish(m_session.pixelSigmas, m_rd, m_record)) {
            m_row(m_record);
            ++m_rowsGiven;
        }
    }

    const std::string& m_path;
    const std::function<void(const SessionDocument&)>& m_header;
    const std::function<void(const MeasurementRecord&)>& m_row;
    int m_depth = 0;
    std::string m_key; // the top object's key being read
    Json m_headerValues = Json::object();
    std::vector<Json*> m_headerStack;      // the header's lists and objects being filled
    std::vector<std::string> m_headerKeys; // the key being read in each
    bool m_inRows = false;
    bool m_rowsDone = false;
    bool m_rowIsObject = true;
    bool m_headerGiven = false;
    bool m_outOfOrder = false; // a header value after the measurements, or missing
    std::string m_lateKey;     // a header key after measurements already given
    std::size_t m_rowsGiven = 0;
    SessionDocument m_session;
    Reader m_rd;
    RowFields m_rowFields;
    MeasurementRecord m_record; // reused: its texts keep their room from row to row
};

} // namespace

SessionReadResult StreamSessionFile(const std::string& path,
                                    const std::function<void(const SessionDocument&)>& header,
                                    const std::function<void(const MeasurementRecord&)>& row) {
    SessionReadResult res;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        res.message = "cannot be opened";
        return res;
    }
    SessionEvents events(path, header, row);
    if (!Json::sax_parse(in, &events)) {
        res.message = "not a JSON object";
        return res;
    }
    if (!events.LateKey().empty()) {
        res.message = "\"" + events.LateKey() +
                      "\" comes after the measurements; a session gives it before them";
        return res;
    }
    if (events.OutOfOrder() || !events.HeaderGiven()) {
        // Written by hand or by something else: read whole.
        SessionReadResult whole = ReadSessionFile(path);
        if (!whole.ok) {
            return whole;
        }
        SessionDocument head = whole.session;
        head.measurements.clear();
        header(head);
        for (const MeasurementRecord& r : whole.session.measurements) {
            row(r);
        }
        whole.session = std::move(head);
        return whole;
    }
    if (!events.Rows().error.empty()) {
        res.message = events.Rows().error;
        return res;
    }
    res.session = std::move(events.Header());
    res.ok = true;
    return res;
}

SessionReadResult ReadSessionFile(const std::string& path) {
    SessionReadResult res;
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        res.message = "is a folder, not a session";
        return res;
    }
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                               &std::fclose);
    if (!file) {
        res.message = "cannot be opened";
        return res;
    }
    // Read in pieces up to the bound, so that a device or an endless FIFO
    // stops there instead of filling memory.
    std::string text;
    std::array<char, 1 << 16> buf{};
    std::size_t n = 0;
    while ((n = std::fread(buf.data(), 1, buf.size(), file.get())) > 0) {
        if (text.size() + n > kMaxSessionFileBytes) {
            res.message = "larger than " + std::to_string(kMaxSessionFileBytes >> 20) +
                          " MB, more than a session holds";
            return res;
        }
        text.append(buf.data(), n);
    }
    if (std::ferror(file.get()) != 0) {
        res.message = "cannot be read";
        return res;
    }
    return ReadSessionText(text, path);
}

bool LooksLikeSessionFile(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    std::string head(4096, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(in.gcount()));
    const std::size_t key = head.find("\"format\"");
    return key != std::string::npos &&
           head.find(std::string("\"") + kFormat + "\"", key) != std::string::npos;
}

StereoRig SessionRig(const SessionDocument& s, const ImageDatabase& db) {
    return StereoRig::Build({s.leftImage, s.rightImage, {}, s.options}, db);
}

RecalculatedMeasurement Recalculate(const StereoRig& rig, const MeasurementRecord& saved,
                                    const CPoint3D& lastPosition) {
    RecalculatedMeasurement m;
    if (saved.IsMono()) {
        // Its surface is not part of the session: the saved result stands.
        m.record = saved;
        m.input.sLeftFile = rig.Setup().leftFile;
        m.input.dLeftCol = saved.leftPixel.x;
        m.input.dLeftRow = saved.leftPixel.y;
        m.result.bOk = true;
        m.result.dRange = saved.rangeM;
        m.result.ptPosition = saved.position;
        m.result.ptNewLastPos = saved.position;
        m.result.dDistToLast = (saved.position - lastPosition).Length();
        m.result.dAzimuth = saved.azimuthDeg;
        m.result.dElevation = saved.elevationDeg;
        m.result.sLogEntry = saved.logEntry;
        m.result.vertex = saved.vertex;
        m.result.leftMark = saved.leftPixel;
        return m;
    }
    m.input = rig.Input(saved.leftPixel, saved.rightPixel, lastPosition);
    m.result = CalculateRange(m.input);
    m.record = RecordOfCalculation(m.input, m.result, saved.leftSource, saved.rightSource,
                                   saved.pixelSigmas, saved.timeUtc);
    m.record.index = saved.index;
    m.record.note = saved.note;
    return m;
}

std::optional<std::string> RecalculationChange(const MeasurementRecord& saved,
                                               const RecalculatedMeasurement& again) {
    const std::string name = "Measurement " + std::to_string(saved.index);
    if (!again.result.bOk) {
        return name + ": no longer calculates";
    }
    // A change a user would see in the fields (a tenth of a millimetre).
    const double moved = (again.result.ptPosition - saved.position).Length();
    if (!(moved > 1e-4)) {
        return std::nullopt;
    }
    char text[160];
    std::snprintf(text, sizeof text, "%s: range %.4f m is now %.4f m (moved %.4f m)", name.c_str(),
                  saved.rangeM, again.result.dRange, moved);
    return std::string(text);
}

SessionRecalculationResult RecalculateSession(const SessionDocument& s, const ImageDatabase& db) {
    SessionRecalculationResult res;
    const StereoRig rig = SessionRig(s, db);
    CPoint3D last;
    for (const MeasurementRecord& saved : s.measurements) {
        RecalculatedMeasurement m = Recalculate(rig, saved, last);
        if (auto change = RecalculationChange(saved, m)) {
            res.changes.push_back(std::move(*change));
        }
        if (!m.result.bOk) {
            continue;
        }
        last = m.result.ptNewLastPos;
        res.measurements.push_back(std::move(m));
    }
    return res;
}
