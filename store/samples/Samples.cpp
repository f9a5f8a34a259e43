#include "store/samples/Samples.h"

#include "store/ContactFile.h"

#include <QSet>
#include <QStringList>

namespace samples {

namespace {

// A small deterministic generator: the same count gives the same contacts.
class Sampler {
public:
    explicit Sampler(quint32 seed)
        : m_state(seed ? seed : 1)
    {
    }
    quint32 next()
    {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 17;
        m_state ^= m_state << 5;
        return m_state;
    }
    int below(int n) { return static_cast<int>(next() % static_cast<quint32>(n)); }
    QString pick(const QStringList &list) { return list.at(below(list.size())); }
    QString digits(int count)
    {
        QString out;
        for (int i = 0; i < count; ++i)
            out += QChar(u'0' + below(10));
        return out;
    }

private:
    quint32 m_state;
};

QStringList split(const char16_t *text)
{
    return QString::fromUtf16(text).split(u' ', Qt::SkipEmptyParts);
}

} // namespace

store::Contacts contacts(int sampleCount)
{
    if (sampleCount <= 0)
        return {};

    const QStringList surnames
        = split(u"王 李 张 刘 陈 杨 黄 赵 吴 周 徐 孙 马 朱 胡 郭 何 高 林 罗 郑 梁 谢 宋 唐 许 韩 冯 邓 曹 "
                u"彭 曾 肖 田 董 袁 潘 于 蒋 蔡 余 杜 叶 程 苏 魏 吕 丁 任 沈 欧阳 司马 诸葛 上官");
    const QStringList given
        = split(u"伟 芳 娜 敏 静 丽 强 磊 军 洋 勇 艳 杰 娟 涛 明 超 秀 霞 平 刚 桂 英 华 玉 兰 文 辉 建 国 "
                u"红 梅 鹏 飞 琳 雪 婷 宇 浩 晨 欣 怡 子 涵 思 远 嘉 俊 博 雅");
    const QStringList cities
        = split(u"北京市 上海市 广州市 深圳市 杭州市 南京市 成都市 武汉市 西安市 重庆市 天津市 苏州市 长沙市 "
                u"郑州市 青岛市 厦门市");
    const QStringList districts
        = split(u"朝阳区 海淀区 浦东新区 天河区 南山区 西湖区 鼓楼区 武侯区 江汉区 雁塔区 渝中区 和平区");
    const QStringList roads = split(u"人民路 解放路 中山路 建设路 和平路 新华路 长江路 黄河路 友谊路 文化路");
    const QStringList groups = split(u"朋友 家人 亲友 哥们 情人 一般 同事");
    const QStringList mobilePrefixes = split(u"130 131 132 133 135 136 137 138 139 150 151 152 155 158 159 170 176 177 "
                                             u"180 181 185 186 187 188 189 199");
    const QStringList mailHosts = split(u"qq.com 163.com 126.com sina.com gmail.com outlook.com");
    const QStringList latin = split(u"wang li zhang liu chen yang huang zhao wu zhou xu sun ma zhu hu guo");

    Sampler rng(static_cast<quint32>(sampleCount) * 2654435761u);
    QSet<QString> names;
    names.reserve(sampleCount);
    store::Contacts contacts;
    contacts.reserve(static_cast<size_t>(sampleCount));
    for (int i = 0; i < sampleCount; ++i) {
        // Names stay unique, as the program's add path keeps them; past
        // the pool of 2-4 character names a number tells them apart.
        QString name;
        for (int attempt = 0; attempt < 20; ++attempt) {
            name = rng.pick(surnames);
            const int extra = 1 + rng.below(name.size() > 1 ? 2 : 3);
            for (int k = 0; k < extra && name.size() < 4; ++k)
                name += rng.pick(given);
            if (!names.contains(name))
                break;
        }
        if (names.contains(name))
            name = name.left(2) + QString::number(i);
        names.insert(name);

        store::Contact c;
        c.name = name;
        c.sex = rng.below(2) ? QStringLiteral("男") : QStringLiteral("女");
        c.qq = QString::number(10000 + rng.below(9000)) + rng.digits(4 + rng.below(2));
        c.mobile = rng.pick(mobilePrefixes) + rng.digits(8);
        c.email = rng.pick(latin) + rng.digits(3) + QLatin1Char('@') + rng.pick(mailHosts);
        c.address = rng.pick(cities) + rng.pick(districts) + rng.pick(roads) + QString::number(1 + rng.below(300))
            + QStringLiteral("号");
        c.group = rng.pick(groups);
        contacts.push_back(std::move(c));
    }
    return contacts;
}

void createContactsFile(const QString &dir, int sampleCount)
{
    ContactFile::create(dir, contacts(sampleCount));
}

} // namespace samples
