#include "imagedb/StoreTransaction.h"

#include "base/Messages.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

StoreChangeResult Failure(StoreChangeResult::Status status, std::string message) {
    ReportMessage(message);
    StoreChangeResult result;
    result.status = status;
    result.sMessage = std::move(message);
    return result;
}

std::string Seconds(std::chrono::milliseconds ms) {
    const auto whole = ms.count() / 1000;
    const auto tenths = (ms.count() % 1000) / 100;
    return tenths == 0 ? std::to_string(whole) + " s"
                       : std::to_string(whole) + "." + std::to_string(tenths) + " s";
}

// Keeps the damaged store's bytes under backup: a second name for the same
// file where the file system allows it (the save then only replaces the
// store's name), a copy otherwise.
bool KeepDamaged(const std::string& storePath, const std::string& backup, std::string& error) {
    if (link(storePath.c_str(), backup.c_str()) == 0) {
        return true;
    }
    std::error_code ec;
    if (std::filesystem::copy_file(storePath, backup, ec)) {
        return true;
    }
    error = ec.message();
    return false;
}

} // namespace

std::string StoreLockPath(const std::string& storePath) {
    // Beside the file the store's name finally stands for, so that a link
    // to the store and the store itself share one lock. (Folders need no
    // resolving: the lock file beside the store is the same file whichever
    // way its folder is named.)
    namespace fs = std::filesystem;
    std::string path = storePath;
    std::error_code ec;
    for (int hops = 0; hops < 40 && fs::is_symlink(fs::symlink_status(path, ec)); ++hops) {
        const fs::path target = fs::read_symlink(path, ec);
        if (ec) {
            break;
        }
        path = target.is_absolute() ? target.string()
                                    : (fs::path(path).parent_path() / target).string();
    }
    return path + ".lock";
}

std::optional<StoreLock> StoreLock::Acquire(const std::string& storePath,
                                            std::chrono::milliseconds timeout, std::string& error) {
    const std::string path = StoreLockPath(storePath);
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = "Unable to lock the image database: cannot create " + path + ": " +
                std::strerror(errno) + ". Nothing was changed.";
        return std::nullopt;
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR) {
            error = "Unable to lock the image database " + storePath + ": " + std::strerror(errno) +
                    ". Nothing was changed.";
            close(fd);
            return std::nullopt;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            error = "The image database " + storePath +
                    " is being changed by another program (its lock " + path +
                    " was not released within " + Seconds(timeout) + "). Nothing was changed.";
            close(fd);
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return StoreLock(fd);
}

StoreLock::StoreLock(StoreLock&& other) noexcept : m_nFd(other.m_nFd) {
    other.m_nFd = -1;
}

StoreLock::~StoreLock() {
    if (m_nFd >= 0) {
        flock(m_nFd, LOCK_UN);
        close(m_nFd);
    }
}

StoreFileResult ReadStoreFile(const std::string& path) {
    StoreFileResult result;
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (status.type() == std::filesystem::file_type::not_found) {
        result.status = StoreFileResult::Status::kMissing; // a dangling link too
        return result;
    }
    if (!std::filesystem::exists(status)) {
        // Not missing but not reachable either (a loop of links, a folder
        // that cannot be searched): nothing may be saved over it.
        result.status = StoreFileResult::Status::kUnreadable;
        result.sMessage = "Unable to open " + path + ": " + ec.message();
        return result;
    }
    std::ifstream in;
    if (!std::filesystem::is_directory(status)) {
        in.open(path, std::ios::binary);
    }
    if (!in.is_open()) {
        result.status = StoreFileResult::Status::kUnreadable;
        result.sMessage = "Unable to open " + path;
        return result;
    }
    if (!ReadStoreRecords(in, result.records, nullptr, &result.integrity)) {
        result.status = StoreFileResult::Status::kUnreadable;
        result.sMessage = "Unable to read " + path;
        result.records.clear();
        return result;
    }
    if (result.integrity.bDamaged) {
        result.status = StoreFileResult::Status::kDamaged;
        result.sMessage = result.integrity.Describe(path);
        return result;
    }
    result.status = StoreFileResult::Status::kClean;
    return result;
}

StoreFileResult::Status LoadStoreFile(ImageDatabase& db, const std::string& path, bool forSaving) {
    StoreFileResult file = ReadStoreFile(path);
    switch (file.status) {
    case StoreFileResult::Status::kMissing:
        ReportMessage("Unable to open " + path);
        db.Clear();
        break;
    case StoreFileResult::Status::kUnreadable:
        ReportMessage(file.sMessage + ". The image database in memory was left as it was.");
        break;
    case StoreFileResult::Status::kDamaged:
        ReportMessage(file.sMessage +
                      (forSaving ? ". A copy of it is kept beside it before anything is saved "
                                   "over it."
                                 : ". The records read are used; the file is left as it is."));
        [[fallthrough]];
    case StoreFileResult::Status::kClean:
        db.Clear();
        db.MergeRecords(std::move(file.records));
        break;
    }
    db.SetStorePath(path);
    return file.status;
}

std::string DamagedStoreBackupPath(const std::string& storePath) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    const std::string base = storePath + ".damaged-" + stamp;
    std::string name = base;
    std::error_code ec;
    for (int n = 2; std::filesystem::exists(std::filesystem::symlink_status(name, ec)); ++n) {
        name = base + "-" + std::to_string(n);
    }
    return name;
}

StoreChangeResult ChangeStore(ImageDatabase& db, const std::string& storePath,
                              const std::function<bool(ImageDatabase&)>& change,
                              const StoreChangeOptions& options) {
    using Status = StoreChangeResult::Status;
    std::string error;
    const std::optional<StoreLock> lock = StoreLock::Acquire(storePath, options.lockTimeout, error);
    if (!lock) {
        return Failure(Status::kFailed, error);
    }
    StoreFileResult current = ReadStoreFile(storePath);
    StoreChangeResult result;
    switch (current.status) {
    case StoreFileResult::Status::kUnreadable:
        return Failure(Status::kFailed, current.sMessage + ". Nothing was saved over it.");
    case StoreFileResult::Status::kDamaged:
        if (!options.bSaveOverDamaged) {
            return Failure(Status::kRefused, current.sMessage +
                                                 ". Nothing was saved over it (--force keeps a "
                                                 "copy of it and saves anyway).");
        }
        result.sBackupPath = DamagedStoreBackupPath(storePath);
        if (!KeepDamaged(storePath, result.sBackupPath, error)) {
            return Failure(Status::kFailed, current.sMessage + ". It could not be kept as " +
                                                result.sBackupPath + " (" + error +
                                                "), so nothing was saved over it.");
        }
        ReportMessage(current.sMessage + ". It was kept as " + result.sBackupPath + ".");
        break;
    case StoreFileResult::Status::kClean:
    case StoreFileResult::Status::kMissing:
        break;
    }
    ImageDatabase table;
    table.SetStorePath(storePath);
    table.MergeRecords(std::move(current.records));
    if (!change(table)) {
        result.status = Status::kUnchanged;
        return result;
    }
    table.SetStorePath(storePath);
    if (!table.SaveStore()) {
        result.status = Status::kFailed;
        result.sMessage = "Unable to save " + storePath;
        return result;
    }
    db = std::move(table);
    result.status = Status::kSaved;
    return result;
}

StoreChangeResult SaveTableAsStore(ImageDatabase& db, const std::string& storePath,
                                   const StoreChangeOptions& options) {
    return ChangeStore(
        db, storePath,
        [&db](ImageDatabase& table) {
            table = db;
            return true;
        },
        options);
}
