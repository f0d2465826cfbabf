#include "cli/Json.h"

#include <cmath>
#include <cstdio>

Json JsonNumber(double v) {
    if (std::isnan(v)) {
        return "nan";
    }
    if (std::isinf(v)) {
        return v > 0 ? "inf" : "-inf";
    }
    return v;
}

Json JsonPoint(const CPoint3D& p) {
    return Json::array({JsonNumber(p.m_dX), JsonNumber(p.m_dY), JsonNumber(p.m_dZ)});
}

Json JsonStrings(const std::vector<std::string>& v) {
    Json a = Json::array();
    for (const auto& s : v) {
        a.push_back(s);
    }
    return a;
}

void PrintJson(const Json& j) {
    const std::string s = j.dump(-1, ' ', false, Json::error_handler_t::replace);
    std::fwrite(s.data(), 1, s.size(), stdout);
    std::fputc('\n', stdout);
}
