// Downloads are bounded in size and time, and say why they stopped: an
// endless body, an announced length over the limit, a drip, redirect loops
// and redirects away from the web.
#include "tests/support/TestFiles.h"

#include "base/Messages.h"
#include "imagedb/WebUpdate.h"
#include "net/HttpDownloader.h"
#include "tests/support/LocalHttpServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

namespace {

class DownloadLimits : public ::testing::Test {
protected:
    void SetUp() override {
        db.SetStorePath(dir / "ImgBinDat");
        db.InsertRecord(MakeRecord("a", 1, 1));
        ASSERT_TRUE(db.SaveStore());
        storeBefore = ReadBytes(db.StorePath());
    }
    // Runs a web update from path; returns the one message it reported.
    std::string FailedUpdate(const std::string& path, HttpDownloader::Options options) {
        sink.m_vMessages.clear();
        HttpDownloader downloader(std::move(options));
        const WebUpdateOutcome outcome = WebUpdate(db, downloader, server.Url(path));
        EXPECT_EQ(outcome.result, WebUpdateOutcome::Result::Failed) << path;
        EXPECT_EQ(db.Count(), 1u);
        EXPECT_EQ(ReadBytes(db.StorePath()), storeBefore);
        return sink.m_vMessages.size() == 1 ? sink.m_vMessages[0] : "";
    }

    TempDir dir;
    ImageDatabase db;
    std::string storeBefore;
    LocalHttpServer server;
    CollectingMessageSink sink;
    ScopedMessageSink scope{&sink};
};

} // namespace

TEST_F(DownloadLimits, AnEndlessBodyStopsAtTheSizeLimit) {
    // Store-like bytes without end, 64 KiB a millisecond (bounded at 256 MiB
    // so that the test itself ends).
    server.Route("/endless", LocalHttpServer::Stream(QByteArray(1 << 16, '\x02'), 1, 4096));
    HttpDownloader::Options options;
    options.nMaxBodyBytes = 1 << 20;
    int64_t mostReceived = 0;
    options.onProgress = [&](int64_t received, int64_t) {
        mostReceived = std::max(mostReceived, received);
    };
    const std::string message = FailedUpdate("/endless", options);
    EXPECT_NE(message.find("the file is larger than the limit of 1 MB for a download"),
              std::string::npos)
        << message;
    EXPECT_LE(mostReceived, int64_t{1} << 20);
}

TEST_F(DownloadLimits, AnAnnouncedLengthOverTheLimitIsRefusedBeforeTheBody) {
    LocalHttpServer::Response huge;
    huge.bytes = "HTTP/1.1 200 OK\r\nContent-Length: 2147483648\r\n\r\n\x01";
    huge.close = false;
    server.Route("/huge", huge);
    HttpDownloader::Options options;
    options.nMaxBodyBytes = 1 << 20;
    const std::string message = FailedUpdate("/huge", options);
    EXPECT_NE(message.find("(the server announced 2147483648 bytes)"), std::string::npos)
        << message;
}

TEST_F(DownloadLimits, ADripIsGivenUpAtTheMinimumRateOrTheDeadline) {
    // One byte every 20 ms, for at most 10 s.
    server.Route("/drip", LocalHttpServer::Stream("\x02", 20, 500));
    HttpDownloader::Options slow;
    slow.nRateWindowMs = 300;
    std::string message = FailedUpdate("/drip", slow);
    EXPECT_NE(message.find("less than 1024 bytes per second arrived over 0.3 s"), std::string::npos)
        << message;

    HttpDownloader::Options late;
    late.nMinBytesPerSecond = 0;
    late.nDeadlineMs = 300;
    message = FailedUpdate("/drip", late);
    EXPECT_NE(message.find("the download took longer than 0.3 s"), std::string::npos) << message;
}

TEST_F(DownloadLimits, RedirectLoopsAndRedirectsAwayFromTheWebSayWhy) {
    server.Route("/loop", LocalHttpServer::Redirect("/loop"));
    server.Route("/ftp", LocalHttpServer::Redirect("ftp://127.0.0.1/ImgBinDat"));
    server.Route("/file", LocalHttpServer::Redirect("file:///etc/passwd"));
    std::string message = FailedUpdate("/loop", {});
    EXPECT_NE(message.find("redirected more than 10 times (a redirect loop?)"), std::string::npos)
        << message;
    for (const char* path : {"/ftp", "/file"}) {
        message = FailedUpdate(path, {});
        EXPECT_NE(message.find("which is not an http or https address"), std::string::npos)
            << message;
    }
}

TEST_F(DownloadLimits, ABodyHasNoNameInTheTemporaryFolderAndOldLeftoversGo) {
    // A body left named by a download that was killed an hour ago.
    TempDir temp;
    const std::string old = temp / "ranvista-download-Ab12Cd";
    WriteBytes(old, "half a store");
    fs::last_write_time(old, fs::file_time_type::clock::now() - std::chrono::hours(2));
    const std::string recent = temp / "ranvista-download-Ef34Gh"; // maybe still in use
    WriteBytes(recent, "busy");
    const QByteArray before = qgetenv("TMPDIR");
    qputenv("TMPDIR", QByteArray::fromStdString(temp.Path().string()));
    // Whatever becomes of the download, its body is never a file with a name
    // there, even while it arrives.
    server.Route("/endless", LocalHttpServer::Stream(QByteArray(1 << 16, '\x02'), 1, 4096));
    HttpDownloader::Options options;
    options.nMaxBodyBytes = 1 << 20;
    std::size_t named = 0;
    options.onProgress = [&](int64_t, int64_t) {
        named = std::max<std::size_t>(
            named, static_cast<std::size_t>(std::distance(fs::directory_iterator(temp.Path()),
                                                          fs::directory_iterator())));
    };
    FailedUpdate("/endless", options);
    if (before.isNull()) {
        qunsetenv("TMPDIR");
    } else {
        qputenv("TMPDIR", before);
    }
    EXPECT_FALSE(fs::exists(old));
    EXPECT_TRUE(fs::exists(recent));
    EXPECT_EQ(named, 1u); // only the recent leftover
}
