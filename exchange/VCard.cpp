#include "exchange/VCard.h"

#include "exchange/TextDecoding.h"
#include "store/ContactTable.h"

#include <algorithm>
#include <cstring>

namespace exchange {

namespace {

// 2.1 knows only "\;"; 3.0 and 4.0 escape '\', ',', ';' and line breaks.
enum class Escapes { V3, V21 };

enum class Transfer { None, QuotedPrintable, Base64 };

struct Line {
    QByteArray text; // unfolded; its buffer is reused from line to line
    int number = 0; // first physical line
};

// A content line's parts, as views into the line.
struct Property {
    QByteArrayView name; // group prefix removed
    bool cell = false; // TYPE CELL or MOBILE
    bool home = false; // TYPE HOME
    Transfer transfer = Transfer::None;
    QByteArrayView charset;
    QByteArrayView value;
};

bool sameNoCase(QByteArrayView a, QByteArrayView b)
{
    return a.size() == b.size() && a.compare(b, Qt::CaseInsensitive) == 0;
}

// Case-insensitive search for a short needle: one pass over the haystack.
bool containsNoCase(QByteArrayView haystack, QByteArrayView needle)
{
    for (qsizetype i = 0; i + needle.size() <= haystack.size(); ++i)
        if (sameNoCase(haystack.sliced(i, needle.size()), needle))
            return true;
    return false;
}

// UTF-8 after a mark shares the bytes (keep them while it is read).
QByteArray withoutBom(const QByteArray &bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return normalizedBytes(bytes, TextEncoding::Utf8);
    if (bytes.startsWith("\xFF\xFE"))
        return normalizedBytes(bytes, TextEncoding::Utf16LE);
    if (bytes.startsWith("\xFE\xFF"))
        return normalizedBytes(bytes, TextEncoding::Utf16BE);
    return bytes;
}

// Reads logical lines one at a time: physical lines end in CR, LF or CRLF;
// folded lines are joined and a quoted-printable value's soft line breaks
// continue on the next line. Each byte is looked at a fixed number of times,
// however long the logical line grows.
class LineReader {
public:
    struct Position {
        qsizetype pos = 0;
        int line = 0;
    };

    explicit LineReader(QByteArrayView bytes)
        : m_bytes(bytes)
    {
    }

    Position position() const { return { m_pos, m_lineNumber }; }

    void seek(Position p)
    {
        m_pos = p.pos;
        m_lineNumber = p.line;
        m_nextLf = m_nextCr = -1; // found from a later place: look again
    }

    bool next(Line &out)
    {
        QByteArrayView physical;
        // Blank lines are skipped; the first other one starts the logical line.
        do {
            if (!readPhysical(physical))
                return false;
        } while (physical.trimmed().isEmpty());
        out.number = m_lineNumber;
        out.text.resize(0);
        out.text.append(physical);

        // The parameters (before the first ':' outside quotes) say whether
        // the value is quoted-printable; they are scanned once, as the line
        // grows, never from its start again.
        qsizetype scanned = 0;
        bool quoted = false;
        bool paramsEnded = false;
        bool qp = false;
        auto scanParams = [&] {
            const char *d = out.text.constData();
            for (; scanned < out.text.size(); ++scanned) {
                const char c = d[scanned];
                if (c == '"') {
                    quoted = !quoted;
                } else if (c == ':' && !quoted) {
                    paramsEnded = true;
                    qp = containsNoCase(QByteArrayView(d, scanned), "QUOTED-PRINTABLE");
                    return;
                }
            }
        };
        scanParams();
        for (;;) {
            const bool softBreak = qp && out.text.endsWith('=');
            const qsizetype savedPos = m_pos;
            const int savedLine = m_lineNumber;
            QByteArrayView peek;
            if (!readPhysical(peek))
                break;
            if (softBreak) {
                // "=" at the end joins the next line as it stands.
                out.text.chop(1);
                out.text.append(peek);
            } else if (!peek.isEmpty() && (peek[0] == ' ' || peek[0] == '\t')) {
                out.text.append(peek.sliced(1));
            } else {
                // Not a continuation: read again as the next logical line
                // (the line-end positions found stay valid going back here).
                m_pos = savedPos;
                m_lineNumber = savedLine;
                break;
            }
            if (!paramsEnded)
                scanParams();
        }
        return true;
    }

private:
    qsizetype find(char c) const
    {
        const void *hit = std::memchr(m_bytes.data() + m_pos, c, static_cast<size_t>(m_bytes.size() - m_pos));
        return hit ? static_cast<const char *>(hit) - m_bytes.data() : m_bytes.size();
    }

    bool readPhysical(QByteArrayView &line)
    {
        const qsizetype n = m_bytes.size();
        if (m_pos >= n)
            return false;
        // The next CR and the next LF are each searched for again only once
        // passed, so a file with one kind of line end is not rescanned for
        // the other on every line.
        if (m_nextLf < m_pos)
            m_nextLf = find('\n');
        if (m_nextCr < m_pos)
            m_nextCr = find('\r');
        const qsizetype end = std::min(m_nextLf, m_nextCr);
        line = m_bytes.sliced(m_pos, end - m_pos);
        m_pos = end;
        if (m_pos < n)
            m_pos += m_bytes[m_pos] == '\r' && m_pos + 1 < n && m_bytes[m_pos + 1] == '\n' ? 2 : 1;
        ++m_lineNumber;
        return true;
    }

    QByteArrayView m_bytes;
    qsizetype m_pos = 0;
    int m_lineNumber = 0;
    qsizetype m_nextLf = -1;
    qsizetype m_nextCr = -1;
};

QByteArrayView unquote(QByteArrayView v)
{
    v = v.trimmed();
    if (v.size() >= 2 && v.startsWith('"') && v.endsWith('"'))
        v = v.sliced(1, v.size() - 2);
    return v;
}

void applyType(Property &p, QByteArrayView type)
{
    type = unquote(type);
    if (sameNoCase(type, "CELL") || sameNoCase(type, "MOBILE"))
        p.cell = true;
    else if (sameNoCase(type, "HOME"))
        p.home = true;
}

void applyParameter(Property &p, QByteArrayView param, qsizetype eq)
{
    if (eq < 0) {
        // 2.1 bare parameters: an encoding or a type.
        const QByteArrayView bare = param.trimmed();
        if (sameNoCase(bare, "QUOTED-PRINTABLE"))
            p.transfer = Transfer::QuotedPrintable;
        else if (sameNoCase(bare, "BASE64"))
            p.transfer = Transfer::Base64;
        else
            applyType(p, bare);
        return;
    }
    const QByteArrayView key = param.first(eq).trimmed();
    const QByteArrayView value = unquote(param.sliced(eq + 1));
    if (sameNoCase(key, "CHARSET")) {
        p.charset = value;
    } else if (sameNoCase(key, "ENCODING")) {
        p.transfer = sameNoCase(value, "QUOTED-PRINTABLE")          ? Transfer::QuotedPrintable
            : sameNoCase(value, "BASE64") || sameNoCase(value, "B") ? Transfer::Base64
                                                                    : Transfer::None;
    } else if (sameNoCase(key, "TYPE")) {
        qsizetype start = 0;
        for (qsizetype i = 0; i <= value.size(); ++i) {
            if (i == value.size() || value[i] == ',') {
                applyType(p, value.sliced(start, i - start));
                start = i + 1;
            }
        }
    }
}

// One pass over the line: the name, each parameter split at ';' outside
// quotes, then the value.
Property parseProperty(QByteArrayView line)
{
    Property p;
    const qsizetype n = line.size();
    qsizetype i = 0;
    while (i < n && line[i] != ';' && line[i] != ':')
        ++i;
    QByteArrayView name = line.first(i).trimmed();
    if (const qsizetype dot = name.lastIndexOf('.'); dot >= 0)
        name = name.sliced(dot + 1);
    p.name = name;
    while (i < n && line[i] == ';') {
        const qsizetype start = ++i;
        qsizetype eq = -1;
        bool quoted = false;
        for (; i < n; ++i) {
            const char c = line[i];
            if (c == '"')
                quoted = !quoted;
            else if (!quoted && (c == ';' || c == ':'))
                break;
            else if (!quoted && c == '=' && eq < 0)
                eq = i - start;
        }
        applyParameter(p, line.sliced(start, i - start), eq);
    }
    if (i < n)
        p.value = line.sliced(i + 1);
    return p;
}

bool isVCardValue(QByteArrayView value)
{
    return sameNoCase(value.trimmed(), "VCARD");
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Every "=XX" is its byte, "=00" a NUL as well: what the value holds is
// judged by the import, not changed here.
QByteArray decodeQuotedPrintable(QByteArrayView in)
{
    QByteArray out(in.size(), Qt::Uninitialized);
    char *o = out.data();
    const qsizetype n = in.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char c = in[i];
        if (c == '=' && i + 2 < n) {
            const int hi = hexValue(in[i + 1]);
            const int lo = hexValue(in[i + 2]);
            if (hi >= 0 && lo >= 0) {
                *o++ = static_cast<char>(hi * 16 + lo);
                i += 2;
                continue;
            }
        }
        if (c == '=' && i == n - 1)
            break; // a trailing soft break
        *o++ = c;
    }
    out.truncate(o - out.constData());
    return out;
}

// The value's bytes with transfer encodings removed.
QByteArray valueBytes(const Property &p)
{
    switch (p.transfer) {
    case Transfer::QuotedPrintable:
        return decodeQuotedPrintable(p.value);
    case Transfer::Base64:
        return QByteArray::fromBase64(p.value.trimmed().toByteArray());
    case Transfer::None:
        break;
    }
    return p.value.toByteArray();
}

QString decodedText(const Property &p)
{
    return decodeCharset(valueBytes(p), p.charset);
}

QString unescape(const QString &s, Escapes escapes)
{
    if (!s.contains(u'\\'))
        return s;
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c == u'\\' && i + 1 < s.size()) {
            const QChar n = s[i + 1];
            if (escapes == Escapes::V21) {
                if (n == u';') {
                    out += n;
                    ++i;
                } else {
                    out += c; // 2.1: a backslash stands for itself
                }
                continue;
            }
            ++i;
            if (n == u'n' || n == u'N')
                out += u'\n';
            else
                out += n; // \, \; \\ and anything else stand for themselves
        } else {
            out += c;
        }
    }
    return out;
}

// Splits at separators that are not escaped, then unescapes each part.
QStringList splitComponents(const QString &s, QChar separator, Escapes escapes)
{
    QStringList parts;
    qsizetype start = 0;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c == u'\\' && i + 1 < s.size() && (escapes == Escapes::V3 || s[i + 1] == u';')) {
            ++i;
        } else if (c == separator) {
            parts.append(unescape(s.mid(start, i - start), escapes));
            start = i + 1;
        }
    }
    parts.append(unescape(s.mid(start), escapes));
    return parts;
}

bool isMobileLike(const QString &number)
{
    int digits = 0;
    for (QChar c : number)
        if (c.isDigit())
            ++digits;
    return digits >= 11;
}

struct CardBuilder {
    Escapes escapes = Escapes::V3;
    ContactRecord record;
    QString fn, family, given;
    bool haveN = false;
    QString cellTel, mobileLikeTel, anyTel;
    QString homeAdr, anyAdr;
    QString email;
    bool haveGroup = false;

    bool sawBackslash = false; // a value the escapes of 2.1 read otherwise

    QString decoded(const Property &p)
    {
        QString s = decodedText(p);
        sawBackslash = sawBackslash || s.contains(u'\\');
        return s;
    }
    QString text(const Property &p) { return unescape(decoded(p), escapes).trimmed(); }
    QStringList parts(const Property &p, QChar separator) { return splitComponents(decoded(p), separator, escapes); }

    void add(const Property &p)
    {
        const QByteArrayView n = p.name;
        if (sameNoCase(n, "FN")) {
            if (fn.isEmpty())
                fn = text(p);
        } else if (sameNoCase(n, "N")) {
            if (!haveN) {
                const QStringList c = parts(p, u';');
                family = c.value(0).trimmed();
                given = c.value(1).trimmed();
                haveN = true;
            }
        } else if (sameNoCase(n, "TEL")) {
            QString number = text(p);
            if (number.startsWith(QStringLiteral("tel:"), Qt::CaseInsensitive))
                number = number.mid(4).trimmed(); // 4.0 writes numbers as URIs
            if (number.isEmpty())
                return;
            if (p.cell && cellTel.isEmpty())
                cellTel = number;
            if (isMobileLike(number) && mobileLikeTel.isEmpty())
                mobileLikeTel = number;
            if (anyTel.isEmpty())
                anyTel = number;
        } else if (sameNoCase(n, "EMAIL")) {
            if (email.isEmpty())
                email = text(p);
        } else if (sameNoCase(n, "ADR")) {
            const QString joined = joinedAddress(parts(p, u';'));
            if (p.home && homeAdr.isEmpty())
                homeAdr = joined;
            if (anyAdr.isEmpty())
                anyAdr = joined;
        } else if (sameNoCase(n, "CATEGORIES")) {
            if (!haveGroup) {
                record.group = parts(p, u',').value(0).trimmed();
                haveGroup = true;
            }
        } else if (sameNoCase(n, "GENDER")) {
            // As written ("M", "F"...): the import's rule maps it to 男 or 女.
            record.sex = parts(p, u';').value(0).trimmed();
        } else if (sameNoCase(n, "X-GENDER")) {
            if (record.sex.isEmpty())
                record.sex = text(p);
        } else if (sameNoCase(n, "X-QQ")) {
            if (record.qq.isEmpty())
                record.qq = text(p);
        } else if (sameNoCase(n, "IMPP")) {
            const QString uri = text(p);
            if (record.qq.isEmpty() && uri.startsWith(QStringLiteral("qq:"), Qt::CaseInsensitive)) {
                QString id = uri.mid(3);
                while (id.startsWith(u'/'))
                    id.remove(0, 1);
                record.qq = id.trimmed();
            }
        }
    }

    ContactRecord finish()
    {
        const QString fromN = joinedName(family, given);
        bool useN = haveN && !fromN.isEmpty() && (containsHan(fromN) || fn.isEmpty());
        // A partial N ("张;;;;") beside the whole name in FN ("张三丰").
        if (useN && fn.size() > fromN.size() && fn.contains(family) && fn.contains(given))
            useN = false;
        record.name = useN ? fromN : fn;
        record.mobile = !cellTel.isEmpty() ? cellTel : !mobileLikeTel.isEmpty() ? mobileLikeTel : anyTel;
        record.address = !homeAdr.isEmpty() ? homeAdr : anyAdr;
        record.email = email;
        return std::move(record);
    }
};

QString notEndedMessage(int line)
{
    return QStringLiteral("第 %1 行的名片没有结束（缺少 END:VCARD），文件不完整。").arg(line);
}

// Without a sink only the file's shape is checked: the same errors, thrown
// at the same place, without a card made.
void readCards(const QByteArray &bytes, const RecordSink &sink)
{
    const QByteArray text = withoutBom(bytes);
    LineReader reader(text);
    bool inCard = false;
    bool any = false;
    int cardLine = 0;
    int nestedDepth = 0; // inside a 2.1 AGENT's own card, which is skipped
    bool afterEmptyAgent = false;
    CardBuilder card;
    LineReader::Position cardStart; // just after its BEGIN line
    Line line;
    while (reader.next(line)) {
        const Property p = parseProperty(line.text);
        const bool begin = sameNoCase(p.name, "BEGIN") && isVCardValue(p.value);
        const bool end = sameNoCase(p.name, "END") && isVCardValue(p.value);
        if (nestedDepth > 0) {
            nestedDepth += begin ? 1 : end ? -1 : 0;
            continue;
        }
        const bool agentCardFollows = afterEmptyAgent;
        afterEmptyAgent = false;
        if (begin) {
            if (inCard) {
                if (!agentCardFollows)
                    throw ExchangeError(notEndedMessage(cardLine));
                nestedDepth = 1;
                continue;
            }
            inCard = true;
            cardLine = line.number;
            card = CardBuilder();
            card.record.line = line.number;
            cardStart = reader.position();
        } else if (end) {
            if (!inCard)
                throw ExchangeError(QStringLiteral("第 %1 行有 END:VCARD 却没有对应的 BEGIN:VCARD。").arg(line.number));
            if (sink)
                sink(card.finish());
            any = true;
            inCard = false;
        } else if (inCard) {
            if (sameNoCase(p.name, "VERSION")) {
                if (p.value.trimmed().startsWith("2.") && card.escapes == Escapes::V3) {
                    card.escapes = Escapes::V21;
                    if (card.sawBackslash) {
                        // VERSION came late and a value before it read as 3.0
                        // would differ: the card is read again, once.
                        card = CardBuilder();
                        card.escapes = Escapes::V21;
                        card.record.line = cardLine;
                        reader.seek(cardStart);
                    }
                }
                continue;
            }
            if (sameNoCase(p.name, "AGENT")) {
                // 2.1 nests the agent's card: "AGENT:" and BEGIN:VCARD on the
                // next line, or both on one line.
                const QByteArrayView value = p.value.trimmed();
                if (value.isEmpty())
                    afterEmptyAgent = true;
                else if (sameNoCase(value, "BEGIN:VCARD"))
                    nestedDepth = 1;
                continue;
            }
            if (sink)
                card.add(p);
        } else {
            throw ExchangeError(QStringLiteral("第 %1 行不在任何名片之内：这不是有效的 vCard 文件。").arg(line.number));
        }
    }
    if (inCard)
        throw ExchangeError(notEndedMessage(cardLine));
    if (!any)
        throw ExchangeError(QStringLiteral("文件里没有名片。"));
}

} // namespace

QString oneLineAddress(const QString &address)
{
    if (!address.contains(u'\n') && !address.contains(u'\r'))
        return address.trimmed();
    QStringList lines;
    for (const QString &line : QString(address).replace(u'\r', u'\n').split(u'\n', Qt::SkipEmptyParts)) {
        const QString trimmed = line.trimmed();
        if (!trimmed.isEmpty())
            lines.append(trimmed);
    }
    return lines.join(containsHan(address) ? QString() : QStringLiteral(", "));
}

QString joinedAddress(const QStringList &c)
{
    // pobox; extended; street; locality; region; postal code; country
    auto at = [&](int i) { return i < c.size() ? oneLineAddress(c[i]) : QString(); };
    const QString pobox = at(0), extended = at(1), street = at(2), locality = at(3), region = at(4), postal = at(5),
                  country = at(6);
    QStringList parts;
    bool han = false;
    for (const QString &s : c)
        han = han || containsHan(s);
    if (han) {
        // Chinese addresses run from the largest place to the smallest.
        for (const QString &s : { country, region, locality, street, extended, pobox })
            if (!s.isEmpty())
                parts.append(s);
        return parts.join(QString());
    }
    for (const QString &s : { pobox, extended, street, locality })
        if (!s.isEmpty())
            parts.append(s);
    const QString regionPostal = QStringList { region, postal }.join(u' ').trimmed();
    if (!regionPostal.isEmpty())
        parts.append(regionPostal);
    if (!country.isEmpty())
        parts.append(country);
    return parts.join(QStringLiteral(", "));
}

bool looksLikeVCard(const QByteArray &bytes)
{
    const QByteArray head = bytes.left(4096);
    const QByteArray text = withoutBom(head);
    LineReader reader(text);
    Line first;
    return reader.next(first) && first.text.trimmed().toUpper().startsWith("BEGIN:VCARD");
}

void checkVCards(const QByteArray &bytes)
{
    readCards(bytes, RecordSink());
}

void readVCards(const QByteArray &bytes, const RecordSink &sink)
{
    readCards(bytes, sink);
}

ContactRecords readVCards(const QByteArray &bytes)
{
    ContactRecords records;
    readCards(bytes, [&](ContactRecord &&r) { records.push_back(std::move(r)); });
    return records;
}

// A card's lines are appended to one buffer: UTF-8 written straight from
// the stored text, escaped and folded at 75 octets (never inside a
// character) as it goes, without a temporary string per field.
VCardWriter::VCardWriter(QIODevice *device, qsizetype expectedBytes)
    : m_out(device, device ? qsizetype(1) << 20 : expectedBytes)
{
}

QByteArray VCardWriter::finish()
{
    m_out.flush();
    return m_out.take();
}

void VCardWriter::add(const store::ContactView &r)
{
    raw("BEGIN:VCARD\r\nVERSION:3.0\r\n");
    // The whole name as the family name: family + given read back as it stands.
    begin("N:");
    text(r.field(0));
    ascii(";;;;");
    end();
    begin("FN:");
    text(r.field(0));
    end();
    property("TEL;TYPE=CELL:", r.field(3));
    property("EMAIL:", r.field(4));
    if (!r.field(5).isEmpty()) {
        begin("ADR;TYPE=HOME:;;");
        text(r.field(5));
        ascii(";;;;");
        end();
    }
    property("CATEGORIES:", r.field(6));
    property("X-GENDER:", r.field(1));
    property("X-QQ:", r.field(2));
    raw("END:VCARD\r\n");
}

void VCardWriter::raw(const char *ascii) // a whole line of ASCII, never folded
{
    const auto k = static_cast<qsizetype>(std::strlen(ascii));
    m_out.reserve(k);
    std::memcpy(m_out.m_p + m_out.m_len, ascii, static_cast<size_t>(k));
    m_out.m_len += k;
}

void VCardWriter::begin(const char *prefix)
{
    m_column = 0;
    m_out.reserve(static_cast<qsizetype>(std::strlen(prefix)) * 2);
    for (const char *c = prefix; *c; ++c)
        put(c, 1);
}

void VCardWriter::text(QStringView s)
{
    // At most 3 octets per UTF-16 unit, 2 for an escape, and a fold
    // (3 octets) every 74.
    m_out.reserve(s.size() * 4 + 8);
    const char16_t *u = s.utf16();
    const qsizetype n = s.size();
    // Local copies the compiler keeps in registers (stores through a
    // char pointer could otherwise change the members).
    char *const base = m_out.m_p;
    char *o = base + m_out.m_len;
    int column = m_column;
    auto put = [&](const char *bytes, int k) {
        if (column + k > 75) {
            *o++ = '\r';
            *o++ = '\n';
            *o++ = ' ';
            column = 1; // the leading space counts
        }
        for (int j = 0; j < k; ++j)
            *o++ = bytes[j];
        column += k;
    };
    char b[4];
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = u[i];
        if (c == '\\' || c == ',' || c == ';') {
            b[0] = '\\';
            b[1] = static_cast<char>(c);
            put(b, 2);
        } else if (c == '\n') {
            put("\\n", 2);
        } else if (c != '\r') {
            put(b, utf8Of(u, n, i, b));
        }
    }
    m_out.m_len = o - base;
    m_column = column;
}

void VCardWriter::ascii(const char *s)
{
    m_out.reserve(static_cast<qsizetype>(std::strlen(s)) * 2);
    for (; *s; ++s)
        put(s, 1);
}

void VCardWriter::end()
{
    raw("\r\n");
}

void VCardWriter::property(const char *prefix, QStringView value)
{
    if (value.isEmpty())
        return;
    begin(prefix);
    text(value);
    end();
}

void VCardWriter::put(const char *bytes, int k)
{
    char *p = m_out.m_p;
    if (m_column + k > 75) {
        p[m_out.m_len++] = '\r';
        p[m_out.m_len++] = '\n';
        p[m_out.m_len++] = ' ';
        m_column = 1; // the leading space counts
    }
    for (int j = 0; j < k; ++j)
        p[m_out.m_len++] = bytes[j];
    m_column += k;
}

QByteArray writeVCards(const ContactRecords &records)
{
    VCardWriter w(nullptr, static_cast<qsizetype>(records.size()) * 256);
    for (const ContactRecord &r : records)
        w.add(store::ContactView(r));
    return w.finish();
}

} // namespace exchange
