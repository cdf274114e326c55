#include "sources/text/CsvRecordset.h"

#include <charconv>

#include "engine/Data.h"

namespace {

// Days from 1970-01-01 to a day of the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t nYear, unsigned nMonth, unsigned nDay)
{
    nYear -= nMonth <= 2;
    const int64_t nEra = (nYear >= 0 ? nYear : nYear - 399) / 400;
    const auto nYearOfEra = static_cast<unsigned>(nYear - nEra * 400);
    const unsigned nDayOfYear = (153 * (nMonth > 2 ? nMonth - 3 : nMonth + 9) + 2) / 5 + nDay - 1;
    const unsigned nDayOfEra = nYearOfEra * 365 + nYearOfEra / 4 - nYearOfEra / 100 + nDayOfYear;
    return nEra * 146097 + static_cast<int64_t>(nDayOfEra) - 719468;
}

int Number(std::string_view text, size_t nStart, size_t nLength)
{
    int n = 0;
    std::from_chars(text.data() + nStart, text.data() + nStart + nLength, n);
    return n;
}

} // namespace

CVariant CsvCellValue(std::string_view text, short nType)
{
    if (text.empty())
        return CVariant::Null();
    switch (nType) {
    case dbLong: {
        int32_t n = 0;
        std::from_chars(text.data(), text.data() + text.size(), n);
        return CVariant::Long(n);
    }
    case dbDouble: {
        std::string strNumber(text);
        if (const size_t nComma = strNumber.find(','); nComma != std::string::npos)
            strNumber[nComma] = '.'; // a decimal comma
        double d = 0;
        std::from_chars(strNumber.data(), strNumber.data() + strNumber.size(), d);
        return CVariant::TypedDouble(d, std::move(strNumber));
    }
    case dbDate: {
        // Days since 30 December 1899, the time as the fraction of a day.
        const int64_t nDays
            = DaysFromCivil(Number(text, 0, 4), static_cast<unsigned>(Number(text, 5, 2)),
                  static_cast<unsigned>(Number(text, 8, 2)))
            + 25569;
        double dTime = 0;
        if (text.size() >= 16)
            dTime = (Number(text, 11, 2) * 3600 + Number(text, 14, 2) * 60
                        + (text.size() >= 19 ? Number(text, 17, 2) : 0))
                / 86400.0;
        return CVariant::Date(static_cast<double>(nDays) + dTime);
    }
    default:
        return CVariant::String(std::string(text));
    }
}

namespace {

std::vector<CDaoFieldInfo> FieldsOf(const CCsvFile &file)
{
    std::vector<CDaoFieldInfo> fields;
    for (const CCsvFile::SColumn &column : file.Columns())
        fields.push_back({column.strName, column.nType, 0, 0});
    return fields;
}

} // namespace

CCsvRecordset::CCsvRecordset(std::shared_ptr<const CCsvFile> pFile)
    : CMemoryTableCursor(FieldsOf(*pFile)), m_pFile(std::move(pFile))
{
    MoveFirst();
}

void CCsvRecordset::ReadRow(size_t nRow, std::vector<CVariant> &values) const
{
    for (size_t i = 0; i < values.size(); ++i)
        values[i] = CsvCellValue(m_pFile->Cell(nRow, i), Fields()[i].m_nType);
}
