#include "session/ResultFiles.h"

#include "base/AtomicFile.h"
#include "base/Format.h"
#include "base/Messages.h"

std::string ResultsLogFileBytes(std::string_view log) {
    return ToCrLf(log);
}

bool SaveResultsLog(const std::string& path, std::string_view log) {
    std::string error;
    if (!WriteFileAtomically(path, ResultsLogFileBytes(log), &error)) {
        ReportMessage(StrFormat("Unable to save %s: %s", path.c_str(), error.c_str()));
        return false;
    }
    return true;
}
