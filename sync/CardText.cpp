#include "sync/CardText.h"

#include "exchange/Exchange.h"
#include "exchange/VCard.h"

#include <QByteArrayList>

#include <optional>

namespace carddav {

namespace {

// The import's rules for a server's card, with one difference: a number
// too long for the editor skips the card instead of being left out, since
// the next upload of the contact would then delete it from the server.
QString cleaned(store::Contact &c)
{
    exchange::ContactRecord record;
    static_cast<store::Contact &>(record) = std::move(c);
    const exchange::RuleOutcome outcome = exchange::applyImportRule(record);
    c = std::move(static_cast<store::Contact &>(record));
    if (!outcome.passed())
        return outcome.refusal;
    if (!outcome.leftOut.empty()) {
        const exchange::SkippedRecord &number = outcome.leftOut.front();
        return QString(number.reason).replace(QLatin1String("%1"), number.value) + QStringLiteral("；名片没有下载");
    }
    return QString();
}

// One unfolded content line, split where its value starts.
struct Line {
    QByteArray head; // group.NAME;params
    QByteArray value;
    QByteArray name; // upper case, no group
    bool hasValue = false;
};

QByteArrayList unfolded(const QByteArray &text)
{
    QByteArrayList lines;
    for (QByteArray physical : text.split('\n')) {
        if (physical.endsWith('\r'))
            physical.chop(1);
        if (!lines.isEmpty() && (physical.startsWith(' ') || physical.startsWith('\t')))
            lines.last().append(physical.mid(1));
        else if (!physical.isEmpty())
            lines.append(physical);
    }
    return lines;
}

Line split(const QByteArray &text)
{
    Line line;
    bool quoted = false;
    qsizetype colon = -1;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '"')
            quoted = !quoted;
        else if (text[i] == ':' && !quoted) {
            colon = i;
            break;
        }
    }
    line.head = colon < 0 ? text : text.left(colon);
    line.value = colon < 0 ? QByteArray() : text.mid(colon + 1);
    line.hasValue = colon >= 0;
    QByteArray name = line.head;
    const qsizetype semicolon = name.indexOf(';');
    if (semicolon >= 0)
        name.truncate(semicolon);
    const qsizetype dot = name.lastIndexOf('.');
    line.name = (dot >= 0 ? name.mid(dot + 1) : name).trimmed().toUpper();
    return line;
}

QByteArray escaped(const QString &s)
{
    QString out;
    for (QChar c : s) {
        if (c == u'\\' || c == u',' || c == u';')
            out += u'\\';
        if (c == u'\n')
            out += QStringLiteral("\\n");
        else if (c != u'\r')
            out += c;
    }
    return out.toUtf8();
}

// The head without the transfer encoding and charset, which a rewritten
// UTF-8 value no longer has.
QByteArray plainHead(const QByteArray &head)
{
    QByteArrayList parts = head.split(';');
    QByteArrayList kept { parts.takeFirst() };
    for (const QByteArray &p : parts) {
        const QByteArray upper = p.trimmed().toUpper();
        if (upper.startsWith("ENCODING=") || upper.startsWith("CHARSET=") || upper == "QUOTED-PRINTABLE"
            || upper == "BASE64")
            continue;
        kept.append(p);
    }
    return kept.join(';');
}

// The text a single-valued line reads as, the way the reader reads it.
QString valueOf(const QByteArray &line)
{
    const QByteArray card = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:x\r\n" + line + "\r\nEND:VCARD\r\n";
    try {
        const exchange::ContactRecords r = exchange::readVCards(card);
        return r.empty() ? QString() : r.front().mobile + r.front().email + r.front().address;
    } catch (const exchange::ExchangeError &) {
        return QString();
    }
}

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
        limit = 74;
    }
    out.append(line.constData() + pos, line.size() - pos);
    out.append("\r\n");
}

} // namespace

ReadCard readCard(const QByteArray &text)
{
    ReadCard card;
    try {
        const exchange::ContactRecords records = exchange::readVCards(text);
        card.contact = records.front();
    } catch (const exchange::ExchangeError &e) {
        card.reason = e.message();
        return card;
    }
    for (const QByteArray &l : unfolded(text)) {
        const Line line = split(l);
        if (line.name == "UID" && card.uid.isEmpty())
            card.uid = QString::fromUtf8(line.value).trimmed();
    }
    card.reason = cleaned(card.contact);
    return card;
}

QByteArray newCard(const store::Contact &contact, const QString &uid)
{
    exchange::ContactRecord record;
    static_cast<store::Contact &>(record) = contact;
    QByteArray text = exchange::writeVCards({ record });
    const QByteArray version = "VERSION:3.0\r\n";
    const qsizetype at = text.indexOf(version);
    text.insert(at < 0 ? 0 : at + version.size(), "UID:" + escaped(uid) + "\r\n");
    return text;
}

QByteArray mergedCard(const QByteArray &serverText, const store::Contact &now)
{
    ReadCard server = readCard(serverText);
    const store::Contact &was = server.contact;
    QByteArrayList lines = unfolded(serverText);
    bool v4 = false;
    for (const QByteArray &l : lines)
        v4 = v4 || (split(l).name == "VERSION" && split(l).value.trimmed() == "4.0");

    // The line the reader took a field from: the first of its kind whose
    // value reads as the field did.
    auto find = [&](const QByteArray &name, const QString &value) -> std::optional<qsizetype> {
        std::optional<qsizetype> first;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const Line line = split(lines[i]);
            if (line.name != name)
                continue;
            if (!first)
                first = i;
            QString read = valueOf(lines[i]);
            if (name == "TEL")
                read = exchange::normalizedMobile(read.trimmed());
            if (read.trimmed() == value)
                return i;
        }
        return value.isEmpty() ? std::nullopt : first;
    };
    QByteArrayList added;
    auto put = [&](std::optional<qsizetype> at, const QByteArray &freshHead, const QByteArray &value, bool keep) {
        if (!at) {
            if (keep)
                added.append(freshHead + ':' + value);
            return;
        }
        if (!keep) {
            lines[*at].clear(); // dropped below
            return;
        }
        lines[*at] = plainHead(split(lines[*at]).head) + ':' + value;
    };
    auto drop = [&](const QByteArray &name) {
        for (QByteArray &l : lines)
            if (split(l).name == name)
                l.clear();
    };

    if (now.name != was.name) {
        drop("FN");
        drop("N");
        added.append("N:" + escaped(now.name) + ";;;;");
        added.append("FN:" + escaped(now.name));
    }
    if (now.mobile != was.mobile) {
        std::optional<qsizetype> at;
        if (!was.mobile.isEmpty())
            at = find("TEL", was.mobile);
        const bool uri = at && split(lines[*at]).value.trimmed().toLower().startsWith("tel:");
        put(at, "TEL;TYPE=CELL", (uri ? "tel:" : "") + escaped(now.mobile), !now.mobile.isEmpty());
    }
    if (now.email != was.email)
        put(was.email.isEmpty() ? std::nullopt : find("EMAIL", was.email), "EMAIL", escaped(now.email),
            !now.email.isEmpty());
    if (now.address != was.address) {
        std::optional<qsizetype> at;
        if (!was.address.isEmpty())
            at = find("ADR", was.address);
        put(at, "ADR;TYPE=HOME", ";;" + escaped(now.address) + ";;;;", !now.address.isEmpty());
    }
    if (now.group != was.group) {
        std::optional<qsizetype> at;
        for (qsizetype i = 0; i < lines.size() && !at; ++i)
            if (split(lines[i]).name == "CATEGORIES")
                at = i;
        QByteArray rest;
        if (at) {
            // Only the first category is ours; the others stay.
            const QByteArray value = split(lines[*at]).value;
            for (qsizetype i = 0; i < value.size(); ++i) {
                if (value[i] == '\\')
                    ++i;
                else if (value[i] == ',') {
                    rest = value.mid(i);
                    break;
                }
            }
        }
        if (now.group.isEmpty() && !rest.isEmpty())
            put(at, "CATEGORIES", rest.mid(1), true);
        else
            put(at, "CATEGORIES", escaped(now.group) + rest, !now.group.isEmpty());
    }
    if (now.sex != was.sex) {
        drop("GENDER");
        drop("X-GENDER");
        if (!now.sex.isEmpty()) {
            if (v4)
                added.append(now.sex == u"男" ? "GENDER:M" : "GENDER:F");
            else
                added.append("X-GENDER:" + escaped(now.sex));
        }
    }
    if (now.qq != was.qq) {
        std::optional<qsizetype> at;
        for (qsizetype i = 0; i < lines.size() && !at; ++i)
            if (split(lines[i]).name == "X-QQ")
                at = i;
        if (!at && !was.qq.isEmpty()) {
            for (qsizetype i = 0; i < lines.size() && !at; ++i) {
                const Line line = split(lines[i]);
                if (line.name == "IMPP" && line.value.trimmed().toLower().startsWith("qq:"))
                    at = i;
            }
        }
        const bool impp = at && split(lines[*at]).name == "IMPP";
        put(at, "X-QQ", (impp ? "qq:" : "") + escaped(now.qq), !now.qq.isEmpty());
    }

    QByteArray out;
    for (const QByteArray &l : lines) {
        if (l.isEmpty())
            continue;
        if (split(l).name == "END" && split(l).value.trimmed().toUpper() == "VCARD") {
            for (const QByteArray &a : added)
                appendFolded(out, a);
            added.clear();
        }
        appendFolded(out, l);
    }
    return out;
}

} // namespace carddav
