// Raw-image JSON records of the public MSL and Mars 2020 feeds, and the size
// of the PNG/JPEG images they describe.
#include "products/ProductReader.h"

#include "products/ProductReadCommon.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

using nlohmann::json;

using product_read::Fail;

using product_read::Whole;

bool IsUnknown(const json& v) {
    if (v.is_null()) {
        return true;
    }
    if (!v.is_string()) {
        return false;
    }
    const std::string s = UpperAscii(v.get<std::string>());
    return s.empty() || s == "UNK" || s == "N/A" || s == "NULL" || s == "NONE";
}

// The field by its feed names: at the top of the record, in "camera", or in
// "extended" (M20 spells those in camelCase).
const json* Field(const json& record, std::initializer_list<const char*> names) {
    for (const char* sub : {"", "camera", "extended"}) {
        const json* scope = &record;
        if (*sub != '\0') {
            const auto it = record.find(sub);
            if (it == record.end() || !it->is_object()) {
                continue;
            }
            scope = &*it;
        }
        for (const char* n : names) {
            const auto it = scope->find(n);
            if (it != scope->end() && !IsUnknown(*it)) {
                return &*it;
            }
        }
    }
    return nullptr;
}

std::optional<double> ParseDouble(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) {
        s.remove_suffix(1);
    }
    if (s.empty() || s.size() > 64) {
        return std::nullopt;
    }
    const std::string copy(s);
    char* end = nullptr;
    const double v = std::strtod(copy.c_str(), &end);
    if (end != copy.c_str() + copy.size() || !std::isfinite(v)) {
        return std::nullopt;
    }
    return v;
}

std::optional<double> Number(const json* v) {
    if (v == nullptr) {
        return std::nullopt;
    }
    if (v->is_number()) {
        const double d = v->get<double>();
        return std::isfinite(d) ? std::optional<double>(d) : std::nullopt;
    }
    if (v->is_string()) {
        return ParseDouble(v->get_ref<const std::string&>());
    }
    return std::nullopt;
}

// "(a,b,c)" or [a, b, c] (tools re-serialise tuples as arrays), numbers or
// numeric strings.
std::optional<std::vector<double>> Tuple(const json* v) {
    if (v == nullptr) {
        return std::nullopt;
    }
    std::vector<double> out;
    if (v->is_array()) {
        for (const auto& e : *v) {
            const auto d = Number(&e);
            if (!d) {
                return std::nullopt;
            }
            out.push_back(*d);
        }
        return out;
    }
    if (!v->is_string()) {
        return std::nullopt;
    }
    std::string_view s = v->get_ref<const std::string&>();
    while (!s.empty() && s.front() == ' ') {
        s.remove_prefix(1);
    }
    while (!s.empty() && s.back() == ' ') {
        s.remove_suffix(1);
    }
    if (s.size() < 2 || s.front() != '(' || s.back() != ')') {
        return std::nullopt;
    }
    s = s.substr(1, s.size() - 2);
    while (true) {
        const size_t comma = s.find(',');
        const auto d = ParseDouble(s.substr(0, comma));
        if (!d) {
            return std::nullopt;
        }
        out.push_back(*d);
        if (comma == std::string_view::npos) {
            break;
        }
        s.remove_prefix(comma + 1);
    }
    return out;
}

// The model string's parts: "(..);(..);...;2;0.0", or an array of parts.
std::optional<std::vector<json>> ModelParts(const json& v) {
    std::vector<json> parts;
    if (v.is_array()) {
        for (const auto& e : v) {
            parts.push_back(e.is_array() ? e : (e.is_string() ? e : json(e.dump())));
        }
        return parts;
    }
    if (!v.is_string()) {
        return std::nullopt;
    }
    std::string_view s = v.get_ref<const std::string&>();
    while (!s.empty()) {
        const size_t semi = s.find(';');
        parts.emplace_back(std::string(s.substr(0, semi)));
        if (semi == std::string_view::npos) {
            break;
        }
        s.remove_prefix(semi + 1);
    }
    return parts;
}

std::string TextOf(const json* v) {
    if (v == nullptr) {
        return "";
    }
    if (v->is_string()) {
        return v->get<std::string>();
    }
    return v->dump();
}

const json* FindRecord(const json& doc, std::string_view imageId) {
    auto matches = [&](const json& rec) {
        if (!rec.is_object()) {
            return false;
        }
        auto it = rec.find("imageid");
        if (it == rec.end() || !it->is_string()) {
            it = rec.find("name");
        }
        if (it == rec.end() || !it->is_string()) {
            return false;
        }
        const std::string& id = it->get_ref<const std::string&>();
        return !id.empty() && imageId.substr(0, id.size()) == id;
    };
    auto exact = [&](const json& rec) {
        auto it = rec.find("imageid");
        if (it == rec.end() || !it->is_string()) {
            it = rec.find("name");
        }
        return it->get_ref<const std::string&>() == imageId;
    };
    const json* list = nullptr;
    if (doc.is_array()) {
        list = &doc;
    } else if (doc.is_object()) {
        for (const char* key : {"images", "items"}) {
            const auto it = doc.find(key);
            if (it != doc.end() && it->is_array()) {
                list = &*it;
                break;
            }
        }
        if (list == nullptr) {
            return &doc; // one record
        }
    }
    if (list == nullptr) {
        return nullptr;
    }
    // The record of exactly this image wins over one whose id only begins it.
    const json* first = nullptr;
    for (const auto& rec : *list) {
        if (matches(rec)) {
            if (exact(rec)) {
                return &rec;
            }
            if (first == nullptr) {
                first = &rec;
            }
        }
    }
    return first;
}

// How deeply arrays and objects nest (strings skipped). Real records nest
// a few levels; the values are later printed and walked recursively.
std::size_t NestingDepth(std::string_view text) {
    std::size_t depth = 0;
    std::size_t deepest = 0;
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\') {
                ++i;
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            deepest = std::max(deepest, ++depth);
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return deepest;
}

} // namespace

ProductReadResult ReadRawJsonText(std::string_view text, const std::string& fileName,
                                  std::string_view imageId) {
    constexpr std::size_t kMaxDepth = 64;
    if (NestingDepth(text) > kMaxDepth) {
        return Fail(fileName + ": JSON nested more than " + std::to_string(kMaxDepth) +
                    " levels deep, deeper than any image record");
    }
    const json doc = json::parse(text.begin(), text.end(), nullptr, false);
    if (doc.is_discarded()) {
        return Fail(fileName + ": not valid JSON");
    }
    const json* recordPtr = FindRecord(doc, imageId);
    if (recordPtr == nullptr) {
        return Fail(fileName + ": holds no record for " + std::string(imageId));
    }
    const json& record = *recordPtr;
    ProductReadResult r;
    ProductInfo& info = r.product;
    info.path = fileName;
    info.source = "raw-json";

    const json* modelField = Field(record, {"camera_model_component_list"});
    if (modelField == nullptr) {
        return Fail(fileName + ": the record has no camera model (camera_model_component_list)");
    }
    const auto parts = ModelParts(*modelField);
    if (!parts || (parts->size() != 4 && parts->size() != 6 && parts->size() != 9)) {
        return Fail(fileName + ": the camera model has " +
                    std::to_string(parts ? parts->size() : 0) +
                    " parts; CAHV, CAHVOR and CAHVORE have 4, 6 and 9");
    }
    ModelParameters& m = info.model;
    const std::size_t n = parts->size();
    m.type = n == 4 ? ModelType::Cahv : (n == 6 ? ModelType::Cahvor : ModelType::Cahvore);
    const char* names[] = {"CAHV", "CAHVOR", "CAHVORE"};
    const std::string typeName = names[n == 4 ? 0 : (n == 6 ? 1 : 2)];
    if (const json* type = Field(record, {"camera_model_type"})) {
        if (UpperAscii(TextOf(type)) != typeName) {
            return Fail(fileName + ": camera_model_type " + TextOf(type) +
                        " does not match a model of " + std::to_string(n) + " parts");
        }
    }
    CPoint3D* vectors[] = {&m.c, &m.a, &m.h, &m.v, &m.o, &m.r, &m.e};
    for (std::size_t i = 0; i < std::min<std::size_t>(n, 7); ++i) {
        const auto t = Tuple(&(*parts)[i]);
        if (!t || t->size() != 3) {
            return Fail(fileName + ": camera model part " + std::to_string(i + 1) + " (" +
                        typeName[i] + ") is not three numbers");
        }
        *vectors[i] = {(*t)[0], (*t)[1], (*t)[2]};
    }
    if (n == 9) {
        const auto mtype = Number(&(*parts)[7]);
        const auto mparm = Number(&(*parts)[8]);
        if (!mtype || (*mtype != 1.0 && *mtype != 2.0 && *mtype != 3.0) || !mparm) {
            return Fail(fileName + ": the CAHVORE MTYPE or MPARM is not usable");
        }
        m.mtype = static_cast<int>(*mtype);
        m.mparm = *mparm;
    }
    // Raw-feed models are in the rover navigation frame of the image's site
    // and drive.
    info.frame = "ROVER_NAV_FRAME";
    const auto siteNumber = Number(Field(record, {"site"}));
    const auto driveNumber = Number(Field(record, {"drive"}));
    const auto site = siteNumber ? Whole(*siteNumber) : std::nullopt;
    const auto drive = driveNumber ? Whole(*driveNumber) : std::nullopt;
    if (site && std::abs(*site) < 1000000000) {
        info.frameIndex.push_back(*site);
        if (drive) {
            info.frameIndex.push_back(*drive);
        }
    }
    if (const auto q = Tuple(Field(record, {"attitude"}));
        q && q->size() == 4 && site && std::abs(*site) < 1000000000) {
        const double norm = std::sqrt((*q)[0] * (*q)[0] + (*q)[1] * (*q)[1] + (*q)[2] * (*q)[2] +
                                      (*q)[3] * (*q)[3]);
        const auto xyz = Tuple(Field(record, {"xyz"}));
        if (std::fabs(norm - 1.0) > 1e-3) {
            info.notes.push_back("attitude is not a unit quaternion: pose not used");
        } else if (!xyz || xyz->size() != 3) {
            info.notes.push_back("attitude without xyz: pose not used");
        } else {
            SitePose pose;
            pose.roverToSite.rotation = CQuat((*q)[0], {(*q)[1], (*q)[2], (*q)[3]});
            pose.roverToSite.offset = {(*xyz)[0], (*xyz)[1], (*xyz)[2]};
            pose.site = static_cast<int>(*site);
            if ((*xyz)[0] == 0.0 && (*xyz)[1] == 0.0 && (*xyz)[2] == 0.0) {
                pose.offsetKnown = false;
                info.notes.push_back("xyz is (0,0,0): the rover position in its site is unknown");
            }
            info.pose = pose;
        }
    } else {
        info.notes.push_back("no attitude in the record: no rover pose");
    }
    const auto rect = Tuple(Field(record, {"subframe_rect", "subframeRect"}));
    const bool hasRect = rect && rect->size() == 4 && (*rect)[0] >= 1 && (*rect)[1] >= 1 &&
                         (*rect)[0] < 1e5 && (*rect)[1] < 1e5 && (*rect)[2] >= 1 &&
                         (*rect)[3] >= 1 && (*rect)[2] <= 65536 && (*rect)[3] <= 65536;
    if (hasRect) {
        info.firstSample = static_cast<int>((*rect)[0]);
        info.firstLine = static_cast<int>((*rect)[1]);
    }
    if (const auto scale = Number(Field(record, {"scale_factor", "scaleFactor"}));
        scale && *scale >= 1.0 && *scale <= 64.0) {
        info.downsampling = *scale;
    }
    if (hasRect) {
        // The delivered size when the record gives no dimension.
        info.width = static_cast<int>(std::lround((*rect)[2] / info.downsampling));
        info.height = static_cast<int>(std::lround((*rect)[3] / info.downsampling));
    }
    if (const auto dim = Tuple(Field(record, {"dimension"})); dim && dim->size() == 2) {
        if ((*dim)[0] < 1 || (*dim)[1] < 1 || (*dim)[0] > 65536 || (*dim)[1] > 65536) {
            return Fail(fileName + ": dimension is not a usable image size");
        }
        info.width = static_cast<int>((*dim)[0]);
        info.height = static_cast<int>((*dim)[1]);
    }
    info.instrument = TextOf(Field(record, {"instrument"}));
    const std::string upper = UpperAscii(info.instrument);
    info.eye = upper.find("LEFT") != std::string::npos
                   ? "left"
                   : (upper.find("RIGHT") != std::string::npos ? "right" : "");
    if (const auto sol = Number(Field(record, {"sol"})); sol && *sol >= 0 && *sol < 100000) {
        info.sol = static_cast<int>(*sol);
    }
    info.productId = TextOf(Field(record, {"imageid"}));
    r.ok = true;
    return r;
}

std::optional<std::pair<int, int>> ImageFileSize(std::string_view head) {
    auto u8 = [&](std::size_t i) {
        return static_cast<unsigned>(static_cast<unsigned char>(head[i]));
    };
    if (head.size() >= 24 && head.substr(0, 8) == "\x89PNG\r\n\x1a\n" &&
        head.substr(12, 4) == "IHDR") {
        const unsigned w = u8(16) << 24 | u8(17) << 16 | u8(18) << 8 | u8(19);
        const unsigned h = u8(20) << 24 | u8(21) << 16 | u8(22) << 8 | u8(23);
        if (w == 0 || h == 0 || w > 65536 || h > 65536) {
            return std::nullopt;
        }
        return std::make_pair(static_cast<int>(w), static_cast<int>(h));
    }
    if (head.size() >= 4 && u8(0) == 0xFF && u8(1) == 0xD8) {
        std::size_t i = 2;
        while (i + 9 < head.size()) {
            if (u8(i) != 0xFF) {
                return std::nullopt;
            }
            const unsigned marker = u8(i + 1);
            if (marker == 0xFF) {
                ++i;
                continue;
            }
            const std::size_t length = u8(i + 2) << 8 | u8(i + 3);
            const bool sof = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
                             marker != 0xCC;
            if (sof) {
                const int h = static_cast<int>(u8(i + 5) << 8 | u8(i + 6));
                const int w = static_cast<int>(u8(i + 7) << 8 | u8(i + 8));
                if (w == 0 || h == 0) {
                    return std::nullopt;
                }
                return std::make_pair(w, h);
            }
            if (length < 2) {
                return std::nullopt;
            }
            i += 2 + length;
        }
    }
    return std::nullopt;
}
