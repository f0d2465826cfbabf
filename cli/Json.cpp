#include "cli/Json.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <string_view>

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

namespace {

// Doubles as the shortest text that reads back exactly (std::to_chars); a
// ".0" keeps whole numbers floating-point for readers that tell the two
// apart. Everything else as nlohmann writes it.
void AppendText(std::string& out, const Json& j) {
    switch (j.type()) {
    case Json::value_t::object: {
        out += '{';
        bool first = true;
        for (const auto& [key, value] : j.items()) {
            if (!first) {
                out += ',';
            }
            first = false;
            out += Json(key).dump(-1, ' ', false, Json::error_handler_t::replace);
            out += ':';
            AppendText(out, value);
        }
        out += '}';
        break;
    }
    case Json::value_t::array: {
        out += '[';
        bool first = true;
        for (const auto& value : j) {
            if (!first) {
                out += ',';
            }
            first = false;
            AppendText(out, value);
        }
        out += ']';
        break;
    }
    case Json::value_t::number_float: {
        char buf[32];
        const auto r = std::to_chars(buf, buf + sizeof buf, j.get<double>());
        const std::string_view text(buf, static_cast<size_t>(r.ptr - buf));
        out += text;
        if (text.find_first_of(".e") == std::string_view::npos) {
            out += ".0";
        }
        break;
    }
    default:
        out += j.dump(-1, ' ', false, Json::error_handler_t::replace);
        break;
    }
}

} // namespace

void AppendJsonNumber(std::string& out, double v) {
    if (!std::isfinite(v)) {
        out += std::isnan(v) ? "\"nan\"" : (v > 0 ? "\"inf\"" : "\"-inf\"");
        return;
    }
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    const std::string_view text(buf, static_cast<size_t>(r.ptr - buf));
    out += text;
    if (text.find_first_of(".e") == std::string_view::npos) {
        out += ".0";
    }
}

void AppendJsonPoint(std::string& out, const CPoint3D& p) {
    out += '[';
    AppendJsonNumber(out, p.m_dX);
    out += ',';
    AppendJsonNumber(out, p.m_dY);
    out += ',';
    AppendJsonNumber(out, p.m_dZ);
    out += ']';
}

std::string JsonText(const Json& j) {
    std::string out;
    AppendText(out, j);
    return out;
}

void PrintJson(const Json& j) {
    const std::string s = JsonText(j);
    std::fwrite(s.data(), 1, s.size(), stdout);
    std::fputc('\n', stdout);
}
