// The web update: download a store-format file over HTTP, merge its records
// into the database and save the store. The download itself goes through
// IDownloader, so that the core needs no network library and tests can use
// any server they like.
#pragma once

#include "imagedb/ImageDatabase.h"
#include "imagedb/StoreTransaction.h"

#include <istream>
#include <memory>
#include <string>

struct DownloadResult {
    enum class Status {
        Complete,  // the whole answer arrived (whatever its HTTP status)
        Failed,    // no answer, or the transfer broke off
        Cancelled, // stopped at the user's request
    };
    Status status = Status::Failed;
    int httpStatus = 0; // the server's status code; 0 when none arrived
    std::string body;   // the whole body when Complete and bodyStream is not set
    // The whole body when Complete, kept outside memory (a temporary file
    // that goes away with the stream); takes the place of body when set.
    std::shared_ptr<std::istream> bodyStream;
    std::string error; // the network layer's description when not Complete
};

class IDownloader {
public:
    virtual ~IDownloader() = default;
    // Fetches url with an HTTP GET and returns once it is done.
    virtual DownloadResult Download(const std::string& url) = 0;
};

// The built-in address of the update file; a setting may name another.
std::string DefaultUpdateUrl();

struct WebUpdateOutcome {
    enum class Result {
        Complete,  // merged and saved (or the save failed and said so)
        Failed,    // nothing changed; the reason has been reported
        Cancelled, // nothing changed; nothing reported
    };
    Result result = Result::Failed;
    std::string sMessage;   // the reported reason when Failed
    size_t nDownloaded = 0; // records read from the download
    bool bSaved = false;
};

// Downloads url, merges its records (a key already present takes the
// downloaded values, new keys are added, the others stay) and saves the
// store (one transaction on db.StorePath(), see StoreTransaction.h). Only a
// whole, undamaged body from a 2xx answer that holds store data is merged;
// anything else changes nothing and is reported through ReportMessage
// ("Unable to open " + url for an answer other than 2xx).
WebUpdateOutcome WebUpdate(ImageDatabase& db, IDownloader& downloader, const std::string& url,
                           const StoreChangeOptions& options = {});
