#pragma once

#include <string>

class CRecordList;

// A recipient's identity: the To address and a digest of the row's cells, so that reordering
// the table changes nothing and a changed address is a new recipient.
std::string RecipientIdentity(const std::string &strTo, const CRecordList &list, int nRow);
