#include "sources/sheet/XlsxParts.h"

#include <algorithm>
#include <charconv>

#include <QString>
#include <QStringList>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include "sources/sheet/SheetArchive.h"

namespace {

const QString kRelationships
    = QStringLiteral("http://schemas.openxmlformats.org/package/2006/relationships");

struct SRelationship
{
    QString strId;
    QString strType;
    QString strTarget;
    QString strMode;
};

std::vector<SRelationship> ReadRelationships(const std::string &strXml)
{
    std::vector<SRelationship> relationships;
    QXmlStreamReader reader(QByteArray::fromRawData(strXml.data(), qsizetype(strXml.size())));
    while (!reader.atEnd() && !reader.hasError()) {
        if (reader.readNext() == QXmlStreamReader::StartElement
            && reader.name() == u"Relationship") {
            const QXmlStreamAttributes attributes = reader.attributes();
            relationships.push_back({attributes.value(QLatin1String("Id")).toString(),
                attributes.value(QLatin1String("Type")).toString(),
                attributes.value(QLatin1String("Target")).toString(),
                attributes.value(QLatin1String("TargetMode")).toString()});
        }
    }
    return relationships;
}

// The workbook part, as the package's own relationships name it.
std::string WorkbookPart(const CSheetArchive &archive)
{
    for (const SRelationship &relationship : ReadRelationships(archive.ReadText("_rels/.rels"))) {
        if (relationship.strType.endsWith(u"/officeDocument")) {
            QString strTarget = relationship.strTarget;
            if (strTarget.startsWith(u'/'))
                strTarget.remove(0, 1);
            return strTarget.toStdString();
        }
    }
    return "xl/workbook.xml";
}

// A relationship's target as the path of a part: relative to the folder of the part it belongs
// to, or absolute from the archive's root.
std::string PartPath(const std::string &strFolder, const QString &strTarget)
{
    QStringList parts = strTarget.startsWith(u'/') ? QStringList()
                                                   : QString::fromStdString(strFolder).split(u'/');
    for (const QString &strPart : strTarget.split(u'/')) {
        if (strPart == u"..") {
            if (!parts.isEmpty())
                parts.removeLast();
        } else if (!strPart.isEmpty() && strPart != u".") {
            parts.append(strPart);
        }
    }
    parts.removeAll(QString());
    return parts.join(u'/').toStdString();
}

} // namespace

namespace {

// The workbook part, the folder it is in and its relationships.
struct SWorkbookPart
{
    std::string strPath;
    std::string strFolder;
    std::vector<SRelationship> relationships;
};

SWorkbookPart ReadWorkbookPart(const CSheetArchive &archive)
{
    SWorkbookPart workbook;
    workbook.strPath = WorkbookPart(archive);
    const size_t nSlash = workbook.strPath.rfind('/');
    workbook.strFolder = nSlash == std::string::npos ? "" : workbook.strPath.substr(0, nSlash + 1);
    workbook.relationships = ReadRelationships(archive.ReadText(workbook.strFolder + "_rels/"
        + workbook.strPath.substr(workbook.strFolder.size()) + ".rels"));
    return workbook;
}

} // namespace

std::string XlsxSharedStringsPart(const CSheetArchive &archive)
{
    const SWorkbookPart workbook = ReadWorkbookPart(archive);
    for (const SRelationship &relationship : workbook.relationships) {
        if (relationship.strType.endsWith(u"/sharedStrings"))
            return PartPath(workbook.strFolder, relationship.strTarget);
    }
    return {};
}

std::vector<SXlsxSheet> XlsxSheets(const CSheetArchive &archive)
{
    const SWorkbookPart workbook = ReadWorkbookPart(archive);
    const std::string &strFolder = workbook.strFolder;
    const std::vector<SRelationship> &relationships = workbook.relationships;
    std::vector<SXlsxSheet> sheets;
    const std::string strXml = archive.ReadText(workbook.strPath);
    QXmlStreamReader reader(QByteArray::fromRawData(strXml.data(), qsizetype(strXml.size())));
    while (!reader.atEnd() && !reader.hasError()) {
        if (reader.readNext() != QXmlStreamReader::StartElement || reader.name() != u"sheet")
            continue;
        SXlsxSheet &sheet = sheets.emplace_back();
        const QXmlStreamAttributes attributes = reader.attributes();
        sheet.strName = attributes.value(QLatin1String("name")).toString().toStdString();
        const auto state = attributes.value(QLatin1String("state"));
        sheet.bHidden = state == u"hidden" || state == u"veryHidden";
        const QString strId = attributes
                                  .value(QStringLiteral("http://schemas.openxmlformats.org/"
                                                        "officeDocument/2006/relationships"),
                                      QStringLiteral("id"))
                                  .toString();
        for (const SRelationship &relationship : relationships) {
            if (relationship.strId == strId)
                sheet.strPart = PartPath(strFolder, relationship.strTarget);
        }
    }
    return sheets;
}

std::string XlsxUnescaped(std::string_view text)
{
    std::string strOut;
    size_t nDone = 0;
    for (size_t i = text.find("_x"); i != std::string_view::npos; i = text.find("_x", i + 1)) {
        if (i < nDone || i + 7 > text.size() || text[i + 6] != '_')
            continue;
        unsigned nCode = 0;
        const auto result = std::from_chars(text.data() + i + 2, text.data() + i + 6, nCode, 16);
        if (result.ptr != text.data() + i + 6)
            continue;
        strOut.append(text.substr(nDone, i - nDone));
        nDone = i + 7;
        if (nCode == 0x5F && i + 7 <= text.size()) { // "_x005F_" escapes the underscore itself
            strOut += '_';
            continue;
        }
        const QString strChar {QChar(char16_t(nCode))};
        strOut += strChar.toStdString();
    }
    if (nDone == 0)
        return std::string(text);
    strOut.append(text.substr(nDone));
    return strOut;
}

std::vector<std::pair<std::string, std::string>> XlsxRelativeRelationships(
    const CSheetArchive &archive)
{
    std::vector<std::pair<std::string, std::string>> replaced;
    for (const std::string &strName : archive.Names()) {
        // "xl/_rels/workbook.xml.rels" holds the relationships of "xl/workbook.xml".
        const size_t nRels = strName.rfind("_rels/");
        if (nRels == std::string::npos || !strName.ends_with(".rels")
            || (nRels != 0 && strName[nRels - 1] != '/'))
            continue;
        std::vector<SRelationship> relationships = ReadRelationships(archive.ReadText(strName));
        const auto isAbsolute = [](const SRelationship &relationship) {
            return relationship.strTarget.startsWith(u'/') && relationship.strMode != u"External";
        };
        if (std::none_of(relationships.begin(), relationships.end(), isAbsolute))
            continue;
        const auto nDepth = std::count(strName.begin(), strName.begin() + qsizetype(nRels), '/');
        QString strUp;
        for (int i = 0; i < nDepth; ++i)
            strUp += u"../";
        QByteArray xml;
        QXmlStreamWriter writer(&xml);
        writer.writeStartDocument();
        writer.writeDefaultNamespace(kRelationships);
        writer.writeStartElement(kRelationships, QStringLiteral("Relationships"));
        for (const SRelationship &relationship : relationships) {
            writer.writeStartElement(kRelationships, QStringLiteral("Relationship"));
            writer.writeAttribute(QStringLiteral("Id"), relationship.strId);
            writer.writeAttribute(QStringLiteral("Type"), relationship.strType);
            writer.writeAttribute(QStringLiteral("Target"),
                isAbsolute(relationship) ? strUp + relationship.strTarget.mid(1)
                                         : relationship.strTarget);
            if (!relationship.strMode.isEmpty())
                writer.writeAttribute(QStringLiteral("TargetMode"), relationship.strMode);
            writer.writeEndElement();
        }
        writer.writeEndElement();
        writer.writeEndDocument();
        replaced.emplace_back(strName, xml.toStdString());
    }
    return replaced;
}
