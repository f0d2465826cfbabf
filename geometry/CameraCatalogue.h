// The fourteen catalogue cameras: their ids, names and calibrated CAHVOR
// models, with the angle one pixel spans.
#pragma once

#include "geometry/Point3D.h"

#include <optional>
#include <string_view>

// Position of a camera in the catalogue, 0..13; -1 for none.
using CameraId = int;
inline constexpr int kCameraCount = 14;

// One camera as calibrated: the model in the vehicle frame (+Z down) for the
// head pointing it was calibrated at, the point the head turns about, and
// the degrees one pixel spans.
struct CatalogueEntry {
    const char* name;
    CPoint3D c, a, h, v, o, r;
    CQuat pointing;
    CPoint3D pivot;
    double pixelAngleDeg;
};

// The entry of a camera, or nullptr for an id outside 0..13.
const CatalogueEntry* CatalogueEntryOf(CameraId id);

// Catalogue name of a camera ("OppyNavL" ...), or nullptr for an unknown id.
const char* CameraName(CameraId id);
// Parses a camera given by catalogue name (case-sensitive) or by number 0..13;
// "none" and "-1" give -1. Anything else gives no value.
std::optional<CameraId> ParseCameraId(std::string_view text);

// Degrees per pixel of a camera; 0 for an unknown id.
double PixelAngleForCamera(CameraId id);
