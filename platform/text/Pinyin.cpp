#include "platform/text/Pinyin.h"

#include <QFile>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <unordered_map>

namespace txl::text {

namespace {

const char kTablePath[] = ":/pinyin/readings.txt";

struct Syllable {
    char text[7];
    unsigned char length;
};

// Readings by code point: an offset into the pool, where a count and the
// mask of the readings' first letters (two words, bit 0 for "a") are followed
// by that many syllable numbers. Offset 0 holds the empty list.
class ReadingTable {
public:
    ReadingTable() { load(); }

    const std::uint16_t *readings(char32_t c) const
    {
        if (c < 0x10000)
            return &m_pool[m_bmp[c]];
        const auto it = std::lower_bound(m_supplementary.begin(), m_supplementary.end(), std::make_pair(c, 0u),
            [](const auto &a, const auto &b) { return a.first < b.first; });
        if (it == m_supplementary.end() || it->first != c)
            return &m_pool[0];
        return &m_pool[it->second];
    }
    const Syllable &syllable(std::uint16_t id) const { return m_syllables[id]; }
    bool isLoaded() const { return m_loaded; }

private:
    void load();
    std::uint32_t appendList(const std::vector<std::uint16_t> &ids);

    std::vector<Syllable> m_syllables;
    std::vector<std::uint16_t> m_pool { 0, 0, 0 };
    std::vector<std::uint32_t> m_bmp = std::vector<std::uint32_t>(0x10000, 0);
    std::vector<std::pair<char32_t, std::uint32_t>> m_supplementary;
    bool m_loaded = false;
};

std::uint32_t ReadingTable::appendList(const std::vector<std::uint16_t> &ids)
{
    const auto offset = static_cast<std::uint32_t>(m_pool.size());
    std::uint32_t firstLetters = 0;
    for (const std::uint16_t id : ids)
        firstLetters |= 1u << (m_syllables[id].text[0] - 'a');
    m_pool.push_back(static_cast<std::uint16_t>(ids.size()));
    m_pool.push_back(static_cast<std::uint16_t>(firstLetters & 0xffff));
    m_pool.push_back(static_cast<std::uint16_t>(firstLetters >> 16));
    m_pool.insert(m_pool.end(), ids.begin(), ids.end());
    return offset;
}

// Parsed straight from the bytes, as the first search waits for it.
void ReadingTable::load()
{
    QFile file(QString::fromLatin1(kTablePath));
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QByteArray data = file.readAll();
    m_pool.reserve(std::size_t(data.size()) / 2);
    // A syllable of at most 7 letters packed into one number.
    std::unordered_map<std::uint64_t, std::uint16_t> syllableIds;
    syllableIds.reserve(1024);
    std::vector<std::uint16_t> ids;
    const char *p = data.constData();
    const char *const end = p + data.size();
    while (p < end) {
        const char *lineEnd = std::find(p, end, '\n');
        if (*p == '#' || p == lineEnd) {
            p = lineEnd + 1;
            continue;
        }
        char32_t code = 0;
        for (; p < lineEnd && *p != ' '; ++p)
            code = code * 16 + char32_t(*p <= '9' ? *p - '0' : (*p | 0x20) - 'a' + 10);
        while (p < lineEnd) {
            ++p; // the space before a field
            const char *fieldEnd = std::find(p, lineEnd, ' ');
            if (!(fieldEnd - p == 1 && *p == '-')) {
                ids.clear();
                while (p < fieldEnd) {
                    const char *readingEnd = std::find(p, fieldEnd, ',');
                    const auto length = std::size_t(readingEnd - p);
                    if (length > 0 && length <= sizeof(Syllable::text) && *p >= 'a' && *p <= 'z') {
                        std::uint64_t key = 0;
                        std::memcpy(&key, p, length);
                        auto id = syllableIds.find(key);
                        if (id == syllableIds.end()) {
                            Syllable syllable {};
                            syllable.length = static_cast<unsigned char>(length);
                            std::memcpy(syllable.text, p, length);
                            m_syllables.push_back(syllable);
                            id = syllableIds.emplace(key, std::uint16_t(m_syllables.size() - 1)).first;
                        }
                        ids.push_back(id->second);
                    }
                    p = readingEnd < fieldEnd ? readingEnd + 1 : fieldEnd;
                }
                const std::uint32_t offset = appendList(ids);
                if (code < 0x10000)
                    m_bmp[code] = offset;
                else
                    m_supplementary.emplace_back(code, offset);
            }
            p = fieldEnd;
            ++code;
        }
        p = lineEnd + 1;
    }
    std::sort(m_supplementary.begin(), m_supplementary.end());
    m_loaded = !m_syllables.empty();
}

const ReadingTable &table()
{
    static const ReadingTable instance;
    if (!instance.isLoaded())
        throw std::runtime_error("The pinyin reading table is missing from the program");
    return instance;
}

// One code point from UTF-8; an invalid byte reads as U+FFFD and is skipped.
char32_t nextCodePoint(const unsigned char *&p, const unsigned char *end)
{
    const unsigned char b = *p++;
    if (b < 0x80)
        return b;
    int extra = 0;
    char32_t c = 0;
    if ((b & 0xe0) == 0xc0) {
        extra = 1;
        c = b & 0x1f;
    } else if ((b & 0xf0) == 0xe0) {
        extra = 2;
        c = b & 0x0f;
    } else if ((b & 0xf8) == 0xf0) {
        extra = 3;
        c = b & 0x07;
    } else {
        return 0xfffd;
    }
    for (int i = 0; i < extra; ++i) {
        if (p == end || (*p & 0xc0) != 0x80)
            return 0xfffd;
        c = (c << 6) | (*p++ & 0x3f);
    }
    return c > 0x10ffff ? 0xfffd : c;
}

// Characters that separate parts of a name and so do not break a match.
bool isNameMark(char32_t c)
{
    switch (c) {
    case U' ':
    case U'\t':
    case U'\'':
    case U'-':
    case U'.':
    case U'\u00b7': // middle dot: 阿卜杜·买买提
    case U'\u2027':
    case U'\u30fb':
    case U'\u3000':
        return true;
    default:
        return false;
    }
}

// ASCII lower case of a letter or digit (full-width forms too); 0 for other.
char latinKey(char32_t c)
{
    if (c >= 0xff01 && c <= 0xff5e)
        c -= 0xfee0;
    if (c >= U'A' && c <= U'Z')
        return static_cast<char>(c - U'A' + 'a');
    if ((c >= U'a' && c <= U'z') || (c >= U'0' && c <= U'9'))
        return static_cast<char>(c);
    return 0;
}

// Positions 0..63 of the query.
struct SmallSet {
    std::uint64_t bits = 0;
    explicit SmallSet(int) { }
    void clear() { bits = 0; }
    void insert(int p) { bits |= std::uint64_t(1) << p; }
    bool contains(int p) const { return (bits >> p) & 1u; }
    bool onlyStart() const { return bits == 1; }
    template <typename F> void forEach(F f) const
    {
        for (std::uint64_t b = bits; b; b &= b - 1)
            f(__builtin_ctzll(b));
    }
    void swap(SmallSet &other) { std::swap(bits, other.bits); }
};

// Any length, for the odd query too long for SmallSet.
struct LargeSet {
    std::vector<bool> bits;
    explicit LargeSet(int size)
        : bits(size, false)
    {
    }
    void clear() { std::fill(bits.begin(), bits.end(), false); }
    void insert(int p) { bits[p] = true; }
    bool contains(int p) const { return bits[p]; }
    bool onlyStart() const { return bits[0] && std::find(bits.begin() + 1, bits.end(), true) == bits.end(); }
    template <typename F> void forEach(F f) const
    {
        for (int p = 0; p < int(bits.size()); ++p)
            if (bits[p])
                f(p);
    }
    void swap(LargeSet &other) { bits.swap(other.bits); }
};

} // namespace

bool isPinyinQuery(const QString &text)
{
    bool letter = false;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if ((u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z'))
            letter = true;
        else if (!(u >= u'0' && u <= u'9') && u != u' ' && u != u'\'')
            return false;
    }
    return letter;
}

QStringList pinyinReadings(char32_t codePoint)
{
    const ReadingTable &t = table();
    const std::uint16_t *list = t.readings(codePoint);
    QStringList result;
    for (std::uint16_t i = 0; i < list[0]; ++i) {
        const Syllable &s = t.syllable(list[3 + i]);
        result.append(QString::fromLatin1(s.text, s.length));
    }
    return result;
}

PinyinPattern::PinyinPattern(std::string_view query)
{
    if (!isPinyinQuery(QString::fromUtf8(query.data(), qsizetype(query.size()))))
        return;
    table(); // a missing table is reported when the search starts
    std::vector<bool> endsBefore;
    bool separator = false;
    for (const char ch : query) {
        if (ch == ' ' || ch == '\'') {
            separator = true;
            continue;
        }
        endsBefore.push_back(separator && !m_letters.empty());
        separator = false;
        m_letters.push_back(ch >= 'A' && ch <= 'Z' ? char(ch - 'A' + 'a') : ch);
    }
    const int n = int(m_letters.size());
    // "u" also begins no reading ("v" never starts one), digits none.
    const char first = m_letters.front();
    m_firstLetter = first >= 'a' && first <= 'z' ? 1u << (first - 'a') : 0;
    m_limit.assign(n + 1, n);
    for (int p = n - 1; p >= 0; --p)
        m_limit[p] = (p + 1 < n && endsBefore[p + 1]) ? p + 1 : m_limit[p + 1];
}

bool PinyinPattern::matches(std::string_view name) const
{
    if (m_letters.empty())
        return false;
    if (m_letters.size() < 64)
        return run<SmallSet>(name);
    return run<LargeSet>(name);
}

// Walks the name once, keeping the set of query positions the characters so
// far can have spelled up to; every character may also start a match.
template <typename Set> bool PinyinPattern::run(std::string_view name) const
{
    const ReadingTable &t = table();
    const int n = int(m_letters.size());
    const char *q = m_letters.data();
    Set reached(n + 1);
    Set next(n + 1);
    const auto *p = reinterpret_cast<const unsigned char *>(name.data());
    const auto *end = p + name.size();
    while (p != end) {
        const char32_t c = nextCodePoint(p, end);
        // Han characters first: names are mostly made of them.
        const bool han = c >= 0x3400 && (c < 0xff01 || c > 0xff5e);
        if (!han && isNameMark(c))
            continue;
        reached.insert(0);
        next.clear();
        if (const char key = han ? 0 : latinKey(c)) {
            reached.forEach([&](int at) {
                if (at < n && q[at] == key)
                    next.insert(at + 1);
            });
        } else {
            const std::uint16_t *list = t.readings(c);
            // Mostly only a new match could start here: a character none
            // of whose readings begins with the query's first letter ends it.
            const std::uint32_t firstLetters = list[1] | (std::uint32_t(list[2]) << 16);
            if (reached.onlyStart() && !(firstLetters & m_firstLetter)) {
                reached.clear();
                continue;
            }
            for (std::uint16_t i = 0; i < list[0]; ++i) {
                const Syllable &s = t.syllable(list[3 + i]);
                reached.forEach([&](int at) {
                    const int limit = std::min(m_limit[at], at + int(s.length));
                    for (int k = at; k < limit; ++k) {
                        const char want = s.text[k - at];
                        if (q[k] != want && !(want == 'v' && q[k] == 'u'))
                            break;
                        next.insert(k + 1);
                    }
                });
            }
        }
        if (next.contains(n))
            return true;
        reached.swap(next);
    }
    return false;
}

} // namespace txl::text
