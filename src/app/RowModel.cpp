#include "RowModel.h"

CRowModel::CRowModel(const std::array<QString, COLUMN_COUNT>& titles, QObject* parent)
    : QAbstractTableModel(parent), m_titles(titles)
{
}

int CRowModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int CRowModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : COLUMN_COUNT;
}

QVariant CRowModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= COLUMN_COUNT)
        return {};
    if (role == Qt::DisplayRole)
        return QString::fromStdString(m_rows[static_cast<std::size_t>(index.row())]
                                          .cells[static_cast<std::size_t>(index.column())]);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    return {};
}

QVariant CRowModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= COLUMN_COUNT)
        return {};
    if (role == Qt::DisplayRole)
        return m_titles[static_cast<std::size_t>(section)];
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    return {};
}

void CRowModel::Clear()
{
    if (m_rows.empty())
        return;
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

void CRowModel::SetRows(std::vector<RowTexts> rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

void CRowModel::InsertEmptyRows(unsigned count)
{
    if (count == 0)
        return;
    const int first = rowCount();
    beginInsertRows({}, first, first + static_cast<int>(count) - 1);
    m_rows.resize(m_rows.size() + count);
    endInsertRows();
}

bool CRowModel::SetRow(int row, const RowTexts& texts)
{
    if (row < 0 || row >= rowCount())
        return false;
    m_rows[static_cast<std::size_t>(row)] = texts;
    emit dataChanged(index(row, 0), index(row, COLUMN_COUNT - 1), {Qt::DisplayRole});
    return true;
}
