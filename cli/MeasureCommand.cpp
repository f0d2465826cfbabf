// measure: the range calculation of the Analyse dialog, for one pair of
// marks or for a file of them.
#include "base/AtomicFile.h"
#include "base/Format.h"
#include "base/Messages.h"
#include "base/Paths.h"
#include "base/TextLines.h"
#include "cli/Args.h"
#include "cli/Commands.h"
#include "cli/Json.h"
#include "cli/MeasureOptions.h"
#include "geometry/CameraModel.h"
#include "geometry/StereoIntersection.h"
#include "imagedb/ImageDatabase.h"
#include "imagedb/QueryFile.h"
#include "imagedb/StoreTransaction.h"
#include "products/ProductName.h"
#include "registration/VertexFile.h"
#include "session/MeasurementExport.h"
#include "session/MeasurementSession.h"
#include "session/ResultFiles.h"
#include "session/SessionFile.h"
#include "stereo/CalcInput.h"
#include "stereo/RangeCalc.h"
#include "stereo/StereoRig.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string_view>

OptionSet MeasurePairOptions() {
    OptionSet options;
    options.flags = {"2d"};
    options.values = {"left",    "right", "left-camera", "right-camera", "rl-vector",
                      "az-corr", "db",    "records",     "last-position"};
    return options;
}

namespace {

// The pair options and extra, no positional argument (UsageError otherwise).
Args ParseWithoutPositionals(const Tokens& tokens, std::initializer_list<const char*> extra) {
    OptionSet options = MeasurePairOptions();
    for (const char* name : extra) {
        options.values.insert(name);
    }
    std::string error;
    auto args = Args::Parse(tokens, options, error);
    if (!args) {
        throw UsageError{error};
    }
    if (!args->Positionals().empty()) {
        throw UsageError{"unexpected argument '" + args->Positionals()[0] + "'"};
    }
    return *args;
}

Args ParseOrThrow(const Tokens& tokens) {
    return ParseWithoutPositionals(
        tokens, {"pixels", "batch", "log", "vertices", "session", "click-sigma"});
}

} // namespace

Args ParsePairCommand(const Tokens& tokens, std::initializer_list<const char*> extra) {
    Args args = ParseWithoutPositionals(tokens, extra);
    for (const char* required : {"left", "right"}) {
        if (!args.Has(required)) {
            throw UsageError{std::string("--") + required + " is required"};
        }
    }
    return args;
}

std::vector<double> ListOrThrow(const Args& args, const char* option, size_t count,
                                const char* shape) {
    const std::string text = *args.Value(option);
    const auto v = ParseNumberList(text, count);
    if (!v) {
        throw UsageError{std::string("--") + option + " needs " + shape + ", got '" + text + "'"};
    }
    return *v;
}

namespace {

std::optional<CameraId> CameraOption(const Args& args, const char* option) {
    const auto text = args.Value(option);
    if (!text) {
        return std::nullopt;
    }
    const auto id = ParseCameraId(*text);
    if (!id) {
        throw UsageError{"unknown camera '" + *text + "' (a name such as OppyNavL, 0-13 or none)"};
    }
    return id;
}

} // namespace

CalcOptions OptionsOf(const Args& args) {
    CalcOptions o;
    o.leftCamera = CameraOption(args, "left-camera");
    o.rightCamera = CameraOption(args, "right-camera");
    o.b2D = args.Has("2d");
    if (const auto rl = args.Value("rl-vector")) {
        o.bRLVector = true;
        o.strRLVector = *rl;
    }
    if (args.Has("az-corr")) {
        const auto v = ListOrThrow(args, "az-corr", 2, "L,R");
        o.dAzCorrLeft = v[0];
        o.dAzCorrRight = v[1];
    }
    return o;
}

// Query-export files imported into the table in memory: keys kept whole,
// nothing saved.
// A file that cannot be opened is reported and skipped; a malformed one ends
// the command.
namespace {

void ImportRecordsInMemory(ImageDatabase& db, const std::vector<std::string>& files) {
    for (const std::string& path : files) {
        QueryFileResult file = ReadQueryFile(path);
        if (file.error) {
            throw UsageError{file.error->Message()};
        }
        db.MergeRecords(std::move(file.records));
    }
}

// The database as the dialog sees it: the store file (a missing one is just
// an empty table here), then the query files imported in memory. False when
// the store exists but cannot be read (said on stderr): the command then
// stops with status 1, as every command does on such a store.
} // namespace

bool LoadDatabase(const Args& args, ImageDatabase& db) {
    const std::string store = args.Value("db").value_or("ImgBinDat");
    StoreFileResult::Status status = StoreFileResult::Status::kMissing;
    {
        CollectingMessageSink messages;
        ScopedMessageSink scope(&messages);
        status = LoadStoreFile(db, store, false);
        if (status != StoreFileResult::Status::kMissing) {
            for (const auto& m : messages.m_vMessages) {
                std::fprintf(stderr, "%s\n", m.c_str());
            }
        }
    }
    if (status == StoreFileResult::Status::kUnreadable) {
        return false;
    }
    const auto files = args.Values("records");
    if (!files.empty()) {
        ImportRecordsInMemory(db, files);
    }
    return true;
}

StereoRig BuildPairRig(const Args& args, const ImageDatabase& db) {
    StereoRig rig =
        StereoRig::Build({*args.Value("left"), *args.Value("right"), {}, OptionsOf(args)}, db);
    if (const auto missing = rig.MissingCamera()) {
        const bool left = *missing == Eye::Left;
        throw UsageError{"no camera for '" + *args.Value(left ? "left" : "right") +
                         "': its name does not say; choose one with --" +
                         (left ? "left" : "right") + "-camera"};
    }
    if (!rig.Cameras().ok) {
        std::fprintf(stderr, "%s\n", rig.Problem().c_str());
    }
    return rig;
}

// One measurement's result as a JSON object and a line end, written
// directly: a batch of a million lines builds no JSON values.
void AppendResultJson(std::string& out, const RangeCalcInput& in, const RangeCalcResult& r) {
    // Values a failed calculation does not have are null.
    const auto point = [&out](const CPoint3D& p) { AppendJsonPoint(out, p); };
    const auto number = [&](const char* key, double v) {
        out += key;
        if (r.bOk) {
            AppendJsonNumber(out, v);
        } else {
            out += "null";
        }
    };
    const auto text = [&out](const char* key, const std::string& v) {
        out += key;
        AppendJsonString(out, v);
    };
    out += r.bOk ? "{\"ok\":true" : "{\"ok\":false";
    number(",\"range\":", r.dRange);
    out += ",\"position\":";
    r.bOk ? point(r.ptPosition) : void(out += "null");
    number(",\"distance_to_last\":", r.dDistToLast);
    number(",\"pixel_size\":", r.dPixelSize);
    number(",\"azimuth\":", r.dAzimuth);
    number(",\"elevation\":", r.dElevation);
    text(",\"fields\":{\"range\":", r.strRange);
    text(",\"pos\":", r.strPos);
    text(",\"dist_to_last\":", r.strDistToLast);
    text(",\"pixel_size\":", r.strPixelSize);
    text(",\"az\":", r.strAz);
    text(",\"el\":", r.strEl);
    text(",\"error_summary\":", r.strErrorSummary);
    text("},\"log_entry\":", r.sLogEntry);
    out += ",\"half_spread\":";
    r.bOk ? point(r.vertex.m_ptError) : void(out += "null");
    out += ",\"left_camera_id\":" + std::to_string(in.nCamLeft);
    out += ",\"right_camera_id\":" + std::to_string(in.nCamRight);
    out += r.bLeftRecord ? ",\"left_record\":true" : ",\"left_record\":false";
    out += r.bRightRecord ? ",\"right_record\":true" : ",\"right_record\":false";
    out += ",\"new_last_position\":";
    point(r.ptNewLastPos);
    out += ",\"messages\":[";
    for (std::size_t i = 0; i < r.vMessages.size(); ++i) {
        if (i > 0) {
            out += ',';
        }
        AppendJsonString(out, r.vMessages[i]);
    }
    out += ']';
    if (in.leftProduct && in.rightProduct) {
        // Measured with the models the products carry.
        text(",\"model_source\":{\"left\":", in.leftProduct->Description());
        text(",\"right\":", in.rightProduct->Description());
        out += "},\"miss_distance\":";
        if (r.missDistance) {
            AppendJsonNumber(out, *r.missDistance);
        } else {
            out += "null";
        }
        out += ",\"site_position\":";
        r.sitePosition ? point(*r.sitePosition) : void(out += "null");
    }
    if (!in.productWarning.empty()) {
        // Products measured with the catalogue cameras, and why.
        text(",\"model_warning\":", in.productWarning);
    }
    if (!in.productNote.empty()) {
        // How the products' models were fitted to resized renditions.
        text(",\"model_note\":", in.productNote);
    }
    out += "}\n";
}

namespace {

// Why a calculation without a message of its own failed.
constexpr const char* kRaysDoNotMeet =
    "the rays of the two pixels do not meet in front of both cameras";

CPoint3D LastPositionOf(const Args& args) {
    if (!args.Has("last-position")) {
        return {};
    }
    const auto v = ListOrThrow(args, "last-position", 3, "X,Y,Z");
    return {v[0], v[1], v[2]};
}

int RunSingle(const Args& args) {
    for (const char* required : {"left", "right", "pixels"}) {
        if (!args.Has(required)) {
            throw UsageError{std::string("--") + required +
                             " is required (or --batch FILE); usage: measure --left PATH "
                             "--right PATH --pixels XL,YL,XR,YR"};
        }
    }
    for (const char* batchOnly : {"log", "vertices", "session", "click-sigma"}) {
        if (args.Has(batchOnly)) {
            throw UsageError{std::string("--") + batchOnly + " needs --batch"};
        }
    }
    const CalcOptions options = OptionsOf(args);
    const auto pixels = ListOrThrow(args, "pixels", 4, "XL,YL,XR,YR");
    const CPoint3D lastPos = LastPositionOf(args);
    ImageDatabase db;
    if (!LoadDatabase(args, db)) {
        return 1;
    }

    const StereoRig rig =
        StereoRig::Build({*args.Value("left"), *args.Value("right"), {}, options}, db);
    const RangeCalcInput in = rig.Input({pixels[0], pixels[1]}, {pixels[2], pixels[3]}, lastPos);
    const RangeCalcResult r = CalculateRange(in);
    for (const std::string* said : {&in.productWarning, &in.productNote}) {
        if (!said->empty()) {
            std::fprintf(stderr, "%s\n", said->c_str());
        }
    }
    if (args.Json()) {
        std::string text;
        AppendResultJson(text, in, r);
        std::fwrite(text.data(), 1, text.size(), stdout);
    } else {
        for (const auto& m : r.vMessages) {
            std::fprintf(stderr, "%s\n", m.c_str());
        }
        if (r.bOk) {
            std::fwrite(r.sLogEntry.data(), 1, r.sLogEntry.size(), stdout);
        } else {
            std::printf("Error\n");
        }
    }
    if (!in.productProblem.empty()) {
        if (args.Json()) {
            std::fprintf(stderr, "%s\n", in.productProblem.c_str());
        }
        return 1;
    }
    if (!r.bOk) {
        // A calculation that fails is a failure: the reason goes to stderr
        // (text output has already put the messages there).
        if (args.Json()) {
            for (const auto& m : r.vMessages) {
                std::fprintf(stderr, "%s\n", m.c_str());
            }
        }
        if (r.vMessages.empty()) {
            std::fprintf(stderr, "%s\n", kRaysDoNotMeet);
        }
        return 1;
    }
    return 0;
}

std::string Trim(std::string_view s) {
    const auto b = s.find_first_not_of(" \t\r");
    if (b == std::string_view::npos) {
        return {};
    }
    const auto e = s.find_last_not_of(" \t\r");
    return std::string(s.substr(b, e - b + 1));
}

// LEFT,RIGHT,XL,YL,XR,YR
bool ParseBatchLine(const std::string& line, std::string& left, std::string& right,
                    std::vector<double>& pixels) {
    std::vector<std::string> fields;
    size_t start = 0;
    while (true) {
        const size_t comma = line.find(',', start);
        fields.push_back(Trim(std::string_view(line).substr(
            start, comma == std::string::npos ? std::string::npos : comma - start)));
        if (comma == std::string::npos) {
            break;
        }
        start = comma + 1;
    }
    if (fields.size() != 6 || fields[0].empty() || fields[1].empty()) {
        return false;
    }
    pixels.clear();
    for (size_t i = 2; i < 6; ++i) {
        const auto v = ParseNumber(fields[i]);
        if (!v) {
            return false;
        }
        pixels.push_back(*v);
    }
    left = fields[0];
    right = fields[1];
    return true;
}

// A file written piece by piece through a buffer, in place only after Commit.
class StreamedFile {
public:
    explicit StreamedFile(const std::string& path) : m_file(path) {}
    void Add(std::string_view bytes) {
        m_buffer += bytes;
        // A stream target (a pipe, the terminal, --log /dev/stdout) gets the
        // whole file after the command's own output, as a saved file would.
        if (m_buffer.size() >= kFlushBytes && !m_file.Direct()) {
            Flush();
        }
    }
    bool Commit(std::string* error) {
        if (m_file.Direct()) {
            std::fflush(stdout);
        }
        if (m_file.Created() && Flush() && m_file.Commit(error)) {
            return true;
        }
        if (error->empty()) {
            *error = m_file.Error();
        }
        return false;
    }

private:
    static constexpr std::size_t kFlushBytes = std::size_t{1} << 16;
    bool Flush() {
        const bool ok = m_file.Write(m_buffer);
        m_buffer.clear();
        return ok;
    }
    AtomicFileWriter m_file;
    std::string m_buffer;
};

int RunBatch(const Args& args) {
    for (const char* singleOnly : {"left", "right", "pixels"}) {
        if (args.Has(singleOnly)) {
            throw UsageError{std::string("--") + singleOnly + " cannot be used with --batch"};
        }
    }
    const std::string batchPath = *args.Value("batch");
    const CalcOptions options = OptionsOf(args);
    std::ifstream batch(batchPath, std::ios::binary);
    if (!batch) {
        std::fprintf(stderr, "Unable to open %s\n", batchPath.c_str());
        return 1;
    }
    ImageDatabase db;
    if (!LoadDatabase(args, db)) {
        return 1;
    }

    ProductCameraCache products;
    std::optional<StereoRig> rig; // of the last line's pair
    CPoint3D lastPos = LastPositionOf(args);
    std::string line;
    std::string left;
    std::string right;
    std::vector<double> pixels;
    std::string text;
    std::string lastWarning; // said once for a run of lines of one pair
    // With --session: the measurements of the first line's pair.
    const auto sessionPath = args.Value("session");
    SessionDocument sessionDoc;
    sessionDoc.options = options;
    sessionDoc.database = args.Value("db").value_or("ImgBinDat");
    if (const auto sigma = args.Value("click-sigma")) {
        const auto px = ParseNumber(*sigma);
        if (!sessionPath) {
            throw UsageError{"--click-sigma needs --session"};
        }
        if (!px || !(*px > 0.0) || !std::isfinite(*px)) {
            throw UsageError{"--click-sigma needs a number of pixels above 0, got '" + *sigma +
                             "'"};
        }
        sessionDoc.pixelSigmas = {*px, *px};
    }
    // The files are written as the lines are measured, and put in place
    // only when the whole batch was read: a batch that stops saves nothing.
    const auto logPath = args.Value("log");
    const auto verticesPath = args.Value("vertices");
    std::optional<StreamedFile> logFile;
    std::optional<StreamedFile> verticesFile;
    std::optional<SessionFileWriter> sessionFile; // from the first measurement of its pair
    if (logPath) {
        logFile.emplace(*logPath);
    }
    if (verticesPath) {
        verticesFile.emplace(*verticesPath);
    }
    size_t measured = 0;
    size_t otherPairs = 0;
    size_t lineNo = 0;
    LineStatus status = LineStatus::kEnd;
    while ((status = GetBoundedLine(batch, line)) == LineStatus::kLine) {
        ++lineNo;
        if (lineNo == 1) {
            SkipByteOrderMark(line);
        }
        const std::string trimmed = Trim(line);
        if (trimmed.empty() || trimmed[0] == '#') {
            continue;
        }
        if (!ParseBatchLine(line, left, right, pixels)) {
            std::fprintf(stderr, "%s:%zu: expected LEFT,RIGHT,XL,YL,XR,YR; line skipped\n",
                         batchPath.c_str(), lineNo);
            continue;
        }
        // A batch names one pair line after line: its rig is built once.
        if (!rig || rig->Setup().leftFile != left || rig->Setup().rightFile != right) {
            rig = StereoRig::Build({left, right, {}, options}, db, &products);
        }
        const RangeCalcInput in =
            rig->Input({pixels[0], pixels[1]}, {pixels[2], pixels[3]}, lastPos);
        const RangeCalcResult r = CalculateRange(in);
        for (const std::string* said : {&in.productWarning, &in.productNote}) {
            if (!said->empty() && *said != lastWarning) {
                std::fprintf(stderr, "%s\n", said->c_str());
                lastWarning = *said;
            }
        }
        if (r.bOk) {
            ++measured;
            lastPos = r.ptNewLastPos;
            if (logFile) {
                logFile->Add(ToCrLf(r.sLogEntry));
            }
            if (verticesFile && IsVertexSaved(r.vertex)) {
                std::string vertex;
                AppendVertexLine(vertex, r.vertex.m_ptPosition);
                verticesFile->Add(vertex);
            }
            if (sessionPath && !sessionFile) {
                sessionDoc.leftImage = left;
                sessionDoc.rightImage = right;
                sessionFile.emplace(*sessionPath, sessionDoc);
            }
            if (sessionPath && left == sessionDoc.leftImage && right == sessionDoc.rightImage) {
                if (sessionFile->Count() >= kMaxSessionMeasurements) {
                    std::fprintf(stderr,
                                 "%s:%zu: more than %zu measurements for --session; split the "
                                 "batch. Nothing was saved\n",
                                 batchPath.c_str(), lineNo, kMaxSessionMeasurements);
                    return 1;
                }
                MeasurementRecord record =
                    RecordOfCalculation(in, r, PixelSource::Clicked, PixelSource::Clicked,
                                        sessionDoc.pixelSigmas, UtcNow());
                record.index = static_cast<int>(sessionFile->Count() + 1);
                sessionFile->Add(record);
            } else if (sessionPath) {
                ++otherPairs;
            }
        }
        text.clear();
        AppendResultJson(text, in, r);
        std::fwrite(text.data(), 1, text.size(), stdout);
    }
    if (status == LineStatus::kTooLong) {
        std::fprintf(stderr, "%s\n", LineTooLongMessage(batchPath, lineNo + 1).c_str());
        return 1;
    }
    if (batch.bad()) {
        std::fprintf(stderr, "Unable to read %s\n", batchPath.c_str());
        return 1;
    }

    bool saved = true;
    CollectingMessageSink messages;
    {
        ScopedMessageSink scope(&messages);
        for (auto [path, file] : {std::pair{&logPath, &logFile}, {&verticesPath, &verticesFile}}) {
            if (!*path) {
                continue;
            }
            std::string error;
            if (measured == 0) {
                ReportMessage("Nothing to save");
            } else if (!(*file)->Commit(&error)) {
                ReportMessage(StrFormat("Unable to save %s: %s", (*path)->c_str(), error.c_str()));
                saved = false;
            }
        }
        if (sessionPath) {
            if (otherPairs > 0) {
                ReportMessage("A session holds one pair: " + std::to_string(otherPairs) +
                              " measurement(s) of other pairs left out of " + *sessionPath);
            }
            if (!sessionFile) {
                sessionFile.emplace(*sessionPath, sessionDoc); // an empty session
            }
            std::string error;
            if (!sessionFile->Commit(&error)) {
                ReportMessage("Unable to save " + *sessionPath + ": " + error);
                saved = false;
            }
        }
    }
    for (const auto& m : messages.m_vMessages) {
        std::fprintf(stderr, "%s\n", m.c_str());
    }
    return saved ? 0 : 1;
}

} // namespace

int RunMeasure(const Tokens& tokens) {
    const Args args = ParseOrThrow(tokens);
    return args.Has("batch") ? RunBatch(args) : RunSingle(args);
}
