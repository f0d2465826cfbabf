// What every command working on one stereo pair shares with measure: the
// image, camera and database options, the database they load and the JSON
// of one measurement.
#pragma once

#include "analysis/RangeCalc.h"
#include "cli/Args.h"
#include "geometry/Camera.h"

#include <optional>
#include <string>
#include <vector>

class ImageDatabase;

// Everything the dialog takes from its controls apart from the pixels and
// the two files.
struct DialogOptions {
    std::optional<CameraId> leftCamera; // chosen by hand; otherwise from the names
    std::optional<CameraId> rightCamera;
    bool b2D = false;
    bool bRLVector = false;
    std::string strRLVector;
    double dAzCorrLeft = 0.0;
    double dAzCorrRight = 0.0;
};

// --left, --right, --left-camera, --right-camera, --2d, --rl-vector,
// --az-corr, --db, --records, --last-position.
OptionSet MeasurePairOptions();
DialogOptions OptionsOf(const Args& args);
// The numbers of a list option; UsageError naming the shape when malformed.
std::vector<double> ListOrThrow(const Args& args, const char* option, size_t count,
                                const char* shape);
// The camera the dialog selects for an image from its product name (-1 none).
CameraId CameraOfImage(const std::string& path);
RangeCalcInput MakeInput(const DialogOptions& o, const std::string& left, const std::string& right,
                         const std::vector<double>& px, const CPoint3D& lastPos);
// The store (--db, default ImgBinDat) and the --records files in memory.
void LoadDatabase(const Args& args, ImageDatabase& db);
// One measurement's result as a JSON object and a line end.
void AppendResultJson(std::string& out, const RangeCalcInput& in, const RangeCalcResult& r);
