#include "mail/RecordList.h"

#include <QString>

#include "engine/AsciiCase.h"
#include "engine/Data.h"
#include "engine/Progress.h"
#include "engine/ProgressSteps.h"
#include "engine/Prompter.h"
#include "sources/TableCursor.h"

namespace {

constexpr int kLoadRange = 32700;

} // namespace

CRecordList::CRecordList(QObject *pParent) : QAbstractTableModel(pParent)
{ }

void CRecordList::SetColumns(std::vector<std::string> names)
{
    beginResetModel();
    m_columns = std::move(names);
    m_cells.Clear(m_columns.size());
    m_selected.clear();
    m_digests.clear();
    m_nRows = 0;
    endResetModel();
}

void CRecordList::Load(CTableCursor &recordset, CProgress &progress)
{
    beginResetModel();
    m_cells.Clear(m_columns.size());
    m_selected.clear();
    m_digests.clear();
    m_nRows = 0;
    const long nCount = recordset.GetRecordCount();
    progress.Create();
    progress.SetBarRange(0, kLoadRange);
    CProgressSteps steps(progress, kLoadRange, static_cast<size_t>(std::max<long>(nCount, 0)));
    progress.SetBarPos(0);
    progress.SetStatusText("Moving to first item...");
    struct SEndReset
    {
        CRecordList *pList;
        ~SEndReset() { pList->endResetModel(); }
    } endReset {this};
    recordset.MoveFirst();
    progress.SetStatusText("Loading items...");
    m_cells.ReserveRows(static_cast<size_t>(std::max<long>(nCount, 0)));
    m_selected.reserve(static_cast<size_t>(std::max<long>(nCount, 0)));
    m_digests.reserve(static_cast<size_t>(std::max<long>(nCount, 0)));

    // The columns follow the field list; a value beyond it is dropped, a missing one empty.
    const size_t nLoaded = std::min(
        m_columns.size(), static_cast<size_t>(std::max(0, int(recordset.GetFieldCount()))));
    std::vector<int> keyFields;
    for (size_t i = 0; i < nLoaded; ++i) {
        if (recordset.GetFieldInfo(static_cast<int>(i)).m_lAttributes & dbAutoIncrField)
            keyFields.push_back(static_cast<int>(i));
    }
    if (keyFields.empty()) {
        for (size_t i = 0; i < nLoaded; ++i)
            keyFields.push_back(static_cast<int>(i));
    }
    CData value;
    CStoredValueDigest digest;
    while (!recordset.IsEOF()) {
        m_cells.AddRow();
        for (size_t i = 0; i < nLoaded; ++i) {
            value = recordset.GetFieldValue(static_cast<int>(i));
            m_cells.AppendCell(value.GetString());
        }
        for (const int nField : keyFields)
            digest.Add(recordset.GetFieldValue(nField));
        m_digests.push_back(digest.Take());
        m_selected.push_back(0);
        ++m_nRows;
        if (progress.CheckCancel()
            && AskYesNo("Are you sure you want to Cancel?\nNot all items will be shown."))
            break;
        steps.Advance();
        recordset.MoveNext();
    }
    progress.SetBarPos(kLoadRange);
    progress.DestroyWindow();
}

void CRecordList::AddRecord(const std::vector<std::string> &cells)
{
    beginResetModel();
    m_cells.AddRow();
    CStoredValueDigest digest;
    for (const std::string &strCell : cells) {
        m_cells.AppendCell(strCell);
        digest.AddText(strCell);
    }
    m_digests.push_back(digest.Take());
    m_selected.push_back(0);
    ++m_nRows;
    endResetModel();
}

const CStoredValueDigest::Result &CRecordList::RecordDigest(int nRow) const
{
    return m_digests[Storage(nRow)];
}

std::string_view CRecordList::CellText(int nRow, int nColumn) const
{
    if (nRow < 0 || static_cast<size_t>(nRow) >= m_nRows || nColumn < 0)
        return {};
    return m_cells.Cell(Storage(nRow), static_cast<size_t>(nColumn));
}

int CRecordList::RowOfRecord(long nRecord) const
{
    if (nRecord < 0 || static_cast<size_t>(nRecord) >= m_nRows)
        return -1;
    return static_cast<int>(m_nRows - 1 - static_cast<size_t>(nRecord));
}

void CRecordList::SetSelected(int nRow, bool bSelected)
{
    if (nRow >= 0 && static_cast<size_t>(nRow) < m_nRows)
        m_selected[Storage(nRow)] = bSelected ? 1 : 0;
}

void CRecordList::SelectAll()
{
    std::fill(m_selected.begin(), m_selected.end(), 1);
}

void CRecordList::UnselectAll()
{
    std::fill(m_selected.begin(), m_selected.end(), 0);
}

std::vector<int> CRecordList::SelectedRows() const
{
    std::vector<int> rows;
    for (int nRow = 0; nRow < RowCount(); ++nRow) {
        if (IsSelected(nRow))
            rows.push_back(nRow);
    }
    return rows;
}

void CRecordList::SelectRowByLabel(const std::string &strLabel, bool bSelect)
{
    for (int nRow = 0; nRow < RowCount(); ++nRow) {
        if (EqualsIgnoringAsciiCase(Label(nRow), strLabel)) {
            SetSelected(nRow, bSelect);
            return;
        }
    }
}

int CRecordList::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : RowCount();
}

int CRecordList::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount();
}

QVariant CRecordList::data(const QModelIndex &index, int nRole) const
{
    if (!index.isValid() || nRole != Qt::DisplayRole || index.row() >= RowCount()
        || index.column() >= ColumnCount())
        return {};
    const std::string_view text = CellText(index.row(), index.column());
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QVariant CRecordList::headerData(int nSection, Qt::Orientation orientation, int nRole) const
{
    if (nRole != Qt::DisplayRole || orientation != Qt::Horizontal || nSection < 0
        || nSection >= ColumnCount())
        return {};
    return QString::fromStdString(m_columns[static_cast<size_t>(nSection)]);
}

std::string_view CRecordListRow::CellText(int nColumn) const
{
    return m_list.CellText(m_nRow, nColumn);
}
