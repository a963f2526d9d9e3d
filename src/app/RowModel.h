#pragma once

#include "RowTexts.h"

#include <QAbstractTableModel>

#include <array>
#include <vector>

// The measurement table's rows as cell texts. Rows are inserted empty when a
// transfer starts and filled one by one; a view shows only what it paints,
// so thousands of rows cost no widgets.
class CRowModel : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit CRowModel(const std::array<QString, COLUMN_COUNT>& titles, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void Clear();
    void InsertEmptyRows(unsigned count);
    bool SetRow(int row, const RowTexts& texts);   // false for a row that does not exist
    void SetRows(std::vector<RowTexts> rows);      // all at once, as an archived upload is opened
    const std::vector<RowTexts>& Rows() const { return m_rows; }

private:
    std::array<QString, COLUMN_COUNT> m_titles;
    std::vector<RowTexts> m_rows;
};
