// The measurement table: one row per measurement of a session, the note
// editable. Sorting goes through a proxy on SortRole (numbers as numbers).
#pragma once

#include "session/MeasurementSession.h"

#include <QAbstractTableModel>

#include <functional>

class CMeasurementTableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column {
        kIndex,
        kLeftPixel,
        kRightPixel,
        kLeftSet,
        kRightSet,
        kRange,
        kX,
        kY,
        kZ,
        kAzimuth,
        kElevation,
        kSpread,
        kSigmaRange,
        kSigmaDown,
        kSigmaCross,
        kSigmaVertical,
        kMiss,
        kTime,
        kNote,
        kColumnCount
    };
    static constexpr int SortRole = Qt::UserRole + 1;

    explicit CMeasurementTableModel(MeasurementSession& session, QObject* parent = nullptr);

    // A note typed into the table goes here (the dock makes it undoable);
    // without one, the note is set directly.
    void SetNoteEditor(std::function<void(std::size_t row, const std::string& note)> editor) {
        m_noteEditor = std::move(editor);
    }
    // The session changed: rows it gained are inserted at the end, rows it
    // lost removed from the end, and every row kept is read again (a note,
    // a deletion in the middle, another pair). The views keep their place.
    void Follow();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

private:
    MeasurementSession& m_session;
    int m_nRows = 0; // the rows the views were told of
    std::function<void(std::size_t, const std::string&)> m_noteEditor;
};
