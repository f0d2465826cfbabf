#include "ui/QtUiServices.h"

#include <QApplication>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>

namespace {
const char* const kBoxTitle = "Ranvista";

// A modal box or chooser shows the normal pointer even while a long command
// holds the wait cursor.
class NormalCursorWhileModal {
public:
    NormalCursorWhileModal() : m_bActive(QGuiApplication::overrideCursor() != nullptr) {
        if (m_bActive) {
            QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
        }
    }
    ~NormalCursorWhileModal() {
        if (m_bActive) {
            QGuiApplication::restoreOverrideCursor();
        }
    }
    NormalCursorWhileModal(const NormalCursorWhileModal&) = delete;
    NormalCursorWhileModal& operator=(const NormalCursorWhileModal&) = delete;

private:
    bool m_bActive;
};
} // namespace

QString ToQtFileFilter(const std::string& filter) {
    const QStringList parts = QString::fromStdString(filter).split('|');
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty()) {
            break;
        }
        // A name that already shows its patterns ("CSV Files (*.csv)") is
        // not given them twice.
        const QString name = parts[i].trimmed();
        if (name.endsWith(')') && name.contains('(')) {
            entries << name;
            continue;
        }
        QStringList patterns = parts[i + 1].split(';', Qt::SkipEmptyParts);
        entries << parts[i] + " (" + patterns.join(' ') + ")";
    }
    return entries.join(";;");
}

CQtUiServices::CQtUiServices(QWidget* parent) : m_pParent(parent) {}

void CQtUiServices::ShowMessage(const std::string& text) {
    QMessageBox box(QMessageBox::Warning, kBoxTitle, QString::fromStdString(text), QMessageBox::Ok,
                    m_pParent);
    const NormalCursorWhileModal cursor;
    box.exec();
}

void CQtUiServices::ShowInformation(const std::string& text) {
    QMessageBox box(QMessageBox::Information, kBoxTitle, QString::fromStdString(text),
                    QMessageBox::Ok, m_pParent);
    const NormalCursorWhileModal cursor;
    box.exec();
}

IUiServices::RestoreChoice CQtUiServices::AskRestoreDiscardLater(const std::string& text) {
    QMessageBox box(QMessageBox::Question, kBoxTitle, QString::fromStdString(text),
                    QMessageBox::NoButton, m_pParent);
    QPushButton* restore = box.addButton(QStringLiteral("Restore"), QMessageBox::AcceptRole);
    QPushButton* discard = box.addButton(QStringLiteral("Discard"), QMessageBox::DestructiveRole);
    QPushButton* later = box.addButton(QStringLiteral("Later"), QMessageBox::RejectRole);
    box.setDefaultButton(restore);
    box.setEscapeButton(later);
    const NormalCursorWhileModal cursor;
    box.exec();
    if (box.clickedButton() == restore) {
        return RestoreChoice::Restore;
    }
    return box.clickedButton() == discard ? RestoreChoice::Discard : RestoreChoice::Later;
}

IUiServices::SaveChoice CQtUiServices::AskSaveDiscardCancel(const std::string& text) {
    QMessageBox box(QMessageBox::Question, kBoxTitle, QString::fromStdString(text),
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, m_pParent);
    box.setDefaultButton(QMessageBox::Save);
    const NormalCursorWhileModal cursor;
    switch (box.exec()) {
    case QMessageBox::Save:
        return SaveChoice::Save;
    case QMessageBox::Discard:
        return SaveChoice::Discard;
    default:
        return SaveChoice::Cancel;
    }
}

std::vector<std::string> CQtUiServices::ChooseOpenFiles(const FileChooserRequest& request) {
    const QString title = QString::fromStdString(request.title);
    const QString folder = QString::fromStdString(request.startFolder);
    const QString filter = ToQtFileFilter(request.filter);
    const NormalCursorWhileModal cursor;
    QStringList chosen;
    if (request.multiSelect) {
        chosen = QFileDialog::getOpenFileNames(m_pParent, title, folder, filter);
    } else {
        const QString one = QFileDialog::getOpenFileName(m_pParent, title, folder, filter);
        if (!one.isEmpty()) {
            chosen << one;
        }
    }
    std::vector<std::string> out;
    for (const QString& path : chosen) {
        out.push_back(path.toStdString());
    }
    return out;
}

std::string CQtUiServices::ChooseSaveFile(const FileChooserRequest& request) {
    QFileDialog chooser(m_pParent, QString::fromStdString(request.title),
                        QString::fromStdString(request.startFolder),
                        ToQtFileFilter(request.filter));
    chooser.setAcceptMode(QFileDialog::AcceptSave);
    chooser.setFileMode(QFileDialog::AnyFile);
    chooser.setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
    chooser.setDefaultSuffix(QString::fromStdString(request.defaultSuffix));
    const NormalCursorWhileModal cursor;
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) {
        return {};
    }
    return chooser.selectedFiles().front().toStdString();
}

void CQtUiServices::BeginWaitCursor() {
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

void CQtUiServices::EndWaitCursor() {
    QGuiApplication::restoreOverrideCursor();
}

void CQtUiServices::Beep(int frequencyHz, int durationMs) {
    m_tonePlayer.Play(frequencyHz, durationMs);
}

namespace {
class CProgressDialog : public IProgress {
public:
    CProgressDialog(QWidget* parent, const std::string& title, int maximum)
        : m_dialog(QString::fromStdString(title), QStringLiteral("Cancel"), 0, maximum, parent) {
        m_dialog.setWindowTitle(QString::fromStdString(title));
        m_dialog.setWindowModality(Qt::WindowModal);
        m_dialog.setMinimumDuration(500);
        m_dialog.setValue(0);
    }
    void SetValue(int done) override { m_dialog.setValue(done); }
    bool Cancelled() const override { return m_dialog.wasCanceled(); }

private:
    QProgressDialog m_dialog;
};
} // namespace

std::unique_ptr<IProgress> CQtUiServices::BeginProgress(const std::string& title, int maximum) {
    return std::make_unique<CProgressDialog>(m_pParent, title, maximum);
}
