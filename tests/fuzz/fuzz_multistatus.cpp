// The WebDAV multistatus reader: any bytes a server sends give responses or
// a refusal with a message, never a crash or a hang.
#include "sync/Multistatus.h"
#include "sync/SyncError.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    try {
        const carddav::Multistatus m = carddav::readMultistatus(bytes);
        for (const carddav::DavResponse &r : m.responses)
            if (r.status < 100 || r.status > 999)
                std::abort(); // a status is a code or the default 200
    } catch (const carddav::SyncError &e) {
        if (e.message().isEmpty())
            std::abort(); // a refusal always says why
    }
    return 0;
}
