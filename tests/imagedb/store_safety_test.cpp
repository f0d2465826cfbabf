// A damaged store is never saved over without a copy of it, and concurrent
// writers never lose each other's changes.
#include "tests/support/TestFiles.h"

#include "base/Format.h"
#include "base/Messages.h"
#include "imagedb/QueryFile.h"
#include "imagedb/StoreTransaction.h"
#include "imagedb/WebUpdate.h"

#include <gtest/gtest.h>

#include <functional>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int kRecords = 50;
constexpr size_t kHeaderBytes = 5;
constexpr size_t kRecordBytes = 79;

std::string CleanStore() {
    std::string bytes = store::Count(kRecords);
    for (int i = 0; i < kRecords; ++i) {
        bytes += store::Record(MakeRecord(StrFormat("k%d", 100 + i), i, -i));
    }
    return bytes + store::Tag(0);
}

// The ways one unlucky byte or a cut damages a store.
struct Damage {
    const char* what;
    std::string bytes;
    size_t recordsRead;
    int declared = kRecords;
};

std::vector<Damage> Damages() {
    const std::string clean = CleanStore();
    const size_t middle = kHeaderBytes + 25 * kRecordBytes; // the key tag of record 25
    std::vector<Damage> out;
    for (const int tag : {7, 0}) {
        std::string b = clean;
        b[middle] = static_cast<char>(tag);
        out.push_back({tag == 0 ? "an end tag in the middle" : "an unknown tag", b, 25});
    }
    out.push_back({"cut inside a record", clean.substr(0, middle + 40), 26});
    out.push_back({"cut before the end tag", clean.substr(0, clean.size() - 1), kRecords});
    out.push_back({"a count that disagrees",
                   store::Count(kRecords + 1) + clean.substr(kHeaderBytes), kRecords,
                   kRecords + 1});
    return out;
}

class ScriptedDownloader : public IDownloader {
public:
    explicit ScriptedDownloader(std::string body) : m_sBody(std::move(body)) {}
    DownloadResult Download(const std::string&) override {
        DownloadResult r;
        r.status = DownloadResult::Status::Complete;
        r.httpStatus = 200;
        r.body = m_sBody;
        return r;
    }
    std::string m_sBody;
};

std::vector<std::string> Backups(const TempDir& dir) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir.Path())) {
        if (e.path().filename().string().rfind("ImgBinDat.damaged-", 0) == 0) {
            out.push_back(e.path().string());
        }
    }
    return out;
}

} // namespace

TEST(StoreIntegrity, DamagedStoresAreReportedWithTheirNumbersAndWholeOnesAreNot) {
    TempDir dir;
    const std::string path = dir / "ImgBinDat";
    for (const Damage& d : Damages()) {
        WriteBytes(path, d.bytes);
        const StoreFileResult r = ReadStoreFile(path);
        EXPECT_EQ(r.status, StoreFileResult::Status::kDamaged) << d.what;
        EXPECT_EQ(r.records.size(), d.recordsRead) << d.what;
        const std::string numbers =
            StrFormat(" is damaged: %zu of %d records read", d.recordsRead, d.declared);
        EXPECT_EQ(r.sMessage.rfind(path + numbers, 0), 0u) << r.sMessage;
        // Loading says so too, and still yields the records the rules read.
        CollectingMessageSink sink;
        ScopedMessageSink scope(&sink);
        ImageDatabase db;
        db.SetStorePath(path);
        EXPECT_TRUE(db.LoadStore());
        EXPECT_LE(db.Count(), d.recordsRead);
        ASSERT_EQ(sink.m_vMessages.size(), 1u) << d.what;
        EXPECT_NE(sink.m_vMessages[0].find(numbers), std::string::npos);
    }
    // What the program writes, an empty table's store and an empty file are
    // whole.
    ImageDatabase db;
    db.SetStorePath(path);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(db.SaveStore());
        EXPECT_EQ(ReadStoreFile(path).status, StoreFileResult::Status::kClean);
        db.InsertRecord(MakeRecord(StrFormat("r%d", i), i));
    }
    WriteBytes(path, "");
    EXPECT_EQ(ReadStoreFile(path).status, StoreFileResult::Status::kClean);
    EXPECT_EQ(ReadStoreFile(dir / "none").status, StoreFileResult::Status::kMissing);
    EXPECT_EQ(ReadStoreFile(dir.Path().string()).status, StoreFileResult::Status::kUnreadable);
}

TEST(StoreIntegrity, EverySavingCommandKeepsADamagedStoreBesideItOrRefuses) {
    const std::string query = "new::1::2::::::::::::::1::0::0::0\n";
    const std::string update =
        store::Count(1) + store::Record(MakeRecord("upd", 3)) + store::Tag(0);
    using Command = std::function<bool(ImageDatabase&, const StoreChangeOptions&)>;
    const std::vector<std::pair<const char*, Command>> commands = {
        {"import",
         [&](ImageDatabase& db, const StoreChangeOptions& o) {
             return ImportQueryFiles(db, {db.StorePath() + ".txt"}, o).bSaved;
         }},
        {"init",
         [&](ImageDatabase& db, const StoreChangeOptions& o) {
             return InitializeQueryFiles(db, {db.StorePath() + ".txt"}, o).bSaved;
         }},
        {"update",
         [&](ImageDatabase& db, const StoreChangeOptions& o) {
             ScriptedDownloader downloader(update);
             return WebUpdate(db, downloader, "http://x/", o).bSaved;
         }},
        {"reload",
         [](ImageDatabase& db, const StoreChangeOptions& o) {
             return ChangeStore(
                        db, db.StorePath(), [](ImageDatabase&) { return true; }, o)
                 .Saved();
         }},
        {"save",
         [](ImageDatabase& db, const StoreChangeOptions& o) {
             return SaveTableAsStore(db, db.StorePath(), o).Saved();
         }},
    };
    for (const Damage& d : Damages()) {
        for (const auto& [name, command] : commands) {
            TempDir dir;
            const std::string path = dir / "ImgBinDat";
            WriteBytes(path, d.bytes);
            WriteBytes(path + ".txt", query);
            CollectingMessageSink sink;
            ScopedMessageSink scope(&sink);
            ImageDatabase db;
            db.SetStorePath(path);
            db.LoadStore();
            // Refused: nothing written, nothing kept.
            StoreChangeOptions refuse;
            refuse.bSaveOverDamaged = false;
            EXPECT_FALSE(command(db, refuse)) << name << ", " << d.what;
            EXPECT_EQ(ReadBytes(path), d.bytes) << name << ", " << d.what;
            EXPECT_TRUE(Backups(dir).empty());
            // Allowed: the damaged bytes are kept first, and named.
            ASSERT_TRUE(command(db, {})) << name << ", " << d.what;
            const auto backups = Backups(dir);
            ASSERT_EQ(backups.size(), 1u) << name << ", " << d.what;
            EXPECT_EQ(ReadBytes(backups[0]), d.bytes);
            EXPECT_EQ(ReadStoreFile(path).status, StoreFileResult::Status::kClean);
            const std::string kept = "It was kept as " + backups[0];
            EXPECT_TRUE(std::any_of(
                sink.m_vMessages.begin(), sink.m_vMessages.end(),
                [&](const std::string& m) { return m.find(kept) != std::string::npos; }))
                << name;
            // The table in memory is what was saved.
            ImageDatabase saved;
            saved.SetStorePath(path);
            saved.LoadStore();
            EXPECT_TRUE(std::equal(db.begin(), db.end(), saved.begin(), saved.end())) << name;
        }
    }
}

TEST(StoreIntegrity, ACutOrDamagedUpdateBodyIsRefusedNotMergedWithInventedZeros) {
    TempDir dir;
    CollectingMessageSink sink;
    ScopedMessageSink scope(&sink);
    ImageDatabase db;
    db.SetStorePath(dir / "ImgBinDat");
    const std::string whole =
        store::Count(2) + store::Record(MakeRecord("a", 1)) + store::Record(MakeRecord("b", 2, 3));
    ScriptedDownloader cut(whole.substr(0, whole.size() - 20));
    const WebUpdateOutcome outcome = WebUpdate(db, cut, "http://x/");
    EXPECT_EQ(outcome.result, WebUpdateOutcome::Result::Failed);
    EXPECT_TRUE(db.Empty());
    EXPECT_FALSE(fs::exists(db.StorePath()));
    ASSERT_EQ(sink.m_vMessages.size(), 1u);
    EXPECT_NE(sink.m_vMessages[0].find("is damaged: 2 of 2 records read (the data ends inside"),
              std::string::npos)
        << sink.m_vMessages[0];
}

namespace {

// Runs body in a child process; true when it exited with status 0.
bool InChild(const std::function<bool()>& body, pid_t& pid) {
    pid = fork();
    if (pid == 0) {
        _exit(body() ? 0 : 1);
    }
    return pid > 0;
}

bool ChildSucceeded(pid_t pid) {
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

TEST(StoreTransactions, TwoImportersInChildProcessesBothLand) {
    TempDir dir;
    const std::string path = dir / "ImgBinDat";
    constexpr int kImportsEach = 15;
    // Each importer adds its own keys, one file per import.
    const auto importer = [&](const std::string& prefix) {
        return [&, prefix] {
            CollectingMessageSink quiet;
            ScopedMessageSink scope(&quiet);
            for (int i = 0; i < kImportsEach; ++i) {
                const std::string file = dir / StrFormat("%s%d.txt", prefix.c_str(), i);
                WriteBytes(file, StrFormat("%s%d", prefix.c_str(), i) +
                                     "::1::2::::::::::::::1::0::0::0\n");
                ImageDatabase db;
                db.SetStorePath(path);
                db.LoadStore();
                if (!ImportQueryFiles(db, {file}).bSaved) {
                    return false;
                }
            }
            return true;
        };
    };
    pid_t a = 0;
    pid_t b = 0;
    ASSERT_TRUE(InChild(importer("a"), a));
    ASSERT_TRUE(InChild(importer("b"), b));
    EXPECT_TRUE(ChildSucceeded(a));
    EXPECT_TRUE(ChildSucceeded(b));
    const StoreFileResult r = ReadStoreFile(path);
    EXPECT_EQ(r.status, StoreFileResult::Status::kClean);
    EXPECT_EQ(r.records.size(), 2u * kImportsEach);
}

TEST(StoreTransactions, AWriterThatCannotGetTheLockChangesNothingAndSaysSo) {
    TempDir dir;
    const std::string path = dir / "ImgBinDat";
    WriteBytes(dir / "q.txt", "x::1::2::::::::::::::1::0::0::0\n");
    std::string error;
    const auto held = StoreLock::Acquire(path, std::chrono::milliseconds(0), error);
    ASSERT_TRUE(held) << error;
    // The lock is per open file: a second process (here a child) waits.
    pid_t child = 0;
    ASSERT_TRUE(InChild(
        [&] {
            CollectingMessageSink sink;
            ScopedMessageSink scope(&sink);
            ImageDatabase db;
            db.SetStorePath(path);
            StoreChangeOptions options;
            options.lockTimeout = std::chrono::milliseconds(200);
            const auto outcome = ImportQueryFiles(db, {dir / "q.txt"}, options);
            return !outcome.bSaved && db.Empty() && !fs::exists(path) &&
                   sink.m_vMessages.size() == 1 &&
                   sink.m_vMessages[0].find("is being changed by another program (its lock " +
                                            StoreLockPath(path) +
                                            " was not released within 0.2 s). Nothing was "
                                            "changed.") != std::string::npos;
        },
        child));
    EXPECT_TRUE(ChildSucceeded(child));
}

TEST(StoreTransactions, AStoreNamedThroughALinkSharesTheLockOfTheFileItNames) {
    TempDir dir;
    const std::string path = dir / "ImgBinDat";
    const std::string link = dir / "alias";
    const std::string chain = dir / "alias2";
    fs::create_symlink("ImgBinDat", link);
    fs::create_symlink(link, chain);
    EXPECT_EQ(StoreLockPath(link), StoreLockPath(path));
    EXPECT_EQ(StoreLockPath(chain), StoreLockPath(path));
    // A writer through the link waits for one holding the store's own name.
    std::string error;
    const auto held = StoreLock::Acquire(path, std::chrono::milliseconds(0), error);
    ASSERT_TRUE(held) << error;
    pid_t child = 0;
    ASSERT_TRUE(InChild(
        [&] {
            std::string childError;
            return !StoreLock::Acquire(chain, std::chrono::milliseconds(100), childError) &&
                   childError.find("is being changed by another program") != std::string::npos;
        },
        child));
    EXPECT_TRUE(ChildSucceeded(child));
}

TEST(StoreIntegrity, UnreadableNamesAndImpossibleCountsAreSaidAsTheyAre) {
    TempDir dir;
    // A read error deep in the file is a failure, not an exception.
    EXPECT_EQ(ReadStoreFile("/proc/self/mem").status, StoreFileResult::Status::kUnreadable);
    // A loop of links is not a missing store to be started afresh.
    fs::create_symlink("loop2", dir / "loop1");
    fs::create_symlink("loop1", dir / "loop2");
    const StoreFileResult loop = ReadStoreFile(dir / "loop1");
    EXPECT_EQ(loop.status, StoreFileResult::Status::kUnreadable);
    EXPECT_NE(loop.sMessage.find("symbolic links"), std::string::npos) << loop.sMessage;
    // A negative count item: no "2 of -2147483648".
    const std::string path = dir / "ImgBinDat";
    WriteBytes(path, store::Count(-2147483647 - 1) + store::Record(MakeRecord("k1", 1)) +
                         store::Record(MakeRecord("k2", 2)) + store::Tag(0));
    const StoreFileResult negative = ReadStoreFile(path);
    EXPECT_EQ(negative.status, StoreFileResult::Status::kDamaged);
    EXPECT_EQ(negative.sMessage.find("of -"), std::string::npos) << negative.sMessage;
    EXPECT_EQ(negative.sMessage.rfind(path + " is damaged: 2 records read", 0), 0u)
        << negative.sMessage;
    // Reading it only is said without the promise of a copy.
    CollectingMessageSink sink;
    ScopedMessageSink scope(&sink);
    ImageDatabase db;
    EXPECT_EQ(LoadStoreFile(db, path, false), StoreFileResult::Status::kDamaged);
    ASSERT_EQ(sink.m_vMessages.size(), 1u);
    EXPECT_EQ(sink.m_vMessages[0].find("A copy of it is kept"), std::string::npos);
    EXPECT_NE(sink.m_vMessages[0].find("the file is left as it is"), std::string::npos);
}
