// The application's commands, whose menu items the main frame connects to
// them: the result files, the image database, the vertex-file dialogs and
// the About box, and the question before the main window closes while the
// results log holds calculations that were never saved.
#pragma once

#include <string>

class CChildView;
class CPairController;
class IUiServices;
class ImageDatabase;

struct AppCommandOptions {
    // Where the web update downloads from; empty: the built-in address.
    std::string sUpdateUrl;
};

class CAppCommands {
public:
    // Works on the view's measurement session and on db; speaks through ui;
    // refreshes the controller's Analyse dialog after a database change.
    CAppCommands(CChildView& view, CPairController& controller, ImageDatabase& db, IUiServices& ui,
                 const AppCommandOptions& options = {});

    void SaveCalculationResults();
    void SaveVertexResults();
    void ImportImageDatabase();
    void InitializeImageDatabase();
    void UpdateImageDatabase();
    void ShowImageDatabaseInfo();
    void TransformVertexFiles();
    void RegisterVertices();
    void About();
    // Asked before the main window closes; false keeps it open.
    bool CanClose();

private:
    // After a database change the Analyse dialog shows the new poses, when
    // it is open and an image of the pair is loaded.
    void RefreshCalcDialog();

    CChildView& m_view;
    CPairController& m_controller;
    ImageDatabase& m_db;
    IUiServices& m_ui;
    std::string m_sUpdateUrl;
};
