#include "geometry/ModelParameters.h"

#include "base/Format.h"

#include <cmath>

namespace {

bool Finite(const CPoint3D& p) {
    return std::isfinite(p.m_dX) && std::isfinite(p.m_dY) && std::isfinite(p.m_dZ);
}

ModelValidationResult Fail(std::string message) {
    return {false, std::move(message)};
}

std::string Number(double v) {
    return StrFormat("%g", v);
}

} // namespace

const char* ModelTypeName(ModelType type) {
    switch (type) {
    case ModelType::Cahv:
        return "CAHV";
    case ModelType::Cahvor:
        return "CAHVOR";
    case ModelType::Cahvore:
        return "CAHVORE";
    }
    return "unknown";
}

std::optional<double> LinearityOf(int mtype, double mparm) {
    switch (mtype) {
    case 1:
        return 1.0;
    case 2:
        return 0.0;
    case 3:
        if (std::isfinite(mparm)) {
            return mparm;
        }
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

ModelDerivedValues DeriveValues(const ModelParameters& model) {
    return {Dot(model.a, model.h), Dot(model.a, model.v), Cross(model.a, model.h).Length(),
            Cross(model.a, model.v).Length()};
}

ModelValidationResult ValidateModel(const ModelParameters& model) {
    const bool hasOR = model.type != ModelType::Cahv;
    const bool hasE = model.type == ModelType::Cahvore;
    struct Named {
        const char* name;
        const CPoint3D* value;
        bool used;
    };
    const Named vectors[] = {{"C", &model.c, true}, {"A", &model.a, true},  {"H", &model.h, true},
                             {"V", &model.v, true}, {"O", &model.o, hasOR}, {"R", &model.r, hasOR},
                             {"E", &model.e, hasE}};
    for (const Named& n : vectors) {
        if (n.used && !Finite(*n.value)) {
            return Fail(StrFormat("the %s vector of the %s model is not a finite number", n.name,
                                  ModelTypeName(model.type)));
        }
    }
    // Written so that a NaN fails every comparison.
    const auto inUnitRange = [](double len) { return len >= 0.9 && len <= 1.1; };
    const double lenA = model.a.Length();
    if (!inUnitRange(lenA)) {
        return Fail("the axis A has length " + Number(lenA) + ", not between 0.9 and 1.1");
    }
    const ModelDerivedValues d = DeriveValues(model);
    // Positive beyond the rounding of A x H for an H along A.
    if (!(d.hs > 1e-9 * model.h.Length()) || !std::isfinite(d.hs)) {
        return Fail("the horizontal focal length hs = |A x H| is " + Number(d.hs) +
                    ", not positive");
    }
    if (!(d.vs > 1e-9 * model.v.Length()) || !std::isfinite(d.vs)) {
        return Fail("the vertical focal length vs = |A x V| is " + Number(d.vs) + ", not positive");
    }
    // A.(V x H) = hs vs sin(angle between the image-plane parts of H and V).
    const double volume = Dot(model.a, Cross(model.v, model.h));
    if (!(std::fabs(volume) > 1e-3 * d.hs * d.vs * lenA) || !std::isfinite(volume)) {
        return Fail("H and V are (nearly) parallel on the image plane");
    }
    if (hasOR) {
        const double lenO = model.o.Length();
        if (!inUnitRange(lenO)) {
            return Fail("the optical axis O has length " + Number(lenO) +
                        ", not between 0.9 and 1.1");
        }
        if (!(Dot(model.o, model.a) > 0.0)) {
            return Fail("the optical axis O points more than 90 degrees away from the axis A");
        }
        if (!(1.0 + model.r.m_dX > 0.0)) {
            return Fail("the radial term r0 is " + Number(model.r.m_dX) +
                        ", which folds the image over (1 + r0 must be positive)");
        }
    }
    if (hasE) {
        if (model.mtype < 1 || model.mtype > 3) {
            return Fail(StrFormat("CAHVORE model type MTYPE %d is not 1, 2 or 3", model.mtype));
        }
        if (!LinearityOf(model.mtype, model.mparm)) {
            return Fail("the CAHVORE linearity MPARM is not a finite number");
        }
    }
    return {true, {}};
}
