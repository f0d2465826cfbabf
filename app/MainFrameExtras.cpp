// The main frame's File > Recent Pairs and Help > Ranvista Help.
#include "app/MainFrame.h"
#include "app/PairController.h"

#include <QAction>
#include <QCoreApplication>
#include <QFileInfo>
#include <QMenu>
#include <QSettings>

void CMainFrame::CreateRecentPairsMenu(QMenu* file, QAction* before) {
    {
        QSettings settings(CChildView::kSettingsName, CChildView::kSettingsName);
        m_recentPairs = RecentPairs::Load(settings);
    }
    m_pRecentMenu = new QMenu("Recent Pairs", file);
    file->insertMenu(before, m_pRecentMenu);
    connect(m_pRecentMenu, &QMenu::aboutToShow, this, &CMainFrame::FillRecentPairsMenu);
    FillRecentPairsMenu();
}

void CMainFrame::FillRecentPairsMenu() {
    m_pRecentMenu->clear();
    const auto& pairs = m_recentPairs.Pairs();
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        QAction* item = m_pRecentMenu->addAction(RecentPairs::MenuText(i, pairs[i]));
        item->setStatusTip(QString::fromStdString(pairs[i].leftFile + "  " + pairs[i].rightFile));
        connect(item, &QAction::triggered, this, [this, i] { OpenRecentPair(i); });
    }
    m_pRecentMenu->setEnabled(!pairs.empty());
}

void CMainFrame::RememberOpenPair() {
    const CChildView& view = *m_wndView;
    const CImage* left = view.Image(ViewSide::Left);
    const CImage* right = view.Image(ViewSide::Right);
    if (left == nullptr || right == nullptr || !left->IsValid() || !right->IsValid()) {
        return;
    }
    m_recentPairs.Add({view.Session().LeftFile(), view.Session().RightFile()});
    QSettings settings(CChildView::kSettingsName, CChildView::kSettingsName);
    m_recentPairs.Save(settings);
    FillRecentPairsMenu();
}

void CMainFrame::OpenRecentPair(std::size_t index) {
    if (index >= m_recentPairs.Pairs().size()) {
        return;
    }
    const RecentPair pair = m_recentPairs.Pairs()[index];
    for (const std::string& file : {pair.leftFile, pair.rightFile}) {
        if (!QFileInfo(QString::fromStdString(file)).isFile()) {
            m_recentPairs.Remove(pair);
            QSettings settings(CChildView::kSettingsName, CChildView::kSettingsName);
            m_recentPairs.Save(settings);
            FillRecentPairsMenu();
            m_ui.ShowMessage(file + " no longer exists");
            return;
        }
    }
    m_pController->OpenPairFiles(pair.leftFile, pair.rightFile);
    // The title may not change (the same pair again): record it anyway.
    RememberOpenPair();
    UpdateCommandUI();
}

void CMainFrame::CreateHelpItem(QMenu* help) {
    m_pHelpAction = help->addAction("Ranvista Help");
    m_pHelpAction->setStatusTip("Open the Ranvista guide in your browser");
    connect(m_pHelpAction, &QAction::triggered, this, &CMainFrame::OnRanvistaHelp);
}

void CMainFrame::OnRanvistaHelp() {
    const QString file = FindHelpFile(QCoreApplication::applicationDirPath());
    if (file.isEmpty()) {
        m_ui.ShowMessage("The Ranvista guide (README.md) is not installed");
        return;
    }
    if (!m_pHelpOpener->OpenUrl(QUrl::fromLocalFile(file))) {
        m_ui.ShowMessage("Unable to open " + file.toStdString());
    }
}
