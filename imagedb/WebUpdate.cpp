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
bool LooksLikeStoreData(std::istream& body) {
    const int first = body.peek();
    return first >= 1 && first <= 5;
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
        // A redirect that was not followed says why.
        return Failure(
            "Unable to open " + url +
            (download.status == DownloadResult::Status::Complete || download.error.empty()
                 ? ""
                 : ": " + download.error));
    }
    if (download.status != DownloadResult::Status::Complete) {
        return Failure("The download of " + url + " broke off (" + download.error +
                       "). The image database was not changed.");
    }
    std::istringstream inMemory;
    if (!download.bodyStream) {
        inMemory.str(download.body);
    }
    std::istream& in = download.bodyStream ? *download.bodyStream : inMemory;
    if (!LooksLikeStoreData(in)) {
        return Failure(url + " did not send an image database file. The image database was "
                             "not changed.");
    }
    std::vector<ImageRecord> records;
    StoreIntegrity integrity;
    if (!ReadStoreRecords(in, records, nullptr, &integrity)) {
        return Failure("Unable to read the file downloaded from " + url +
                       ". The image database was not changed.");
    }
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
