#include "geometry/CahvorProjection.h"

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
