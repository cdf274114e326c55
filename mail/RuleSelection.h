#pragma once

#include <string>
#include <vector>

#include "engine/RuleSet.h"

class CTableCursor;
class CProgress;
class CRecordList;

// The first field a rule set names that the table does not have (with its name in the message),
// or empty when every enabled row names a field of the table.
std::string CheckRuleFields(const CRuleSet &rules, const std::vector<std::string> &fieldNames);

// Selects the rows of the records that match the rule set and deselects all others. Every
// record of the recordset is read (its fields by the rows' exact names) and every enabled row
// evaluated, left to right. A matching record selects its own row; a record that the list did
// not load selects nothing. Database failures throw CDaoException.
// With a progress window the walk reports its position now and then (no Cancel), so a large
// table does not freeze the window.
void SelectByRules(const CRuleSet &rules, const std::vector<std::string> &fieldNames,
    CTableCursor &recordset, CRecordList &list, CProgress *pProgress = nullptr);
