// The view's commands whose work the application does: the result files,
// the image database commands, the Transform Vertex Files dialog and the
// About box; and the question before the main window closes while the
// results log holds calculations that were never saved.
#pragma once

#include "viewer/ChildView.h"

#include <string>

struct ViewCommandOptions {
    // Where the web update downloads from; empty: the built-in address.
    std::string sUpdateUrl;
};

void InstallViewCommands(CChildView& view, const ViewCommandOptions& options = {});
