#pragma once

#include "platform/report/PreparedReport.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QDataStream>
#include <QIODevice>

// Bytes that do not start as a saved report are taken as the payload of
// one and given the header its saver would write. The header's hash would
// otherwise stop nearly every changed byte before the contents are read,
// and the contents are what needs trying.
inline QByteArray asSavedReport(const QByteArray &bytes)
{
    static const QByteArray magic("\x89TXR\r\n\x1A\n", 8);
    if (bytes.startsWith(magic))
        return bytes;
    QByteArray file = magic;
    {
        QDataStream h(&file, QIODevice::Append);
        h << txl::report::PreparedReport::FormatVersion << static_cast<quint64>(bytes.size());
    }
    return file + QCryptographicHash::hash(bytes, QCryptographicHash::Sha256) + bytes;
}
