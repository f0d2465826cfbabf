#include "products/ProductReader.h"

#include "products/ProductReadCommon.h"

#include "products/ProductFiles.h"
#include "products/RasterLayout.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <limits>

namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t kMaxLabelBytes = 16u << 20;
constexpr std::uint64_t kFirstRead = 64u << 10;

const std::vector<std::string_view> kModelGroups = {"GEOMETRIC_CAMERA_MODEL",
                                                    "GEOMETRIC_CAMERA_MODEL_PARMS"};
// The vehicle's pose: a rover's, or a lander's (InSight, Phoenix).
const std::vector<std::string_view> kPoseGroups = {
    "ROVER_COORDINATE_SYSTEM",  "ROVER_COORD_SYSTEM_PARMS",  "ROVER_COORDINATE_SYSTEM_PARMS",
    "LANDER_COORDINATE_SYSTEM", "LANDER_COORD_SYSTEM_PARMS", "LANDER_COORDINATE_SYSTEM_PARMS"};
const std::vector<std::string_view> kIdGroups = {"", "IDENTIFICATION"};

using product_read::Fail;

using product_read::SameMotionCounter;
using product_read::Whole;

std::string Describe(const LabelValue* v) {
    if (v == nullptr) {
        return "missing";
    }
    if (v->kind == LabelValue::Kind::Scalar) {
        return "'" + v->text + "'";
    }
    return "a list of " + std::to_string(v->items.size());
}

std::optional<CPoint3D> Vector3(const LabelValue* v) {
    if (v == nullptr) {
        return std::nullopt;
    }
    const auto n = v->Numbers();
    if (!n || n->size() != 3 || v->kind == LabelValue::Kind::Scalar) {
        return std::nullopt;
    }
    return CPoint3D((*n)[0], (*n)[1], (*n)[2]);
}

std::string Text(const LabelValue* v) {
    return v != nullptr && v->kind == LabelValue::Kind::Scalar && !v->IsNull() ? v->text
                                                                               : std::string();
}

std::string EyeOf(const std::string& instrument, const std::string& frameId) {
    const std::string f = UpperAscii(frameId);
    if (f == "LEFT" || f == "RIGHT") {
        return f == "LEFT" ? "left" : "right";
    }
    const std::string i = UpperAscii(instrument);
    if (i.find("LEFT") != std::string::npos) {
        return "left";
    }
    if (i.find("RIGHT") != std::string::npos) {
        return "right";
    }
    return "";
}

void FillIdentity(const ProductLabel& label, ProductInfo& info) {
    info.instrument = Text(label.FindIn(kIdGroups, "INSTRUMENT_ID"));
    info.productId = Text(label.FindIn(kIdGroups, "PRODUCT_ID"));
    info.eye = EyeOf(info.instrument, Text(label.FindIn(kIdGroups, "FRAME_ID")));
    if (const auto* sol = label.FindIn(kIdGroups, "PLANET_DAY_NUMBER")) {
        if (const auto v = sol->Integer(); v && *v >= 0 && *v < 100000) {
            info.sol = static_cast<int>(*v);
        }
    }
    // Downsampling of the delivered image (the model already fits it).
    if (const auto* w = label.FindIn({"INSTRUMENT_STATE_PARMS"}, "PIXEL_AVERAGING_WIDTH")) {
        if (const auto v = w->Number(); v && *v >= 1.0 && *v <= 64.0) {
            info.downsampling = *v;
        }
    }
}

} // namespace

bool IsSupportedModelFrame(std::string_view frame) {
    const std::string f = UpperAscii(frame);
    return f == "ROVER_FRAME" || f == "ROVER_NAV_FRAME" || f == "LANDER_FRAME";
}

bool StartsWithOdlLabel(std::string_view head) {
    const std::string start = UpperAscii(head.substr(0, 14));
    return start == "PDS_VERSION_ID" || start == "ODL_VERSION_ID";
}

ProductReadResult ModelFromLabel(const ProductLabel& label, const std::string& fileName) {
    ProductReadResult r;
    ProductInfo& info = r.product;
    const LabelValue* typeValue = label.FindIn(kModelGroups, "MODEL_TYPE");
    if (typeValue == nullptr) {
        return Fail(fileName +
                    ": no camera model (no GEOMETRIC_CAMERA_MODEL group with MODEL_TYPE)");
    }
    const std::string type = UpperAscii(Text(typeValue));
    ModelParameters& m = info.model;
    int needed = 4;
    if (type == "CAHV") {
        m.type = ModelType::Cahv;
    } else if (type == "CAHVOR") {
        m.type = ModelType::Cahvor;
        needed = 6;
    } else if (type == "CAHVORE") {
        m.type = ModelType::Cahvore;
        needed = 9;
    } else {
        return Fail(fileName + ": unknown camera model type " + Describe(typeValue) +
                    " (CAHV, CAHVOR and CAHVORE are supported)");
    }
    // Which letter each MODEL_COMPONENT_n holds; the standard order unless
    // MODEL_COMPONENT_ID says otherwise.
    std::vector<std::string> letters = {"C", "A", "H", "V", "O", "R", "E", "T", "P"};
    if (const auto* ids = label.FindIn(kModelGroups, "MODEL_COMPONENT_ID");
        ids != nullptr && ids->kind != LabelValue::Kind::Scalar) {
        for (size_t i = 0; i < ids->items.size() && i < letters.size(); ++i) {
            const std::string l = UpperAscii(ids->items[i].text);
            if (l == "C" || l == "A" || l == "H" || l == "V" || l == "O" || l == "R" || l == "E") {
                letters[i] = l;
            }
        }
    }
    bool seen[9] = {};
    for (int i = 0; i < needed; ++i) {
        const std::string key = "MODEL_COMPONENT_" + std::to_string(i + 1);
        const LabelValue* v = label.FindIn(kModelGroups, key);
        const std::string& letter = letters[static_cast<size_t>(i)];
        if (letter == "T" || letter == "P") {
            const auto n = v ? v->Number() : std::nullopt;
            if (!n) {
                return Fail(fileName + ": " + key + " (" + (letter == "T" ? "MTYPE" : "MPARM") +
                            ") is not a number: " + Describe(v));
            }
            if (letter == "T") {
                if (*n != 1.0 && *n != 2.0 && *n != 3.0) {
                    return Fail(fileName + ": CAHVORE MTYPE " + v->text + " is not 1, 2 or 3");
                }
                m.mtype = static_cast<int>(*n);
                seen[7] = true;
            } else {
                m.mparm = *n;
                seen[8] = true;
            }
            continue;
        }
        const auto p = Vector3(v);
        if (!p) {
            return Fail(fileName + ": " + key + " (" + letter +
                        ") is not three numbers: " + Describe(v));
        }
        const std::string order = "CAHVORE";
        const size_t slot = order.find(letter);
        CPoint3D* targets[] = {&m.c, &m.a, &m.h, &m.v, &m.o, &m.r, &m.e};
        *targets[slot] = *p;
        seen[slot] = true;
    }
    const int required = needed == 9 ? 9 : needed;
    for (int i = 0; i < required; ++i) {
        if (!seen[i]) {
            return Fail(fileName + ": the " + type + " model lacks component " +
                        std::string(1, "CAHVORETP"[i]));
        }
    }
    const LabelValue* frame = label.FindIn(kModelGroups, "REFERENCE_COORD_SYSTEM_NAME");
    info.frame = UpperAscii(Text(frame));
    if (info.frame.empty()) {
        return Fail(fileName + ": the camera model names no reference frame");
    }
    if (!IsSupportedModelFrame(info.frame)) {
        return Fail(fileName + ": the camera model is given in " + info.frame +
                    "; only ROVER_FRAME, ROVER_NAV_FRAME and LANDER_FRAME are supported");
    }
    if (const auto* index = label.FindIn(kModelGroups, "REFERENCE_COORD_SYSTEM_INDEX")) {
        if (const auto n = index->Numbers()) {
            for (const double d : *n) {
                const auto whole = Whole(d);
                if (!whole) {
                    return Fail(fileName +
                                ": REFERENCE_COORD_SYSTEM_INDEX is not a list of counters");
                }
                info.frameIndex.push_back(*whole);
            }
        }
    }
    // The vehicle pose, when it is the pose of the model's frame in a site frame.
    const LabelValue* poseFrame = label.FindIn(kPoseGroups, "REFERENCE_COORD_SYSTEM_NAME");
    const auto offset = Vector3(label.FindIn(kPoseGroups, "ORIGIN_OFFSET_VECTOR"));
    const LabelValue* quat = label.FindIn(kPoseGroups, "ORIGIN_ROTATION_QUATERNION");
    const auto q = quat ? quat->Numbers() : std::nullopt;
    if (poseFrame == nullptr && quat == nullptr) {
        info.notes.push_back("no rover pose in the label");
    } else if (UpperAscii(Text(poseFrame)) != "SITE_FRAME") {
        info.notes.push_back("the rover pose is not given in a site frame: not used");
    } else if (!offset || !q || q->size() != 4 || quat->kind == LabelValue::Kind::Scalar) {
        info.notes.push_back(
            "the rover pose is incomplete (offset or quaternion missing): not used");
    } else {
        const double norm = std::sqrt((*q)[0] * (*q)[0] + (*q)[1] * (*q)[1] + (*q)[2] * (*q)[2] +
                                      (*q)[3] * (*q)[3]);
        std::vector<long long> poseIndex;
        if (const auto* idx = label.FindIn(kPoseGroups, "COORDINATE_SYSTEM_INDEX")) {
            if (const auto n = idx->Numbers()) {
                for (const double d : *n) {
                    poseIndex.push_back(Whole(d).value_or(-1));
                }
            }
        }
        const auto* siteValue = label.FindIn(kPoseGroups, "REFERENCE_COORD_SYSTEM_INDEX");
        auto site = siteValue ? siteValue->Numbers() : std::nullopt;
        if (!site) {
            // Some labels (MSL Mastcam RDRs) name the site only as the SITE
            // counter of the rover frame's own index.
            const auto* names = label.FindIn(kPoseGroups, "COORDINATE_SYSTEM_INDEX_NAME");
            const std::size_t count = names != nullptr ? names->items.size() : 0;
            for (std::size_t i = 0; i < count && i < poseIndex.size(); ++i) {
                if (UpperAscii(names->items[i].text) == "SITE" && poseIndex[i] >= 0) {
                    site = std::vector<double>{static_cast<double>(poseIndex[i])};
                }
            }
        }
        if (std::fabs(norm - 1.0) > 1e-3) {
            info.notes.push_back("the rover quaternion is not a unit quaternion: pose not used");
        } else if (!SameMotionCounter(poseIndex, info.frameIndex)) {
            info.notes.push_back(
                "the rover pose is for another motion counter than the model: not used");
        } else if (!site || site->empty() || !Whole((*site)[0]) || std::fabs((*site)[0]) > 1e9) {
            info.notes.push_back("the rover pose names no site: not used");
        } else {
            SitePose pose;
            pose.roverToSite.rotation = CQuat((*q)[0], {(*q)[1], (*q)[2], (*q)[3]});
            pose.roverToSite.offset = *offset;
            pose.site = static_cast<int>((*site)[0]);
            info.pose = pose;
        }
    }
    r.ok = true;
    return r;
}

namespace {

// ---------------------------------------------------------------- PDS3

struct Pointer {
    std::string file;       // empty: this file
    std::uint64_t byte = 0; // 0-based
    bool inRecords = false; // byte still to be multiplied by RECORD_BYTES
};

std::optional<Pointer> ParsePointer(const LabelValue& v, std::string& error) {
    Pointer p;
    const LabelValue* where = nullptr;
    if (v.kind == LabelValue::Kind::Scalar) {
        if (v.quoted) {
            p.file = v.text;
            return p;
        }
        where = &v;
    } else {
        if (v.items.empty() || v.items.size() > 2 || !v.items[0].quoted) {
            error = "^IMAGE is neither a number, a file name nor (file, number)";
            return std::nullopt;
        }
        p.file = v.items[0].text;
        if (v.items.size() == 1) {
            return p;
        }
        where = &v.items[1];
    }
    const auto n = where->Integer();
    if (!n || *n < 1) {
        error = "^IMAGE position " + Describe(where) + " is not a positive whole number";
        return std::nullopt;
    }
    const std::string unit = UpperAscii(where->unit);
    if (unit == "BYTES" || unit == "BYTE") {
        p.byte = static_cast<std::uint64_t>(*n - 1);
    } else if (unit.empty()) {
        p.byte = static_cast<std::uint64_t>(*n - 1);
        p.inRecords = true;
    } else {
        error = "^IMAGE unit <" + where->unit + "> is not understood";
        return std::nullopt;
    }
    return p;
}

std::optional<SampleKind> KindOf(const std::string& sampleType, int bits, bool& bigEndian) {
    const std::string t = UpperAscii(sampleType);
    auto any = [&](std::initializer_list<const char*> names) {
        return std::any_of(names.begin(), names.end(), [&](const char* n) { return t == n; });
    };
    if (any({"MSB_INTEGER", "INTEGER", "SUN_INTEGER", "MAC_INTEGER"})) {
        bigEndian = true;
        return bits == 8 ? SampleKind::Unsigned : SampleKind::Signed;
    }
    if (any({"MSB_UNSIGNED_INTEGER", "UNSIGNED_INTEGER", "SUN_UNSIGNED_INTEGER",
             "MAC_UNSIGNED_INTEGER"})) {
        bigEndian = true;
        return SampleKind::Unsigned;
    }
    if (any({"LSB_INTEGER", "PC_INTEGER", "VAX_INTEGER"})) {
        bigEndian = false;
        return bits == 8 ? SampleKind::Unsigned : SampleKind::Signed;
    }
    if (any({"LSB_UNSIGNED_INTEGER", "PC_UNSIGNED_INTEGER", "VAX_UNSIGNED_INTEGER"})) {
        bigEndian = false;
        return SampleKind::Unsigned;
    }
    if (any({"IEEE_REAL", "REAL", "FLOAT", "SUN_REAL", "MAC_REAL"})) {
        bigEndian = true;
        return SampleKind::Real;
    }
    if (any({"PC_REAL"})) {
        bigEndian = false;
        return SampleKind::Real;
    }
    return std::nullopt;
}

std::optional<int> PositiveInt(const LabelValue* v) {
    if (v == nullptr) {
        return std::nullopt;
    }
    const auto n = v->Integer();
    if (!n || *n < 0 || *n > (1 << 30)) {
        return std::nullopt;
    }
    return static_cast<int>(*n);
}

ProductReadResult ReadVicarFile(const std::string& path, std::uint64_t start,
                                const ProductReadOptions& options, bool wantModel);

// The groups of the VICAR header that ^IMAGE_HEADER points to, added to
// label; nothing happens when there is none or it cannot be read.
void AddImageHeader(const std::string& path, ProductLabel& label) {
    const LabelValue* value = label.Find("", "^IMAGE_HEADER");
    if (value == nullptr) {
        return;
    }
    std::string error;
    const auto pointer = ParsePointer(*value, error);
    if (!pointer) {
        return;
    }
    std::string file = path;
    if (!pointer->file.empty()) {
        const auto found = ResolveBeside(path, pointer->file);
        if (!found) {
            return;
        }
        file = *found;
    }
    std::uint64_t at = pointer->byte;
    if (pointer->inRecords) {
        const auto recordBytes = PositiveInt(label.Find("", "RECORD_BYTES"));
        if (!recordBytes || *recordBytes == 0) {
            return;
        }
        at *= static_cast<std::uint64_t>(*recordBytes);
    }
    if (at >= kMaxLabelBytes * 4) {
        return;
    }
    const auto bytes = ReadFileHead(file, at + kMaxLabelBytes);
    if (!bytes || bytes->size() <= at) {
        return;
    }
    const LabelParseResult header =
        ParseVicarLabel(std::string_view(*bytes).substr(static_cast<std::size_t>(at)));
    if (!header.ok) {
        return;
    }
    for (const auto& item : header.label.Items()) {
        if (!item.group.empty()) {
            label.Add(item.group, item.key, item.value);
        }
    }
}

// The sample layout of the IMAGE object after its position, size and
// pointer; what is not supported, or empty.
std::string Pds3Layout(const ProductLabel& label, RasterLayout& layout) {
    const auto bands = PositiveInt(label.Find("IMAGE", "BANDS"));
    layout.bands = bands ? *bands : 1;
    const auto bits = PositiveInt(label.Find("IMAGE", "SAMPLE_BITS"));
    if (!bits || (*bits != 8 && *bits != 16 && *bits != 32 && *bits != 64)) {
        return "SAMPLE_BITS " + Describe(label.Find("IMAGE", "SAMPLE_BITS")) +
               " is not 8, 16, 32 or 64";
    }
    layout.bytesPerSample = *bits / 8;
    const std::string sampleType = Text(label.Find("IMAGE", "SAMPLE_TYPE"));
    const auto kind = KindOf(sampleType, *bits, layout.bigEndian);
    if (!kind) {
        return "SAMPLE_TYPE '" + sampleType + "' is not supported";
    }
    layout.kind = *kind;
    const std::string storage = UpperAscii(Text(label.Find("IMAGE", "BAND_STORAGE_TYPE")));
    if (storage.empty() || storage == "BAND_SEQUENTIAL") {
        layout.storage = BandStorage::Sequential;
    } else if (storage == "LINE_INTERLEAVED") {
        layout.storage = BandStorage::LineInterleaved;
    } else if (storage == "SAMPLE_INTERLEAVED") {
        layout.storage = BandStorage::SampleInterleaved;
    } else {
        return "BAND_STORAGE_TYPE '" + storage + "' is not supported";
    }
    if (const auto v = PositiveInt(label.Find("IMAGE", "LINE_PREFIX_BYTES"))) {
        layout.linePrefixBytes = static_cast<std::uint64_t>(*v);
    }
    if (const auto v = PositiveInt(label.Find("IMAGE", "LINE_SUFFIX_BYTES"))) {
        layout.lineSuffixBytes = static_cast<std::uint64_t>(*v);
    }
    if (const auto* mask = label.Find("IMAGE", "SAMPLE_BIT_MASK")) {
        if (const auto v = mask->Number(); v && *v > 0 && *v <= 4294967295.0) {
            layout.bitMask = static_cast<std::uint32_t>(*v);
        }
    }
    return {};
}

ProductReadResult ReadPds3(const std::string& path, const std::string& head,
                           const ProductReadOptions& options) {
    LabelParseResult parsed = ParseOdlLabel(head);
    if (!parsed.ended && head.size() < FileSize(path).value_or(0)) {
        // The label goes on past the first bytes read: read up to the limit.
        if (const auto more = ReadFileHead(path, kMaxLabelBytes)) {
            parsed = ParseOdlLabel(*more);
        }
    }
    if (!parsed.ok) {
        return Fail(path + ": label: " + parsed.message);
    }
    ProductLabel label = std::move(parsed.label);
    if (label.FindIn(kModelGroups, "MODEL_TYPE") == nullptr) {
        // EDRs may keep the model only in the VICAR header ^IMAGE_HEADER
        // points to inside the same file.
        AddImageHeader(path, label);
    }
    ProductReadResult r = ModelFromLabel(label, path);
    if (!r.ok) {
        return r;
    }
    ProductInfo& info = r.product;
    info.path = path;
    info.source = "pds3";
    FillIdentity(label, info);

    const auto lines = PositiveInt(label.Find("IMAGE", "LINES"));
    const auto samples = PositiveInt(label.Find("IMAGE", "LINE_SAMPLES"));
    if (!lines || !samples || *lines == 0 || *samples == 0) {
        return Fail(path + ": the IMAGE object gives no usable LINES and LINE_SAMPLES");
    }
    info.width = *samples;
    info.height = *lines;
    if (const auto v = PositiveInt(label.Find("IMAGE", "FIRST_LINE")); v && *v >= 1) {
        info.firstLine = *v;
    }
    if (const auto v = PositiveInt(label.Find("IMAGE", "FIRST_LINE_SAMPLE")); v && *v >= 1) {
        info.firstSample = *v;
    }

    const LabelValue* pointerValue = label.Find("", "^IMAGE");
    if (pointerValue == nullptr) {
        return Fail(path + ": the label has no ^IMAGE pointer");
    }
    std::string error;
    const auto pointer = ParsePointer(*pointerValue, error);
    if (!pointer) {
        return Fail(path + ": " + error);
    }
    // The data file: named by the pointer, else this file; a detached label
    // without a name points into the image of the same name. The model is
    // the label's own: a label without its data still gives it, with a note.
    std::string dataFile = path;
    const bool detached = UpperAscii(fs::path(path).extension().string()) == ".LBL";
    std::string missingData;
    if (!pointer->file.empty()) {
        if (const auto found = ResolveBeside(path, pointer->file)) {
            dataFile = *found;
        } else {
            missingData =
                path + ": ^IMAGE points to " + pointer->file + ", which is not beside the label";
        }
    } else if (detached) {
        if (const auto found = FindSibling(path, ".IMG")) {
            dataFile = *found;
        } else {
            missingData = path + ": ^IMAGE names no file and there is no .IMG beside the label";
        }
    }
    if (!missingData.empty()) {
        if (options.pixels) {
            return Fail(missingData);
        }
        info.notes.push_back(missingData + ": the camera model is read from the label alone");
        r.ok = true;
        return r;
    }
    info.dataFile = dataFile;
    std::uint64_t offset = pointer->byte;
    if (pointer->inRecords) {
        const auto recordBytes = PositiveInt(label.Find("", "RECORD_BYTES"));
        if (!recordBytes || *recordBytes == 0) {
            return Fail(path +
                        ": ^IMAGE counts records but RECORD_BYTES is missing or not a number");
        }
        // A record count far past any file must not wrap round into it.
        if (offset >
            std::numeric_limits<std::uint64_t>::max() / static_cast<std::uint64_t>(*recordBytes)) {
            return Fail(path + ": ^IMAGE points past the end of any file");
        }
        offset *= static_cast<std::uint64_t>(*recordBytes);
    }

    RasterLayout layout;
    layout.offset = offset;
    layout.lines = *lines;
    layout.samples = *samples;
    const std::string layoutError = Pds3Layout(label, layout);
    if (!options.pixels) {
        // A damaged product still gives its model, and says why its pixels
        // cannot be read.
        if (layoutError.empty()) {
            if (std::string shortfall = RasterShortfall(dataFile, layout); !shortfall.empty()) {
                info.notes.push_back(std::move(shortfall));
            }
        }
        r.ok = true;
        return r;
    }
    if (!layoutError.empty()) {
        return Fail(path + ": " + layoutError);
    }
    RasterResult raster = DecodeRaster(dataFile, layout);
    if (!raster.ok) {
        return Fail(raster.message);
    }
    info.pixels = std::move(raster.pixels);
    r.ok = true;
    return r;
}

// ---------------------------------------------------------------- VICAR

ProductReadResult ReadVicarFile(const std::string& path, std::uint64_t start,
                                const ProductReadOptions& options, bool wantModel) {
    const auto size = FileSize(path);
    const auto first = ReadFileHead(path, start + 64);
    if (!size || !first) {
        return Fail(path + ": cannot be read");
    }
    const auto lblsizeAt = [&](std::uint64_t at,
                               const std::string& bytes) -> std::optional<std::size_t> {
        std::string_view s = std::string_view(bytes).substr(
            std::min<std::size_t>(static_cast<std::size_t>(at), bytes.size()));
        if (s.substr(0, 8) != "LBLSIZE=") {
            return std::nullopt;
        }
        s.remove_prefix(8);
        while (!s.empty() && s.front() == ' ') {
            s.remove_prefix(1);
        }
        std::size_t n = 0;
        while (!s.empty() && s.front() >= '0' && s.front() <= '9' && n < kMaxLabelBytes) {
            n = n * 10 + static_cast<std::size_t>(s.front() - '0');
            s.remove_prefix(1);
        }
        return n;
    };
    const auto lblsizeValue = lblsizeAt(start, *first);
    if (!lblsizeValue) {
        return Fail(path + ": no VICAR label at byte " + std::to_string(start));
    }
    const std::size_t lblsize = *lblsizeValue;
    if (lblsize == 0 || lblsize >= kMaxLabelBytes) {
        return Fail(path + ": VICAR LBLSIZE is not a usable size");
    }
    if (start + lblsize > *size) {
        return Fail(path + ": the VICAR label is truncated (LBLSIZE " + std::to_string(lblsize) +
                    ", file " + std::to_string(*size) + " bytes)");
    }
    const auto whole = ReadFileHead(path, start + lblsize);
    if (!whole) {
        return Fail(path + ": cannot be read");
    }
    const LabelParseResult parsed =
        ParseVicarLabel(std::string_view(*whole).substr(static_cast<std::size_t>(start)));
    if (!parsed.ok) {
        return Fail(path + ": VICAR label: " + parsed.message);
    }
    ProductLabel label = parsed.label;
    auto system = [&](std::string_view key) { return label.Find("", key); };
    const auto nl = PositiveInt(system("NL"));
    const auto ns = PositiveInt(system("NS"));
    const auto nb = PositiveInt(system("NB"));
    if (!nl || !ns || *nl == 0 || *ns == 0) {
        return Fail(path + ": VICAR NL/NS missing or not numbers");
    }
    const int bands = nb && *nb > 0 ? *nb : 1;
    const std::string org = UpperAscii(Text(system("ORG")));
    const auto recsize = PositiveInt(system("RECSIZE"));
    const auto nlb = PositiveInt(system("NLB"));
    const std::uint64_t dataStart = start + lblsize +
                                    static_cast<std::uint64_t>(nlb ? *nlb : 0) *
                                        static_cast<std::uint64_t>(recsize ? *recsize : 0);
    // EOL=1: a second label after the image holds more items (a model, say).
    if (const auto eol = system("EOL"); eol && eol->Integer() == 1 && recsize && *recsize > 0) {
        const std::uint64_t records = static_cast<std::uint64_t>(*nl) *
                                      static_cast<std::uint64_t>(org == "BIP" ? *ns : bands);
        // Sizes up to 2^30 each: records * recsize can pass 2^64 and wrap.
        const bool wraps = records > (std::numeric_limits<std::uint64_t>::max() - dataStart) /
                                         static_cast<std::uint64_t>(*recsize);
        const std::uint64_t eolAt =
            wraps ? *size : dataStart + records * static_cast<std::uint64_t>(*recsize);
        const auto eolHead = eolAt < *size ? ReadFileHead(path, eolAt + 64) : std::nullopt;
        const auto eolSize = eolHead ? lblsizeAt(eolAt, *eolHead) : std::nullopt;
        if (!eolSize || *eolSize == 0 || *eolSize >= kMaxLabelBytes || eolAt + *eolSize > *size) {
            return Fail(path + ": EOL=1 but no VICAR label follows the image");
        }
        const auto eolBytes = ReadFileHead(path, eolAt + *eolSize);
        const LabelParseResult eolLabel =
            ParseVicarLabel(std::string_view(*eolBytes).substr(static_cast<std::size_t>(eolAt)));
        if (!eolLabel.ok) {
            return Fail(path + ": VICAR label after the image: " + eolLabel.message);
        }
        for (const auto& item : eolLabel.label.Items()) {
            if (!item.group.empty()) { // its system items repeat the first label's
                label.Add(item.group, item.key, item.value);
            }
        }
    }
    ProductReadResult r;
    if (wantModel) {
        r = ModelFromLabel(label, path);
        if (!r.ok) {
            return r;
        }
    }
    ProductInfo& info = r.product;
    info.path = path;
    info.source = "vicar";
    info.dataFile = path;
    FillIdentity(label, info);
    info.width = *ns;
    info.height = *nl;
    if (const auto v = PositiveInt(label.FindIn({"IMAGE_DATA"}, "FIRST_LINE")); v && *v >= 1) {
        info.firstLine = *v;
    }
    if (const auto v = PositiveInt(label.FindIn({"IMAGE_DATA"}, "FIRST_LINE_SAMPLE"));
        v && *v >= 1) {
        info.firstSample = *v;
    }
    r.ok = true;
    if (!options.pixels) {
        return r;
    }
    RasterLayout layout;
    layout.lines = *nl;
    layout.samples = *ns;
    layout.bands = bands;
    const std::string format = UpperAscii(Text(system("FORMAT")));
    if (format == "BYTE") {
        layout.bytesPerSample = 1;
        layout.kind = SampleKind::Unsigned;
    } else if (format == "HALF" || format == "WORD") {
        layout.bytesPerSample = 2;
        layout.kind = SampleKind::Signed;
    } else if (format == "FULL" || format == "LONG") {
        layout.bytesPerSample = 4;
        layout.kind = SampleKind::Signed;
    } else if (format == "REAL") {
        layout.bytesPerSample = 4;
        layout.kind = SampleKind::Real;
    } else if (format == "DOUB") {
        layout.bytesPerSample = 8;
        layout.kind = SampleKind::Real;
    } else {
        return Fail(path + ": VICAR FORMAT '" + format + "' is not supported");
    }
    if (layout.kind == SampleKind::Real) {
        // VICAR: IEEE is high byte first, RIEEE ("reversed") low byte first.
        const std::string realfmt = UpperAscii(Text(system("REALFMT")));
        if (realfmt == "IEEE" || realfmt.empty()) {
            layout.bigEndian = true;
        } else if (realfmt == "RIEEE") {
            layout.bigEndian = false;
        } else {
            return Fail(path + ": VICAR REALFMT '" + realfmt + "' is not supported");
        }
    } else {
        const std::string intfmt = UpperAscii(Text(system("INTFMT")));
        if (intfmt == "HIGH" || intfmt.empty()) {
            layout.bigEndian = true;
        } else if (intfmt == "LOW") {
            layout.bigEndian = false;
        } else {
            return Fail(path + ": VICAR INTFMT '" + intfmt + "' is not supported");
        }
    }
    // A record is one line of one band (BSQ, BIL) or the bands of one pixel
    // (BIP), after NBB binary prefix bytes.
    const auto nbb = PositiveInt(system("NBB"));
    const std::uint64_t prefix = nbb ? static_cast<std::uint64_t>(*nbb) : 0;
    std::uint64_t n1 = static_cast<std::uint64_t>(*ns);
    if (org.empty() || org == "BSQ") {
        layout.storage = BandStorage::Sequential;
        layout.linePrefixBytes = prefix;
    } else if (org == "BIL" || org == "BIP") {
        layout.storage =
            org == "BIL" ? BandStorage::LineInterleaved : BandStorage::SampleInterleaved;
        if (prefix != 0) {
            return Fail(path + ": VICAR " + org + " images with binary prefixes are not supported");
        }
        if (org == "BIP") {
            n1 = static_cast<std::uint64_t>(bands);
        }
    } else {
        return Fail(path + ": VICAR ORG '" + org + "' is not supported");
    }
    if (!recsize || static_cast<std::uint64_t>(*recsize) !=
                        prefix + n1 * static_cast<std::uint64_t>(layout.bytesPerSample)) {
        return Fail(path + ": VICAR RECSIZE " + Describe(system("RECSIZE")) +
                    " does not match NS, NB, NBB and FORMAT");
    }
    layout.offset = dataStart;
    RasterResult raster = DecodeRaster(path, layout);
    if (!raster.ok) {
        return Fail(raster.message);
    }
    info.pixels = std::move(raster.pixels);
    return r;
}

std::string Extension(const std::string& path) {
    return UpperAscii(fs::path(path).extension().string());
}

ProductReadResult ReadRawImage(const std::string& path, const std::string& head,
                               const ProductReadOptions& options) {
    const std::string title = fs::path(path).stem().string();
    const std::string name = fs::path(path).filename().string();
    std::vector<std::string> candidates = {name + ".json", title + ".json",
                                           title + "-metadata.json", name + "-metadata.json"};
    std::optional<std::string> sidecar;
    for (const auto& c : candidates) {
        if ((sidecar = ResolveBeside(path, c))) {
            break;
        }
    }
    if (!sidecar) {
        return Fail(path + ": no JSON record beside the image (looked for " + title + ".json and " +
                    title + "-metadata.json)");
    }
    constexpr std::uint64_t kMaxRecordBytes = 64u << 20;
    if (FileSize(*sidecar).value_or(0) > kMaxRecordBytes) {
        return Fail(*sidecar + ": larger than 64 MB, more than any feed page Ranvista reads");
    }
    const auto text = ReadFileHead(*sidecar, kMaxRecordBytes);
    if (!text) {
        return Fail(*sidecar + ": cannot be read");
    }
    ProductReadResult r = ReadRawJsonText(*text, *sidecar, title);
    if (!r.ok) {
        return r;
    }
    r.product.dataFile = path;
    r.product.path = path;
    if (const auto size = ImageFileSize(head)) {
        r.product.imageWidth = size->first;
        r.product.imageHeight = size->second;
        if (r.product.width > 0 &&
            (size->first != r.product.width || size->second != r.product.height)) {
            if (!options.refuseResizedImages) {
                return r;
            }
            return Fail(path + ": the image is " + std::to_string(size->first) + " x " +
                        std::to_string(size->second) + " pixels but its record describes " +
                        std::to_string(r.product.width) + " x " + std::to_string(r.product.height) +
                        " (a resized or cropped copy does not fit the camera model)");
        }
        r.product.width = size->first;
        r.product.height = size->second;
    } else {
        return Fail(path + ": not a PNG or JPEG image whose size can be read");
    }
    return r;
}

} // namespace

namespace {

// followSibling: a VICAR image without a model may take it from the PDS4
// label beside it, but only one step: that label (or a VICAR header that
// only carries the .xml name) is read as it stands.
ProductReadResult ReadProductFile(const std::string& path, const ProductReadOptions& options,
                                  bool followSibling) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) {
        return Fail(path + ": no such file");
    }
    // Labels are usually short: the first bytes decide the kind of product,
    // and a reader that needs more reads on.
    auto head = ReadFileHead(path, kFirstRead);
    if (!head) {
        return Fail(path + ": cannot be read");
    }
    std::size_t lead = 0;
    while (lead < head->size() && std::isspace(static_cast<unsigned char>((*head)[lead]))) {
        ++lead;
    }
    if (lead < head->size() &&
        ((*head)[lead] == '<' || (*head)[lead] == '{' || (*head)[lead] == '[') &&
        head->size() == kFirstRead) {
        head = ReadFileHead(path, kMaxLabelBytes);
        if (!head) {
            return Fail(path + ": cannot be read");
        }
        if (FileSize(path).value_or(0) > kMaxLabelBytes) {
            // Cut short it would only read as broken XML or JSON.
            return Fail(path + ": larger than " + std::to_string(kMaxLabelBytes >> 20) +
                        " MB, more than any label or record Ranvista reads");
        }
    }
    std::string_view text = *head;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }
    if (StartsWithOdlLabel(text) || (Extension(path) == ".LBL" && text.substr(0, 1) != "<")) {
        return ReadPds3(path, std::string(text), options);
    }
    if (text.substr(0, 8) == "LBLSIZE=") {
        ProductReadResult r = ReadVicarFile(path, 0, options, true);
        if (followSibling && !r.ok && r.message.find("no camera model") != std::string::npos) {
            // Mars 2020 archive products may keep the model in the PDS4 label only.
            if (const auto xml = FindSibling(path, ".xml");
                xml && !fs::equivalent(*xml, path, ec)) {
                ProductReadResult viaXml = ReadProductFile(*xml, options, false);
                if (viaXml.ok) {
                    return viaXml;
                }
            }
        }
        return r;
    }
    std::size_t first = 0;
    while (first < text.size() && std::isspace(static_cast<unsigned char>(text[first]))) {
        ++first;
    }
    if (first < text.size() && text[first] == '<') {
        ProductReadResult r = ReadPds4Text(text, path);
        if (!r.ok) {
            return r;
        }
        r.product.path = path;
        // Pixels and size from the VICAR image the label describes.
        if (!r.product.dataFile.empty()) {
            const auto data = ResolveBeside(path, r.product.dataFile);
            if (!data) {
                const std::string missing =
                    path + ": the label's file " + r.product.dataFile + " is not beside it";
                if (options.pixels) {
                    return Fail(missing);
                }
                // The model is the label's own, as with a PDS3 label alone.
                r.product.notes.push_back(missing +
                                          ": the camera model is read from the label alone");
                return r;
            }
            r.product.dataFile = *data;
            const auto dataHead = ReadFileHead(*data, 8);
            if (dataHead && dataHead->substr(0, 8) == "LBLSIZE=") {
                ProductReadResult image = ReadVicarFile(*data, 0, options, false);
                if (!image.ok) {
                    return image;
                }
                if (r.product.width > 0 && (image.product.width != r.product.width ||
                                            image.product.height != r.product.height)) {
                    return Fail(path + ": the label describes " + std::to_string(r.product.width) +
                                " x " + std::to_string(r.product.height) + " pixels but " + *data +
                                " holds " + std::to_string(image.product.width) + " x " +
                                std::to_string(image.product.height));
                }
                r.product.width = image.product.width;
                r.product.height = image.product.height;
                r.product.pixels = std::move(image.product.pixels);
            }
        }
        return r;
    }
    if (first < text.size() && (text[first] == '{' || text[first] == '[')) {
        ProductReadResult r = ReadRawJsonText(text, path, fs::path(path).stem().string());
        if (r.ok) {
            r.product.path = path;
        }
        return r;
    }
    if (text.substr(0, 2) == "\xFF\xD8" && !ImageFileSize(text)) {
        // A JPEG whose frame header lies behind long metadata segments.
        if (const auto more = ReadFileHead(path, 1u << 20)) {
            if (ImageFileSize(*more)) {
                return ReadRawImage(path, *more, options);
            }
        }
    }
    if (ImageFileSize(text)) {
        return ReadRawImage(path, std::string(text), options);
    }
    return Fail(path + ": not a product Ranvista reads (no PDS3, VICAR, PDS4 or JSON label, and "
                       "not a PNG or JPEG image)");
}

} // namespace

ProductReadResult ReadProduct(const std::string& path, const ProductReadOptions& options) {
    return ReadProductFile(path, options, true);
}
