#include "app/DatabaseCommands.h"

#include "base/Format.h"
#include "base/Messages.h"
#include "imagedb/ImageDatabase.h"
#include "imagedb/QueryFile.h"
#include "imagedb/WebUpdate.h"
#include "registration/VertexFile.h"
#include "session/ResultFiles.h"
#include "ui/UiMessageSink.h"
#include "ui/UiServices.h"

#include <new>

namespace {

FileChooserRequest ResultsChooser(const char* title) {
    FileChooserRequest request;
    request.title = title;
    request.filter = "Text Files (*.txt)|*.txt||";
    request.confirmOverwrite = true;
    request.defaultSuffix = "txt";
    return request;
}

// Asks for the file and writes it with the wait cursor shown; a failure is
// reported once the cursor is back.
bool SaveWithChooser(IUiServices& ui, const char* title, bool bDisableBeeps,
                     const std::function<bool(const std::string&)>& write) {
    const std::string path = ui.ChooseSaveFile(ResultsChooser(title));
    if (path.empty()) {
        return false;
    }
    CollectingMessageSink problems;
    bool ok = false;
    ui.BeginWaitCursor();
    {
        const ScopedMessageSink scope(&problems);
        ok = write(path);
    }
    ui.EndWaitCursor();
    for (const std::string& message : problems.m_vMessages) {
        ui.ShowMessage(message);
    }
    if (ok) {
        SignalCompletion(ui, bDisableBeeps, "Done");
    }
    return ok;
}

} // namespace

bool SaveCalculationResults(IUiServices& ui, const std::string& resultsLog, bool bDisableBeeps) {
    if (resultsLog.empty()) {
        ui.ShowMessage("Nothing to save");
        return false;
    }
    return SaveWithChooser(
        ui, "Save Calculation Results", bDisableBeeps,
        [&](const std::string& path) { return SaveResultsLog(path, resultsLog); });
}

bool SaveVertexResults(IUiServices& ui, const std::vector<VertexRecord>& vertices,
                       bool bDisableBeeps) {
    if (vertices.empty()) {
        ui.ShowMessage("Nothing to save");
        return false;
    }
    return SaveWithChooser(ui, "Save Vertex Results", bDisableBeeps,
                           [&](const std::string& path) { return SaveVertexFile(path, vertices); });
}

namespace {

using QueryCommand = QueryImportOutcome (*)(ImageDatabase&, const std::vector<std::string>&,
                                            const StoreChangeOptions&);

void RunQueryCommand(IUiServices& ui, ImageDatabase& db, bool bDisableBeeps,
                     const std::function<void()>& refreshCalcDialog, QueryCommand command) {
    FileChooserRequest request;
    request.title = "Select MySQL Query files";
    request.filter = "MySQL Query Database (*.txt,*.dat)|*.txt;*.dat||";
    request.multiSelect = true;
    const std::vector<std::string> paths = ui.ChooseOpenFiles(request);
    if (paths.empty()) {
        return;
    }
    const ScopedUiMessages messages(ui);
    ui.BeginWaitCursor();
    const QueryImportOutcome outcome = command(db, paths, StoreChangeOptions{});
    if (outcome.bCompleted && refreshCalcDialog) {
        refreshCalcDialog();
    }
    ui.EndWaitCursor();
    // A malformed file, files that could not be opened or a store that could
    // not be saved have been reported; nothing was saved.
    if (outcome.bCompleted && outcome.bSaved) {
        SignalCompletion(ui, bDisableBeeps, "Done");
    }
}

} // namespace

void ImportImageDatabase(IUiServices& ui, ImageDatabase& db, bool bDisableBeeps,
                         const std::function<void()>& refreshCalcDialog) {
    RunQueryCommand(ui, db, bDisableBeeps, refreshCalcDialog, &ImportQueryFiles);
}

void InitializeImageDatabase(IUiServices& ui, ImageDatabase& db, bool bDisableBeeps,
                             const std::function<void()>& refreshCalcDialog) {
    RunQueryCommand(ui, db, bDisableBeeps, refreshCalcDialog, &InitializeQueryFiles);
}

namespace {

// Shows the wait cursor once the download has arrived.
class WaitAfterDownload : public IDownloader {
public:
    WaitAfterDownload(IDownloader& inner, IUiServices& ui) : m_inner(inner), m_ui(ui) {}
    ~WaitAfterDownload() override {
        if (m_bWaiting) {
            m_ui.EndWaitCursor();
        }
    }
    WaitAfterDownload(const WaitAfterDownload&) = delete;
    WaitAfterDownload& operator=(const WaitAfterDownload&) = delete;

    DownloadResult Download(const std::string& url) override {
        DownloadResult result = m_inner.Download(url);
        if (result.status == DownloadResult::Status::Complete && !m_bWaiting) {
            m_ui.BeginWaitCursor();
            m_bWaiting = true;
        }
        return result;
    }

private:
    IDownloader& m_inner;
    IUiServices& m_ui;
    bool m_bWaiting = false;
};

} // namespace

void UpdateImageDatabase(IUiServices& ui, ImageDatabase& db, IDownloader& downloader,
                         const std::string& url, bool bDisableBeeps) {
    CollectingMessageSink problems;
    WebUpdateOutcome outcome;
    {
        WaitAfterDownload waiting(downloader, ui);
        const ScopedMessageSink scope(&problems);
        try {
            outcome = WebUpdate(db, waiting, url);
        } catch (const std::bad_alloc&) {
            // Unsaved work elsewhere in the application must not be lost.
            ReportMessage("Not enough memory for the web update. The image database was not "
                          "changed.");
            outcome = WebUpdateOutcome{};
        }
    }
    for (const std::string& message : problems.m_vMessages) {
        ui.ShowMessage(message);
    }
    if (outcome.result == WebUpdateOutcome::Result::Complete) {
        SignalCompletion(ui, bDisableBeeps, "Web Update Complete");
    }
}

void ShowImageDatabaseInfo(IUiServices& ui, const ImageDatabase& db) {
    ui.ShowInformation(DatabaseSizeText(db));
}

bool ConfirmCloseWithUnsavedResults(IUiServices& ui, const std::function<bool()>& save) {
    switch (ui.AskSaveDiscardCancel("Save calculation results before closing?")) {
    case IUiServices::SaveChoice::Save:
        return save();
    case IUiServices::SaveChoice::Discard:
        return true;
    case IUiServices::SaveChoice::Cancel:
        break;
    }
    return false;
}
