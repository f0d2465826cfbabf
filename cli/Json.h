// JSON output helpers: doubles are written so that they read back exactly;
// non-finite values become the strings "nan", "inf" and "-inf".
#pragma once

#include "geometry/Point3D.h"

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>
#include <vector>

using Json = nlohmann::ordered_json;

Json JsonNumber(double v);
Json JsonPoint(const CPoint3D& p);
Json JsonStrings(const std::vector<std::string>& v);
// The compact text of a value; bytes that are not UTF-8 become U+FFFD, so
// the text is always valid JSON.
std::string JsonText(const Json& j);
// A number as JsonNumber gives it, written straight into out, for output
// produced line by line without building values (strings: AppendJsonString
// of session/MeasurementExport.h).
void AppendJsonNumber(std::string& out, double v);
// A point as a JSON array [x,y,z] of such numbers.
void AppendJsonPoint(std::string& out, const CPoint3D& p);
// Prints one object and a newline on stdout.
void PrintJson(const Json& j);
