// The modal Transform Vertex Files dialog: pick the file to transform and the
// reference frame file, type the indices of three vertices common to both,
// press TRANSFORM.
#pragma once

#include <QDialog>

#include <array>
#include <cstdint>
#include <map>
#include <string>

class IUiServices;
class QLineEdit;

enum TransformDlgControl {
    IDC_SOURCE_FILE = 1018,
    IDC_REFERENCE_FILE = 1019,
    IDC_TRANSFORM = 1020,
    IDC_SOURCE_INDEX_1 = 1021,    // 1021 + k: source index of pair k
    IDC_REFERENCE_INDEX_1 = 1024, // 1024 + k: reference index of pair k
    IDC_SOURCE_TITLE = 1027,
    IDC_REFERENCE_TITLE = 1028,
    IDC_DONE = 2,
};

class CTransformDlg : public QDialog {
    Q_OBJECT

public:
    explicit CTransformDlg(IUiServices& ui, QWidget* parent = nullptr);

    bool UpdateData(bool take = true);
    QWidget* Control(int id) const;

    std::string m_strSourcePath;
    std::string m_strReferencePath;
    // Pair k: (source index, reference index).
    std::array<std::array<std::uint32_t, 2>, 3> m_nVertexIndex{};
    std::string m_strSourceTitle;
    std::string m_strReferenceTitle;

public slots:
    void OnSourceFile();
    void OnReferenceFile();
    void OnTransform();

private:
    void CreateControls();
    // Runs an open chooser; on a choice stores its path and title and shows
    // the members.
    void ChooseFile(const char* title, std::string& path, std::string& fileTitle);

    IUiServices& m_ui;
    std::map<int, QWidget*> m_mControls;
};
