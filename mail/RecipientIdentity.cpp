#include "mail/RecipientIdentity.h"

#include "mail/RecordList.h"

std::string RecipientIdentity(const std::string &strTo, const CRecordList &list, int nRow)
{
    return strTo + "\n" + HexText(list.RecordDigest(nRow));
}
