#include "exchange/VCard.h"

#include "exchange/TextDecoding.h"

#include <QByteArrayList>
#include <QStringList>

namespace exchange {

namespace {

struct Line {
    QByteArray text; // unfolded
    int number = 0; // first physical line
};

struct Property {
    QByteArray name; // upper case, group prefix removed
    QByteArrayList types; // upper case TYPE values and 2.1 bare parameters
    QByteArray charset;
    QByteArray encoding; // upper case: QUOTED-PRINTABLE, BASE64, B or empty
    QByteArray rawValue;
};

QByteArray stripBom(const QByteArray &bytes)
{
    const TextEncoding enc = detectEncoding(bytes);
    if (enc == TextEncoding::Utf16LE || enc == TextEncoding::Utf16BE)
        return normalizedBytes(bytes, enc);
    return bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes;
}

// The parameters part (before the first ':' outside quotes) says whether the
// value is quoted-printable, whose soft line breaks continue on the next line.
bool isQuotedPrintableLine(QByteArrayView line)
{
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"')
            quoted = !quoted;
        else if (c == ':' && !quoted)
            return line.first(i).toByteArray().toUpper().contains("QUOTED-PRINTABLE");
    }
    return false;
}

// Reads logical lines one at a time: folded lines are joined and a
// quoted-printable value's soft line breaks continue on the next line. The
// lines are not all kept, so a large file costs little beyond its own bytes.
class LineReader {
public:
    explicit LineReader(const QByteArray &bytes)
        : m_bytes(bytes)
    {
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
        out.text = physical.toByteArray();
        bool qp = out.text.endsWith('=') && isQuotedPrintableLine(out.text);
        for (;;) {
            const qsizetype savedPos = m_pos;
            const int savedLine = m_lineNumber;
            QByteArrayView peek;
            if (!readPhysical(peek))
                break;
            if (qp) {
                // A soft line break: "=" at the end joins the next line as it stands.
                out.text.chop(1);
                out.text.append(peek);
            } else if (!peek.isEmpty() && (peek[0] == ' ' || peek[0] == '\t')) {
                out.text.append(peek.sliced(1));
            } else {
                m_pos = savedPos;
                m_lineNumber = savedLine;
                break;
            }
            qp = out.text.endsWith('=') && isQuotedPrintableLine(out.text);
        }
        return true;
    }

private:
    bool readPhysical(QByteArrayView &line)
    {
        const qsizetype n = m_bytes.size();
        if (m_pos >= n)
            return false;
        qsizetype end = m_bytes.indexOf('\n', m_pos);
        const qsizetype next = end < 0 ? n : end + 1;
        if (end < 0)
            end = n;
        qsizetype stop = end;
        if (stop > m_pos && m_bytes[stop - 1] == '\r')
            --stop;
        line = QByteArrayView(m_bytes.constData() + m_pos, stop - m_pos);
        m_pos = next;
        ++m_lineNumber;
        return true;
    }

    const QByteArray &m_bytes;
    qsizetype m_pos = 0;
    int m_lineNumber = 0;
};

QByteArray unquote(QByteArray v)
{
    v = v.trimmed();
    if (v.size() >= 2 && v.startsWith('"') && v.endsWith('"'))
        v = v.mid(1, v.size() - 2);
    return v;
}

Property parseProperty(const QByteArray &line)
{
    Property p;
    qsizetype colon = -1;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == '"')
            quoted = !quoted;
        else if (line[i] == ':' && !quoted) {
            colon = i;
            break;
        }
    }
    if (colon < 0) {
        p.name = line.trimmed().toUpper();
        return p;
    }
    p.rawValue = line.mid(colon + 1);
    // Parameters split at ';' outside quotes.
    QByteArrayList parts;
    QByteArray cur;
    quoted = false;
    for (qsizetype i = 0; i < colon; ++i) {
        const char c = line[i];
        if (c == '"')
            quoted = !quoted;
        if (c == ';' && !quoted) {
            parts.append(cur);
            cur.clear();
        } else {
            cur.append(c);
        }
    }
    parts.append(cur);
    QByteArray name = parts.takeFirst().trimmed().toUpper();
    const qsizetype dot = name.lastIndexOf('.');
    if (dot >= 0)
        name = name.mid(dot + 1);
    p.name = name;
    for (const QByteArray &param : parts) {
        const qsizetype eq = param.indexOf('=');
        if (eq < 0) {
            const QByteArray bare = param.trimmed().toUpper();
            if (bare == "QUOTED-PRINTABLE" || bare == "BASE64")
                p.encoding = bare;
            else if (!bare.isEmpty())
                p.types.append(bare);
            continue;
        }
        const QByteArray key = param.left(eq).trimmed().toUpper();
        const QByteArray value = unquote(param.mid(eq + 1));
        if (key == "CHARSET") {
            p.charset = value;
        } else if (key == "ENCODING") {
            p.encoding = value.toUpper();
        } else if (key == "TYPE") {
            for (const QByteArray &t : value.split(','))
                if (!t.trimmed().isEmpty())
                    p.types.append(unquote(t).toUpper());
        }
    }
    return p;
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

QByteArray decodeQuotedPrintable(const QByteArray &in)
{
    QByteArray out;
    out.reserve(in.size());
    for (qsizetype i = 0; i < in.size(); ++i) {
        const char c = in[i];
        if (c == '=' && i + 2 < in.size()) {
            const int hi = hexValue(in[i + 1]);
            const int lo = hexValue(in[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out.append(static_cast<char>(hi * 16 + lo));
                i += 2;
                continue;
            }
        }
        if (c == '=' && i == in.size() - 1)
            break; // a trailing soft break
        out.append(c);
    }
    return out;
}

// The value's bytes with transfer encodings removed.
QByteArray valueBytes(const Property &p)
{
    if (p.encoding == "QUOTED-PRINTABLE")
        return decodeQuotedPrintable(p.rawValue);
    if (p.encoding == "BASE64" || p.encoding == "B")
        return QByteArray::fromBase64(p.rawValue.trimmed());
    return p.rawValue;
}

QString unescape(const QString &s)
{
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c == u'\\' && i + 1 < s.size()) {
            const QChar n = s[++i];
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
QStringList splitComponents(const QString &s, QChar separator)
{
    QStringList parts;
    QString cur;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c == u'\\' && i + 1 < s.size()) {
            cur += c;
            cur += s[++i];
        } else if (c == separator) {
            parts.append(unescape(cur));
            cur.clear();
        } else {
            cur += c;
        }
    }
    parts.append(unescape(cur));
    return parts;
}

QString decodedText(const Property &p)
{
    return decodeCharset(valueBytes(p), p.charset);
}

QString joinAddress(const QStringList &c)
{
    // pobox; extended; street; locality; region; postal code; country
    auto at = [&](int i) { return i < c.size() ? c[i].trimmed() : QString(); };
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

bool isMobileLike(const QString &number)
{
    int digits = 0;
    for (QChar c : number)
        if (c.isDigit())
            ++digits;
    return digits >= 11;
}

struct CardBuilder {
    ContactRecord record;
    QString fn, family, given;
    bool haveN = false;
    QString cellTel, mobileLikeTel, anyTel;
    QString homeAdr, anyAdr;
    QString email;
    bool haveGroup = false;

    void add(const Property &p)
    {
        const QByteArray &n = p.name;
        if (n == "FN") {
            if (fn.isEmpty())
                fn = unescape(decodedText(p)).trimmed();
        } else if (n == "N") {
            if (!haveN) {
                const QStringList c = splitComponents(decodedText(p), u';');
                family = c.value(0).trimmed();
                given = c.value(1).trimmed();
                haveN = true;
            }
        } else if (n == "TEL") {
            QString number = unescape(decodedText(p)).trimmed();
            if (number.startsWith(QStringLiteral("tel:"), Qt::CaseInsensitive))
                number = number.mid(4).trimmed(); // 4.0 writes numbers as URIs
            if (number.isEmpty())
                return;
            const bool cell = p.types.contains("CELL") || p.types.contains("MOBILE");
            if (cell && cellTel.isEmpty())
                cellTel = number;
            if (isMobileLike(number) && mobileLikeTel.isEmpty())
                mobileLikeTel = number;
            if (anyTel.isEmpty())
                anyTel = number;
        } else if (n == "EMAIL") {
            if (email.isEmpty())
                email = unescape(decodedText(p)).trimmed();
        } else if (n == "ADR") {
            const QString joined = joinAddress(splitComponents(decodedText(p), u';'));
            if (p.types.contains("HOME") && homeAdr.isEmpty())
                homeAdr = joined;
            if (anyAdr.isEmpty())
                anyAdr = joined;
        } else if (n == "CATEGORIES") {
            if (!haveGroup) {
                record.group = splitComponents(decodedText(p), u',').value(0).trimmed();
                haveGroup = true;
            }
        } else if (n == "GENDER") {
            // As written ("M", "F"...): the import's rule maps it to 男 or 女.
            record.sex = splitComponents(decodedText(p), u';').value(0).trimmed();
        } else if (n == "X-GENDER") {
            if (record.sex.isEmpty())
                record.sex = unescape(decodedText(p)).trimmed();
        } else if (n == "X-QQ") {
            if (record.qq.isEmpty())
                record.qq = unescape(decodedText(p)).trimmed();
        } else if (n == "IMPP") {
            const QString uri = unescape(decodedText(p)).trimmed();
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
        if (haveN && !fromN.isEmpty() && (containsHan(fromN) || fn.isEmpty()))
            record.name = fromN;
        else
            record.name = fn;
        record.mobile = !cellTel.isEmpty() ? cellTel : !mobileLikeTel.isEmpty() ? mobileLikeTel : anyTel;
        record.address = !homeAdr.isEmpty() ? homeAdr : anyAdr;
        record.email = email;
        return record;
    }
};

QByteArray escapeText(const QString &s)
{
    QString out;
    out.reserve(s.size());
    for (QChar c : s) {
        if (c == u'\\' || c == u',' || c == u';') {
            out += u'\\';
            out += c;
        } else if (c == u'\n') {
            out += QStringLiteral("\\n");
        } else if (c == u'\r') {
            continue;
        } else {
            out += c;
        }
    }
    return out.toUtf8();
}

// Folds a content line at 75 octets without splitting a UTF-8 sequence.
void appendFolded(QByteArray &out, const QByteArray &line)
{
    qsizetype pos = 0;
    int limit = 75;
    while (line.size() - pos > limit) {
        qsizetype cut = pos + limit;
        while (cut > pos && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80)
            --cut;
        out.append(line.constData() + pos, cut - pos);
        out.append("\r\n ");
        pos = cut;
        limit = 74; // the leading space counts
    }
    out.append(line.constData() + pos, line.size() - pos);
    out.append("\r\n");
}

} // namespace

bool looksLikeVCard(const QByteArray &bytes)
{
    const QByteArray text = stripBom(bytes.left(4096));
    LineReader reader(text);
    Line first;
    return reader.next(first) && first.text.trimmed().toUpper().startsWith("BEGIN:VCARD");
}

ContactRecords readVCards(const QByteArray &bytes)
{
    const QByteArray text = stripBom(bytes);
    LineReader reader(text);
    ContactRecords records;
    bool inCard = false;
    int cardLine = 0;
    CardBuilder card;
    Line line;
    while (reader.next(line)) {
        const Property p = parseProperty(line.text);
        const QByteArray value = p.rawValue.trimmed().toUpper();
        if (p.name == "BEGIN" && value == "VCARD") {
            if (inCard)
                throw ExchangeError(
                    QStringLiteral("第 %1 行的名片没有结束（缺少 END:VCARD），文件不完整。").arg(cardLine));
            inCard = true;
            cardLine = line.number;
            card = CardBuilder();
            card.record.line = line.number;
        } else if (p.name == "END" && value == "VCARD") {
            if (!inCard)
                throw ExchangeError(QStringLiteral("第 %1 行有 END:VCARD 却没有对应的 BEGIN:VCARD。").arg(line.number));
            records.push_back(card.finish());
            inCard = false;
        } else if (inCard) {
            card.add(p);
        } else {
            throw ExchangeError(QStringLiteral("第 %1 行不在任何名片之内：这不是有效的 vCard 文件。").arg(line.number));
        }
    }
    if (inCard)
        throw ExchangeError(QStringLiteral("第 %1 行的名片没有结束（缺少 END:VCARD），文件不完整。").arg(cardLine));
    if (records.empty())
        throw ExchangeError(QStringLiteral("文件里没有名片。"));
    return records;
}

QByteArray writeVCards(const ContactRecords &records)
{
    QByteArray out;
    out.reserve(static_cast<qsizetype>(records.size()) * 200);
    auto prop = [&](const char *name, const QString &value) {
        if (value.isEmpty())
            return;
        appendFolded(out, QByteArray(name) + ':' + escapeText(value));
    };
    for (const ContactRecord &r : records) {
        out.append("BEGIN:VCARD\r\nVERSION:3.0\r\n");
        // The whole name as the family name: family + given read back as it stands.
        appendFolded(out, "N:" + escapeText(r.name) + ";;;;");
        appendFolded(out, "FN:" + escapeText(r.name));
        prop("TEL;TYPE=CELL", r.mobile);
        prop("EMAIL", r.email);
        if (!r.address.isEmpty())
            appendFolded(out, "ADR;TYPE=HOME:;;" + escapeText(r.address) + ";;;;");
        prop("CATEGORIES", r.group);
        prop("X-GENDER", r.sex);
        prop("X-QQ", r.qq);
        out.append("END:VCARD\r\n");
    }
    return out;
}

} // namespace exchange
