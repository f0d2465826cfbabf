// What must hold for any bytes given to the product readers: no crash, no
// hang, an answer that is either a message or a consistent value. Each check
// returns "" or what went wrong. Shared by the seeded mutation tests and the
// libFuzzer targets.
#pragma once

#include "products/ProductLabel.h"
#include "products/ProductReader.h"

#include <cmath>
#include <string>

namespace fuzzcheck {

inline bool Finite(const CPoint3D& p) {
    return std::isfinite(p.m_dX) && std::isfinite(p.m_dY) && std::isfinite(p.m_dZ);
}

inline std::string CheckProduct(const ProductReadResult& r) {
    if (!r.ok) {
        return r.message.empty() ? "a failure without a message" : "";
    }
    const ProductInfo& p = r.product;
    const ModelParameters& m = p.model;
    if (!Finite(m.c) || !Finite(m.a) || !Finite(m.h) || !Finite(m.v) || !Finite(m.o) ||
        !Finite(m.r) || !Finite(m.e) || !std::isfinite(m.mparm)) {
        return "a model with a non-finite number";
    }
    if (m.mtype < 1 || m.mtype > 3) {
        return "MTYPE outside 1..3";
    }
    if (!IsSupportedModelFrame(p.frame)) {
        return "a model in an unsupported frame";
    }
    if (p.width < 0 || p.height < 0 || p.width > 65536 || p.height > 65536) {
        return "an implausible image size";
    }
    if (p.pixels) {
        const PixelBuffer& px = *p.pixels;
        if (px.samples.size() != static_cast<std::size_t>(px.width) * px.height * px.channels) {
            return "a pixel buffer of the wrong size";
        }
    }
    return "";
}

inline std::string CheckLabelBytes(const std::string& bytes) {
    const LabelParseResult odl = ParseOdlLabel(bytes);
    if (odl.ok && odl.endOffset > bytes.size()) {
        return "an ODL label ending past its text";
    }
    if (!odl.ok && odl.message.empty()) {
        return "an ODL failure without a message";
    }
    if (odl.ok) {
        if (const std::string p = CheckProduct(ModelFromLabel(odl.label, "fuzz.LBL")); !p.empty()) {
            return p;
        }
    }
    const LabelParseResult vicar = ParseVicarLabel(bytes);
    if (!vicar.ok && vicar.message.empty()) {
        return "a VICAR failure without a message";
    }
    if (vicar.ok) {
        return CheckProduct(ModelFromLabel(vicar.label, "fuzz.IMG"));
    }
    return "";
}

inline std::string CheckRawJsonBytes(const std::string& bytes) {
    return CheckProduct(ReadRawJsonText(bytes, "fuzz.json", "NLF_0670_X"));
}

inline std::string CheckPds4Bytes(const std::string& bytes) {
    return CheckProduct(ReadPds4Text(bytes, "fuzz.xml"));
}

} // namespace fuzzcheck
