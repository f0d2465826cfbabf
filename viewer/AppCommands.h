// The view's commands whose work the application does: the result files,
// the image database, the vertex-file tools and the About box. The view's
// handlers forward to the object the application installs.
#pragma once

class IAppCommands {
public:
    virtual ~IAppCommands() = default;

    virtual void SaveCalculationResults() = 0;
    virtual void SaveVertexResults() = 0;
    virtual void ImportImageDatabase() = 0;
    virtual void InitializeImageDatabase() = 0;
    virtual void UpdateImageDatabase() = 0;
    virtual void ShowImageDatabaseInfo() = 0;
    virtual void TransformVertexFiles() = 0;
    virtual void RegisterVertices() = 0;
    virtual void About() = 0;
    // Asked before the main window closes; false keeps it open.
    virtual bool CanClose() = 0;
};
