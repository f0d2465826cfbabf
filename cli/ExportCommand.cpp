// ranvista-cli export: the measurements of a saved session as CSV, PLY or
// JSON Lines.
#include "base/AtomicFile.h"
#include "base/Messages.h"
#include "cli/Args.h"
#include "cli/Commands.h"
#include "cli/MeasureOptions.h"
#include "imagedb/ImageDatabase.h"
#include "matching/GreyImageFile.h"
#include "session/MeasurementExport.h"
#include "session/SessionFile.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

namespace {

// The grey of the left image at each measurement's left pixel; nothing when
// the image cannot be read.
std::vector<Rgb> LeftImageColours(const SessionDocument& s) {
    const ImageFileResult image = ReadGreyImage(s.leftImage);
    if (!image.ok) {
        std::fprintf(stderr, "%s; points left uncoloured\n", image.error.c_str());
        return {};
    }
    std::vector<Rgb> colours;
    for (const MeasurementRecord& r : s.measurements) {
        const long x = std::lround(r.leftPixel.x);
        const long y = std::lround(r.leftPixel.y);
        std::uint8_t g = 0;
        if (x >= 0 && y >= 0 && x < image.image.width && y < image.image.height) {
            const float v = image.image.At(static_cast<int>(x), static_cast<int>(y));
            g = static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f));
        }
        colours.push_back({g, g, g});
    }
    return colours;
}

} // namespace

int RunExport(const Tokens& tokens) {
    OptionSet options;
    options.flags = {"binary"};
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
    const SessionReadResult read = ReadSessionFile(rest[0]);
    if (!read.ok) {
        std::fprintf(stderr, "%s: %s\n", rest[0].c_str(), read.message.c_str());
        return 1;
    }
    const SessionDocument& session = read.session;

    std::string bytes;
    if (format == "csv") {
        bytes = MeasurementsCsv(session.measurements);
    } else if (format == "ply") {
        bytes = MeasurementsPly(session.measurements, LeftImageColours(session),
                                args.Has("binary") ? PlyEncoding::BinaryLittleEndian
                                                   : PlyEncoding::Ascii);
    } else {
        // As measure --json prints each calculation: calculated again with
        // the session's database unless --db names another.
        Tokens dbTokens = {"--db", args.Value("db").value_or(session.database)};
        for (const std::string& r : args.Values("records")) {
            dbTokens.insert(dbTokens.end(), {"--records", r});
        }
        std::string dbError;
        const auto dbArgs = Args::Parse(dbTokens, MeasurePairOptions(), dbError);
        ImageDatabase db;
        if (!dbArgs || !LoadDatabase(*dbArgs, db)) {
            return 1;
        }
        const SessionRecalculationResult again = RecalculateSession(session, db);
        for (const std::string& change : again.changes) {
            std::fprintf(stderr, "%s\n", change.c_str());
        }
        for (const RecalculatedMeasurement& m : again.measurements) {
            AppendResultJson(bytes, m.input, m.result);
        }
    }
    if (!output) {
        std::fwrite(bytes.data(), 1, bytes.size(), stdout);
        return 0;
    }
    std::string writeError;
    if (!WriteFileAtomically(*output, bytes, &writeError)) {
        std::fprintf(stderr, "Unable to save %s: %s\n", output->c_str(), writeError.c_str());
        return 1;
    }
    return 0;
}
