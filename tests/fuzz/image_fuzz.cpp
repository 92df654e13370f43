// libFuzzer: any bytes as a backup (image) file. The parse never crashes, and it takes exactly
// 72 bytes or says why not.
#include <cstdlib>

#include "records/records.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    TImageBuffer image;
    QString error;
    TImageFileError why;
    const bool ok = TServiceRecords::ParseImage(bytes, image, error, &why);
    if (ok != (why.kind == TImageFileError::None) || ok == !error.isEmpty())
        std::abort();
    return 0;
}
