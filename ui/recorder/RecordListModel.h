#pragma once
#include <QAbstractTableModel>
#include <QString>

#include <array>
#include <cstdint>
#include <vector>

namespace larkspan {

// The rows of the record list: seven text columns and the job number of the
// worker attached to the row (0: none; a row with a job is recording).
class RecordListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column : int {
        kSource = 0,    // "File": the source text, the row's key
        kTime = 1,      // "Time"
        kKByte = 2,     // "KByte"
        kPercent = 3,   // "%"
        kName = 4,      // "File" (hidden): the entry's name
        kPlayFile = 5,  // "Play File" (hidden): the recording's output path
        kRecTime = 6,   // "RecTime" (hidden): the row's own record time
        kColumnCount = 7,
    };

    explicit RecordListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    int Count() const { return static_cast<int>(rows_.size()); }
    // Empty for a row or column out of range.
    QString Text(int row, int column) const;
    void SetText(int row, int column, const QString& text);
    std::uint16_t Job(int row) const;
    void SetJob(int row, std::uint16_t job);
    // The row whose source equals source exactly, or -1.
    int FindSource(const QString& source) const;
    // The row recording job, or -1 (job 0 names no row).
    int FindJob(std::uint16_t job) const;
    bool AnyRecording() const;

    int Append(const QString& source, const QString& name, const QString& recordTime);
    void Remove(int row);

private:
    struct Row {
        std::array<QString, kColumnCount> texts;
        std::uint16_t job = 0;
    };
    std::vector<Row> rows_;
};

}  // namespace larkspan
