// The CSV reader: any bytes give records or a refusal with a message, never a
// crash; what our writer makes of the records reads back the same.
#include "exchange/Csv.h"

#include <algorithm>
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
    // Our own file reads back exactly, formula guards and all; only rows
    // with every field empty are blank lines there.
    const exchange::ContactRecords again = exchange::readCsv(exchange::writeCsv(records, exchange::CsvEncoding::Utf8));
    size_t next = 0;
    for (const exchange::ContactRecord &r : records) {
        const QString *fields[] = { &r.name, &r.sex, &r.qq, &r.mobile, &r.email, &r.address, &r.group };
        if (std::all_of(std::begin(fields), std::end(fields), [](const QString *f) { return f->isEmpty(); }))
            continue;
        if (next >= again.size())
            std::abort();
        const exchange::ContactRecord &a = again[next++];
        if (a.name != r.name || a.sex != r.sex || a.qq != r.qq || a.mobile != r.mobile || a.email != r.email
            || a.address != r.address || a.group != r.group)
            std::abort();
    }
    if (next != again.size())
        std::abort();
    try {
        (void)exchange::writeCsv(records, exchange::CsvEncoding::Gbk);
    } catch (const exchange::ExchangeError &) {
        // A character GBK lacks: refused with a message, as it should be.
    }
    return 0;
}
