#include "app/WindowState.h"

#include <QEvent>
#include <QGuiApplication>
#include <QMainWindow>
#include <QScreen>
#include <QSettings>

namespace {

const char* const kGroup = "MainWindow";
// The settings file of the application (organisation and application name).
const char* const kSettingsName = "Ranvista";

std::vector<QRect> AvailableScreens() {
    std::vector<QRect> areas;
    for (const QScreen* screen : QGuiApplication::screens()) {
        areas.push_back(screen->availableGeometry());
    }
    return areas;
}

bool IsOnScreen(const QPoint& point, const std::vector<QRect>& availableScreens) {
    for (const QRect& area : availableScreens) {
        if (area.contains(point)) {
            return true;
        }
    }
    return false;
}

// Saves the dialog's position under a key as it moves and hides.
class CPositionKeeper : public QObject {
public:
    CPositionKeeper(QWidget& dialog, QString key) : QObject(&dialog), m_sKey(std::move(key)) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if ((event->type() == QEvent::Move || event->type() == QEvent::Hide) &&
            watched == parent()) {
            const auto* dialog = static_cast<const QWidget*>(watched);
            if (dialog->isVisible() || event->type() == QEvent::Hide) {
                QSettings settings(kSettingsName, kSettingsName);
                settings.setValue(m_sKey, dialog->pos());
            }
        }
        return false;
    }

private:
    QString m_sKey;
};

} // namespace

bool IsUsableWindowRect(const QRect& rect, const std::vector<QRect>& availableScreens) {
    return rect.isValid() && rect.width() >= kMinRestoredWidth &&
           rect.height() >= kMinRestoredHeight && IsOnScreen(rect.center(), availableScreens);
}

WindowRestoreResult ShowMainWindow(QMainWindow& window, QSettings& settings) {
    settings.beginGroup(kGroup);
    const QVariant saved = settings.value("geometry");
    const bool maximised = settings.value("maximized", false).toBool();
    const QByteArray state = settings.value("state").toByteArray();
    settings.endGroup();

    WindowRestoreResult result;
    const QRect rect = saved.toRect();
    if (!saved.isValid()) {
        result.sReason = "none saved";
    } else if (saved.typeId() != QMetaType::QRect) {
        result.sReason = "corrupt";
    } else if (!IsUsableWindowRect(rect, AvailableScreens())) {
        result.sReason = "too small or off-screen";
    } else {
        result.bRestored = true;
    }
    if (!state.isEmpty()) {
        window.restoreState(state); // a corrupt layout leaves the default one
    }
    if (!result.bRestored) {
        const QScreen* screen = QGuiApplication::primaryScreen();
        if (screen != nullptr) {
            window.setGeometry(screen->availableGeometry());
        }
        window.showMaximized();
        return result;
    }
    window.setGeometry(rect);
    if (maximised) {
        window.showMaximized();
    } else {
        window.showNormal();
    }
    return result;
}

void SaveMainWindow(const QMainWindow& window, QSettings& settings) {
    settings.beginGroup(kGroup);
    const bool maximised = window.isMaximized() || window.isFullScreen();
    // A maximised window keeps the rectangle it had before, so that it
    // comes back to that when un-maximised.
    const QRect normal = maximised && window.normalGeometry().isValid() ? window.normalGeometry()
                                                                        : window.geometry();
    settings.setValue("geometry", normal);
    settings.setValue("maximized", maximised);
    settings.setValue("state", window.saveState());
    settings.endGroup();
}

void KeepDialogPosition(QWidget& dialog, const QString& key) {
    const QVariant saved = QSettings(kSettingsName, kSettingsName).value(key);
    if (saved.typeId() == QMetaType::QPoint) {
        const QPoint pos = saved.toPoint();
        // The title bar's corner must be somewhere the user can grab it.
        if (IsOnScreen(pos + QPoint(20, 10), AvailableScreens())) {
            dialog.move(pos);
        }
    }
    dialog.installEventFilter(new CPositionKeeper(dialog, key));
}
