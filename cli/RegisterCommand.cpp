// register: least-squares registration of one vertex file onto another over
// given vertex pairs, or over pairs found automatically.
#include "base/Messages.h"
#include "cli/Args.h"
#include "cli/Commands.h"
#include "cli/Json.h"
#include "registration/VertexRegistration.h"

#include <cmath>
#include <cstdio>
#include <filesystem>

namespace {

constexpr const char* kUsage = "usage: register SOURCE REFERENCE [--pairs S:R,S:R,...] [--auto] "
                               "[--tolerance M] [--drop-outliers]";

std::string AbsolutePath(const std::string& path) {
    std::error_code ec;
    const auto abs = std::filesystem::absolute(path, ec);
    return ec ? path : abs.string();
}

std::optional<std::uint32_t> ParseVertexIndex(std::string_view text) {
    const auto v = ParseIndex(text);
    if (!v || *v > 0xFFFFFFFFul) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(*v);
}

// "S:R,S:R,...": at least one pair.
std::vector<IndexPair> ParsePairs(const std::string& text) {
    std::vector<IndexPair> pairs;
    size_t from = 0;
    while (true) {
        const size_t comma = text.find(',', from);
        const std::string item =
            text.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
        const size_t colon = item.find(':');
        const auto s = colon == std::string::npos
                           ? std::nullopt
                           : ParseVertexIndex(std::string_view(item).substr(0, colon));
        const auto r = colon == std::string::npos
                           ? std::nullopt
                           : ParseVertexIndex(std::string_view(item).substr(colon + 1));
        if (!s || !r) {
            throw UsageError{"bad vertex pair '" + item +
                             "' (SOURCE:REFERENCE, 0-based indices 0 to 4294967295)"};
        }
        pairs.push_back({*s, *r});
        if (comma == std::string::npos) {
            return pairs;
        }
        from = comma + 1;
    }
}

Json PairList(const std::vector<IndexPair>& pairs) {
    Json list = Json::array();
    for (const IndexPair& p : pairs) {
        list.push_back(Json::array({p.source, p.reference}));
    }
    return list;
}

void PrintText(const RegisterFilesResult& r) {
    std::printf("%zu vertex pairs%s, RMS residual %.6f m\n", r.pairs.size(),
                r.automatic ? " found" : "", r.fit.rmsM);
    for (size_t k = 0; k < r.pairs.size(); ++k) {
        std::printf("  %u:%u  %.6f\n", r.pairs[k].source, r.pairs[k].reference,
                    r.fit.residualsM[k]);
    }
    for (const IndexPair& p : r.outliers) {
        std::printf("outlier %u:%u%s\n", p.source, p.reference,
                    r.outliersDropped ? " (dropped)" : "");
    }
    if (!r.fit.warning.empty()) {
        std::printf("warning: %s\n", r.fit.warning.c_str());
    }
    std::printf("%zu vertices written to %s\n", r.nVertices, r.outputPath.c_str());
}

} // namespace

int RunRegister(const Tokens& tokens) {
    std::string error;
    OptionSet options;
    options.flags = {"auto", "drop-outliers"};
    options.values = {"pairs", "tolerance"};
    const auto args = Args::Parse(tokens, options, error);
    if (!args) {
        throw UsageError{error};
    }
    const auto& pos = args->Positionals();
    if (pos.size() != 2) {
        throw UsageError{kUsage};
    }
    RegisterFilesOptions request;
    if (const auto pairs = args->Value("pairs")) {
        if (args->Has("auto")) {
            throw UsageError{"--pairs and --auto exclude each other"};
        }
        request.pairs = ParsePairs(*pairs);
    }
    if (const auto tolerance = args->Value("tolerance")) {
        const auto t = ParseNumber(*tolerance);
        if (!t || !std::isfinite(*t) || *t <= 0.0) {
            throw UsageError{"bad tolerance '" + *tolerance + "' (a positive number of metres)"};
        }
        if (!request.pairs.empty()) {
            throw UsageError{"--tolerance applies to --auto only"};
        }
        request.toleranceM = *t;
    }
    request.dropOutliers = args->Has("drop-outliers");

    CollectingMessageSink messages;
    RegisterFilesResult r;
    {
        ScopedMessageSink scope(&messages);
        r = RegisterVertexFiles(AbsolutePath(pos[0]), AbsolutePath(pos[1]), request);
    }
    for (const auto& m : messages.m_vMessages) {
        std::fprintf(stderr, "%s\n", m.c_str());
    }
    const bool ok = r.status == RegisterFilesResult::Status::kWritten;
    if (args->Json()) {
        Json j;
        j["ok"] = ok;
        j["pairs"] = ok ? PairList(r.pairs) : Json::array();
        Json residuals = Json::array();
        if (ok) {
            for (const double d : r.fit.residualsM) {
                residuals.push_back(JsonNumber(d));
            }
        }
        j["residuals"] = residuals;
        j["rms"] = ok ? JsonNumber(r.fit.rmsM) : Json(nullptr);
        const CQuat& q = r.fit.motion.rotation;
        j["rotation"] = ok ? Json::array({JsonNumber(q.m_dS), JsonNumber(q.m_ptVec.m_dX),
                                          JsonNumber(q.m_ptVec.m_dY), JsonNumber(q.m_ptVec.m_dZ)})
                           : Json(nullptr);
        j["translation"] = ok ? JsonPoint(r.fit.motion.translationM) : Json(nullptr);
        j["output"] = ok ? Json(r.outputPath) : Json(nullptr);
        j["vertices"] = r.nVertices;
        j["automatic"] = r.automatic;
        j["tolerance"] = r.toleranceM ? JsonNumber(*r.toleranceM) : Json(nullptr);
        j["inliers"] = ok && r.automatic ? Json(r.pairs.size()) : Json(nullptr);
        j["outliers"] = PairList(r.outliers);
        j["outliers_dropped"] = r.outliersDropped;
        j["warning"] = ok && !r.fit.warning.empty() ? Json(r.fit.warning) : Json(nullptr);
        j["message"] = ok ? Json(nullptr) : Json(r.message);
        PrintJson(j);
    } else if (ok) {
        PrintText(r);
    }
    return ok ? 0 : 1;
}
