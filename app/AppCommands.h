// The commands the application carries out for the stereo view: the result
// files, the image database, the Transform Vertex Files dialog and the About
// box, and the question before the main window closes while the results log
// holds calculations that were never saved.
#pragma once

#include "viewer/AppCommands.h"

#include <string>

class CChildView;
class IUiServices;
class ImageDatabase;

struct AppCommandOptions {
    // Where the web update downloads from; empty: the built-in address.
    std::string sUpdateUrl;
};

class CAppCommands : public IAppCommands {
public:
    // Works on the view's measurement session and on db; speaks through ui.
    CAppCommands(CChildView& view, ImageDatabase& db, IUiServices& ui,
                 const AppCommandOptions& options = {});

    void SaveCalculationResults() override;
    void SaveVertexResults() override;
    void ImportImageDatabase() override;
    void InitializeImageDatabase() override;
    void UpdateImageDatabase() override;
    void ShowImageDatabaseInfo() override;
    void TransformVertexFiles() override;
    void RegisterVertices() override;
    void About() override;
    bool CanClose() override;

private:
    // After a database change the Analyse dialog shows the new poses, when
    // it is open and an image of the pair is loaded.
    void RefreshCalcDialog();

    CChildView& m_view;
    ImageDatabase& m_db;
    IUiServices& m_ui;
    std::string m_sUpdateUrl;
};
