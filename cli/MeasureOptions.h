// What every command working on one stereo pair shares with measure: the
// image, camera and database options, the database they load and the JSON
// of one measurement.
#pragma once

#include "cli/Args.h"
#include "stereo/CalcInput.h"
#include "stereo/RangeCalc.h"
#include "stereo/StereoRig.h"

#include <initializer_list>
#include <string>
#include <vector>

class ImageDatabase;

// --left, --right, --left-camera, --right-camera, --2d, --rl-vector,
// --az-corr, --db, --records, --last-position.
OptionSet MeasurePairOptions();
// The arguments of a command on one pair: the pair options and extra, no
// positional argument, --left and --right required (UsageError otherwise).
Args ParsePairCommand(const Tokens& tokens, std::initializer_list<const char*> extra);
// The dialog's options from the command line.
CalcOptions OptionsOf(const Args& args);
// The numbers of a list option; UsageError naming the shape when malformed.
std::vector<double> ListOrThrow(const Args& args, const char* option, size_t count,
                                const char* shape);
// The store (--db, default ImgBinDat) and the --records files in memory.
// False when the store exists but cannot be read (said on stderr): the
// command then stops with status 1.
bool LoadDatabase(const Args& args, ImageDatabase& db);
// The pair's cameras from --left, --right and the camera options. A side
// without a camera is a UsageError; any other reason the pair has no cameras
// is said on stderr (Cameras().ok is then false).
StereoRig BuildPairRig(const Args& args, const ImageDatabase& db);
// One measurement's result as a JSON object and a line end.
void AppendResultJson(std::string& out, const RangeCalcInput& in, const RangeCalcResult& r);
