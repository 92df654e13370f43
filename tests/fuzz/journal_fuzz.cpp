// libFuzzer: any bytes as the service journal. The parse never crashes, and every line it
// gives is either whole (a valid time) or shown as damaged.
#include <QDateTime>

#include <cstdlib>

#include "records/records.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (const TJournalLine& l : TServiceRecords::ParseJournal(bytes))
        if (l.action != TServiceRecords::kDamaged && !QDateTime::fromString(l.time, Qt::ISODate).isValid())
            std::abort();
    return 0;
}
