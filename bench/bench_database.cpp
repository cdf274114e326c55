// Reads every record of the big fixture (100,000 rows) as variants through the database layer,
// and in the same run times mdb-export of the same table. Prints both times, their ratio (the
// goal is at most 1.0) and the peak memory of the read.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <sys/resource.h>

#include <unistd.h>

#include "sources/access/DaoDatabase.h"
#include "sources/access/DaoException.h"
#include "sources/access/DaoRecordset.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

long PeakKilobytes(int who)
{
    rusage usage {};
    getrusage(who, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char *argv[])
{
    const std::string strFile = argc > 1 ? argv[1] : MERGIX_BENCH_DATA "/big-100k.mdb";
    if (::access(strFile.c_str(), R_OK) != 0) {
        std::fprintf(stderr,
            "bench_database: %s is missing; build the bench_data target (it unpacks "
            "bench/data/*.mdb.xz) or name a database: bench_database FILE [TABLE]\n",
            strFile.c_str());
        return 2;
    }
    const std::string strTable = argc > 2 ? argv[2] : "Recipients";
    constexpr int kRounds = 3;
    double best = 1e9;
    double bestExport = 1e9;
    long nRecords = 0;
    long nFieldsSeen = 0;
    long nReaderPeak = 0;
    for (int nRound = 0; nRound < kRounds; ++nRound) {
        auto start = std::chrono::steady_clock::now();
        CDaoDatabase database;
        CDaoRecordset recordset;
        try {
            database.Open(strFile);
            recordset.OpenTable(&database, strTable);
        } catch (const CDaoException &error) {
            std::fprintf(stderr, "bench_database: %s\n", error.Description().c_str());
            return 2;
        }
        nRecords = 0;
        for (; !recordset.IsEOF(); recordset.MoveNext(), ++nRecords) {
            for (int i = 0; i < recordset.GetFieldCount(); ++i)
                nFieldsSeen += recordset.GetFieldValue(i).m_vt != VT_NULL;
        }
        best = std::min(best, Seconds(start));
        if (nRound == 0) // before any mdb-export has run, the only children are readers
            nReaderPeak = PeakKilobytes(RUSAGE_CHILDREN);

        start = std::chrono::steady_clock::now();
        const std::string strCommand
            = "mdb-export '" + strFile + "' '" + strTable + "' > /dev/null";
        if (std::system(strCommand.c_str()) != 0) {
            std::fprintf(stderr, "mdb-export failed\n");
            return 1;
        }
        bestExport = std::min(bestExport, Seconds(start));
    }
    std::printf("%ld records of %s (%ld non-null values a round), best of %d rounds\n", nRecords,
        strTable.c_str(), nFieldsSeen / kRounds, kRounds);
    std::printf("database layer: %.3f s\n", best);
    std::printf("mdb-export:     %.3f s\n", bestExport);
    std::printf("ratio:          %.2f (goal <= 1.0)\n", best / bestExport);
    std::printf("peak memory: this process %ld KiB, reader process %ld KiB\n",
        PeakKilobytes(RUSAGE_SELF), nReaderPeak);
    return 0;
}
