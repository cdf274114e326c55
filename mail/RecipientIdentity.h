#pragma once

#include <string>

class CRecordList;

// A recipient's identity: the To address and the digest of what identifies the row's record, so
// that reordering the table, showing it in another locale or editing other fields changes
// nothing, and a changed address is a new recipient.
std::string RecipientIdentity(const std::string &strTo, const CRecordList &list, int nRow);
