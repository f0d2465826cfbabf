// ranvista-cli export: the measurements of a saved session as CSV, PLY or
// JSON Lines.
#include "base/AtomicFile.h"
#include "base/Messages.h"
#include "cli/Args.h"
#include "cli/Commands.h"
#include "cli/Json.h"
#include "cli/MeasureOptions.h"
#include "imagedb/ImageDatabase.h"
#include "matching/GreyImageFile.h"
#include "session/MeasurementExport.h"
#include "session/SessionFile.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>

namespace {

// A monoscopic row with the fields ground --json prints that the session
// keeps (its surface by its description).
void AppendMonoJson(std::string& out, const std::string& image, const MeasurementRecord& r,
                    const CPoint3D& last) {
    Json j;
    j["ok"] = true;
    j["kind"] = "mono";
    j["range"] = JsonNumber(r.rangeM);
    j["position"] = JsonPoint(r.position);
    j["distance_to_last"] = JsonNumber((r.position - last).Length());
    j["azimuth"] = JsonNumber(r.azimuthDeg);
    j["elevation"] = JsonNumber(r.elevationDeg);
    if (r.uncertainty) {
        const PointUncertainty& u = *r.uncertainty;
        j["sigma"] = {{"range", JsonNumber(u.rangeSigmaM)},
                      {"down_range", JsonNumber(u.downRangeSigmaM)},
                      {"cross_range", JsonNumber(u.crossRangeSigmaM)},
                      {"vertical", JsonNumber(u.verticalSigmaM)}};
    } else {
        j["sigma"] = nullptr;
    }
    j["surface"] = {{"description", r.surface}};
    j["pixel"] = Json::array({JsonNumber(r.leftPixel.x), JsonNumber(r.leftPixel.y)});
    j["pixel_sigma"] = JsonNumber(r.pixelSigmas.leftPx);
    j["image"] = image;
    j["log_entry"] = r.logEntry;
    out += JsonText(j);
    out += '\n';
}

// A stereo row as saved: the fields of measure --json that the session
// holds, under its names and in its order (what only a calculation gives,
// such as the formatted fields or the cameras, is left out).
void AppendSavedJson(std::string& out, const MeasurementRecord& r, const CPoint3D& last) {
    const auto point = [&out](const CPoint3D& p) { AppendJsonPoint(out, p); };
    out += "{\"ok\":true,\"range\":";
    AppendJsonNumber(out, r.rangeM);
    out += ",\"position\":";
    point(r.position);
    out += ",\"distance_to_last\":";
    AppendJsonNumber(out, (r.position - last).Length());
    out += ",\"azimuth\":";
    AppendJsonNumber(out, r.azimuthDeg);
    out += ",\"elevation\":";
    AppendJsonNumber(out, r.elevationDeg);
    out += ",\"log_entry\":";
    AppendJsonString(out, r.logEntry);
    out += ",\"half_spread\":";
    point(r.vertex.m_ptError);
    if (r.missDistanceM) {
        out += ",\"miss_distance\":";
        AppendJsonNumber(out, *r.missDistanceM);
    }
    out += "}\n";
}

// The grey of an image at a pixel, as a colour; black off the image.
Rgb GreyAt(const GreyImage& image, const ImagePoint& pixel) {
    const long x = std::lround(pixel.x);
    const long y = std::lround(pixel.y);
    std::uint8_t g = 0;
    if (x >= 0 && y >= 0 && x < image.width && y < image.height) {
        const float v = image.At(static_cast<int>(x), static_cast<int>(y));
        g = static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f));
    }
    return {g, g, g};
}

// Where the export goes: the file given (written atomically, replaced only
// once everything is in) or stdout, in pieces of about a megabyte.
class ExportSink {
public:
    explicit ExportSink(const std::optional<std::string>& path) {
        if (path) {
            m_file.emplace(*path);
            m_path = *path;
        }
        m_buffer.reserve(kChunk + 4096);
    }
    // False, said on stderr, when the file cannot be started.
    bool Ready() const {
        if (m_file && !m_file->Created()) {
            std::fprintf(stderr, "Unable to save %s: %s\n", m_path.c_str(),
                         m_file->Error().c_str());
            return false;
        }
        return true;
    }
    std::string& Buffer() { return m_buffer; }
    // Hands the buffer on once it is full enough.
    bool Flush(bool force = false) {
        if (m_buffer.empty() || (!force && m_buffer.size() < kChunk)) {
            return true;
        }
        bool ok = true;
        if (m_file) {
            ok = m_file->Write(m_buffer);
        } else {
            ok = std::fwrite(m_buffer.data(), 1, m_buffer.size(), stdout) == m_buffer.size();
        }
        m_buffer.clear();
        return ok;
    }
    // Everything written; says why not on stderr.
    bool Finish() {
        bool ok = Flush(true);
        if (m_file) {
            std::string error;
            if (!ok || !m_file->Commit(&error)) {
                std::fprintf(stderr, "Unable to save %s: %s\n", m_path.c_str(),
                             error.empty() ? m_file->Error().c_str() : error.c_str());
                return false;
            }
            return true;
        }
        if (!ok || std::fflush(stdout) != 0) {
            std::fprintf(stderr, "Unable to write the export\n");
            return false;
        }
        return true;
    }

private:
    static constexpr std::size_t kChunk = 1 << 20;
    std::optional<AtomicFileWriter> m_file;
    std::string m_path;
    std::string m_buffer;
};

// A PLY vertex as the export needs it.
struct PlyVertex {
    CPoint3D position;
    ImagePoint leftPixel;
    int index = 0;
};

} // namespace

int RunExport(const Tokens& tokens) {
    OptionSet options;
    options.flags = {"binary", "recalculate"};
    options.values = {"format", "output", "db", "records"};
    std::string error;
    const auto parsed = Args::Parse(tokens, options, error);
    if (!parsed) {
        throw UsageError{error};
    }
    const Args& args = *parsed;
    // "-o FILE" is accepted as well as --output FILE.
    std::vector<std::string> rest = args.Positionals();
    std::optional<std::string> output = args.Value("output");
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == "-o") {
            if (i + 1 >= rest.size()) {
                throw UsageError{"-o needs a FILE"};
            }
            output = rest[i + 1];
            rest.erase(rest.begin() + static_cast<std::ptrdiff_t>(i),
                       rest.begin() + static_cast<std::ptrdiff_t>(i) + 2);
            break;
        }
    }
    if (rest.size() != 1) {
        throw UsageError{"usage: export SESSION --format csv|ply|jsonl [-o FILE]"};
    }
    const std::string format = args.Value("format").value_or("");
    if (format != "csv" && format != "ply" && format != "jsonl") {
        throw UsageError{"--format must be csv, ply or jsonl"};
    }
    if (args.Has("binary") && format != "ply") {
        throw UsageError{"--binary applies to --format ply only"};
    }
    const bool recalculate = args.Has("recalculate");
    for (const char* dbOnly : {"db", "records"}) {
        if (!recalculate && args.Has(dbOnly)) {
            throw UsageError{std::string("--") + dbOnly + " needs --recalculate"};
        }
    }
    if (output) {
        // The export must not take the place of the session it comes from,
        // nor of any other session.
        std::error_code ec;
        if (std::filesystem::equivalent(*output, rest[0], ec)) {
            std::fprintf(stderr,
                         "Unable to save %s: it is the session being exported; give another "
                         "file. Nothing was written\n",
                         output->c_str());
            return 1;
        }
        if (LooksLikeSessionFile(*output)) {
            std::fprintf(stderr,
                         "Unable to save %s: it is a session file; give another file. Nothing "
                         "was written\n",
                         output->c_str());
            return 1;
        }
    }
    const std::string& sessionPath = rest[0];
    // Nothing is written until the session is known to open.
    if (!std::ifstream(sessionPath, std::ios::binary)) {
        std::fprintf(stderr, "%s: cannot be opened\n", sessionPath.c_str());
        return 1;
    }
    ExportSink sink(output);
    if (!sink.Ready()) {
        return 1;
    }

    // The measurements as saved, or with --recalculate calculated again with
    // the session's database (unless --db names another), the pair's rig
    // built once; changed results are said on stderr and rows that no longer
    // calculate are left out.
    std::string leftImage;
    ImageDatabase db;
    bool dbFailed = false;
    StereoRig rig;
    CPoint3D lastRecalculated;
    const auto header = [&](const SessionDocument& h) {
        leftImage = h.leftImage;
        if (!recalculate) {
            return;
        }
        Tokens dbTokens = {"--db", args.Value("db").value_or(h.database)};
        for (const std::string& r : args.Values("records")) {
            dbTokens.insert(dbTokens.end(), {"--records", r});
        }
        std::string dbError;
        const auto dbArgs = Args::Parse(dbTokens, MeasurePairOptions(), dbError);
        dbFailed = !dbArgs || !LoadDatabase(*dbArgs, db);
        if (!dbFailed) {
            rig = SessionRig(h, db);
        }
    };
    // write(record, calculation): the calculation is null for a row as saved.
    const auto measured = [&](const MeasurementRecord& saved, const auto& write) {
        if (!recalculate) {
            write(saved, nullptr);
            return;
        }
        if (dbFailed) {
            return;
        }
        const RecalculatedMeasurement m = Recalculate(rig, saved, lastRecalculated);
        if (const auto change = RecalculationChange(saved, m)) {
            std::fprintf(stderr, "%s\n", change->c_str());
        }
        if (!m.result.bOk) {
            return;
        }
        lastRecalculated = m.result.ptNewLastPos;
        write(m.record, &m);
    };

    SessionReadResult read;
    if (format == "csv") {
        sink.Buffer() = MeasurementsCsvHeader();
        read = StreamSessionFile(sessionPath, header, [&](const MeasurementRecord& saved) {
            measured(saved, [&sink](const MeasurementRecord& r, const RecalculatedMeasurement*) {
                AppendMeasurementCsvRow(sink.Buffer(), r);
                sink.Flush();
            });
        });
    } else if (format == "ply") {
        // The header counts the vertices: the rows are kept, small, until
        // the end.
        std::vector<PlyVertex> vertices;
        read = StreamSessionFile(sessionPath, header, [&](const MeasurementRecord& saved) {
            measured(saved,
                     [&vertices](const MeasurementRecord& r, const RecalculatedMeasurement*) {
                         vertices.push_back({r.position, r.leftPixel, r.index});
                     });
        });
        if (read.ok && !dbFailed) {
            const PlyEncoding encoding =
                args.Has("binary") ? PlyEncoding::BinaryLittleEndian : PlyEncoding::Ascii;
            // The grey of the left image at each measurement's left pixel;
            // uncoloured when the image cannot be read.
            std::optional<ImageFileResult> image;
            if (!vertices.empty()) {
                image = ReadGreyImage(read.session.leftImage);
                if (!image->ok) {
                    std::fprintf(stderr, "%s; points left uncoloured\n", image->error.c_str());
                    image.reset();
                }
            }
            sink.Buffer() = MeasurementsPlyHeader(vertices.size(), image.has_value(), encoding);
            for (const PlyVertex& v : vertices) {
                Rgb colour{};
                if (image) {
                    colour = GreyAt(image->image, v.leftPixel);
                }
                AppendMeasurementPlyVertex(sink.Buffer(), v.position, v.index,
                                           image ? &colour : nullptr, encoding);
                sink.Flush();
            }
        }
    } else {
        // A calculated row as measure --json prints it; a saved one with the
        // fields the session holds (a monoscopic one as ground --json).
        // Distances to the last point chain over the session's own points.
        CPoint3D last;
        read = StreamSessionFile(sessionPath, header, [&](const MeasurementRecord& saved) {
            measured(saved, [&](const MeasurementRecord& r, const RecalculatedMeasurement* m) {
                if (r.IsMono()) {
                    AppendMonoJson(sink.Buffer(), leftImage, r, last);
                    last = r.position;
                } else if (m != nullptr) {
                    AppendResultJson(sink.Buffer(), m->input, m->result);
                    last = m->result.ptNewLastPos;
                } else {
                    AppendSavedJson(sink.Buffer(), r, last);
                    last = r.position;
                }
                sink.Flush();
            });
        });
    }
    if (dbFailed) {
        return 1;
    }
    if (!read.ok) {
        std::fprintf(stderr, "%s: %s\n", sessionPath.c_str(), read.message.c_str());
        return 1;
    }
    return sink.Finish() ? 0 : 1;
}
