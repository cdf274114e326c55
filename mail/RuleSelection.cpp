#include "mail/RuleSelection.h"

#include <algorithm>

#include "engine/Comparison.h"
#include "engine/Data.h"
#include "engine/Progress.h"
#include "mail/RecordList.h"
#include "sources/TableCursor.h"

namespace {

int ColumnOf(const std::vector<std::string> &fieldNames, const std::string &strName)
{
    const auto it = std::find(fieldNames.begin(), fieldNames.end(), strName);
    return it == fieldNames.end() ? -1 : static_cast<int>(it - fieldNames.begin());
}

bool EvaluateRow(CTableCursor &recordset, int nColumn, const std::string &strCondition,
    const std::string &strText, int nCaseSensitive)
{
    CData value;
    if (nColumn >= 0 && nColumn < recordset.GetFieldCount())
        value = recordset.GetFieldValue(nColumn);
    else
        value = CVariant::Null();
    return EvaluateComparison(value, strCondition, strText, nCaseSensitive != 0);
}

} // namespace

std::string CheckRuleFields(const CRuleSet &rules, const std::vector<std::string> &fieldNames)
{
    const std::pair<bool, const std::string *> rows[] = {{true, &rules.FirstField},
        {rules.SecondEnable == 1, &rules.SecondField}, {rules.ThirdEnable == 1, &rules.ThirdField}};
    for (const auto &[bEnabled, pField] : rows) {
        if (bEnabled && ColumnOf(fieldNames, *pField) < 0)
            return "The selection rules name the field \"" + *pField
                + "\", which the table does not have.";
    }
    return {};
}

void SelectByRules(const CRuleSet &rules, const std::vector<std::string> &fieldNames,
    CTableCursor &recordset, CRecordList &list, CProgress *pProgress)
{
    list.UnselectAll();
    struct SProgressScope
    {
        CProgress *p;
        ~SProgressScope()
        {
            if (p)
                p->DestroyWindow();
        }
    } progressScope {pProgress};
    if (pProgress) {
        pProgress->Create();
        pProgress->SetStatusText("Selecting items...");
        pProgress->SetBarRange(0, 100);
        pProgress->SetBarPos(0);
    }
    const long nCount = std::max(recordset.GetRecordCount(), 1L);
    const int nFirst = ColumnOf(fieldNames, rules.FirstField);
    const int nSecond = ColumnOf(fieldNames, rules.SecondField);
    const int nThird = ColumnOf(fieldNames, rules.ThirdField);
    long nRecord = 0;
    for (recordset.MoveFirst(); !recordset.IsEOF(); recordset.MoveNext(), ++nRecord) {
        bool bResult = EvaluateRow(
            recordset, nFirst, rules.FirstCondition, rules.FirstText, rules.CaseSensitive);
        if (rules.SecondEnable == 1) {
            const bool bRow = EvaluateRow(
                recordset, nSecond, rules.SecondCondition, rules.SecondText, rules.CaseSensitive);
            bResult = CombineRuleResults(bResult, rules.SecondBoolean, bRow);
        }
        if (rules.ThirdEnable == 1) {
            const bool bRow = EvaluateRow(
                recordset, nThird, rules.ThirdCondition, rules.ThirdText, rules.CaseSensitive);
            bResult = CombineRuleResults(bResult, rules.ThirdBoolean, bRow);
        }
        // The record's own row, not the first row that happens to carry the same label.
        if (bResult)
            list.SetSelected(list.RowOfRecord(nRecord), true);
        if (pProgress && nRecord % 1024 == 0)
            pProgress->SetBarPos(static_cast<int>(nRecord * 100 / nCount));
    }
}
