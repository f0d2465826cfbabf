// The result-file and database commands, written against the UI services so
// that they run the same in the window and in tests. Each takes what it
// works on as arguments.
#pragma once

#include "geometry/Measurement.h"

#include <functional>
#include <string>
#include <vector>

class IDownloader;
class IUiServices;
class ImageDatabase;

// Save Calculation Results: the results log as text with CR LF line ends.
// True when the file was written.
bool SaveCalculationResults(IUiServices& ui, const std::string& resultsLog, bool bDisableBeeps);

// Save Vertex Results: one "%lf\t%lf\t%lf" line per vertex within 150 m whose
// error half spread is below 10 in every component. True when written.
bool SaveVertexResults(IUiServices& ui, const std::vector<VertexRecord>& vertices,
                       bool bDisableBeeps);

// Import Image Database File: the chosen query files' records join the
// database, then refreshCalcDialog runs (the view refreshes the Analyse
// dialog when it shows a pair) and the store is saved.
void ImportImageDatabase(IUiServices& ui, ImageDatabase& db, bool bDisableBeeps,
                         const std::function<void()>& refreshCalcDialog);

// Initialize Image Database File: the database is rebuilt from the chosen
// query files. Cancelling the chooser leaves the database as it was.
void InitializeImageDatabase(IUiServices& ui, ImageDatabase& db, bool bDisableBeeps,
                             const std::function<void()>& refreshCalcDialog);

// Update Image Database (web update): downloads url, merges its records
// into the database and saves the store, then "Web Update Complete". A
// failed download changes nothing and says why; a cancelled one changes
// nothing and says nothing. The wait cursor shows from the end of the
// download to the end of the save.
void UpdateImageDatabase(IUiServices& ui, ImageDatabase& db, IDownloader& downloader,
                         const std::string& url, bool bDisableBeeps);

// Image Database Information.
void ShowImageDatabaseInfo(IUiServices& ui, const ImageDatabase& db);

// Closing the main window while the results log holds calculations that were
// never saved: Save / Discard / Cancel. save runs Save Calculation Results
// and says whether the file was written. True when the window may close.
bool ConfirmCloseWithUnsavedResults(IUiServices& ui, const std::function<bool()>& save);
