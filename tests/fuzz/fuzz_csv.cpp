// The CSV reader: any bytes give records or a refusal with a message, never a
// crash; what our writer makes of the records reads back as the same count.
#include "exchange/Csv.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    exchange::ContactRecords records;
    try {
        records = exchange::readCsv(bytes);
    } catch (const exchange::ExchangeError &e) {
        if (e.message().isEmpty())
            std::abort();
        return 0;
    }
    const exchange::ContactRecords again = exchange::readCsv(exchange::writeCsv(records, exchange::CsvEncoding::Utf8));
    if (again.size() > records.size())
        std::abort();
    try {
        (void)exchange::writeCsv(records, exchange::CsvEncoding::Gbk);
    } catch (const exchange::ExchangeError &) {
        // A character GBK lacks: refused with a message, as it should be.
    }
    return 0;
}
