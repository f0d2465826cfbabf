// The main frame with one image open: the commands that need a pair.
#include "app/MainFrame.h"

#include "viewer/OneImageView.h"

#include <QAction>
#include <QMenu>

namespace {
// The property that keeps a command's own status tip while it is replaced.
constexpr const char* kPairTip = "ranvistaPairTip";
} // namespace

void CMainFrame::DisableStereoCommandsForOneImage() {
    const bool oneImage = m_wndView != nullptr && m_wndView->IsOneImage();
    for (auto& [id, action] : m_actions) {
        if (!IsStereoCommand(id)) {
            continue;
        }
        if (!action->property(kPairTip).isValid()) {
            action->setProperty(kPairTip, action->statusTip());
        }
        action->setEnabled(!oneImage);
        action->setStatusTip(oneImage ? QString(kNeedsPairReason)
                                      : action->property(kPairTip).toString());
    }
    if (m_pOpacityMenu != nullptr) {
        m_pOpacityMenu->setEnabled(!oneImage); // all its items need a pair
    }
}
