// The vCard reader: any bytes give cards or a refusal with a message, never a
// crash; cards read back from our own writer the same.
#include "exchange/VCard.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    (void)exchange::looksLikeVCard(bytes);
    exchange::ContactRecords cards;
    try {
        cards = exchange::readVCards(bytes);
    } catch (const exchange::ExchangeError &e) {
        if (e.message().isEmpty())
            std::abort(); // a refusal always says why
        return 0;
    }
    // What we write we read back: the same number of cards with the same names.
    const exchange::ContactRecords again = exchange::readVCards(exchange::writeVCards(cards));
    if (again.size() != cards.size())
        std::abort();
    return 0;
}
