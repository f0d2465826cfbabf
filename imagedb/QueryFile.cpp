#include "imagedb/QueryFile.h"

#include "base/Format.h"
#include "base/Messages.h"
#include "base/TextLines.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <locale.h>
#include <optional>

namespace {

constexpr size_t kFieldCount = 13;
constexpr size_t kReservedRecords = 1000;
// Room made at once at most (a few hundred megabytes); a larger file grows
// the list as it comes.
constexpr size_t kMaxReservedRecords = size_t{1} << 22;

bool IsSpace(char ch) {
    return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\v' || ch == '\f' || ch == '\r';
}

bool IsDigit(char ch) {
    return ch >= '0' && ch <= '9';
}

// Numbers beyond the range of a double: what the C library makes of them
// (infinity or zero, with the sign).
double OutOfRange(const std::string& number) {
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return strtod_l(number.c_str(), nullptr, cLocale);
}

enum class LineResult { Record, EndOfFile, Error };

// Parses one non-empty line by the export rules.
LineResult ParseLine(std::string_view line, ImageRecord& rec, std::string& reason) {
    size_t colon = line.find(':');
    if (colon == std::string_view::npos) {
        reason = "the line has no \"::\" separator";
        return LineResult::Error;
    }
    rec = ImageRecord();
    rec.m_sProductId = MakeProductKey(line.substr(0, colon));
    std::array<double, kFieldCount + 1> numbers{};
    for (size_t field = 2; field <= kFieldCount; ++field) {
        if (colon + 1 >= line.size() || line[colon + 1] != ':') {
            return LineResult::EndOfFile; // a single colon ends the file
        }
        const size_t start = colon + 2;
        const size_t next = line.find(':', start);
        const std::string_view text = line.substr(
            start, next == std::string_view::npos ? std::string_view::npos : next - start);
        if (field <= 3 || field >= 10) {
            numbers[field] = ParseQueryNumber(text);
        }
        if (next == std::string_view::npos && field != kFieldCount) {
            reason = StrFormat("the line ends inside field %zu of %zu", field, kFieldCount);
            return LineResult::Error;
        }
        colon = next;
    }
    rec.m_dAzimuth = numbers[2];
    rec.m_dElevation = numbers[3];
    rec.m_qAttitude = CQuat(numbers[10], CPoint3D(numbers[11], numbers[12], numbers[13]));
    return LineResult::Record;
}

void AppendNumber(std::string& out, double v) {
    if (std::isinf(v)) {
        out += v > 0 ? "1e999" : "-1e999"; // read back as infinity
        return;
    }
    std::array<char, 32> buf{};
    const auto r = std::to_chars(buf.data(), buf.data() + buf.size(), v);
    out.append(buf.data(), r.ptr);
}

QueryImportOutcome MergeFiles(ImageDatabase& db, const std::vector<std::string>& paths,
                              bool initialize, const StoreChangeOptions& options) {
    QueryImportOutcome outcome;
    std::vector<ImageRecord> records;
    size_t opened = 0;
    for (const std::string& path : paths) {
        QueryFileResult file = ReadQueryFile(path);
        if (file.error) {
            outcome.bCompleted = false;
            outcome.sError = file.error->Message();
            ReportMessage(outcome.sError);
            return outcome;
        }
        if (!file.bOpened) {
            outcome.vUnopened.push_back(path);
            continue;
        }
        ++opened;
        if (records.empty()) {
            records = std::move(file.records); // one file, the usual case: no copy
        } else {
            records.insert(records.end(), std::make_move_iterator(file.records.begin()),
                           std::make_move_iterator(file.records.end()));
        }
    }
    if (opened == 0) {
        ReportMessage("None of the chosen files could be opened. The image database was not "
                      "changed.");
        return outcome;
    }
    outcome.change = ChangeStore(
        db, db.StorePath(),
        [&records, initialize](ImageDatabase& table) {
            if (initialize) {
                table.Clear();
            }
            table.MergeRecords(std::move(records));
            return true;
        },
        options);
    outcome.bSaved = outcome.change.Saved();
    return outcome;
}

} // namespace

std::string QueryFileError::Message() const {
    if (line == 0) {
        return "Unable to read " + path + ": " + reason;
    }
    return StrFormat("Invalid query file %s, line %zu: %s", path.c_str(), line, reason.c_str());
}

double ParseQueryNumber(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && IsSpace(text[i])) {
        ++i;
    }
    const size_t begin = i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const size_t mantissa = i;
    size_t digits = 0;
    while (i < text.size() && IsDigit(text[i])) {
        ++i;
        ++digits;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && IsDigit(text[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0) {
        return 0.0;
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) {
            ++j;
        }
        if (j < text.size() && IsDigit(text[j])) {
            while (j < text.size() && IsDigit(text[j])) {
                ++j;
            }
            i = j;
        }
    }
    double value = 0.0;
    const auto r = std::from_chars(text.data() + mantissa, text.data() + i, value);
    if (r.ec == std::errc::result_out_of_range) {
        return OutOfRange(std::string(text.substr(begin, i - begin)));
    }
    return negative ? -value : value;
}

std::string FormatQueryLine(const ImageRecord& record) {
    std::string line = record.m_sProductId;
    const auto field = [&line](double v) {
        line += "::";
        AppendNumber(line, v);
    };
    field(record.m_dAzimuth);
    field(record.m_dElevation);
    line += "::::::::::::"; // fields 4 to 9, unused
    field(record.m_qAttitude.m_dS);
    field(record.m_qAttitude.m_ptVec.m_dX);
    field(record.m_qAttitude.m_ptVec.m_dY);
    field(record.m_qAttitude.m_ptVec.m_dZ);
    return line;
}

// Bytes left in a stream whose size can be told (a file), else nothing.
std::optional<size_t> BytesLeft(std::istream& in) {
    const auto start = in.tellg();
    if (start == std::streampos(-1) || !in.seekg(0, std::ios::end)) {
        in.clear(in.rdstate() & std::ios::badbit);
        return std::nullopt;
    }
    const auto end = in.tellg();
    in.seekg(start);
    if (end == std::streampos(-1) || end < start || !in) {
        in.clear(in.rdstate() & std::ios::badbit);
        return std::nullopt;
    }
    return static_cast<size_t>(end - start);
}

QueryFileResult ReadQueryStream(std::istream& in, const std::string& name) {
    QueryFileResult result;
    result.records.reserve(kReservedRecords);
    // Once the first lines have shown how long a line is, room for the
    // whole file is made at once: a list grown by doubling would move every
    // record several times and touch twice the memory.
    const std::optional<size_t> bytes = BytesLeft(in);
    size_t bytesRead = 0;
    std::string line;
    size_t number = 0;
    ImageRecord rec;
    std::string reason;
    LineStatus status = LineStatus::kEnd;
    while ((status = GetBoundedLine(in, line)) == LineStatus::kLine) {
        ++number;
        if (number == 1) {
            SkipByteOrderMark(line);
        }
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty()) {
            break;
        }
        bytesRead += line.size() + 1;
        if (number == kReservedRecords && bytes && *bytes > bytesRead) {
            const size_t perLine = bytesRead / number;
            const size_t expected = (*bytes - bytesRead) / perLine * 21 / 20 + 1;
            result.records.reserve(number + std::min(expected, kMaxReservedRecords));
        }
        const LineResult r = ParseLine(line, rec, reason);
        if (r == LineResult::Error) {
            result.error = QueryFileError{name, number, reason};
            return result;
        }
        if (r == LineResult::EndOfFile) {
            break;
        }
        result.records.push_back(std::move(rec));
    }
    if (status == LineStatus::kTooLong) {
        result.error = QueryFileError{name, number + 1,
                                      "the line is longer than " + std::to_string(kMaxLineBytes) +
                                          " bytes (not a text file?)"};
        return result;
    }
    if (in.bad()) {
        result.error = QueryFileError{name, 0, "read error after line " + std::to_string(number)};
    }
    return result;
}

QueryFileResult ReadQueryFile(const std::string& path) {
    std::ifstream in;
    if (!OpenInputFile(path, in)) {
        QueryFileResult none;
        none.bOpened = false;
        return none;
    }
    return ReadQueryStream(in, path);
}

QueryImportOutcome ImportQueryFiles(ImageDatabase& db, const std::vector<std::string>& paths,
                                    const StoreChangeOptions& options) {
    return MergeFiles(db, paths, false, options);
}

QueryImportOutcome InitializeQueryFiles(ImageDatabase& db, const std::vector<std::string>& paths,
                                        const StoreChangeOptions& options) {
    if (paths.empty()) {
        QueryImportOutcome nothing;
        nothing.bCompleted = false;
        return nothing;
    }
    return MergeFiles(db, paths, true, options);
}
