#include "mail/RecipientIdentity.h"

#include <QByteArrayView>
#include <QCryptographicHash>

#include "mail/RecordList.h"

std::string RecipientIdentity(const std::string &strTo, const CRecordList &list, int nRow)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (int nColumn = 0; nColumn < list.ColumnCount(); ++nColumn) {
        const std::string_view cell = list.CellText(nRow, nColumn);
        // Each cell with its length, so no two different rows give the same bytes.
        const std::string strLength = std::to_string(cell.size()) + ":";
        hash.addData(QByteArrayView(strLength.data(), static_cast<qsizetype>(strLength.size())));
        hash.addData(QByteArrayView(cell.data(), static_cast<qsizetype>(cell.size())));
    }
    return strTo + "\n" + hash.result().toHex().toStdString();
}
