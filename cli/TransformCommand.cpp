// transform: re-express one vertex file in the frame of another.
#include "base/Messages.h"
#include "cli/Args.h"
#include "cli/Commands.h"
#include "cli/Json.h"
#include "registration/Registration.h"

#include <cstdio>
#include <filesystem>

namespace {

// The output is named after the source's folder, which a bare file name
// does not have: relative paths are made absolute first.
std::string AbsolutePath(const std::string& path) {
    std::error_code ec;
    const auto abs = std::filesystem::absolute(path, ec);
    return ec ? path : abs.string();
}

} // namespace

int RunTransform(const Tokens& tokens) {
    std::string error;
    const auto args = Args::Parse(tokens, {}, error);
    if (!args) {
        throw UsageError{error};
    }
    const auto& pos = args->Positionals();
    if (pos.size() != 8) {
        throw UsageError{"usage: transform SOURCE REFERENCE S1 S2 S3 R1 R2 R3"};
    }
    std::array<std::uint32_t, 6> idx{};
    for (size_t i = 0; i < 6; ++i) {
        const auto v = ParseIndex(pos[2 + i]);
        if (!v) {
            throw UsageError{"bad vertex index '" + pos[2 + i] + "' (0 to 4294967295)"};
        }
        idx[i] = static_cast<std::uint32_t>(*v);
    }
    CollectingMessageSink messages;
    TransformResult r;
    {
        ScopedMessageSink scope(&messages);
        r = TransformVertexFile(AbsolutePath(pos[0]), AbsolutePath(pos[1]),
                                {idx[0], idx[1], idx[2]}, {idx[3], idx[4], idx[5]});
    }
    for (const auto& m : messages.m_vMessages) {
        std::fprintf(stderr, "%s\n", m.c_str());
    }
    if (r.status != TransformResult::Status::kWritten) {
        return 1;
    }
    if (args->Json()) {
        Json j;
        j["output"] = r.sOutputPath;
        j["vertices"] = r.nVertices;
        j["residual"] = r.residual ? JsonNumber(*r.residual) : Json(nullptr);
        PrintJson(j);
    } else if (r.residual) {
        std::printf("%zu vertices written to %s (residual %.6f)\n", r.nVertices,
                    r.sOutputPath.c_str(), *r.residual);
    } else {
        std::printf("%zu vertices written to %s\n", r.nVertices, r.sOutputPath.c_str());
    }
    return 0;
}
