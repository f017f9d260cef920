#include "ui/recorder/RecordListModel.h"

namespace larkspan {

RecordListModel::RecordListModel(QObject* parent) : QAbstractTableModel(parent) {}

int RecordListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : Count(); }

int RecordListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumnCount; }

QVariant RecordListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole)) return {};
    return Text(index.row(), index.column());
}

QVariant RecordListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    switch (section) {
    case kSource: return tr("File");
    case kTime: return tr("Time");
    case kKByte: return tr("KByte");
    case kPercent: return tr("%");
    case kName: return tr("File");
    case kPlayFile: return tr("Play File");
    case kRecTime: return tr("RecTime");
    default: return {};
    }
}

QString RecordListModel::Text(int row, int column) const {
    if (row < 0 || row >= Count() || column < 0 || column >= kColumnCount) return {};
    return rows_[static_cast<size_t>(row)].texts[static_cast<size_t>(column)];
}

void RecordListModel::SetText(int row, int column, const QString& text) {
    if (row < 0 || row >= Count() || column < 0 || column >= kColumnCount) return;
    QString& cell = rows_[static_cast<size_t>(row)].texts[static_cast<size_t>(column)];
    if (cell == text) return;
    cell = text;
    emit dataChanged(index(row, column), index(row, column));
}

std::uint16_t RecordListModel::Job(int row) const {
    return row >= 0 && row < Count() ? rows_[static_cast<size_t>(row)].job : 0;
}

void RecordListModel::SetJob(int row, std::uint16_t job) {
    if (row >= 0 && row < Count()) rows_[static_cast<size_t>(row)].job = job;
}

int RecordListModel::FindSource(const QString& source) const {
    for (int r = 0; r < Count(); ++r)
        if (rows_[static_cast<size_t>(r)].texts[kSource] == source) return r;
    return -1;
}

int RecordListModel::FindJob(std::uint16_t job) const {
    if (job == 0) return -1;
    for (int r = 0; r < Count(); ++r)
        if (rows_[static_cast<size_t>(r)].job == job) return r;
    return -1;
}

bool RecordListModel::AnyRecording() const {
    for (const Row& row : rows_)
        if (row.job != 0) return true;
    return false;
}

int RecordListModel::Append(const QString& source, const QString& name, const QString& recordTime) {
    const int row = Count();
    beginInsertRows(QModelIndex(), row, row);
    Row added;
    added.texts[kSource] = source;
    added.texts[kName] = name;
    added.texts[kRecTime] = recordTime;
    rows_.push_back(std::move(added));
    endInsertRows();
    return row;
}

void RecordListModel::Remove(int row) {
    if (row < 0 || row >= Count()) return;
    beginRemoveRows(QModelIndex(), row, row);
    rows_.erase(rows_.begin() + row);
    endRemoveRows();
}

}  // namespace larkspan
