#include "app/MyAboutDlg.h"

#include "app/DialogUnits.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTextEdit>

std::string BuildAboutText() {
    std::string text;
    // Notice.
    text += "Ranvista V5.0\n"
            "Rangefinding and photogrammetry for the stereo cameras of Mars rovers and "
            "landers.\n"
            "Measurements are only as good as the camera models and the recorded poses "
            "behind them; check results before relying on them.\n\n";
    // Where the camera geometry comes from.
    text += "The photogrammetry calculations follow the CAHVOR camera model as set out in two "
            "published papers: D. B. Gennery's account of least-squares camera calibration "
            "that includes lens distortion and edits calibration points automatically, and "
            "K. Di and R. Li's description of the CAHVOR camera model and its conversion to "
            "photogrammetric terms for planetary work.  The CAHVOR parameters come from the "
            "instrument kernels of the MER-1 (Opportunity) and MER-2 (Spirit) rovers, "
            "archived by NASA's Navigation and Ancillary Information Facility (NAIF):\n";
    for (const char* rover : {"MER-1 (Opportunity)", "MER-2 (Spirit)"}) {
        for (const char* camera : {"left Navcam", "right Navcam", "left Pancam", "right Pancam"}) {
            text += "     ";
            text += rover;
            text += " ";
            text += camera;
            text += " kernel: NAIF SPICE archive, ik folder\n";
        }
    }
    text += "\n\nThe Ranvista developers, 17 August, 2006\n";
    text += "\n\nUsage:\n\n";
    text += "1.  Open a stereo pair of images with File > Open Stereo Pair (or File > Recent\n"
            "Pairs, or drop two image files on the window).\n\n";
    text += "2.  Select the same feature in each image by clicking on it with the left\nmouse "
            "button.\n\n";
    text += "3.  The right mouse button may be used to click and drag the images.  The \nnumeric "
            "+/- keys (or PageUp/PageDown) zoom the images in/out.  View > Fit to\n"
            "Window shows both images whole, View > Actual Size one screen pixel per image\n"
            "pixel, and View > Reset puts them back as they were opened at 1:1.\n\n";
    text += "4.  Calculate range and photogrammetry information for the selected point by\n"
            "pressing the spacebar or clicking CALCULATE in the Analyse dialog.\n\n";
    text += "5.  The current marks are shown as yellow crosses, stored marks as magenta\n"
            "crosses.  Double-click on a stored mark to select/adjust it.\n\n";
    text += "SHORTCUTS:\n\n";
    text += "     MOUSE -> Left-Click Sets mark in each image.\n";
    text += "     MOUSE -> Left-DoubleClick Selects existing marks in both images.\n";
    text += "     MOUSE -> Right-Click-and-Drag drags image positions.\n";
    text += "     SPACEBAR -> Performs calculation on current (yellow) pair of selected points.\n";
    text += "     CTRL+0 -> Fits both images to the window.\n";
    text += "     CTRL+1 -> Shows the images at actual size.\n";
    text += "     NUMERIC +/- -> Zooms in/out of images (together).\n";
    text += "     PAGEUP/PAGEDOWN -> Zooms in/out of images (together).\n";
    return text;
}

CMyAboutDlg::CMyAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About"));
    setFont(DialogFont());
    const DialogUnits du(font());
    setFixedSize(du.Size(329, 326));

    // The application icon, lying under the text box.
    auto* icon = new QLabel(this);
    icon->setPixmap(QApplication::windowIcon().pixmap(du.Size(20, 20)));
    du.Place(icon, 11, 17, 20, 20);

    m_pText = new QTextEdit(this);
    m_pText->setObjectName(QStringLiteral("ctl%1").arg(IDC_ABOUT_TEXT));
    m_pText->setAcceptRichText(false);
    m_pText->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    du.Place(m_pText, 7, 7, 315, 293);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("ctl1"));
    ok->setDefault(true);
    du.Place(ok, 140, 305, 50, 14);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

void CMyAboutDlg::UpdateData(bool take) {
    if (take) {
        m_sText = m_pText->toPlainText().toStdString();
    } else {
        m_pText->setPlainText(QString::fromStdString(m_sText));
    }
}

void CMyAboutDlg::showEvent(QShowEvent* event) {
    UpdateData(false);
    QDialog::showEvent(event);
}

void RunAboutDialog(QWidget* parent) {
    CMyAboutDlg dlg(parent);
    dlg.m_sText = BuildAboutText();
    dlg.exec();
}
