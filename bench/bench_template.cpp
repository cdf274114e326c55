// Expands a template with 10 field tags and 2 {IF} blocks over 10,000, 100,000 and 1,000,000
// synthetic records and prints records per second. Beside it, as a reference, a hand-written
// routine builds the same messages by plain concatenation, knowing the template in advance:
// the least work that can produce the output.
#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Data.h"
#include "engine/MergeTemplate.h"

namespace {

constexpr int kFieldCount = 10;

// Every cell of every record in one buffer, so that a million records stay compact.
class CSyntheticTable
{
public:
    explicit CSyntheticTable(size_t nRecords)
    {
        static const char *const kCities[] = {"Boston", "Denver", "Austin", "Portland", "Reno"};
        m_offsets.reserve(nRecords * kFieldCount + 1);
        for (size_t i = 0; i < nRecords; ++i) {
            const std::string strId = std::to_string(i);
            Add("First" + strId);
            Add("Last" + strId);
            Add(std::to_string(i % 997) + " Main Street");
            Add(kCities[i % 5]);
            Add(std::to_string(10000 + i % 89999));
            Add(i % 3 == 0 ? "MA" : "CO");
            Add("user" + strId + "@example.com");
            Add(std::to_string(i % 90));
            Add(std::to_string(i % 1000) + "." + std::to_string(i % 100));
            Add(i % 2 ? "Gold" : "Silver");
        }
        m_offsets.push_back(m_cells.size());
    }

    size_t Size() const { return (m_offsets.size() - 1) / kFieldCount; }
    std::string_view Cell(size_t nRecord, int nColumn) const
    {
        const size_t n = nRecord * kFieldCount + static_cast<size_t>(nColumn);
        return std::string_view(m_cells).substr(m_offsets[n], m_offsets[n + 1] - m_offsets[n]);
    }

private:
    void Add(const std::string &strCell)
    {
        m_offsets.push_back(m_cells.size());
        m_cells += strCell;
    }

    std::string m_cells;
    std::vector<size_t> m_offsets;
};

class CTableRecord final : public CMergeRecord
{
public:
    CTableRecord(const CSyntheticTable &table, size_t nRecord) : m_table(table), m_nRecord(nRecord)
    { }
    std::string_view CellText(int nColumn) const override
    {
        return nColumn < kFieldCount ? m_table.Cell(m_nRecord, nColumn) : std::string_view();
    }

private:
    const CSyntheticTable &m_table;
    size_t m_nRecord;
};

const char *const kTemplate
    = "Dear <<First>> <<Last>>,\r\n\r\n"
      "{IF \"<<City>>\" \"Equals\" \"boston\" THEN \"Greetings from our Boston office!\" ELSE "
      "\"We will visit <<City>> soon.\" \"CASENO\"}\r\n"
      "Your address: <<Street>>, <<Zip>> <<City>>, <<Region>>.\r\n"
      "We will write to <<Email>>.\r\n"
      "{IF \"<<Age>>\" \"Greater than or equal\" \"65\" THEN \"Your senior discount applies.\" "
      "ELSE \"Your balance is <<Balance>>.\" \"CASENO\"}\r\n"
      "Member level: <<Level>>\r\n";

std::string ReferenceExpand(const CSyntheticTable &table, size_t r)
{
    std::string s;
    s.reserve(400);
    s.append("Dear ").append(table.Cell(r, 0)).append(" ").append(table.Cell(r, 1));
    s.append(",\r\n\r\n");
    std::string_view city = table.Cell(r, 3);
    if (city == "Boston")
        s.append("Greetings from our Boston office!");
    else
        s.append("We will visit ").append(city).append(" soon.");
    s.append("\r\nYour address: ").append(table.Cell(r, 2)).append(", ").append(table.Cell(r, 4));
    s.append(" ").append(city).append(", ").append(table.Cell(r, 5)).append(".\r\n");
    s.append("We will write to ").append(table.Cell(r, 6)).append(".\r\n");
    int nAge = 0;
    for (char c : table.Cell(r, 7))
        nAge = nAge * 10 + (c - '0');
    if (nAge >= 65)
        s.append("Your senior discount applies.");
    else
        s.append("Your balance is ").append(table.Cell(r, 8)).append(".");
    s.append("\r\nMember level: ").append(table.Cell(r, 9)).append("\r\n");
    return s;
}

template<typename Fn> double RecordsPerSecond(size_t nRecords, size_t &nBytes, Fn expand)
{
    const auto start = std::chrono::steady_clock::now();
    for (size_t r = 0; r < nRecords; ++r)
        nBytes += expand(r).size();
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    return static_cast<double>(nRecords) / elapsed.count();
}

} // namespace

int main()
{
    const CMergeFields fields {
        {"First", "Last", "Street", "City", "Zip", "Region", "Email", "Age", "Balance", "Level"},
        {dbText, dbText, dbText, dbText, dbText, dbText, dbText, dbInteger, dbText, dbText}};

    std::printf("%10s %16s %16s %8s\n", "records", "engine rec/s", "reference rec/s", "ratio");
    for (size_t nRecords : {10000u, 100000u, 1000000u}) {
        const CSyntheticTable table(nRecords);
        const std::vector<IfStatement> statements = CollectIfStatements(kTemplate, fields);
        auto engine = [&](size_t r) {
            return ExpandTemplate(kTemplate, statements, fields, CTableRecord(table, r));
        };
        auto reference = [&](size_t r) {
            return ReferenceExpand(table, r);
        };
        for (size_t r : {size_t {0}, size_t {1}, nRecords - 1}) {
            if (engine(r) != reference(r)) {
                std::fprintf(stderr, "record %zu differs:\n%s\n---\n%s\n", r, engine(r).c_str(),
                    reference(r).c_str());
                return 1;
            }
        }
        size_t nBytes = 0;
        const double engineRate = RecordsPerSecond(nRecords, nBytes, engine);
        const double referenceRate = RecordsPerSecond(nRecords, nBytes, reference);
        std::printf("%10zu %16.0f %16.0f %8.2f\n", nRecords, engineRate, referenceRate,
            engineRate / referenceRate);
        if (nBytes == 0)
            return 1;
    }
    return 0;
}
