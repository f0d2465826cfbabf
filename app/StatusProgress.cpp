#include "app/StatusProgress.h"

#include <QHBoxLayout>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>

class CStatusProgressPane::Progress : public IProgress {
public:
    Progress(CStatusProgressPane& pane, int owner) : m_pane(&pane), m_owner(owner) {}
    ~Progress() override {
        if (Owns()) {
            m_pane->m_owner = 0;
            m_pane->hide();
        }
    }
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void SetValue(int done) override {
        if (Owns()) {
            m_pane->m_pBar->setValue(done);
        }
    }
    bool Cancelled() const override { return Owns() && m_pane->m_cancelled; }

private:
    // The pane may go first (the window closing) or be taken over.
    bool Owns() const { return m_pane && m_pane->m_owner == m_owner; }
    QPointer<CStatusProgressPane> m_pane;
    int m_owner;
};

CStatusProgressPane::CStatusProgressPane(QWidget* parent) : QWidget(parent) {
    setObjectName("progress");
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    m_pBar = new QProgressBar(this);
    m_pBar->setFixedWidth(160);
    m_pBar->setMaximumHeight(16);
    m_pCancel = new QPushButton("Cancel", this);
    m_pCancel->setFocusPolicy(Qt::NoFocus);
    // A button's shortcut counts only while it shows: Esc is free otherwise.
    m_pCancel->setShortcut(QKeySequence(Qt::Key_Escape));
    m_pCancel->setToolTip("Stops it (Esc)");
    m_pCancel->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    layout->addWidget(m_pBar);
    layout->addWidget(m_pCancel);
    connect(m_pCancel, &QPushButton::clicked, this, [this] {
        m_cancelled = true;
        m_pCancel->setEnabled(false);
    });
    hide();
}

std::unique_ptr<IProgress> CStatusProgressPane::Begin(const std::string& title, int maximum) {
    m_owner = ++m_begun;
    m_cancelled = false;
    m_pBar->setRange(0, maximum);
    m_pBar->setValue(0);
    m_pBar->setToolTip(QString::fromStdString(title));
    m_pCancel->setEnabled(true);
    show();
    return std::make_unique<Progress>(*this, m_owner);
}
