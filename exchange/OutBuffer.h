#pragma once

#include <QByteArray>
#include <QIODevice>

#include <algorithm>

namespace exchange {

// The writers' one output: bytes appended through a raw pointer into a
// buffer that grows as needed. With a device, what is buffered is handed on
// whenever the next piece would not fit in the first size, so an export of
// any size holds a piece at a time; without one, the whole text is kept for
// take(). For the writers of this library only.
class OutBuffer {
public:
    OutBuffer(QIODevice *device, qsizetype size)
        : m_device(device)
    {
        m_out.resize(std::max<qsizetype>(size, 4096));
        m_p = m_out.data();
    }

    // Room for extra more bytes at m_p + m_len; may hand the buffered bytes
    // to the device first.
    void reserve(qsizetype extra)
    {
        if (m_len + extra <= m_out.size())
            return;
        if (m_device && m_len > 0) {
            flush();
            if (extra <= m_out.size())
                return;
        }
        m_out.resize(std::max(m_out.size() * 2, m_len + extra));
        m_p = m_out.data();
    }

    // A device that refuses bytes is written no more; failed() then says
    // so, and the caller reports it with the device's own error.
    void flush()
    {
        if (m_device && m_len > 0) {
            if (!m_failed && m_device->write(m_p, m_len) != m_len)
                m_failed = true;
            m_len = 0;
        }
    }
    bool failed() const { return m_failed; }

    QByteArray take()
    {
        m_out.truncate(m_len);
        m_len = 0;
        m_p = nullptr;
        return std::move(m_out);
    }

    char *m_p = nullptr;
    qsizetype m_len = 0;

private:
    QIODevice *m_device;
    bool m_failed = false;
    QByteArray m_out;
};

} // namespace exchange
