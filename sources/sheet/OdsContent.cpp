#include "sources/sheet/OdsContent.h"

#include <algorithm>
#include <set>

#include <QRegularExpression>
#include <QString>
#include <QXmlStreamReader>

#include "engine/PrintableText.h"
#include "sources/access/DaoException.h"

namespace {

const QString kTable = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:table:1.0");
const QString kOffice = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:office:1.0");
const QString kStyle = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:style:1.0");
const QString kText = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:text:1.0");

QStringView Attribute(
    const QXmlStreamAttributes &attributes, const QString &strNamespace, const char *pName)
{
    return attributes.value(strNamespace, QLatin1String(pName));
}

// An ISO 8601 duration ("PT08H15M00S", "P1DT2H") as days, or -1.
double DaysOfDuration(const QString &strDuration)
{
    static const QRegularExpression pattern(
        QStringLiteral(R"(^P(?:(\d+)D)?(?:T(?:(\d+)H)?(?:(\d+)M)?(?:(\d+(?:\.\d*)?)S)?)?$)"));
    const QRegularExpressionMatch match = pattern.match(strDuration);
    if (!match.hasMatch())
        return -1;
    return match.captured(1).toDouble() + match.captured(2).toDouble() / 24
        + match.captured(3).toDouble() / 1440 + match.captured(4).toDouble() / 86400;
}

class CScanner
{
public:
    CScanner(std::string_view xml, const std::string &strShownName, CTextPool &text,
        std::vector<COdsContent::STable> &tables)
        : m_reader(QByteArray::fromRawData(xml.data(), qsizetype(xml.size())))
        , m_strShownName(strShownName)
        , m_text(text)
        , m_tables(tables)
    { }

    void Run()
    {
        while (!m_reader.atEnd()) {
            const QXmlStreamReader::TokenType token = m_reader.readNext();
            if (token == QXmlStreamReader::StartElement)
                Start();
            else if (token == QXmlStreamReader::EndElement && m_reader.namespaceUri() == kTable
                && m_reader.name() == u"table-row")
                m_nRow += m_nRowRepeat;
        }
        if (m_reader.hasError())
            Fail("is damaged: its content cannot be read (" + m_reader.errorString().toStdString()
                + ").");
    }

private:
    [[noreturn]] void Fail(const std::string &strWhat) const
    {
        throw CDaoException(CDaoException::EKind::Damaged,
            "The file \"" + PrintableText(m_strShownName) + "\" " + strWhat);
    }

    uint64_t Repeat(const char *pName)
    {
        const auto value = m_reader.attributes().value(kTable, QString::fromLatin1(pName));
        if (value.isEmpty())
            return 1;
        bool bOk = false;
        const qulonglong n = value.toULongLong(&bOk);
        if (!bOk || n == 0 || n > (uint64_t(1) << 30))
            Fail("is damaged: it repeats a row or a cell \"" + value.toString().toStdString()
                + "\" times.");
        return n;
    }

    void Start()
    {
        const auto ns = m_reader.namespaceUri();
        const auto name = m_reader.name();
        const QXmlStreamAttributes attributes = m_reader.attributes();
        if (ns == kStyle && name == u"style") {
            m_strStyle = Attribute(attributes, kStyle, "family") == u"table"
                ? Attribute(attributes, kStyle, "name").toString()
                : QString();
        } else if (ns == kStyle && name == u"table-properties") {
            if (!m_strStyle.isEmpty() && Attribute(attributes, kTable, "display") == u"false")
                m_hiddenStyles.insert(m_strStyle);
        } else if (ns == kTable && name == u"dde-links") {
            m_reader.skipCurrentElement(); // their tables are no sheets
        } else if (ns == kTable && name == u"table") {
            m_tables.emplace_back().bHidden
                = m_hiddenStyles.count(Attribute(attributes, kTable, "style-name").toString()) != 0;
            m_nRow = 0;
        } else if (ns == kTable && name == u"table-row") {
            m_nRowRepeat = Repeat("number-rows-repeated");
            m_nColumn = m_nOrcusColumn = 0;
            if (m_nRow + m_nRowRepeat > (uint64_t(1) << 30))
                Fail("is damaged: a sheet claims more than a billion rows.");
        } else if (ns == kTable && name == u"covered-table-cell") {
            const uint64_t nRepeat = Repeat("number-columns-repeated");
            if (!m_tables.empty() && m_nRow < SheetLimits::kMaxRows
                && m_nOrcusColumn < SheetLimits::kMaxColumns)
                m_tables.back().covered.push_back({static_cast<uint32_t>(m_nRow),
                    static_cast<uint32_t>(m_nOrcusColumn),
                    static_cast<uint32_t>(std::min<uint64_t>(nRepeat, SheetLimits::kMaxColumns))});
            m_nColumn += nRepeat;
            m_reader.skipCurrentElement();
        } else if (ns == kTable && name == u"table-cell") {
            Cell(attributes);
        }
    }

    void Cell(const QXmlStreamAttributes &attributes)
    {
        const uint64_t nRepeat = Repeat("number-columns-repeated");
        m_nSlots += nRepeat;
        if (m_nSlots > COdsContent::kMaxCellSlots)
            Fail("is damaged or built to exhaust the reader: its rows repeat cells more than "
                + std::to_string(COdsContent::kMaxCellSlots) + " times.");
        const auto type = Attribute(attributes, kOffice, "value-type");
        SSheetCell cell;
        bool bExtra = true;
        if (type == u"boolean") {
            cell.kind = ECellKind::Bool;
            cell.dValue = Attribute(attributes, kOffice, "boolean-value") == u"true" ? 1 : 0;
        } else if (type == u"currency" || type == u"percentage") {
            cell.kind = ECellKind::Number;
            cell.dValue = Attribute(attributes, kOffice, "value").toDouble(&bExtra);
        } else if (type == u"time") {
            cell.kind = ECellKind::Date;
            const double dDays
                = DaysOfDuration(Attribute(attributes, kOffice, "time-value").toString());
            bExtra = dDays >= 0 && dDays < 1e6;
            cell.dValue = bExtra ? OleDateOfDays(dDays) : 0;
        } else if (type == u"string") {
            // orcus keeps only a cell's last paragraph, drops the text of formulas and does
            // not expand <text:s/>: such cells are read here.
            cell.kind = ECellKind::Text;
            bool bOwn = attributes.hasAttribute(kTable, QStringLiteral("formula"));
            const std::string strText = CellText(bOwn);
            if (strText.size() > SheetLimits::kMaxCellBytes)
                Fail("has a cell of more than 1 MB of text; it is not a list Mergix can read.");
            bExtra = bOwn && !strText.empty();
            if (bExtra)
                cell.nText = m_text.Add(strText);
        } else {
            bExtra = false;
        }
        if (bExtra && !m_tables.empty() && m_nRow < SheetLimits::kMaxRows) {
            for (uint64_t i = 0; i < nRepeat && m_nColumn + i < SheetLimits::kMaxColumns; ++i) {
                if (++m_nExtraCells > SheetLimits::kMaxCells)
                    Fail("holds more than " + std::to_string(SheetLimits::kMaxCells)
                        + " filled cells; it is not a list Mergix can read.");
                cell.nRow = static_cast<uint32_t>(m_nRow);
                cell.nColumn = static_cast<uint16_t>(m_nColumn + i);
                m_tables.back().extraCells.push_back(cell);
            }
        }
        m_nColumn += nRepeat;
        m_nOrcusColumn += nRepeat;
        if (m_reader.isStartElement())
            m_reader.skipCurrentElement();
    }

    // The text of the cell's paragraphs, one line each; leaves the reader at the cell's end.
    // bOwn is set when the text is more than orcus reads of it.
    std::string CellText(bool &bOwn)
    {
        QString strText;
        int nParagraphs = 0;
        int nDepth = 0; // inside a paragraph
        while (!m_reader.atEnd()) {
            const QXmlStreamReader::TokenType token = m_reader.readNext();
            if (token == QXmlStreamReader::EndElement) {
                if (nDepth == 0)
                    break; // the cell's end
                --nDepth;
            } else if (token == QXmlStreamReader::Characters && nDepth > 0) {
                strText += m_reader.text();
            } else if (token == QXmlStreamReader::StartElement) {
                const bool bText = m_reader.namespaceUri() == kText;
                const auto name = m_reader.name();
                if (nDepth == 0 && !(bText && name == u"p")) {
                    m_reader.skipCurrentElement(); // notes and shapes are no part of the value
                    continue;
                }
                ++nDepth;
                // A new paragraph is a line break of the cell, as the program writes them
                // everywhere (and Access and Excel keep them): CR LF.
                if (nDepth == 1 && ++nParagraphs > 1)
                    strText += QStringLiteral("\r\n");
                if (bText && name == u"s") {
                    bOwn = true;
                    const auto count = Attribute(m_reader.attributes(), kText, "c");
                    strText
                        += QString(std::clamp(count.isEmpty() ? 1 : count.toInt(), 1, 1000), u' ');
                } else if (bText && name == u"tab") {
                    bOwn = true;
                    strText += u'\t';
                } else if (bText && name == u"line-break") {
                    bOwn = true;
                    strText += QStringLiteral("\r\n");
                }
            }
            if (strText.size() > qsizetype(SheetLimits::kMaxCellBytes))
                break;
        }
        bOwn = bOwn || nParagraphs > 1;
        return strText.toStdString();
    }

    QXmlStreamReader m_reader;
    const std::string &m_strShownName;
    CTextPool &m_text;
    std::vector<COdsContent::STable> &m_tables;
    std::set<QString> m_hiddenStyles;
    QString m_strStyle;
    uint64_t m_nRow = 0;
    uint64_t m_nRowRepeat = 1;
    uint64_t m_nColumn = 0; // counting covered cells
    uint64_t m_nOrcusColumn = 0; // as orcus counts
    uint64_t m_nSlots = 0;
    size_t m_nExtraCells = 0;
};

} // namespace

COdsContent::COdsContent(std::string_view xml, const std::string &strShownName, CTextPool &text)
{
    CScanner(xml, strShownName, text, m_tables).Run();
}

void PlaceAfterCoveredCells(
    std::vector<SSheetCell> &cells, const std::vector<COdsContent::STable::SCovered> &covered)
{
    if (covered.empty())
        return;
    for (SSheetCell &cell : cells) {
        uint32_t nShift = 0;
        const auto first = std::lower_bound(covered.begin(), covered.end(), cell.nRow,
            [](const COdsContent::STable::SCovered &run, uint32_t nRow) {
                return run.nRow < nRow;
            });
        for (auto it = first; it != covered.end() && it->nRow == cell.nRow; ++it) {
            if (it->nColumn <= cell.nColumn)
                nShift += it->nCount;
        }
        cell.nColumn = static_cast<uint16_t>(
            std::min<uint32_t>(cell.nColumn + nShift, SheetLimits::kMaxColumns - 1));
    }
}
