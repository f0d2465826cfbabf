// Products carrying catalogue cameras, for tests that measure them: a PNG
// header of a given size, a raw-image JSON record and an attached-label PDS3
// product whose model is a catalogue camera posed as a database record would
// pose it.
#pragma once

#include "geometry/CahvorProjection.h"
#include "geometry/CameraModel.h"
#include "geometry/Frames.h"
#include "tests/products/ProductFixtures.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <utility>

namespace product_test {

// The header of a PNG image of the given size: all a raw image's size check reads.
inline std::string PngHeader(int width, int height) {
    std::string png = "\x89PNG\r\n\x1a\n";
    png += std::string("\0\0\0\x0dIHDR", 8);
    for (const int v : {width, height}) {
        png += static_cast<char>((v >> 24) & 0xFF);
        png += static_cast<char>((v >> 16) & 0xFF);
        png += static_cast<char>((v >> 8) & 0xFF);
        png += static_cast<char>(v & 0xFF);
    }
    png += std::string("\x10\x00\x00\x00\x00\x00\x00\x00\x00", 9);
    return png;
}

inline std::string TupleText(const CPoint3D& p) {
    char text[160];
    std::snprintf(text, sizeof text, "(%.17g,%.17g,%.17g)", p.m_dX, p.m_dY, p.m_dZ);
    return text;
}

// The model of a catalogue camera turned as a database record's head
// pointing turns it, in the vehicle frame.
inline ModelParameters PosedCatalogueModel(CameraId id, const CameraPose& pose) {
    CameraModel cat(id);
    cat.m_pose = pose;
    const CQuat head = HeadRotation(cat, true);
    const double n = std::sqrt(head.m_dS * head.m_dS + Dot(head.m_ptVec, head.m_ptVec));
    return *MoveModel(CatalogueModelParameters(cat), {CQuat(), cat.m_ptPivot},
                      {head / n, cat.m_ptPivot});
}

inline std::string QuaternionText(const CQuat& q) {
    char text[160];
    std::snprintf(text, sizeof text, "(%.17g,%.17g,%.17g,%.17g)", q.m_dS, q.m_ptVec.m_dX,
                  q.m_ptVec.m_dY, q.m_ptVec.m_dZ);
    return text;
}

// An attached-label PDS3 product of 8-bit pixels (pixel(x, y) gives each)
// carrying a catalogue camera's model at site 4, motion counter (4,120), the
// rover at (1.5, -2.0, 0.25) in the site frame turned by the pose's attitude.
template <class PixelFn>
std::string CataloguePds3(CameraId id, const CameraPose& pose, int width, int height,
                          PixelFn pixel) {
    const ModelParameters m = PosedCatalogueModel(id, pose);
    const std::size_t record = static_cast<std::size_t>(width);
    std::string label;
    for (int labelRecords = 1;; ++labelRecords) {
        label = "PDS_VERSION_ID = PDS3\r\nRECORD_TYPE = FIXED_LENGTH\r\nRECORD_BYTES = " +
                std::to_string(record) + "\r\nLABEL_RECORDS = " + std::to_string(labelRecords) +
                "\r\n^IMAGE = " + std::to_string(labelRecords + 1) +
                "\r\nINSTRUMENT_ID = \"NAVCAM_LEFT\"\r\n"
                "GROUP = ROVER_COORDINATE_SYSTEM\r\n"
                "  COORDINATE_SYSTEM_INDEX = (4,120)\r\n"
                "  COORDINATE_SYSTEM_NAME = ROVER_FRAME\r\n"
                "  ORIGIN_OFFSET_VECTOR = (1.5,-2.0,0.25)\r\n"
                "  ORIGIN_ROTATION_QUATERNION = " +
                QuaternionText(pose.vehicleAttitude) +
                "\r\n"
                "  REFERENCE_COORD_SYSTEM_INDEX = 4\r\n"
                "  REFERENCE_COORD_SYSTEM_NAME = SITE_FRAME\r\n"
                "END_GROUP = ROVER_COORDINATE_SYSTEM\r\n"
                "GROUP = GEOMETRIC_CAMERA_MODEL\r\n"
                "  MODEL_TYPE = CAHVOR\r\n"
                "  MODEL_COMPONENT_1 = " +
                TupleText(m.c) + "\r\n  MODEL_COMPONENT_2 = " + TupleText(m.a) +
                "\r\n  MODEL_COMPONENT_3 = " + TupleText(m.h) +
                "\r\n  MODEL_COMPONENT_4 = " + TupleText(m.v) +
                "\r\n  MODEL_COMPONENT_5 = " + TupleText(m.o) +
                "\r\n  MODEL_COMPONENT_6 = " + TupleText(m.r) +
                "\r\n  REFERENCE_COORD_SYSTEM_INDEX = (4,120)\r\n"
                "  REFERENCE_COORD_SYSTEM_NAME = ROVER_FRAME\r\n"
                "END_GROUP = GEOMETRIC_CAMERA_MODEL\r\n"
                "OBJECT = IMAGE\r\n  LINES = " +
                std::to_string(height) + "\r\n  LINE_SAMPLES = " + std::to_string(width) +
                "\r\n  SAMPLE_TYPE = UNSIGNED_INTEGER\r\n  SAMPLE_BITS = 8\r\n  BANDS = 1\r\n"
                "END_OBJECT = IMAGE\r\nEND\r\n";
        if (label.size() <= record * static_cast<std::size_t>(labelRecords)) {
            label.resize(record * static_cast<std::size_t>(labelRecords), ' ');
            break;
        }
    }
    std::string pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), '\0');
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            pixels[static_cast<std::size_t>(y) * record + static_cast<std::size_t>(x)] =
                static_cast<char>(pixel(x, y));
        }
    }
    return label + pixels;
}

// A raw-feed record of a catalogue camera posed as a database record poses
// it, for an image of width x height (the catalogue's 1024 x 1024 unless
// told otherwise).
inline std::string CatalogueRecord(CameraId id, const CameraPose& pose, const std::string& imageId,
                                   int width = 1024, int height = 1024) {
    const ModelParameters m = PosedCatalogueModel(id, pose);
    const std::string attitude = QuaternionText(pose.vehicleAttitude);
    const std::string size = std::to_string(width) + "," + std::to_string(height);
    return std::string("{\"imageid\": \"") + imageId +
           "\", \"sol\": 137, \"instrument\": \"NAVCAM_LEFT\", \"camera_model_type\": \"CAHVOR\", "
           "\"camera_model_component_list\": \"" +
           TupleText(m.c) + ";" + TupleText(m.a) + ";" + TupleText(m.h) + ";" + TupleText(m.v) +
           ";" + TupleText(m.o) + ";" + TupleText(m.r) + "\", \"attitude\": \"" + attitude +
           "\", \"xyz\": \"(1.5,-2.0,0.25)\", \"site\": 4, \"drive\": 120, "
           "\"extended\": {\"dimension\": \"(" +
           size + ")\", \"subframeRect\": \"(1,1," + size + ")\", \"scaleFactor\": \"1\"}}";
}

// A Mars 2020 raw pair in folder, named for no catalogue camera: 1024 x 1024
// PNG headers beside records of the catalogue's Navcam pair posed by pose.
// The left and right image paths.
inline std::pair<std::string, std::string> WriteRecordPair(const std::string& folder,
                                                           const CameraPose& pose) {
    const std::string left = folder + "/NLF_0670_0726421423_362ECM_N0320604NCAM08111_01_095J01.png";
    const std::string right =
        folder + "/NRF_0670_0726421423_362ECM_N0320604NCAM08111_01_095J01.png";
    for (const auto& [path, id] : {std::pair{left, 0}, std::pair{right, 1}}) {
        WriteFile(path, PngHeader(1024, 1024));
        WriteFile(path.substr(0, path.size() - 4) + ".json", CatalogueRecord(id, pose, "x"));
    }
    return {left, right};
}

} // namespace product_test
