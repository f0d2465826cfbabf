// Session files made to mislead or exhaust the reader: numbers past the
// range of what they count, files without end, more measurements than a
// session holds. Each is refused with a reason; nothing wraps round into a
// valid value.
#include "geometry/CameraCatalogue.h"
#include "session/SessionFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

CameraId SomeCatalogueCamera() {
    for (CameraId id = 0; id < 1000; ++id) {
        if (CatalogueEntryOf(id) != nullptr) {
            return id;
        }
    }
    return -1;
}

// A session of one measurement with a catalogue camera on the left.
std::string GoodText() {
    SessionDocument s;
    s.leftImage = "/s/l.png";
    s.rightImage = "/s/r.png";
    s.options.leftCamera = SomeCatalogueCamera();
    MeasurementRecord r;
    r.index = 1;
    r.rangeM = 4.0;
    s.measurements.push_back(r);
    return SessionText(s, "/s/work.rvsession");
}

// The good text with the first value of key replaced.
std::string With(const std::string& key, const std::string& value) {
    std::string text = GoodText();
    const std::size_t at = text.find("\"" + key + "\"");
    EXPECT_NE(at, std::string::npos) << key;
    const std::size_t colon = text.find(':', at);
    const std::size_t end = text.find_first_of(",}\n", colon);
    text.replace(colon + 1, end - colon - 1, " " + value);
    return text;
}

struct Folder {
    fs::path path =
        fs::temp_directory_path() / ("ranvista-hostile-session-" + std::to_string(::getpid()));
    Folder() { fs::create_directories(path); }
    ~Folder() { fs::remove_all(path); }
};

} // namespace

TEST(HostileSession, NumbersOutsideTheRangeOfWhatTheyCountAreRefusedNotWrapped) {
    ASSERT_GE(SomeCatalogueCamera(), 0);
    const SessionReadResult good = ReadSessionText(GoodText(), "/s/x");
    ASSERT_TRUE(good.ok) << good.message;
    EXPECT_EQ(good.session.options.leftCamera, SomeCatalogueCamera());

    // 2^32 + 1 as an int is 1; 2^40 as an int is 0.
    EXPECT_EQ(ReadSessionText(With("version", "4294967297"), "/s/x").message,
              "a session version this Ranvista cannot read");
    for (const char* camera : {"1099511627776", "-1", "2147483647", "1.5"}) {
        const SessionReadResult r = ReadSessionText(With("left_camera", camera), "/s/x");
        EXPECT_FALSE(r.ok) << camera;
        EXPECT_NE(r.message.find("left_camera"), std::string::npos) << r.message;
    }
    for (const char* index : {"1e300", "-3", "2.5", "4294967297"}) {
        const SessionReadResult r = ReadSessionText(With("index", index), "/s/x");
        EXPECT_FALSE(r.ok) << index;
        EXPECT_NE(r.message.find("index"), std::string::npos) << r.message;
    }
    // A number too large for a double reads as infinity: not a range.
    const SessionReadResult huge = ReadSessionText(With("range", "1e400"), "/s/x");
    EXPECT_FALSE(huge.ok);
}

TEST(HostileSession, FilesWithoutEndOrBeyondTheBoundStopThereWithAMessage) {
    const Folder folder;
    const fs::path big = folder.path / "big.rvsession";
    std::ofstream(big) << GoodText();
    fs::resize_file(big, kMaxSessionFileBytes + 1); // sparse: nothing written
    const SessionReadResult r = ReadSessionFile(big.string());
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message, "larger than 64 MB, more than a session holds");

    const SessionReadResult zero = ReadSessionFile("/dev/zero");
    EXPECT_EQ(zero.message, "larger than 64 MB, more than a session holds");
    EXPECT_EQ(ReadSessionFile(folder.path.string()).message, "is a folder, not a session");

    std::string many = GoodText();
    const std::size_t list = many.find("\"measurements\"");
    std::string rows = "\"measurements\": [{}";
    for (std::size_t i = 0; i < kMaxSessionMeasurements; ++i) {
        rows += ",{}";
    }
    many = many.substr(0, list) + rows + "]}";
    EXPECT_EQ(ReadSessionText(many, "/s/x").message,
              "more than 100000 measurements, more than a session holds");
}

TEST(HostileSession, OnlyAFileThatBeginsAsASessionIsTakenForOne) {
    const Folder folder;
    const fs::path session = folder.path / "a.rvsession";
    std::ofstream(session) << GoodText();
    EXPECT_TRUE(LooksLikeSessionFile(session.string()));
    const fs::path csv = folder.path / "a.csv";
    std::ofstream(csv) << "index,range\n1,4.0\n";
    EXPECT_FALSE(LooksLikeSessionFile(csv.string()));
    EXPECT_FALSE(LooksLikeSessionFile(folder.path.string()));
    EXPECT_FALSE(LooksLikeSessionFile((folder.path / "none").string()));
}
