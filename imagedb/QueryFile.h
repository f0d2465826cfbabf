// Query export files: text, one image record per line, thirteen fields
// separated by "::" (product, azimuth, elevation, six unused fields, then the
// attitude s, x, y, z). Import merges such files into the database,
// Initialize rebuilds the database from them.
#pragma once

#include "imagedb/ImageDatabase.h"
#include "imagedb/StoreTransaction.h"

#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Why reading a query file stopped short: a malformed line or a read error.
struct QueryFileError {
    std::string path;
    size_t line = 0; // 1-based; 0 for an error not tied to a line
    std::string reason;

    // The text shown to the user, naming the file and the line.
    std::string Message() const;
};

struct QueryFileResult {
    // The records in line order, duplicates included.
    std::vector<ImageRecord> records;
    // Set when a malformed line or a read error stopped the reading; the
    // records of the file must then not be used.
    std::optional<QueryFileError> error;
    // False when the file could not be opened (reported, no error set).
    bool bOpened = true;
};

// Reads one export file. A file that cannot be opened is reported as
// "Unable to open %s" and gives an empty result without error. Reading ends,
// keeping the lines before, at the end of the file, at an empty line, or at
// a line in which one of the first twelve fields is followed by a single
// colon. A line without any colon, or one that ends inside its first twelve
// fields, is an error.
QueryFileResult ReadQueryFile(const std::string& path);
// The same over an open stream; name stands for the file in error messages.
QueryFileResult ReadQueryStream(std::istream& in, const std::string& name);

// A number as the C library's atof reads it: leading white space skipped,
// the longest prefix that is a decimal number with '.' as decimal point and
// an optional exponent converted, 0 when there is none. Does not depend on
// the locale.
double ParseQueryNumber(std::string_view text);

// One query line for a record: the key, azimuth, elevation, six empty
// fields and the attitude, with numbers that read back exactly.
std::string FormatQueryLine(const ImageRecord& record);

struct QueryImportOutcome {
    // False when a malformed line or a read error stopped the command; the
    // store was then not saved. The message has been reported.
    bool bCompleted = true;
    std::string sError;
    // Whether the store was saved (failures have been reported).
    bool bSaved = false;
    // The chosen files that could not be opened (each reported).
    std::vector<std::string> vUnopened;
    // Why the store was not changed, when it was not.
    StoreChangeResult change;
};

// Import: every file's records, in file order, replace or join the table's
// (a later line wins within a file, a later file across files); then the
// store is saved. The files are read first; the change of the store is one
// transaction (see StoreTransaction.h) on db.StorePath(), after which db
// holds the table as saved. Files that cannot be opened are reported and
// skipped; when none of the files could be opened nothing changes.
QueryImportOutcome ImportQueryFiles(ImageDatabase& db, const std::vector<std::string>& paths,
                                    const StoreChangeOptions& options = {});

// Initialize: the table is emptied, then filled from the files as Import
// does, and saved. Called only with the files the user chose: an empty list
// (a cancelled choice) leaves the table and the store untouched and returns
// bCompleted false with no message. When none of the files could be opened,
// nothing changes either.
QueryImportOutcome InitializeQueryFiles(ImageDatabase& db, const std::vector<std::string>& paths,
                                        const StoreChangeOptions& options = {});
