// db: the image database from the command line, over the same operations
// the desktop application runs (store, lookup, import, web update).
#include "base/Format.h"
#include "base/Messages.h"
#include "base/Paths.h"
#include "cli/Args.h"
#include "cli/Commands.h"
#include "cli/Json.h"
#include "imagedb/ImageDatabase.h"
#include "imagedb/QueryFile.h"
#include "imagedb/StoreTransaction.h"
#include "imagedb/WebUpdate.h"
#include "net/HttpDownloader.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <unistd.h>

namespace {

const char* const kUsage =
    "usage: db SUBCOMMAND [--db PATH] [--force] [--json]\n"
    "  info                 number of records\n"
    "  find NAME            the record of an image (path, file name or title)\n"
    "  import FILE...       merge query export files, then save\n"
    "  init FILE...         rebuild from query export files, then save\n"
    "  update [URL]         web update (built-in address when omitted)\n"
    "  merge FILE           merge a store-format file, then save\n"
    "  reload               load the store file and save it again\n"
    "  dump                 every record as a query export line\n"
    "--force saves over a damaged store after keeping a copy of it";

// Key bytes as Latin-1 characters, in UTF-8 for JSON.
std::string Latin1ToUtf8(const std::string& bytes) {
    std::string out;
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if (b < 0x80) {
            out.push_back(ch);
        } else {
            out.push_back(static_cast<char>(0xC0 | (b >> 6)));
            out.push_back(static_cast<char>(0x80 | (b & 0x3F)));
        }
    }
    return out;
}

std::string Hex(const std::string& bytes) {
    std::string out;
    for (const char ch : bytes) {
        out += StrFormat("%02x", static_cast<unsigned char>(ch));
    }
    return out;
}

Json RecordJson(const ImageRecord& r, bool withHex) {
    Json j;
    j["key"] = Latin1ToUtf8(r.m_sProductId);
    if (withHex) {
        j["key_hex"] = Hex(r.m_sProductId);
    }
    const CQuat& q = r.m_qAttitude;
    j["attitude"] = Json::array({JsonNumber(q.m_dS), JsonNumber(q.m_ptVec.m_dX),
                                 JsonNumber(q.m_ptVec.m_dY), JsonNumber(q.m_ptVec.m_dZ)});
    j["azimuth"] = JsonNumber(r.m_dAzimuth);
    j["elevation"] = JsonNumber(r.m_dElevation);
    return j;
}

// {"entries": N}, or the information text.
int PrintEntries(const ImageDatabase& db, bool json) {
    if (json) {
        Json j;
        j["entries"] = db.Count();
        PrintJson(j);
    } else {
        std::printf("%s\n", DatabaseSizeText(db).c_str());
    }
    return 0;
}

int Find(const ImageDatabase& db, const std::string& name, bool json) {
    const ImageRecord* r = db.FindRecord(PathTitle(name));
    if (json) {
        PrintJson(r != nullptr ? RecordJson(*r, false) : Json(nullptr));
    } else if (r == nullptr) {
        std::printf("not found\n");
    } else {
        const CQuat& q = r->m_qAttitude;
        std::printf("key:       %s\nattitude:  %.17g %.17g %.17g %.17g\nazimuth:   %.17g\n"
                    "elevation: %.17g\n",
                    r->m_sProductId.c_str(), q.m_dS, q.m_ptVec.m_dX, q.m_ptVec.m_dY, q.m_ptVec.m_dZ,
                    r->m_dAzimuth, r->m_dElevation);
    }
    return 0;
}

// Field 1 of a dump line: the key as it stands, or, when reading the key
// back would cut a dotted part off as an extension, the key with ".img"
// appended. None when no query line can carry the key.
std::optional<std::string> DumpName(const std::string& key) {
    if (key.find_first_of(":\n") != std::string::npos) {
        return std::nullopt;
    }
    for (const std::string& name : {key, key + ".img"}) {
        if (MakeProductKey(name) == key) {
            return name;
        }
    }
    return std::nullopt;
}

bool HasNaN(const ImageRecord& r) {
    const CQuat& q = r.m_qAttitude;
    for (const double v :
         {q.m_dS, q.m_ptVec.m_dX, q.m_ptVec.m_dY, q.m_ptVec.m_dZ, r.m_dAzimuth, r.m_dElevation}) {
        if (std::isnan(v)) {
            return true;
        }
    }
    return false;
}

int Dump(const ImageDatabase& db, bool json) {
    if (json) {
        Json records = Json::array();
        for (const ImageRecord& r : db) {
            records.push_back(RecordJson(r, true));
        }
        Json j;
        j["records"] = std::move(records);
        PrintJson(j);
        return 0;
    }
    int status = 0;
    for (const ImageRecord& r : db) {
        const auto name = DumpName(r.m_sProductId);
        if (!name) {
            std::fprintf(stderr, "ranvista-cli db: the key %s cannot be written as a query line\n",
                         Hex(r.m_sProductId).c_str());
            status = 1;
            continue;
        }
        if (HasNaN(r)) {
            std::fprintf(stderr, "ranvista-cli db: %s holds a value that is not a number\n",
                         name->c_str());
            status = 1;
        }
        ImageRecord line = r;
        line.m_sProductId = *name;
        std::printf("%s\n", FormatQueryLine(line).c_str());
    }
    return status;
}

// The download's progress on standard error when that is a terminal: bytes
// so far and, when the server said, of how many.
HttpDownloader::Options CommandLineDownloadOptions() {
    HttpDownloader::Options o;
    if (isatty(fileno(stderr)) != 0) {
        o.onProgress = [](int64_t received, int64_t total) {
            if (total > 0) {
                std::fprintf(stderr, "\rDownloading: %lld of %lld bytes  ",
                             static_cast<long long>(received), static_cast<long long>(total));
            } else {
                std::fprintf(stderr, "\rDownloading: %lld bytes  ",
                             static_cast<long long>(received));
            }
        };
    }
    return o;
}

// 0 when the change was saved, 1 otherwise (the transaction said why).
int Saved(const StoreChangeResult& change) {
    return change.Saved() ? 0 : 1;
}

int Merge(ImageDatabase& db, const std::string& file, const StoreChangeOptions& options,
          bool json) {
    // Only whole store data is merged: anything else (another kind of file,
    // a cut or damaged store) would add invented or partial records.
    StoreFileResult input = ReadStoreFile(file);
    std::ifstream first(file, std::ios::binary);
    const int firstByte = first.get();
    if (input.status == StoreFileResult::Status::kMissing ||
        input.status == StoreFileResult::Status::kUnreadable) {
        ReportMessage(input.sMessage.empty() ? "Unable to open " + file : input.sMessage);
        return 1;
    }
    if (firstByte < 1 || firstByte > 5) {
        ReportMessage(file + " is not an image database file. Nothing was merged.");
        return 1;
    }
    if (input.status == StoreFileResult::Status::kDamaged) {
        ReportMessage(input.sMessage + ". Nothing was merged.");
        return 1;
    }
    const StoreChangeResult change = ChangeStore(
        db, db.StorePath(),
        [&input](ImageDatabase& table) {
            table.MergeRecords(std::move(input.records));
            return true;
        },
        options);
    return Saved(change) != 0 ? 1 : PrintEntries(db, json);
}

int Reload(ImageDatabase& db, const StoreChangeOptions& options, bool json) {
    const StoreChangeResult change = ChangeStore(
        db, db.StorePath(), [](ImageDatabase&) { return true; }, options);
    return Saved(change) != 0 ? 1 : PrintEntries(db, json);
}

int Update(ImageDatabase& db, const std::string& url, const StoreChangeOptions& options,
           bool json) {
    HttpDownloader downloader(CommandLineDownloadOptions());
    const WebUpdateOutcome outcome = WebUpdate(db, downloader, url, options);
    if (isatty(fileno(stderr)) != 0) {
        std::fputc('\n', stderr);
    }
    if (outcome.result != WebUpdateOutcome::Result::Complete || !outcome.bSaved) {
        return 1;
    }
    if (!json) {
        std::printf("Web Update Complete\n");
    }
    return PrintEntries(db, json);
}

int QueryFiles(ImageDatabase& db, const std::vector<std::string>& files, bool initialize,
               const StoreChangeOptions& options, bool json) {
    if (files.empty()) {
        throw UsageError{std::string("usage: db ") + (initialize ? "init" : "import") + " FILE..."};
    }
    const QueryImportOutcome outcome = initialize ? InitializeQueryFiles(db, files, options)
                                                  : ImportQueryFiles(db, files, options);
    if (!outcome.bCompleted) {
        return 2;
    }
    int status = outcome.bSaved ? PrintEntries(db, json) : 1;
    if (!outcome.vUnopened.empty()) {
        std::string names;
        for (const std::string& f : outcome.vUnopened) {
            names += (names.empty() ? "" : ", ") + f;
        }
        std::fprintf(stderr, "ranvista-cli db: not read: %s\n", names.c_str());
        status = 1;
    }
    return status;
}

void NeedArguments(const std::vector<std::string>& pos, size_t count, const char* usage) {
    if (pos.size() != count + 1) {
        throw UsageError{std::string("usage: db ") + usage};
    }
}

} // namespace

int RunDb(const Tokens& tokens) {
    OptionSet optionSet;
    optionSet.values = {"db"};
    optionSet.flags = {"force"};
    std::string error;
    const std::optional<Args> parsed = Args::Parse(tokens, optionSet, error);
    if (!parsed) {
        throw UsageError{error};
    }
    const Args& args = *parsed;
    const std::vector<std::string>& pos = args.Positionals();
    if (pos.empty()) {
        throw UsageError{kUsage};
    }
    const std::string& sub = pos[0];
    const bool json = args.Json();
    const std::vector<std::string> rest(pos.begin() + 1, pos.end());
    static const char* const kKnown[] = {"info",   "find",  "import", "init",
                                         "update", "merge", "reload", "dump"};
    if (std::find(std::begin(kKnown), std::end(kKnown), sub) == std::end(kKnown)) {
        throw UsageError{"unknown subcommand '" + sub + "'\n" + kUsage};
    }
    if (sub == "info" || sub == "reload" || sub == "dump") {
        NeedArguments(pos, 0, sub.c_str());
    } else if (sub == "find") {
        NeedArguments(pos, 1, "find NAME");
    } else if (sub == "merge") {
        NeedArguments(pos, 1, "merge FILE");
    } else if (sub == "update" && rest.size() > 1) {
        throw UsageError{"usage: db update [URL]"};
    }

    // The store as the desktop application finds it at start-up: a missing
    // store is said and taken as empty. One that exists but cannot be read
    // stops every subcommand here (status 1), so that nothing is saved over
    // it. A damaged one is said; reading subcommands go on with the records
    // read, changing ones refuse to save over it unless --force is given.
    ImageDatabase db;
    const std::string storePath = args.Value("db").value_or("ImgBinDat");
    const bool changing = sub != "info" && sub != "find" && sub != "dump" && !sub.empty();
    if (LoadStoreFile(db, storePath, changing) == StoreFileResult::Status::kUnreadable) {
        return 1;
    }
    StoreChangeOptions options;
    options.bSaveOverDamaged = args.Has("force");

    if (sub == "info") {
        return PrintEntries(db, json);
    }
    if (sub == "find") {
        return Find(db, rest[0], json);
    }
    if (sub == "import" || sub == "init") {
        return QueryFiles(db, rest, sub == "init", options, json);
    }
    if (sub == "update") {
        return Update(db, rest.empty() ? DefaultUpdateUrl() : rest[0], options, json);
    }
    if (sub == "merge") {
        return Merge(db, rest[0], options, json);
    }
    if (sub == "reload") {
        return Reload(db, options, json);
    }
    return Dump(db, json);
}
