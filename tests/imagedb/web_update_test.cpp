// The web update's decisions, with a scripted downloader: the real one is
// tested against a server in the net tests.
#include "tests/support/TestFiles.h"

#include "base/Messages.h"
#include "imagedb/WebUpdate.h"

#include <gtest/gtest.h>

namespace {
class ScriptedDownloader : public IDownloader {
public:
    explicit ScriptedDownloader(DownloadResult r) : m_result(std::move(r)) {}
    DownloadResult Download(const std::string& url) override {
        m_sUrl = url;
        return m_result;
    }
    DownloadResult m_result;
    std::string m_sUrl;
};

DownloadResult Whole(int status, std::string body) {
    DownloadResult r;
    r.status = DownloadResult::Status::Complete;
    r.httpStatus = status;
    r.body = std::move(body);
    return r;
}
} // namespace

TEST(WebUpdate, AFailedSaveIsReportedAndTheUpdateStillCompletes) {
    TempDir dir;
    ImageDatabase db;
    EXPECT_EQ(DatabaseSizeText(db), "Image Database Size= 0 Entries");
    db.SetStorePath(dir / "missing-folder/ImgBinDat");
    ScriptedDownloader downloader(
        Whole(203, store::Count(1) + store::Record(MakeRecord("n", 1, 2)) + store::Tag(0)));
    CollectingMessageSink sink;
    ScopedMessageSink scope(&sink);
    const WebUpdateOutcome outcome = WebUpdate(db, downloader, DefaultUpdateUrl());
    EXPECT_EQ(downloader.m_sUrl, DefaultUpdateUrl());
    EXPECT_EQ(outcome.result, WebUpdateOutcome::Result::Complete);
    EXPECT_FALSE(outcome.bSaved);
    EXPECT_EQ(sink.m_vMessages, std::vector<std::string>{"Unable to open " + db.StorePath()});
    EXPECT_EQ(DatabaseSizeText(db), "Image Database Size= 1 Entries");
}
