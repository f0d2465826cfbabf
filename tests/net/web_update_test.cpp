// The web update over real HTTP: a small server on 127.0.0.1 in this process
// answers the downloads with whole, failing, foreign and broken responses.
#include "tests/support/TestFiles.h"

#include "base/Messages.h"
#include "imagedb/WebUpdate.h"
#include "net/HttpDownloader.h"
#include "tests/support/LocalHttpServer.h"

#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

namespace {

QByteArray Bytes(const std::string& s) {
    return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

// An update file: one record replacing b, one new record c.
const std::string kUpdate = store::Count(2) + store::Record(MakeRecord("b", 20, 21, 0, 1, 0, 0)) +
                            store::Record(MakeRecord("c", 30, 31)) + store::Tag(0);

class WebUpdateOverHttp : public ::testing::Test {
protected:
    void SetUp() override {
        db.SetStorePath(dir / "ImgBinDat");
        db.InsertRecord(MakeRecord("a", 1, 1));
        db.InsertRecord(MakeRecord("b", 2, 2));
        before.assign(db.begin(), db.end());
    }
    // Nothing in memory changed and the store was never written.
    void ExpectNothingChanged() {
        EXPECT_EQ(std::vector<ImageRecord>(db.begin(), db.end()), before);
        EXPECT_FALSE(fs::exists(db.StorePath()));
    }
    WebUpdateOutcome Update(const std::string& path, HttpDownloader::Options options = {}) {
        HttpDownloader downloader(std::move(options));
        return WebUpdate(db, downloader, server.Url(path));
    }

    TempDir dir;
    ImageDatabase db;
    std::vector<ImageRecord> before;
    LocalHttpServer server;
    CollectingMessageSink sink;
    ScopedMessageSink scope{&sink};
};

} // namespace

TEST_F(WebUpdateOverHttp, AWholeUpdateFileIsMergedAndSaved) {
    server.Route("/ImageDatabasePostBuild.bin", LocalHttpServer::Answer(200, "OK", Bytes(kUpdate)));
    int64_t lastReceived = 0;
    HttpDownloader::Options options;
    options.onProgress = [&](int64_t received, int64_t) { lastReceived = received; };
    const WebUpdateOutcome outcome = Update("/ImageDatabasePostBuild.bin", options);
    EXPECT_EQ(outcome.result, WebUpdateOutcome::Result::Complete);
    EXPECT_TRUE(outcome.bSaved);
    EXPECT_EQ(outcome.nDownloaded, 2u);
    EXPECT_TRUE(sink.m_vMessages.empty());
    EXPECT_EQ(lastReceived, static_cast<int64_t>(kUpdate.size()));
    const std::vector<ImageRecord> expected{
        MakeRecord("a", 1, 1), MakeRecord("b", 20, 21, 0, 1, 0, 0), MakeRecord("c", 30, 31)};
    EXPECT_EQ(std::vector<ImageRecord>(db.begin(), db.end()), expected);
    EXPECT_EQ(DatabaseSizeText(db), "Image Database Size= 3 Entries");
    EXPECT_EQ(ReadBytes(db.StorePath()), store::Count(3) + store::Record(expected[0]) +
                                             store::Record(expected[1]) +
                                             store::Record(expected[2]) + store::Tag(0));
}

TEST_F(WebUpdateOverHttp, AnAnswerOtherThan2xxChangesNothing) {
    // Even a body in store format is not merged when the status says error.
    server.Route("/gone", LocalHttpServer::Answer(404, "Not Found", Bytes(kUpdate)));
    server.Route("/broken", LocalHttpServer::Answer(500, "Internal Server Error", "oops"));
    for (const std::string path : {"/gone", "/broken"}) {
        sink.m_vMessages.clear();
        const WebUpdateOutcome outcome = Update(path);
        EXPECT_EQ(outcome.result, WebUpdateOutcome::Result::Failed);
        EXPECT_EQ(sink.m_vMessages, std::vector<std::string>{"Unable to open " + server.Url(path)});
        ExpectNothingChanged();
    }
}

TEST_F(WebUpdateOverHttp, ARefusedConnectionChangesNothing) {
    std::string url;
    {
        QTcpServer closed;
        ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
        url = "http://127.0.0.1:" + std::to_string(closed.serverPort()) +
              "/ImageDatabasePostBuild.bin";
    }
    HttpDownloader downloader;
    const WebUpdateOutcome outcome = WebUpdate(db, downloader, url);
    EXPECT_EQ(outcome.result, WebUpdateOutcome::Result::Failed);
    ASSERT_EQ(sink.m_vMessages.size(), 1u);
    EXPECT_EQ(sink.m_vMessages[0].rfind("Unable to open " + url + ": ", 0), 0u)
        << sink.m_vMessages[0];
    ExpectNothingChanged();
}

TEST_F(WebUpdateOverHttp, AnHtmlPageIsNotTakenForTheDatabase) {
    server.Route("/portal",
                 LocalHttpServer::Answer(200, "OK", "<!DOCTYPE html><p>Log in</p>", "text/html"));
    server.Route("/empty", LocalHttpServer::Answer(200, "OK", ""));
    for (const std::string path : {"/portal", "/empty"}) {
        sink.m_vMessages.clear();
        const WebUpdateOutcome outcome = Update(path);
        EXPECT_EQ(outcome.result, WebUpdateOutcome::Result::Failed);
        ASSERT_EQ(sink.m_vMessages.size(), 1u);
        EXPECT_NE(sink.m_vMessages[0].find(server.Url(path)), std::string::npos);
        ExpectNothingChanged();
    }
}

TEST_F(WebUpdateOverHttp, ABodyCutShortChangesNothing) {
    // The first record arrives whole, then the server hangs up.
    LocalHttpServer::Response cut = LocalHttpServer::Answer(200, "OK", Bytes(kUpdate));
    cut.bytes.chop(40);
    server.Route("/cut", cut);
    const WebUpdateOutcome outcome = Update("/cut");
    EXPECT_EQ(outcome.result, WebUpdateOutcome::Result::Failed);
    ASSERT_EQ(sink.m_vMessages.size(), 1u);
    EXPECT_NE(sink.m_vMessages[0].find("broke off"), std::string::npos) << sink.m_vMessages[0];
    ExpectNothingChanged();
}

TEST_F(WebUpdateOverHttp, CancelAndSilenceStopTheDownload) {
    // A slow body: the user cancels once the first bytes have arrived.
    LocalHttpServer::Response slow = LocalHttpServer::Answer(200, "OK", Bytes(kUpdate));
    slow.bytes.chop(100);
    slow.close = false;
    server.Route("/slow", slow);
    std::atomic<bool> cancel{false};
    HttpDownloader::Options cancellable;
    cancellable.pCancel = &cancel;
    cancellable.onProgress = [&](int64_t received, int64_t total) {
        EXPECT_EQ(total, static_cast<int64_t>(kUpdate.size()));
        cancel = received > 0;
    };
    sink.m_vMessages.clear();
    const WebUpdateOutcome stopped = Update("/slow", cancellable);
    EXPECT_EQ(stopped.result, WebUpdateOutcome::Result::Cancelled);
    EXPECT_TRUE(sink.m_vMessages.empty());
    ExpectNothingChanged();

    LocalHttpServer::Response silent;
    silent.silent = true;
    server.Route("/silent", silent);
    HttpDownloader::Options quick;
    quick.nTransferTimeoutMs = 300;
    const WebUpdateOutcome timedOut = Update("/silent", quick);
    EXPECT_EQ(timedOut.result, WebUpdateOutcome::Result::Failed);
    ASSERT_EQ(sink.m_vMessages.size(), 1u);
    EXPECT_NE(sink.m_vMessages[0].find("timed out"), std::string::npos) << sink.m_vMessages[0];
    ExpectNothingChanged();
}

TEST(HttpDownloader, RefusesAddressesThatAreNotHttp) {
    HttpDownloader downloader;
    for (const std::string url : {"file:///etc/passwd", "not a url at all", ""}) {
        const DownloadResult r = downloader.Download(url);
        EXPECT_EQ(r.status, DownloadResult::Status::Failed) << url;
        EXPECT_EQ(r.httpStatus, 0);
        EXPECT_FALSE(r.error.empty());
    }
}
