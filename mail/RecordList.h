#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <QAbstractTableModel>

#include "engine/MergeTemplate.h"
#include "mail/CellStore.h"
#include "mail/StoredValueDigest.h"

class CTableCursor;
class CProgress;

// The records of the table as the Choose Recipients list shows them: one row per record, one
// column per field, each cell the text form of the value. New records go on top, so the list
// shows the table in reverse order. Rows hold only texts, and a selected state of their own.
class CRecordList final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CRecordList)

public:
    explicit CRecordList(QObject *pParent = nullptr);

    // The columns, one per field of the document's field list; empties the rows.
    void SetColumns(std::vector<std::string> names);
    // Loads every record of the recordset, with progress and the Cancel question. The rows
    // loaded before a confirmed Cancel stay. Database failures throw CDaoException.
    void Load(CTableCursor &recordset, CProgress &progress);

    // Adds a record after those read so far (it shows on top); cells beyond the columns are
    // dropped, missing ones are empty.
    void AddRecord(const std::vector<std::string> &cells);

    int RowCount() const { return static_cast<int>(m_nRows); }
    int ColumnCount() const { return static_cast<int>(m_columns.size()); }
    // Valid until the list is loaded or emptied again.
    std::string_view CellText(int nRow, int nColumn) const;
    std::string_view Label(int nRow) const { return CellText(nRow, 0); }
    // What tells the row's record from the others, from the values as stored rather than as
    // shown: its AutoNumber fields where the table has them, so that editing the rest of the
    // record changes nothing, else all its values. A row added as texts digests its texts.
    const CStoredValueDigest::Result &RecordDigest(int nRow) const;
    // The row that shows the record at this position of the recordset, or -1 when that record
    // was not loaded.
    int RowOfRecord(long nRecord) const;

    bool IsSelected(int nRow) const { return m_selected[Storage(nRow)] != 0; }
    void SetSelected(int nRow, bool bSelected);
    void SelectAll();
    void UnselectAll();
    // The selected rows from the top down.
    std::vector<int> SelectedRows() const;
    // Selects or deselects the topmost row whose label equals the text, ignoring ASCII letter
    // case; nothing when no row has it.
    void SelectRowByLabel(const std::string &strLabel, bool bSelect);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int nRole = Qt::DisplayRole) const override;
    QVariant headerData(
        int nSection, Qt::Orientation orientation, int nRole = Qt::DisplayRole) const override;

private:
    // Records are stored in the order they were read; row 0 is the last one.
    size_t Storage(int nRow) const { return m_nRows - 1 - static_cast<size_t>(nRow); }

    std::vector<std::string> m_columns;
    CCellStore m_cells; // by storage index
    std::vector<char> m_selected; // by storage index
    std::vector<CStoredValueDigest::Result> m_digests; // by storage index
    size_t m_nRows = 0;
};

// One row of the record list as the template expansion reads it.
class CRecordListRow final : public CMergeRecord
{
public:
    CRecordListRow(const CRecordList &list, int nRow) : m_list(list), m_nRow(nRow) { }
    std::string_view CellText(int nColumn) const override;

private:
    const CRecordList &m_list;
    int m_nRow;
};
