// PDS4 XML labels of Mars 2020 products: the camera model in
// geom:Camera_Model_Parameters and the rover pose in the ROVER_NAV_FRAME
// coordinate-space definition.
#include "products/ProductReader.h"

#include "products/ProductReadCommon.h"

#include <pugixml.hpp>

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

using product_read::Fail;
using product_read::SameMotionCounter;

// Element name without its namespace prefix.
const char* LocalName(const pugi::xml_node& n) {
    const char* name = n.name();
    const char* colon = std::strrchr(name, ':');
    return colon ? colon + 1 : name;
}

pugi::xml_node Child(const pugi::xml_node& parent, const char* local) {
    for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling()) {
        if (c.type() == pugi::node_element && std::strcmp(LocalName(c), local) == 0) {
            return c;
        }
    }
    return {};
}

// The first element of that local name anywhere below root (iterative: no
// recursion depth to exhaust on hostile input).
pugi::xml_node Descendant(const pugi::xml_node& root, const char* local) {
    pugi::xml_node n = root.first_child();
    while (n) {
        if (n.type() == pugi::node_element && std::strcmp(LocalName(n), local) == 0) {
            return n;
        }
        if (n.first_child()) {
            n = n.first_child();
            continue;
        }
        while (n && !n.next_sibling() && n != root) {
            n = n.parent();
        }
        if (!n || n == root) {
            break;
        }
        n = n.next_sibling();
    }
    return {};
}

std::vector<pugi::xml_node> Descendants(const pugi::xml_node& root, const char* local) {
    std::vector<pugi::xml_node> out;
    pugi::xml_node n = root.first_child();
    while (n) {
        if (n.type() == pugi::node_element && std::strcmp(LocalName(n), local) == 0) {
            out.push_back(n);
        }
        if (n.first_child()) {
            n = n.first_child();
            continue;
        }
        while (n && !n.next_sibling() && n != root) {
            n = n.parent();
        }
        if (!n || n == root) {
            break;
        }
        n = n.next_sibling();
    }
    return out;
}

std::optional<double> NumberOf(const pugi::xml_node& n) {
    if (!n) {
        return std::nullopt;
    }
    const char* text = n.child_value();
    while (*text == ' ' || *text == '\n' || *text == '\t' || *text == '\r') {
        ++text;
    }
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (end == text || !std::isfinite(v)) {
        return std::nullopt;
    }
    while (*end == ' ' || *end == '\n' || *end == '\t' || *end == '\r') {
        ++end;
    }
    if (*end != '\0') {
        return std::nullopt;
    }
    return v;
}

std::optional<CPoint3D> Vector(const pugi::xml_node& parent, const char* local,
                               std::initializer_list<const char*> names) {
    const pugi::xml_node v = Child(parent, local);
    if (!v) {
        return std::nullopt;
    }
    double xyz[3] = {};
    int i = 0;
    for (const char* n : names) {
        const auto d = NumberOf(Child(v, n));
        if (!d) {
            return std::nullopt;
        }
        xyz[i++] = *d;
    }
    return CPoint3D(xyz[0], xyz[1], xyz[2]);
}

std::optional<CPoint3D> Terms(const pugi::xml_node& parent, const char* local) {
    return Vector(parent, local, {"c0", "c1", "c2"});
}

// Frame type and index values of a geom:Coordinate_Space_Indexed.
void IndexedFrame(const pugi::xml_node& indexed, std::string& frame,
                  std::vector<long long>& index) {
    frame = UpperAscii(Child(indexed, "coordinate_space_frame_type").child_value());
    index.clear();
    for (pugi::xml_node c = indexed.first_child(); c; c = c.next_sibling()) {
        if (std::strcmp(LocalName(c), "Coordinate_Space_Index") == 0) {
            if (const auto v = NumberOf(Child(c, "index_value_number"));
                v && std::fabs(*v) <= 1e12 && *v == std::trunc(*v)) {
                index.push_back(static_cast<long long>(*v));
            } else {
                index.push_back(-1); // keeps the positions of the counters that follow
            }
        }
    }
}

// Whether the document holds more than limit nodes (walked without recursion).
bool MoreNodesThan(const pugi::xml_node& root, std::size_t limit) {
    std::size_t count = 0;
    pugi::xml_node n = root.first_child();
    while (n) {
        if (++count > limit) {
            return true;
        }
        if (n.first_child()) {
            n = n.first_child();
            continue;
        }
        while (n && !n.next_sibling() && n != root) {
            n = n.parent();
        }
        if (!n || n == root) {
            break;
        }
        n = n.next_sibling();
    }
    return false;
}

// A Mars 2020 label has a few hundred elements; the searches below walk the
// tree once per frame definition, so an endless label is refused first.
constexpr std::size_t kMaxPds4Nodes = 20000;

} // namespace

ProductReadResult ReadPds4Text(std::string_view text, const std::string& fileName) {
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load_buffer(text.data(), text.size());
    if (!parsed) {
        return Fail(fileName + ": not valid XML (" + parsed.description() + " at byte " +
                    std::to_string(parsed.offset) + ")");
    }
    if (MoreNodesThan(doc, kMaxPds4Nodes)) {
        return Fail(fileName + ": more than " + std::to_string(kMaxPds4Nodes) +
                    " XML nodes, more than any product label holds");
    }
    const pugi::xml_node params = Descendant(doc, "Camera_Model_Parameters");
    if (!params) {
        return Fail(fileName + ": no camera model (no geom:Camera_Model_Parameters)");
    }
    ProductReadResult r;
    ProductInfo& info = r.product;
    info.source = "pds4";
    info.path = fileName;
    ModelParameters& m = info.model;
    pugi::xml_node model;
    std::string typeName;
    if ((model = Child(params, "CAHVORE_Model"))) {
        m.type = ModelType::Cahvore;
        typeName = "CAHVORE";
    } else if ((model = Child(params, "CAHVOR_Model"))) {
        m.type = ModelType::Cahvor;
        typeName = "CAHVOR";
    } else if ((model = Child(params, "CAHV_Model"))) {
        m.type = ModelType::Cahv;
        typeName = "CAHV";
    } else {
        const std::string declared = Child(params, "model_type").child_value();
        return Fail(fileName + ": unknown camera model type '" + declared +
                    "' (CAHV, CAHVOR and CAHVORE are supported)");
    }
    const auto c = Vector(model, "Vector_Center", {"x_position", "y_position", "z_position"});
    const auto a = Vector(model, "Vector_Axis", {"x_unit", "y_unit", "z_unit"});
    const auto h = Vector(model, "Vector_Horizontal", {"x_pixel", "y_pixel", "z_pixel"});
    const auto v = Vector(model, "Vector_Vertical", {"x_pixel", "y_pixel", "z_pixel"});
    if (!c || !a || !h || !v) {
        return Fail(fileName + ": the " + typeName + " model lacks a C, A, H or V vector");
    }
    m.c = *c;
    m.a = *a;
    m.h = *h;
    m.v = *v;
    if (m.type != ModelType::Cahv) {
        const auto o = Vector(model, "Vector_Optical", {"x_unit", "y_unit", "z_unit"});
        const auto rr = Terms(model, "Radial_Terms");
        if (!o || !rr) {
            return Fail(fileName + ": the " + typeName + " model lacks its O or R terms");
        }
        m.o = *o;
        m.r = *rr;
    }
    if (m.type == ModelType::Cahvore) {
        const auto e = Terms(model, "Entrance_Terms");
        const auto mtype = NumberOf(Child(model, "cahvore_model_type"));
        const auto mparm = NumberOf(Child(model, "cahvore_model_parameter"));
        if (!e || !mtype || (*mtype != 1.0 && *mtype != 2.0 && *mtype != 3.0) || !mparm) {
            return Fail(fileName + ": the CAHVORE model lacks usable E terms, type or parameter");
        }
        m.e = *e;
        m.mtype = static_cast<int>(*mtype);
        m.mparm = *mparm;
    }
    const pugi::xml_node reference = Descendant(params, "Coordinate_Space_Indexed");
    if (!reference) {
        return Fail(fileName + ": the camera model names no reference frame");
    }
    IndexedFrame(reference, info.frame, info.frameIndex);
    if (!IsSupportedModelFrame(info.frame)) {
        return Fail(fileName + ": the camera model is given in " +
                    (info.frame.empty() ? std::string("an unnamed frame") : info.frame) +
                    "; only ROVER_FRAME, ROVER_NAV_FRAME and LANDER_FRAME are supported");
    }
    // The pose: the definition of the model's frame with the same indices,
    // referring to a SITE_FRAME_n.
    for (const pugi::xml_node& def : Descendants(doc, "Coordinate_Space_Definition")) {
        const pugi::xml_node present =
            Descendant(Child(def, "Coordinate_Space_Present"), "Coordinate_Space_Indexed");
        if (!present) {
            continue;
        }
        std::string frame;
        std::vector<long long> index;
        IndexedFrame(present, frame, index);
        if (frame != info.frame) {
            continue;
        }
        if (!SameMotionCounter(index, info.frameIndex)) {
            continue;
        }
        const auto offset =
            Vector(def, "Vector_Origin_Offset", {"x_position", "y_position", "z_position"});
        const pugi::xml_node qn = Child(def, "Quaternion_Plus_Direction");
        const auto qc = NumberOf(Child(qn, "qcos"));
        const auto q1 = NumberOf(Child(qn, "qsin1"));
        const auto q2 = NumberOf(Child(qn, "qsin2"));
        const auto q3 = NumberOf(Child(qn, "qsin3"));
        const std::string ref = UpperAscii(
            Descendant(Child(def, "Coordinate_Space_Reference"), "local_identifier_reference")
                .child_value());
        if (!offset || !qc || !q1 || !q2 || !q3) {
            info.notes.push_back("the rover frame definition is incomplete: no pose");
            break;
        }
        if (ref.rfind("SITE_FRAME_", 0) != 0) {
            info.notes.push_back("the rover frame is not defined in a site frame: no pose");
            break;
        }
        const double norm = std::sqrt(*qc * *qc + *q1 * *q1 + *q2 * *q2 + *q3 * *q3);
        char* siteEnd = nullptr;
        const long long site = std::strtoll(ref.c_str() + 11, &siteEnd, 10);
        if (siteEnd == ref.c_str() + 11 || *siteEnd != '\0' || site < 0 || site > 1000000000) {
            info.notes.push_back("the rover frame's site " + ref +
                                 " is not a site number: no pose");
            break;
        }
        if (std::fabs(norm - 1.0) > 1e-3) {
            info.notes.push_back("the rover quaternion is not a unit quaternion: no pose");
            break;
        }
        SitePose pose;
        pose.roverToSite.rotation = CQuat(*qc, {*q1, *q2, *q3});
        pose.roverToSite.offset = *offset;
        pose.site = static_cast<int>(site);
        info.pose = pose;
        break;
    }
    if (!info.pose && info.notes.empty()) {
        info.notes.push_back("no rover frame definition in the label: no pose");
    }
    // Identification and the data file.
    info.productId = Descendant(doc, "logical_identifier").child_value();
    if (const auto colon = info.productId.rfind(':'); colon != std::string::npos) {
        info.productId = info.productId.substr(colon + 1);
    }
    const pugi::xml_node fileNode =
        Descendant(Descendant(doc, "File_Area_Observational"), "file_name");
    info.dataFile = fileNode.child_value();
    for (const pugi::xml_node& axis : Descendants(doc, "Axis_Array")) {
        const std::string name = UpperAscii(Child(axis, "axis_name").child_value());
        const auto elements = NumberOf(Child(axis, "elements"));
        if (!elements || *elements < 1 || *elements > 65536) {
            continue;
        }
        if (name == "LINE" && info.height == 0) {
            info.height = static_cast<int>(*elements);
        } else if (name == "SAMPLE" && info.width == 0) {
            info.width = static_cast<int>(*elements);
        }
    }
    const std::string instrument =
        UpperAscii(Descendant(Descendant(doc, "Observing_System"), "name").child_value());
    info.instrument = Descendant(doc, "instrument_id").child_value();
    const std::string upper = UpperAscii(info.instrument + " " + instrument);
    info.eye = upper.find("LEFT") != std::string::npos
                   ? "left"
                   : (upper.find("RIGHT") != std::string::npos ? "right" : "");
    if (const auto sol = NumberOf(Descendant(doc, "start_sol_number"))) {
        if (*sol >= 0 && *sol < 100000) {
            info.sol = static_cast<int>(*sol);
        }
    }
    r.ok = true;
    return r;
}
