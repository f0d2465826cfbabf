// JSON output helpers: doubles are written so that they read back exactly;
// non-finite values become the strings "nan", "inf" and "-inf".
#pragma once

#include "geometry/Point3D.h"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

using Json = nlohmann::ordered_json;

Json JsonNumber(double v);
Json JsonPoint(const CPoint3D& p);
Json JsonStrings(const std::vector<std::string>& v);
// Prints one object and a newline on stdout.
void PrintJson(const Json& j);
