#include "app/MeasurementTableModel.h"

namespace {

QString Metres(double v) {
    return QString::number(v, 'f', 4);
}
QString Pixel(const ImagePoint& p) {
    return QStringLiteral("%1, %2").arg(p.x, 0, 'f', 1).arg(p.y, 0, 'f', 1);
}
QString Source(PixelSource s) {
    return QString::fromUtf8(PixelSourceName(s).data(),
                             static_cast<int>(PixelSourceName(s).size()));
}

} // namespace

CMeasurementTableModel::CMeasurementTableModel(MeasurementSession& session, QObject* parent)
    : QAbstractTableModel(parent), m_session(session),
      m_nRows(static_cast<int>(session.Measurements().size())) {}

void CMeasurementTableModel::Follow() {
    const int rows = static_cast<int>(m_session.Measurements().size());
    if (rows > m_nRows) {
        beginInsertRows({}, m_nRows, rows - 1);
        const int kept = m_nRows;
        m_nRows = rows;
        endInsertRows();
        if (kept > 0) {
            emit dataChanged(index(0, 0), index(kept - 1, kColumnCount - 1));
        }
    } else {
        if (rows < m_nRows) {
            beginRemoveRows({}, rows, m_nRows - 1);
            m_nRows = rows;
            endRemoveRows();
        }
        if (rows > 0) {
            emit dataChanged(index(0, 0), index(rows - 1, kColumnCount - 1));
        }
    }
}

int CMeasurementTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_nRows;
}

int CMeasurementTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant CMeasurementTableModel::data(const QModelIndex& index, int role) const {
    const auto& rows = m_session.Measurements();
    if (!index.isValid() || index.row() >= static_cast<int>(rows.size())) {
        return {};
    }
    const MeasurementRecord& r = rows[static_cast<std::size_t>(index.row())];
    const bool sort = role == SortRole;
    if (role == Qt::ToolTipRole && r.IsMono()) {
        return QStringLiteral("Monoscopic: on the %1").arg(QString::fromStdString(r.surface));
    }
    if (!sort && role != Qt::DisplayRole && role != Qt::EditRole) {
        if (role == Qt::TextAlignmentRole && index.column() != kNote && index.column() != kTime) {
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        }
        return {};
    }
    const auto number = [sort](double v, const QString& text) {
        return sort ? QVariant(v) : QVariant(text);
    };
    const auto sigma = [&](double PointUncertainty::*member) -> QVariant {
        if (!r.uncertainty) {
            return sort ? QVariant(-1.0) : QVariant(QString());
        }
        return number((*r.uncertainty).*member, Metres((*r.uncertainty).*member));
    };
    switch (index.column()) {
    case kIndex:
        return r.index;
    case kLeftPixel:
        return sort ? QVariant(r.leftPixel.x * 1e6 + r.leftPixel.y) : QVariant(Pixel(r.leftPixel));
    case kRightPixel:
        if (r.IsMono()) {
            return sort ? QVariant(-1.0) : QVariant(QString());
        }
        return sort ? QVariant(r.rightPixel.x * 1e6 + r.rightPixel.y)
                    : QVariant(Pixel(r.rightPixel));
    case kLeftSet:
        return Source(r.leftSource);
    case kRightSet:
        return r.IsMono() ? QStringLiteral("mono") : Source(r.rightSource);
    case kRange:
        return number(r.rangeM, Metres(r.rangeM));
    case kX:
        return number(r.position.m_dX, Metres(r.position.m_dX));
    case kY:
        return number(r.position.m_dY, Metres(r.position.m_dY));
    case kZ:
        return number(r.position.m_dZ, Metres(r.position.m_dZ));
    case kAzimuth:
        return number(r.azimuthDeg, QString::number(r.azimuthDeg, 'f', 1));
    case kElevation:
        return number(r.elevationDeg, QString::number(r.elevationDeg, 'f', 1));
    case kSpread:
        if (r.IsMono()) {
            return sort ? QVariant(-1.0) : QVariant(QString());
        }
        return number(r.rangeSpreadBelowM + r.rangeSpreadAboveM,
                      QStringLiteral("-%1 / +%2")
                          .arg(Metres(r.rangeSpreadBelowM), Metres(r.rangeSpreadAboveM)));
    case kSigmaRange:
        return sigma(&PointUncertainty::rangeSigmaM);
    case kSigmaDown:
        return sigma(&PointUncertainty::downRangeSigmaM);
    case kSigmaCross:
        return sigma(&PointUncertainty::crossRangeSigmaM);
    case kSigmaVertical:
        return sigma(&PointUncertainty::verticalSigmaM);
    case kMiss:
        if (!r.missDistanceM) {
            return sort ? QVariant(-1.0) : QVariant(QString());
        }
        return number(*r.missDistanceM, Metres(*r.missDistanceM));
    case kTime:
        return QString::fromStdString(r.timeUtc);
    case kNote:
        return QString::fromStdString(r.note);
    default:
        return {};
    }
}

QVariant CMeasurementTableModel::headerData(int section, Qt::Orientation orientation,
                                            int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    static const char* const kNames[kColumnCount] = {
        "#",          "Left px",         "Right px",    "Left set",   "Right set",
        "Range (m)",  "X (m)",           "Y (m)",       "Z (m)",      "Az (deg)",
        "El (deg)",   "±1 px range (m)", "σ range (m)", "σ down (m)", "σ cross (m)",
        "σ vert (m)", "Miss (m)",        "Time (UTC)",  "Note"};
    return section >= 0 && section < kColumnCount ? QVariant(QString::fromUtf8(kNames[section]))
                                                  : QVariant();
}

Qt::ItemFlags CMeasurementTableModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() == kNote) {
        f |= Qt::ItemIsEditable;
    }
    return f;
}

bool CMeasurementTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || index.column() != kNote || role != Qt::EditRole) {
        return false;
    }
    const auto row = static_cast<std::size_t>(index.row());
    const std::string note = value.toString().toStdString();
    if (row >= m_session.Measurements().size() || m_session.Measurements()[row].note == note) {
        return false;
    }
    if (m_noteEditor) {
        m_noteEditor(row, note);
    } else {
        m_session.SetNote(row, note);
    }
    emit dataChanged(index, index);
    return true;
}
