// The store file: exact bytes, the reader's rules, damaged data and saves
// that fail or are killed halfway.
#include "tests/support/TestFiles.h"

#include "base/Messages.h"
#include "imagedb/ImageDatabase.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <new>
#include <streambuf>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

// The largest single allocation made so far, to see what a count item makes
// the reader reserve.
namespace {
std::atomic<size_t> g_largestAllocation{0};
}

void* operator new(size_t n) {
    size_t seen = g_largestAllocation.load();
    while (n > seen && !g_largestAllocation.compare_exchange_weak(seen, n)) {
    }
    if (void* p = std::malloc(n == 0 ? 1 : n)) {
        return p;
    }
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}

namespace {

using namespace store;

std::vector<ImageRecord> Records(const ImageDatabase& db) {
    return {db.begin(), db.end()};
}

std::vector<std::string> Keys(const ImageDatabase& db) {
    std::vector<std::string> keys;
    for (const auto& r : db) {
        keys.push_back(r.m_sProductId);
    }
    return keys;
}

ImageDatabase Merged(const std::string& bytes) {
    ImageDatabase db;
    std::istringstream in(bytes);
    db.LoadStore(in);
    return db;
}

const std::string k27 = "2n130012345eff0300p1800l0m1";

} // namespace

TEST(Store, SavesTheExactBytesAndReadsThemBack) {
    TempDir dir;
    ImageDatabase db;
    db.SetStorePath(dir / "ImgBinDat");
    ASSERT_TRUE(db.SaveStore());
    EXPECT_EQ(ReadBytes(db.StorePath()), std::string("\x01\0\0\0\0\0", 6));

    const ImageRecord a = MakeRecord("a", 12.5, -3.25, 0.5, -0.5, 0.25, 1e-300);
    const ImageRecord b = MakeRecord(k27, -179.0, 89.0);
    db.InsertRecord(b);
    db.InsertRecord(a);
    ASSERT_TRUE(db.SaveStore());
    const std::string bytes = ReadBytes(db.StorePath());
    EXPECT_EQ(bytes, Count(2) + Record(b) + Record(a) + Tag(0)); // '2' sorts before 'a'
    ASSERT_EQ(bytes.size(), 6u + 79u * 2u);
    // Tags at their offsets; the short key is zero-filled after its
    // terminator, the 27-byte one has none.
    for (size_t k = 0; k < 2; ++k) {
        EXPECT_EQ(bytes[5 + 79 * k], 2);
        EXPECT_EQ(bytes[33 + 79 * k], 3);
        EXPECT_EQ(bytes[66 + 79 * k], 4);
        EXPECT_EQ(bytes[75 + 79 * k], 5);
    }
    EXPECT_EQ(bytes.substr(6, 27), k27);
    EXPECT_EQ(bytes.substr(6 + 79, 27), std::string("a") + std::string(26, '\0'));

    ImageDatabase back;
    back.SetStorePath(db.StorePath());
    ASSERT_TRUE(back.LoadStore());
    EXPECT_EQ(Records(back), Records(db));

    // The six bytes of an empty store load as an empty table.
    WriteBytes(back.StorePath(), std::string("\x01\0\0\0\0\0", 6));
    ASSERT_TRUE(back.LoadStore());
    EXPECT_TRUE(back.Empty());
}

TEST(Store, LoadingTheFileReplacesAndAStreamMerges) {
    TempDir dir;
    ImageDatabase db;
    db.SetStorePath(dir / "ImgBinDat");
    db.InsertRecord(MakeRecord("a", 1, 1));
    db.InsertRecord(MakeRecord("b", 2, 2));

    std::istringstream update(Count(2) + Record(MakeRecord("c", 3, 3)) +
                              Record(MakeRecord("b", 20, 20, 0, 1, 0, 0)) + Tag(0));
    db.LoadStore(update);
    EXPECT_EQ(Records(db),
              (std::vector<ImageRecord>{MakeRecord("a", 1, 1), MakeRecord("b", 20, 20, 0, 1, 0, 0),
                                        MakeRecord("c", 3, 3)}));

    WriteBytes(db.StorePath(), Count(1) + Record(MakeRecord("x", 9, 9)) + Tag(0));
    ASSERT_TRUE(db.LoadStore());
    EXPECT_EQ(Records(db), std::vector<ImageRecord>{MakeRecord("x", 9, 9)});
}

TEST(Store, ReaderRules) {
    // Two records with one key: the second's values. Descending keys load
    // ascending. The count is only a hint.
    const ImageDatabase db =
        Merged(Count(5) + Record(MakeRecord("c", 1, 1)) + Record(MakeRecord("b", 2, 2)) +
               Record(MakeRecord("c", 3, 3)) + Tag(0));
    EXPECT_EQ(Records(db),
              (std::vector<ImageRecord>{MakeRecord("b", 2, 2), MakeRecord("c", 3, 3)}));

    // A record with only its key keeps the defaults; value items come in any
    // order, repeat (last wins), and one before any key is ignored.
    const ImageDatabase items = Merged(Azimuth(99) + Key("k") + Elevation(7) + Azimuth(1) +
                                       Azimuth(2) + Key("j") + Attitude(0, 0, 0, 1) + Tag(0));
    EXPECT_EQ(Records(items),
              (std::vector<ImageRecord>{MakeRecord("j", 0, 0, 0, 0, 0, 1), MakeRecord("k", 2, 7)}));

    // Bytes after a key's terminator mean nothing; a count item after the
    // first record changes nothing either.
    std::string field = Key("ab");
    field[4] = 'z';
    EXPECT_EQ(Keys(Merged(field + Count(-7) + Tag(0))), std::vector<std::string>{"ab"});
}

TEST(Store, DamagedAndShortDataKeepWhatArrivedWhole) {
    // Not store data at all: nothing.
    EXPECT_TRUE(Merged("<html><body>Not Found</body></html>").Empty());
    EXPECT_TRUE(Merged("").Empty());
    // A tag above 5 ends the data; what came before it stays.
    const ImageDatabase stopped =
        Merged(Count(2) + Record(MakeRecord("a", 1, 1)) + Tag(6) + Record(MakeRecord("b", 2, 2)));
    EXPECT_EQ(Keys(stopped), std::vector<std::string>{"a"});

    // Every truncation of a two-record store: a record is there once its key
    // field arrived whole, its values once they arrived whole.
    const ImageRecord a = MakeRecord("a", 1, 2, 0.5, 0.5, 0.5, 0.5);
    const ImageRecord b = MakeRecord("b", 3, 4, 0, 0, 1, 0);
    const std::string whole = Count(2) + Record(a) + Record(b) + Tag(0);
    for (size_t n = 0; n <= whole.size(); ++n) {
        const ImageDatabase db = Merged(whole.substr(0, n));
        const size_t expected = (n >= 5 + 28 ? 1 : 0) + (n >= 5 + 79 + 28 ? 1 : 0);
        ASSERT_EQ(db.Count(), expected) << n;
        if (expected == 2) {
            EXPECT_EQ(db.begin()->m_dElevation, 2.0);
            const double el = (n >= 6 + 79 * 2 - 1) ? 4.0 : 0.0;
            EXPECT_EQ(db.FindRecord("b")->m_dElevation, el) << n;
        }
    }
}

namespace {
// A stream that cannot tell its size, like a pipe; when failing, its device
// reports an error after the given bytes, like a disk.
class PipeBuf : public std::streambuf {
public:
    PipeBuf(std::string bytes, bool failing) : m_bytes(std::move(bytes)), m_bFailing(failing) {
        setg(m_bytes.data(), m_bytes.data(), m_bytes.data() + m_bytes.size());
    }

protected:
    int_type underflow() override {
        if (m_bFailing) {
            throw std::ios_base::failure("device error");
        }
        return traits_type::eof();
    }

private:
    std::string m_bytes;
    bool m_bFailing;
};
} // namespace

TEST(Store, AReadErrorMergesNothing) {
    ImageDatabase db;
    db.InsertRecord(MakeRecord("keep", 1, 1));
    PipeBuf buf(Count(2) + Record(MakeRecord("a", 1, 1)), true);
    std::istream in(&buf);
    CollectingMessageSink sink;
    ScopedMessageSink scope(&sink);
    db.LoadStore(in);
    EXPECT_EQ(sink.m_vMessages.size(), 1u);
    EXPECT_EQ(Keys(db), std::vector<std::string>{"keep"});
}

TEST(Store, AbsurdCountsNeverReserveMoreThanTheDataCanFill) {
    const std::string one = Record(MakeRecord("a", 1, 1)) + Tag(0);
    for (const int32_t count : {INT32_MAX, -1, INT32_MIN, 100000000}) {
        g_largestAllocation = 0;
        const ImageDatabase db = Merged(Count(count) + one);
        EXPECT_EQ(db.Count(), 1u);
        EXPECT_LT(g_largestAllocation.load(), size_t{1} << 20) << count;
    }
    // Size unknown: a bounded hint.
    g_largestAllocation = 0;
    PipeBuf buf(Count(INT32_MAX) + one, false);
    std::istream in(&buf);
    ImageDatabase db;
    db.LoadStore(in);
    EXPECT_EQ(db.Count(), 1u);
    EXPECT_LT(g_largestAllocation.load(), size_t{16} << 20);

    // A store file claiming more records than it holds.
    TempDir dir;
    db.SetStorePath(dir / "ImgBinDat");
    WriteBytes(db.StorePath(), Count(INT32_MAX) + one);
    g_largestAllocation = 0;
    ASSERT_TRUE(db.LoadStore());
    EXPECT_EQ(db.Count(), 1u);
    EXPECT_LT(g_largestAllocation.load(), size_t{1} << 20);
}

TEST(Store, AStoreThatCannotBeOpenedLeavesTheTable) {
    TempDir dir;
    ImageDatabase db;
    db.InsertRecord(MakeRecord("keep", 1, 1));
    for (const std::string& path : {dir / "missing", dir.Path().string()}) {
        db.SetStorePath(path);
        CollectingMessageSink sink;
        ScopedMessageSink scope(&sink);
        EXPECT_FALSE(db.LoadStore());
        EXPECT_EQ(sink.m_vMessages, std::vector<std::string>{"Unable to open " + path});
        EXPECT_EQ(Keys(db), std::vector<std::string>{"keep"});
    }
}

namespace {

// A table big enough that saving it takes many writes.
ImageDatabase BigTable(const std::string& path) {
    ImageDatabase db;
    db.SetStorePath(path);
    std::vector<ImageRecord> records;
    for (int i = 0; i < 20000; ++i) {
        records.push_back(MakeRecord(std::string("r").append(std::to_string(i)), i, -i));
    }
    db.MergeRecords(std::move(records));
    return db;
}

size_t FilesIn(const fs::path& dir) {
    size_t n = 0;
    for (const auto& e : fs::directory_iterator(dir)) {
        (void)e;
        ++n;
    }
    return n;
}

// Runs SaveStore in a child process whose files may not grow beyond limit
// bytes. With SIGXFSZ ignored the write fails like on a full disk; with its
// default action the child is killed in the middle of the write. The child
// exits 0 when SaveStore reported the failure and returned false.
int SaveInLimitedChild(const ImageDatabase& db, rlim_t limit, bool killed) {
    const pid_t pid = fork();
    if (pid == 0) {
        const rlimit noCore{0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
        const rlimit small{limit, limit};
        setrlimit(RLIMIT_FSIZE, &small);
        std::signal(SIGXFSZ, killed ? SIG_DFL : SIG_IGN);
        CollectingMessageSink sink;
        ScopedMessageSink scope(&sink);
        const bool saved = db.SaveStore();
        const bool reported = sink.m_vMessages.size() == 1 &&
                              sink.m_vMessages[0].find(db.StorePath()) != std::string::npos;
        _exit(!saved && reported ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
}

} // namespace

TEST(Store, AFailedOrKilledSaveLeavesTheOldStoreIntact) {
    TempDir dir;
    const std::string path = dir / "ImgBinDat";
    const std::string old = Count(1) + Record(MakeRecord("old", 1, 2)) + Tag(0);
    WriteBytes(path, old);
    const ImageDatabase db = BigTable(path);

    const int failed = SaveInLimitedChild(db, 100000, false);
    ASSERT_TRUE(WIFEXITED(failed));
    EXPECT_EQ(WEXITSTATUS(failed), 0);
    EXPECT_EQ(ReadBytes(path), old);
    EXPECT_EQ(FilesIn(dir.Path()), 1u); // no temporary file left behind

    const int killed = SaveInLimitedChild(db, 100000, true);
    ASSERT_TRUE(WIFSIGNALED(killed));
    EXPECT_EQ(WTERMSIG(killed), SIGXFSZ);
    EXPECT_EQ(ReadBytes(path), old);

    // The whole table fits: the new store replaces the old one.
    ASSERT_TRUE(db.SaveStore());
    EXPECT_EQ(ReadBytes(path).size(), 6u + 79u * db.Count());
}

TEST(Store, ASaveThatCannotCreateOrReplaceTheFileSaysSo) {
    TempDir dir;
    ImageDatabase db;
    db.InsertRecord(MakeRecord("a", 1, 1));
    CollectingMessageSink sink;
    ScopedMessageSink scope(&sink);
    db.SetStorePath(dir / "no-such-folder/ImgBinDat");
    EXPECT_FALSE(db.SaveStore());
    ASSERT_EQ(sink.m_vMessages.size(), 1u);
    EXPECT_EQ(sink.m_vMessages[0], "Unable to open " + db.StorePath());

    fs::create_directory(dir / "ImgBinDat");
    db.SetStorePath(dir / "ImgBinDat");
    EXPECT_FALSE(db.SaveStore());
    ASSERT_EQ(sink.m_vMessages.size(), 2u);
    // A folder in the way cannot be opened for writing.
    EXPECT_EQ(sink.m_vMessages[1], "Unable to open " + db.StorePath());
    EXPECT_TRUE(fs::is_directory(db.StorePath()));
    EXPECT_EQ(FilesIn(dir.Path()), 1u);
}
