#include "exchange/Csv.h"

#include "exchange/TextDecoding.h"

#include <QHash>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QStringList>

namespace exchange {

namespace {

enum Column { Name, Sex, Qq, Mobile, Email, Address, Group, FirstName, LastName, ColumnCount };

// Titles are compared in lower case without spaces, dashes or underscores.
const QHash<QString, Column> &titles()
{
    static const QHash<QString, Column> map = [] {
        QHash<QString, Column> m;
        auto add = [&](Column c, std::initializer_list<const char16_t *> names) {
            for (const char16_t *n : names)
                m.insert(QString::fromUtf16(n), c);
        };
        add(Name, { u"姓名", u"名字", u"name", u"全名", u"fullname", u"displayname", u"联系人", u"联系人姓名" });
        add(FirstName, { u"firstname", u"givenname", u"名" });
        add(LastName, { u"lastname", u"familyname", u"surname", u"姓", u"姓氏" });
        add(Sex, { u"性别", u"gender", u"sex" });
        add(Mobile,
            { u"手机", u"手机号码", u"手机号", u"移动电话", u"mobilephone", u"mobile", u"cellphone", u"mobilenumber" });
        add(Qq, { u"qq", u"qq号码", u"qq号" });
        add(Email, { u"电子邮件", u"电子邮件地址", u"邮箱", u"emailaddress", u"email", u"电子邮箱" });
        add(Address, { u"地址", u"家庭住址", u"家庭地址", u"住址", u"homeaddress", u"address" });
        add(Group, { u"组名", u"分组", u"组", u"group", u"categories", u"groupmembership", u"类别" });
        return m;
    }();
    return map;
}

QString normalizedTitle(const QString &title)
{
    QString t;
    for (QChar c : title.trimmed().toLower())
        if (c != u' ' && c != u'-' && c != u'_' && c != u'\u3000')
            t += c;
    return t;
}

struct RawRow {
    QList<QByteArray> fields;
    int line = 0;
};

char detectDelimiter(const QByteArray &bytes)
{
    int counts[3] = { 0, 0, 0 };
    const char delims[3] = { ',', ';', '\t' };
    bool quoted = false;
    for (char c : bytes) {
        if (c == '"')
            quoted = !quoted;
        else if (!quoted && (c == '\n' || c == '\r'))
            break;
        else if (!quoted)
            for (int i = 0; i < 3; ++i)
                if (c == delims[i])
                    ++counts[i];
    }
    int best = 0;
    for (int i = 1; i < 3; ++i)
        if (counts[i] > counts[best])
            best = i;
    return delims[best];
}

// Reads one record at a time (RFC 4180: quoted fields hold delimiters, quotes
// doubled and line breaks), so only the current record is held apart from
// the file's bytes. Blank records are skipped.
class RowReader {
public:
    RowReader(const QByteArray &bytes, char delimiter)
        : m_bytes(bytes)
        , m_delimiter(delimiter)
    {
    }

    bool next(RawRow &row)
    {
        const qsizetype n = m_bytes.size();
        while (m_pos < n) {
            row.fields.clear();
            row.line = m_line;
            QByteArray field;
            bool quoted = false;
            bool wasQuoted = false;
            int quoteLine = 0;
            bool ended = false;
            while (m_pos < n && !ended) {
                const char c = m_bytes[m_pos++];
                if (quoted) {
                    if (c == '"') {
                        if (m_pos < n && m_bytes[m_pos] == '"') {
                            field.append('"');
                            ++m_pos;
                        } else {
                            quoted = false;
                        }
                    } else {
                        if (c == '\n')
                            ++m_line;
                        field.append(c);
                    }
                } else if (c == '"' && field.isEmpty() && !wasQuoted) {
                    quoted = true;
                    wasQuoted = true;
                    quoteLine = m_line;
                } else if (c == m_delimiter) {
                    row.fields.append(field);
                    field.clear();
                    wasQuoted = false;
                } else if (c == '\r' || c == '\n') {
                    if (c == '\r' && m_pos < n && m_bytes[m_pos] == '\n')
                        ++m_pos;
                    ++m_line;
                    ended = true;
                } else {
                    field.append(c);
                }
            }
            if (quoted)
                throw ExchangeError(QStringLiteral("第 %1 行的引号没有结束，文件不完整。").arg(quoteLine));
            row.fields.append(field);
            for (const QByteArray &f : std::as_const(row.fields))
                if (!f.isEmpty())
                    return true;
        }
        return false;
    }

private:
    const QByteArray &m_bytes;
    const char m_delimiter;
    qsizetype m_pos = 0;
    int m_line = 1;
};

QByteArray quoted(const QByteArray &field)
{
    if (!field.contains(',') && !field.contains('"') && !field.contains('\n') && !field.contains('\r'))
        return field;
    QByteArray out = field;
    out.replace('"', "\"\"");
    return '"' + out + '"';
}

} // namespace

ContactRecords readCsv(const QByteArray &input)
{
    const TextEncoding encoding = detectEncoding(input);
    const QByteArray bytes = normalizedBytes(input, encoding);
    if (bytes.contains('\0'))
        throw ExchangeError(QStringLiteral("这不是文本文件（含有二进制数据），不能作为 CSV 导入。"));
    if (encoding == TextEncoding::Gb18030) {
        QStringDecoder check("GB18030", QStringDecoder::Flag::Stateless);
        const QString whole = check.decode(bytes);
        if (check.hasError())
            throw ExchangeError(QStringLiteral("无法识别文件的编码：它既不是 UTF-8、UTF-16，也不是 GBK/GB18030。"));
    }
    QStringDecoder decoder(encoding == TextEncoding::Gb18030 ? "GB18030" : "UTF-8", QStringDecoder::Flag::Stateless);
    auto text = [&](const QByteArray &b) -> QString {
        if (encoding != TextEncoding::Gb18030)
            return QString::fromUtf8(b);
        return decoder.decode(b);
    };

    RowReader reader(bytes, detectDelimiter(bytes));
    RawRow header;
    if (!reader.next(header))
        throw ExchangeError(QStringLiteral("文件是空的。"));

    int index[ColumnCount];
    std::fill(std::begin(index), std::end(index), -1);
    for (int i = 0; i < header.fields.size(); ++i) {
        const auto it = titles().constFind(normalizedTitle(text(header.fields[i])));
        if (it != titles().constEnd() && index[*it] < 0)
            index[*it] = i;
    }
    if (index[Name] < 0 && index[FirstName] < 0 && index[LastName] < 0)
        throw ExchangeError(QStringLiteral("没有可识别的标题行：第一行应当列出“姓名”（或 Name）等列的标题。"));

    ContactRecords records;
    RawRow row;
    while (reader.next(row)) {
        auto at = [&](Column c) {
            const int i = index[c];
            return i >= 0 && i < row.fields.size() ? text(row.fields[i]) : QString();
        };
        ContactRecord rec;
        rec.line = row.line;
        rec.name = index[Name] >= 0 ? at(Name) : joinedName(at(LastName).trimmed(), at(FirstName).trimmed());
        rec.sex = at(Sex);
        rec.qq = at(Qq);
        rec.mobile = at(Mobile);
        rec.email = at(Email);
        rec.address = at(Address);
        rec.group = at(Group);
        records.push_back(std::move(rec));
    }
    return records;
}

QByteArray writeCsv(const ContactRecords &records, CsvEncoding encoding)
{
    QStringEncoder gbk("GBK", QStringEncoder::Flag::Stateless);
    int currentLine = 0;
    auto bytes = [&](const QString &s) -> QByteArray {
        if (encoding == CsvEncoding::Utf8)
            return s.toUtf8();
        QByteArray b = gbk.encode(s);
        if (gbk.hasError())
            throw ExchangeError(
                QStringLiteral("第 %1 行“%2”含有 GBK 无法表示的字符；请改用 UTF-8 导出。").arg(currentLine).arg(s));
        return b;
    };
    QByteArray out;
    out.reserve(static_cast<qsizetype>(records.size()) * 100 + 64);
    if (encoding == CsvEncoding::Utf8)
        out.append("\xEF\xBB\xBF");
    currentLine = 1;
    out.append(bytes(QStringLiteral("姓名,性别,QQ号码,手机号码,电子邮件,家庭住址,组名")));
    out.append("\r\n");
    for (const ContactRecord &r : records) {
        ++currentLine;
        const QString *fields[] = { &r.name, &r.sex, &r.qq, &r.mobile, &r.email, &r.address, &r.group };
        bool first = true;
        for (const QString *f : fields) {
            if (!first)
                out.append(',');
            first = false;
            out.append(quoted(bytes(*f)));
        }
        out.append("\r\n");
    }
    return out;
}

} // namespace exchange
