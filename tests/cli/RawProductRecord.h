// A raw-image JSON record carrying a catalogue camera as a product would:
// its model moved about the pivot by the head pointing, in the vehicle frame.
#pragma once

#include "geometry/CahvorProjection.h"
#include "geometry/Frames.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace product_test {

inline std::string Tuple(const CPoint3D& p) {
    char text[160];
    std::snprintf(text, sizeof text, "(%.17g,%.17g,%.17g)", p.m_dX, p.m_dY, p.m_dZ);
    return text;
}

// A raw-feed record of a catalogue camera posed as a database record poses it.
inline std::string Record(CameraId id, const CameraPose& pose, const std::string& imageId) {
    CameraModel cat(id);
    cat.m_pose = pose;
    const CQuat head = HeadRotation(cat, true);
    const double n = std::sqrt(head.m_dS * head.m_dS + Dot(head.m_ptVec, head.m_ptVec));
    const ModelParameters m = *MoveModel(CatalogueModelParameters(cat), {CQuat(), cat.m_ptPivot},
                                         {head / n, cat.m_ptPivot});
    const CQuat& q = pose.vehicleAttitude;
    char attitude[160];
    std::snprintf(attitude, sizeof attitude, "(%.17g,%.17g,%.17g,%.17g)", q.m_dS, q.m_ptVec.m_dX,
                  q.m_ptVec.m_dY, q.m_ptVec.m_dZ);
    return std::string("{\"imageid\": \"") + imageId +
           "\", \"sol\": 137, \"instrument\": \"NAVCAM_LEFT\", \"camera_model_type\": \"CAHVOR\", "
           "\"camera_model_component_list\": \"" +
           Tuple(m.c) + ";" + Tuple(m.a) + ";" + Tuple(m.h) + ";" + Tuple(m.v) + ";" + Tuple(m.o) +
           ";" + Tuple(m.r) + "\", \"attitude\": \"" + attitude +
           "\", \"xyz\": \"(1.5,-2.0,0.25)\", \"site\": 4, \"drive\": 120, "
           "\"extended\": {\"dimension\": \"(1024,1024)\", \"subframeRect\": \"(1,1,1024,1024)\", "
           "\"scaleFactor\": \"1\"}}";
}

} // namespace product_test
