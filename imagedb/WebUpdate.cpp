#include "imagedb/WebUpdate.h"

#include "base/Messages.h"

#include <sstream>

namespace {

WebUpdateOutcome Failure(std::string message) {
    ReportMessage(message);
    WebUpdateOutcome outcome;
    outcome.sMessage = std::move(message);
    return outcome;
}

// Whether the body starts as store data does: with one of the item tags.
// An error page, a proxy's answer or an empty body does not.
bool LooksLikeStoreData(const std::string& body) {
    return !body.empty() && body[0] >= 1 && body[0] <= 5;
}

} // namespace

std::string DefaultUpdateUrl() {
    return "http://ranvista-updates.invalid/ImageDatabasePostBuild.bin";
}

WebUpdateOutcome WebUpdate(ImageDatabase& db, IDownloader& downloader, const std::string& url,
                           const StoreChangeOptions& options) {
    const DownloadResult download = downloader.Download(url);
    if (download.status == DownloadResult::Status::Cancelled) {
        WebUpdateOutcome outcome;
        outcome.result = WebUpdateOutcome::Result::Cancelled;
        return outcome;
    }
    if (download.httpStatus == 0) {
        return Failure("Unable to open " + url + ": " + download.error);
    }
    if (download.httpStatus < 200 || download.httpStatus > 299) {
        return Failure("Unable to open " + url);
    }
    if (download.status != DownloadResult::Status::Complete) {
        return Failure("The download of " + url + " broke off (" + download.error +
                       "). The image database was not changed.");
    }
    if (!LooksLikeStoreData(download.body)) {
        return Failure(url + " did not send an image database file. The image database was "
                             "not changed.");
    }
    std::vector<ImageRecord> records;
    std::istringstream in(download.body);
    StoreIntegrity integrity;
    ReadStoreRecords(in, records, nullptr, &integrity);
    if (integrity.bDamaged) {
        return Failure(integrity.Describe("The file sent by " + url) +
                       ". The image database was not changed.");
    }
    WebUpdateOutcome outcome;
    outcome.result = WebUpdateOutcome::Result::Complete;
    outcome.nDownloaded = records.size();
    outcome.bSaved = ChangeStore(
                         db, db.StorePath(),
                         [&records](ImageDatabase& table) {
                             table.MergeRecords(std::move(records));
                             return true;
                         },
                         options)
                         .Saved();
    return outcome;
}
