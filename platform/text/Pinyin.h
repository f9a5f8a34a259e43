#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace txl::text {

// True when the text can be read as pinyin: at least one ASCII letter and
// nothing but ASCII letters, digits, spaces and apostrophes.
bool isPinyinQuery(const QString &text);

// The toneless readings of one character ("v" for u-umlaut), the most common
// first; empty for a character the reading table lacks.
QStringList pinyinReadings(char32_t codePoint);

// A pinyin query made ready once and then tried on many names. A name
// matches when a run of its characters spells the query: each Han character
// by any of its readings or a leading part of one ("zs", "zhangs", "zhang san"
// for 张三), a Latin letter or digit by itself, without regard to case, "u"
// also standing for "v". Spaces and apostrophes in the query end a syllable;
// spaces and name marks in the name are passed over.
class PinyinPattern {
public:
    explicit PinyinPattern(std::string_view query);

    // False when the query is no pinyin query: such a pattern matches nothing.
    bool isValid() const { return !m_letters.empty(); }
    // name is UTF-8; invalid bytes match nothing.
    bool matches(std::string_view name) const;

private:
    template <typename Set> bool run(std::string_view name) const;

    std::string m_letters;
    // m_limit[p]: a character that starts at letter p may use the letters
    // before m_limit[p] (the next syllable end the query marks).
    std::vector<int> m_limit;
    std::uint32_t m_firstLetter = 0; // bit of the first letter, 0 for a digit
};

} // namespace txl::text
