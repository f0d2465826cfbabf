#include "geometry/CahvorProjection.h"

bool ProjectModelVector(const CameraModel& model, const CPoint3D& p, ImagePoint& pixel) {
    const std::optional<ImagePoint> got =
        ProjectCahvorVector(model.m_ptA, model.m_ptH, model.m_ptV, model.m_ptO, model.m_ptR, p);
    if (!got) {
        return false;
    }
    pixel = *got;
    return true;
}

ModelParameters CatalogueModelParameters(const CameraModel& model) {
    ModelParameters p;
    p.type = ModelType::Cahvor;
    p.c = model.m_ptC;
    p.a = model.m_ptA;
    p.h = model.m_ptH;
    p.v = model.m_ptV;
    p.o = model.m_ptO;
    p.r = model.m_ptR;
    return p;
}
