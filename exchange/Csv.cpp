#include "exchange/Csv.h"

#include "exchange/TextDecoding.h"
#include "store/ContactTable.h"

#include <QHash>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QStringList>
#include <QtAlgorithms>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <map>

namespace exchange {

namespace {

enum Column {
    Name,
    Sex,
    Qq,
    Mobile,
    Email,
    Address,
    Group,
    FirstName,
    LastName,
    GroupList, // web mail: "* myContacts ::: 同事"
    HomeStreet, // desktop mail's address parts
    HomeStreet2,
    HomeStreet3,
    HomeCity,
    HomeRegion,
    HomePostal,
    HomeCountry,
    ColumnCount
};

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
        add(Group, { u"组名", u"分组", u"组", u"group", u"categories", u"类别" });
        add(GroupList, { u"groupmembership", u"labels" });
        add(HomeStreet, { u"homestreet" });
        add(HomeStreet2, { u"homestreet2", u"homeaddress2" });
        add(HomeStreet3, { u"homestreet3" });
        add(HomeCity, { u"homecity" });
        add(HomeRegion, { u"homestate", u"homeprovince", u"homeregion", u"homestate/province" });
        add(HomePostal, { u"homepostalcode", u"homezipcode", u"homezip", u"homepostcode" });
        add(HomeCountry, { u"homecountry", u"homecountry/region", u"homecountryorregion" });
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

// Our own header, as writeCsv writes it.
const QStringList &ourTitles()
{
    static const QStringList t = QStringLiteral("姓名,性别,QQ号码,手机号码,电子邮件,家庭住址,组名").split(u',');
    return t;
}

// Web mail numbers its typed values: "Phone 1 - Type" beside "Phone 1 -
// Value", "Address 1 - Formatted" beside "Address 1 - Street"...
enum class Kind { Phone, Email, Address };
enum Part { Type, Value, Formatted, PoBox, Extended, Street, City, Region, Postal, Country, PartCount };

struct TypedTitle {
    Kind kind;
    int number;
    Part part;
};

bool parseTypedTitle(const QString &t, TypedTitle &out)
{
    static const std::pair<const char16_t *, Kind> kinds[]
        = { { u"phone", Kind::Phone }, { u"email", Kind::Email }, { u"address", Kind::Address } };
    static const std::pair<const char16_t *, Part> parts[]
        = { { u"type", Type }, { u"label", Type }, { u"value", Value }, { u"formatted", Formatted },
              { u"pobox", PoBox }, { u"extendedaddress", Extended }, { u"street", Street }, { u"city", City },
              { u"region", Region }, { u"postalcode", Postal }, { u"country", Country } };
    for (const auto &[prefix, kind] : kinds) {
        const QStringView p(prefix);
        if (!t.startsWith(p))
            continue;
        qsizetype i = p.size();
        const qsizetype digits = i;
        int number = 0;
        while (i < t.size() && t[i].isDigit() && i - digits < 6)
            number = number * 10 + t[i++].digitValue();
        if (i == digits)
            return false;
        const QStringView rest = QStringView(t).sliced(i);
        for (const auto &[suffix, part] : parts) {
            if (rest == QStringView(suffix)) {
                out = { kind, number, part };
                return true;
            }
        }
        return false;
    }
    return false;
}

char detectDelimiter(QByteArrayView bytes)
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

// A field as it stands in the file, quotes and all.
struct RawField {
    QByteArrayView raw;
    bool quoted = false;
};

// The field's bytes: RFC 4180 quotes removed, doubled quotes made single;
// text after a closing quote is kept as it stands.
QByteArray fieldBytes(const RawField &f)
{
    if (!f.quoted)
        return f.raw.toByteArray();
    const QByteArrayView inner = f.raw.sliced(1, f.raw.size() - 2);
    if (f.raw.endsWith('"') && !inner.contains('"'))
        return inner.toByteArray();
    QByteArray out;
    out.reserve(f.raw.size());
    bool inQuotes = true;
    for (qsizetype i = 1; i < f.raw.size(); ++i) {
        const char c = f.raw[i];
        if (inQuotes && c == '"') {
            if (i + 1 < f.raw.size() && f.raw[i + 1] == '"')
                out.append(c), ++i;
            else
                inQuotes = false;
        } else {
            out.append(c);
        }
    }
    return out;
}

// Reads one record at a time (RFC 4180: quoted fields hold delimiters,
// doubled quotes and line breaks; lines end in CR, LF or CRLF). Each byte is
// looked at once; a field is handed on as a view into the file, and only
// when it is not empty, so blank records cost nothing and a record of many
// columns holds nothing but the ones asked for.
class RowReader {
public:
    RowReader(QByteArrayView bytes, char delimiter)
        : m_bytes(bytes)
        , m_delimiter(delimiter)
    {
    }

    int recordLine() const { return m_recordLine; }

    // Calls onField(index, field) for each non-empty field of the next
    // record that is not blank; false at the end of the file.
    template <typename OnField> bool next(OnField &&onField, qsizetype *fieldCount = nullptr)
    {
        const qsizetype n = m_bytes.size();
        const char *d = m_bytes.data();
        while (m_pos < n) {
            m_recordLine = m_line;
            bool blank = true;
            qsizetype index = 0;
            for (;;) {
                const qsizetype start = m_pos;
                const bool quoted = d[m_pos] == '"';
                if (quoted) {
                    const int quoteLine = m_line;
                    ++m_pos;
                    for (;;) {
                        if (m_pos >= n)
                            throw ExchangeError(QStringLiteral("第 %1 行的引号没有结束，文件不完整。").arg(quoteLine));
                        const char c = d[m_pos++];
                        if (c == '"') {
                            if (m_pos < n && d[m_pos] == '"') {
                                ++m_pos;
                                continue;
                            }
                            break;
                        }
                        if (c == '\n' || (c == '\r' && (m_pos >= n || d[m_pos] != '\n')))
                            ++m_line;
                    }
                }
                m_pos = fieldEnd(d, m_pos, n);
                const RawField field { QByteArrayView(d + start, m_pos - start), quoted };
                if (field.raw.size() > (quoted ? 2 : 0)) {
                    blank = false;
                    onField(index, field);
                }
                ++index;
                if (m_pos >= n)
                    break;
                const char c = d[m_pos++];
                if (c == m_delimiter) {
                    if (m_pos < n)
                        continue;
                    ++index; // an empty last field
                    break;
                }
                if (c == '\r' && m_pos < n && d[m_pos] == '\n')
                    ++m_pos;
                ++m_line;
                break;
            }
            if (fieldCount)
                *fieldCount = index;
            if (!blank)
                return true;
        }
        return false;
    }

private:
    // The first delimiter or line break at or after pos (n when none),
    // looked for eight bytes at a time: the scan of every unquoted field,
    // once per byte, was the reader's largest cost.
    qsizetype fieldEnd(const char *d, qsizetype pos, qsizetype n) const
    {
        constexpr quint64 ones = 0x0101010101010101ULL;
        constexpr quint64 highs = 0x8080808080808080ULL;
        // A byte of x is zero exactly where the lowest flagged byte is
        // (higher flags may be false, so only the lowest is trusted).
        auto zeroBytes = [](quint64 x) { return (x - ones) & ~x & highs; };
        const quint64 delimiters = ones * static_cast<unsigned char>(m_delimiter);
        // The lowest flagged bit is the first byte in memory only on a
        // little-endian machine; elsewhere the plain loop below does it all.
        while (Q_BYTE_ORDER == Q_LITTLE_ENDIAN && pos + 8 <= n) {
            quint64 word;
            std::memcpy(&word, d + pos, 8);
            const quint64 hit
                = zeroBytes(word ^ delimiters) | zeroBytes(word ^ (ones * '\r')) | zeroBytes(word ^ (ones * '\n'));
            if (hit)
                return pos + (qCountTrailingZeroBits(hit) >> 3);
            pos += 8;
        }
        while (pos < n && d[pos] != m_delimiter && d[pos] != '\r' && d[pos] != '\n')
            ++pos;
        return pos;
    }

    QByteArrayView m_bytes;
    const char m_delimiter;
    qsizetype m_pos = 0;
    int m_line = 1;
    int m_recordLine = 1;
};

// Where the header put each thing read.
struct Header {
    int index[ColumnCount];
    std::map<int, int> phoneType, phoneValue, email; // number -> column
    std::map<int, std::array<int, PartCount>> address;
    int homeAddress = -1; // the column titled "Home Address"
    int oursMatched = 0;
    qsizetype count = 0;

    Header() { std::fill(std::begin(index), std::end(index), -1); }

    void add(qsizetype column, const QString &title)
    {
        if (column < ourTitles().size() && title == ourTitles()[column])
            ++oursMatched;
        const int i = static_cast<int>(std::min<qsizetype>(column, INT_MAX));
        const QString t = normalizedTitle(title);
        if (t == u"homeaddress" && homeAddress < 0)
            homeAddress = i;
        if (const auto it = titles().constFind(t); it != titles().constEnd()) {
            if (index[*it] < 0)
                index[*it] = i;
            return;
        }
        TypedTitle typed;
        if (!parseTypedTitle(t, typed))
            return;
        auto first = [&](std::map<int, int> &m) { m.try_emplace(typed.number, i); };
        switch (typed.kind) {
        case Kind::Phone:
            if (typed.part == Type)
                first(phoneType);
            else if (typed.part == Value)
                first(phoneValue);
            break;
        case Kind::Email:
            if (typed.part == Value)
                first(email);
            break;
        case Kind::Address: {
            auto it = address.find(typed.number);
            if (it == address.end()) {
                std::array<int, PartCount> none;
                none.fill(-1);
                it = address.emplace(typed.number, none).first;
            }
            if (it->second[typed.part] < 0)
                it->second[typed.part] = i;
            break;
        }
        }
    }

    bool ours() const { return oursMatched == ourTitles().size() && count == ourTitles().size(); }

    // Every column a record is read from, in order.
    std::vector<int> wanted() const
    {
        std::vector<int> w;
        for (int c : index)
            if (c >= 0)
                w.push_back(c);
        for (const auto *m : { &phoneType, &phoneValue, &email })
            for (const auto &[number, c] : *m)
                w.push_back(c);
        for (const auto &[number, parts] : address)
            for (int c : parts)
                if (c >= 0)
                    w.push_back(c);
        std::sort(w.begin(), w.end());
        w.erase(std::unique(w.begin(), w.end()), w.end());
        return w;
    }
};

// Web mail puts several values in one field: "a ::: b".
QString firstOfList(const QString &s)
{
    const qsizetype sep = s.indexOf(QStringLiteral(":::"));
    return (sep < 0 ? s : s.left(sep)).trimmed();
}

// The first group of a web mail list that is the user's own: the system
// groups "* myContacts" and "* starred" are no groups of theirs.
QString groupOfList(const QString &s)
{
    for (QString g : s.split(QStringLiteral(":::"))) {
        g = g.trimmed();
        if (g.isEmpty() || g.compare(QStringLiteral("* myContacts"), Qt::CaseInsensitive) == 0
            || g.compare(QStringLiteral("* starred"), Qt::CaseInsensitive) == 0)
            continue;
        return g.startsWith(QStringLiteral("* ")) ? g.mid(2).trimmed() : g;
    }
    return QString();
}

bool isMobileType(QString type)
{
    type = type.trimmed();
    if (type.startsWith(u'*'))
        type = type.mid(1).trimmed(); // web mail marks the preferred one
    return type.compare(QStringLiteral("mobile"), Qt::CaseInsensitive) == 0
        || type.compare(QStringLiteral("cell"), Qt::CaseInsensitive) == 0 || type == u"手机";
}

// What export put before a formula character (any number of "'" then one
// of = + - @), taken off one "'" to give the stored value back.
bool hasFormulaGuard(QStringView s)
{
    qsizetype i = 0;
    while (i < s.size() && s[i] == u'\'')
        ++i;
    return i < s.size() && (s[i] == u'=' || s[i] == u'+' || s[i] == u'-' || s[i] == u'@');
}

// Without a sink only the file's shape is checked: the same errors, thrown
// at the same place, without a record made.
void readRecords(const QByteArray &input, const RecordSink &sink)
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
    auto text = [&](const RawField &f) -> QString {
        if (!f.quoted && encoding != TextEncoding::Gb18030)
            return QString::fromUtf8(f.raw);
        const QByteArray b = fieldBytes(f);
        return encoding == TextEncoding::Gb18030 ? decoder.decode(b) : QString::fromUtf8(b);
    };

    RowReader reader(bytes, detectDelimiter(bytes));
    Header h;
    if (!reader.next([&](qsizetype i, const RawField &f) { h.add(i, text(f)); }, &h.count))
        throw ExchangeError(QStringLiteral("文件是空的。"));
    const int *index = h.index;
    if (index[Name] < 0 && index[FirstName] < 0 && index[LastName] < 0)
        throw ExchangeError(QStringLiteral("没有可识别的标题行：第一行应当列出“姓名”（或 Name）等列的标题。"));

    if (!sink) {
        while (reader.next([](qsizetype, const RawField &) {})) { }
        return;
    }

    const std::vector<int> wanted = h.wanted();
    auto slotOf = [&](int column) {
        return column < 0 ? -1 : int(std::lower_bound(wanted.begin(), wanted.end(), column) - wanted.begin());
    };
    int slot[ColumnCount];
    for (int c = 0; c < ColumnCount; ++c)
        slot[c] = slotOf(index[c]);
    std::vector<std::pair<int, int>> phones; // type slot, value slot
    for (const auto &[number, c] : h.phoneValue) {
        const auto type = h.phoneType.find(number);
        phones.emplace_back(type == h.phoneType.end() ? -1 : slotOf(type->second), slotOf(c));
    }
    std::vector<int> emails;
    for (const auto &[number, c] : h.email)
        emails.push_back(slotOf(c));
    std::vector<std::array<int, PartCount>> addresses;
    for (const auto &[number, parts] : h.address) {
        std::array<int, PartCount> s;
        for (int p = 0; p < PartCount; ++p)
            s[p] = slotOf(parts[p]);
        addresses.push_back(s);
    }
    const bool homeParts = index[HomeStreet] >= 0 || index[HomeStreet2] >= 0 || index[HomeCity] >= 0
        || index[HomeRegion] >= 0 || index[HomePostal] >= 0 || index[HomeCountry] >= 0;
    // Desktop mail's "Home Address" beside "Home City"... is its street.
    const bool addressIsStreet = homeParts && index[HomeStreet] < 0 && index[Address] == h.homeAddress;

    std::vector<RawField> fields(wanted.size());
    auto at = [&](int s) { return s >= 0 && !fields[size_t(s)].raw.isEmpty() ? text(fields[size_t(s)]) : QString(); };
    auto column = [&](Column c) { return at(slot[c]); };
    for (;;) {
        std::fill(fields.begin(), fields.end(), RawField());
        size_t k = 0;
        const bool more = reader.next([&](qsizetype i, const RawField &f) {
            while (k < wanted.size() && wanted[k] < i)
                ++k;
            if (k < wanted.size() && wanted[k] == i)
                fields[k] = f;
        });
        if (!more)
            break;
        ContactRecord rec;
        rec.line = reader.recordLine();
        rec.name = column(Name);
        if ((index[FirstName] >= 0 || index[LastName] >= 0) && rec.name.trimmed().isEmpty())
            rec.name = joinedName(column(LastName).trimmed(), column(FirstName).trimmed());
        rec.sex = column(Sex);
        rec.qq = column(Qq);
        rec.mobile = column(Mobile);
        for (size_t p = 0; rec.mobile.isEmpty() && p < phones.size(); ++p)
            if (isMobileType(at(phones[p].first)))
                rec.mobile = firstOfList(at(phones[p].second));
        for (size_t p = 0; rec.mobile.isEmpty() && p < phones.size(); ++p)
            rec.mobile = firstOfList(at(phones[p].second));
        rec.email = column(Email);
        for (size_t e = 0; rec.email.isEmpty() && e < emails.size(); ++e)
            rec.email = firstOfList(at(emails[e]));
        rec.address = addressIsStreet ? QString() : oneLineAddress(column(Address));
        if (rec.address.isEmpty() && homeParts) {
            const QString street = index[HomeStreet] >= 0 ? column(HomeStreet) : column(Address);
            const QString extended = QStringList { column(HomeStreet2), column(HomeStreet3) }.join(u' ').trimmed();
            rec.address = joinedAddress({ QString(), extended, street, column(HomeCity), column(HomeRegion),
                column(HomePostal), column(HomeCountry) });
        }
        for (size_t a = 0; rec.address.isEmpty() && a < addresses.size(); ++a) {
            const std::array<int, PartCount> &s = addresses[a];
            rec.address = oneLineAddress(at(s[Formatted]));
            if (rec.address.isEmpty())
                rec.address = joinedAddress({ at(s[PoBox]), at(s[Extended]), at(s[Street]), at(s[City]), at(s[Region]),
                    at(s[Postal]), at(s[Country]) });
        }
        rec.group = column(Group);
        if (rec.group.isEmpty())
            rec.group = groupOfList(column(GroupList));
        if (h.ours()) {
            for (QString *f : { &rec.name, &rec.sex, &rec.qq, &rec.mobile, &rec.email, &rec.address, &rec.group })
                if (f->startsWith(u'\'') && hasFormulaGuard(*f))
                    f->remove(0, 1);
        }
        sink(std::move(rec));
    }
}

} // namespace

void readCsv(const QByteArray &bytes, const RecordSink &sink)
{
    readRecords(bytes, sink);
}

void checkCsv(const QByteArray &bytes)
{
    readRecords(bytes, RecordSink());
}

ContactRecords readCsv(const QByteArray &bytes)
{
    ContactRecords records;
    readRecords(bytes, [&](ContactRecord &&r) { records.push_back(std::move(r)); });
    return records;
}

// The rows are appended to one buffer, each field encoded, quoted and
// guarded as it goes, without a temporary string per field.
CsvWriter::CsvWriter(CsvEncoding encoding, QIODevice *device, qsizetype expectedBytes)
    : m_gbk(encoding == CsvEncoding::Gbk)
    , m_encoder("GBK", QStringEncoder::Flag::Stateless)
    , m_out(device, device ? qsizetype(1) << 20 : expectedBytes)
{
    if (encoding == CsvEncoding::Utf8)
        raw("\xEF\xBB\xBF");
    const QStringList &titles = ourTitles();
    for (qsizetype i = 0; i < titles.size(); ++i) {
        if (i > 0)
            raw(",");
        field(titles[i]);
    }
    raw("\r\n");
}

CsvWriter::~CsvWriter() = default;

void CsvWriter::add(const store::ContactView &contact)
{
    ++m_line;
    for (int i = 0; i < store::Contact::fieldCount; ++i) {
        if (i > 0)
            raw(",");
        field(contact.field(i));
    }
    raw("\r\n");
}

QByteArray CsvWriter::finish()
{
    m_out.flush();
    return m_out.take();
}

void CsvWriter::raw(QByteArrayView bytes)
{
    m_out.reserve(bytes.size());
    std::memcpy(m_out.m_p + m_out.m_len, bytes.data(), static_cast<size_t>(bytes.size()));
    m_out.m_len += bytes.size();
}

void CsvWriter::field(QStringView s)
{
    const char16_t *u = s.utf16();
    const qsizetype n = s.size();
    bool quote = false;
    bool ascii = true;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = u[i];
        quote = quote || c == ',' || c == '"' || c == '\n' || c == '\r';
        ascii = ascii && c < 0x80;
    }
    // A spreadsheet runs "=...", "+...", "-..." and "@..." as a formula.
    const bool guard = hasFormulaGuard(s);
    m_out.reserve(n * 4 + 4 + (m_gbk ? m_encoder.requiredSpace(n) : 0));
    char *const p = m_out.m_p;
    qsizetype &len = m_out.m_len;
    if (quote)
        p[len++] = '"';
    if (guard)
        p[len++] = '\'';
    if (m_gbk && !ascii) {
        // Encoded in runs between quotes, which are doubled.
        qsizetype start = 0;
        for (qsizetype i = 0; i <= n; ++i) {
            if (i < n && u[i] != '"')
                continue;
            char *end = m_encoder.appendToBuffer(p + len, QStringView(u + start, i - start));
            len = end - p;
            if (i < n) {
                p[len++] = '"';
                p[len++] = '"';
            }
            start = i + 1;
        }
        if (m_encoder.hasError())
            throw ExchangeError(
                QStringLiteral("第 %1 行“%2”含有 GBK 无法表示的字符；请改用 UTF-8 导出。").arg(m_line).arg(s));
    } else {
        char *o = p + len; // a local pointer the compiler keeps in a register
        for (qsizetype i = 0; i < n; ++i) {
            if (u[i] < 0x80) {
                *o++ = static_cast<char>(u[i]);
                if (u[i] == '"')
                    *o++ = '"';
            } else {
                o += utf8Of(u, n, i, o);
            }
        }
        len = o - p;
    }
    if (quote)
        p[len++] = '"';
}

QByteArray writeCsv(const ContactRecords &records, CsvEncoding encoding)
{
    CsvWriter w(encoding, nullptr, static_cast<qsizetype>(records.size()) * 100 + 64);
    for (const ContactRecord &r : records)
        w.add(store::ContactView(r));
    return w.finish();
}

} // namespace exchange
