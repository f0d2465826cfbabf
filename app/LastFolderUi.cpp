#include "app/LastFolderUi.h"

#include "base/Paths.h"

FileChooserRequest CLastFolderUi::WithStartFolder(const FileChooserRequest& request) const {
    FileChooserRequest out = request;
    if (out.startFolder.empty()) {
        out.startFolder = m_sLastFolder;
    }
    return out;
}

void CLastFolderUi::Remember(const std::string& chosenFile) {
    if (chosenFile.find_last_of("/\\") != std::string::npos) {
        m_sLastFolder = PathFolder(chosenFile);
    }
}

std::vector<std::string> CLastFolderUi::ChooseOpenFiles(const FileChooserRequest& request) {
    std::vector<std::string> chosen = m_inner.ChooseOpenFiles(WithStartFolder(request));
    if (!chosen.empty()) {
        Remember(chosen.front());
    }
    return chosen;
}

std::string CLastFolderUi::ChooseSaveFile(const FileChooserRequest& request) {
    std::string chosen = m_inner.ChooseSaveFile(WithStartFolder(request));
    if (!chosen.empty()) {
        Remember(chosen);
    }
    return chosen;
}
