// Changing the store file safely when several programs share it (the desktop
// application and any number of command-line runs). Every change is one
// transaction:
//   1. take the advisory lock (the file "<store>.lock" beside the store),
//   2. read the store as it is now,
//   3. when it is damaged, keep it as "<store>.damaged-YYYYMMDD-HHMMSS"
//      (or refuse, as the caller chooses),
//   4. apply the change to what was read, save atomically,
//   5. release the lock.
// The table in memory then holds what was saved. Inputs (query files,
// downloads) are read before the transaction starts, so the lock is held
// only for the store's own read and write.
#pragma once

#include "imagedb/ImageDatabase.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>

// The advisory lock of a store. Released by the destructor.
class StoreLock {
public:
    // Waits up to timeout for the lock of storePath. On failure returns
    // nothing and says why in error.
    static std::optional<StoreLock> Acquire(const std::string& storePath,
                                            std::chrono::milliseconds timeout, std::string& error);
    StoreLock(StoreLock&& other) noexcept;
    StoreLock& operator=(StoreLock&&) = delete;
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;
    ~StoreLock();

private:
    explicit StoreLock(int fd) : m_nFd(fd) {}
    int m_nFd = -1;
};

// The lock file of a store: "<store>.lock".
std::string StoreLockPath(const std::string& storePath);

struct StoreChangeOptions {
    // Whether a damaged store may be saved over once a copy of it is kept.
    // When false a damaged store is left alone and the change is refused.
    bool bSaveOverDamaged = true;
    // How long to wait for another program's change to finish.
    std::chrono::milliseconds lockTimeout{5000};
};

struct StoreChangeResult {
    enum class Status {
        kSaved,     // changed and saved
        kUnchanged, // the change declined; nothing saved
        kRefused,   // the store is damaged and may not be saved over
        kFailed,    // no lock, unreadable store, or the save failed
    };
    Status status = Status::kFailed;
    std::string sMessage;    // what was reported when not saved
    std::string sBackupPath; // where a damaged store was kept, when it was
    bool Saved() const { return status == Status::kSaved; }
};

// What reading a store file found.
struct StoreFileResult {
    enum class Status { kClean, kDamaged, kMissing, kUnreadable };
    Status status = Status::kMissing;
    std::vector<ImageRecord> records;
    StoreIntegrity integrity;
    std::string sMessage; // for kDamaged and kUnreadable
};

// Reads the store file at path without reporting anything.
StoreFileResult ReadStoreFile(const std::string& path);

// Loads the store file at path into db (replacing its table) as the
// programs do at start-up, reporting through ReportMessage: a missing store
// is "Unable to open <path>" and leaves an empty table; one that cannot be
// opened or read is said and leaves the table as it was; a damaged one is
// said with its numbers and gives the records read. forSaving: the caller
// may save over the store (the message then says a copy is kept first);
// a reading command only reads what it can.
StoreFileResult::Status LoadStoreFile(ImageDatabase& db, const std::string& path,
                                      bool forSaving = true);

// The name a damaged store is kept under: "<store>.damaged-YYYYMMDD-HHMMSS"
// (local time), with "-2", "-3"... added when that name is taken.
std::string DamagedStoreBackupPath(const std::string& storePath);

// Runs one transaction on the store at storePath (see above). change gets
// the table as the file holds it now and returns false to abandon the
// change. On success db receives the table as saved; otherwise db is left
// as it was. Problems are reported through ReportMessage.
StoreChangeResult ChangeStore(ImageDatabase& db, const std::string& storePath,
                              const std::function<bool(ImageDatabase&)>& change,
                              const StoreChangeOptions& options = {});

// Saves the table in memory as the store (the desktop application's Save),
// as a transaction: under the lock, and never over a damaged store without
// keeping it first.
StoreChangeResult SaveTableAsStore(ImageDatabase& db, const std::string& storePath,
                                   const StoreChangeOptions& options = {});
