#include "platform/ui/AccessKeys.h"

#include <QAction>
#include <QMenu>

namespace txl::ui {

bool usesDoubleByteCharset(const QLocale &locale)
{
    switch (locale.language()) {
    case QLocale::Chinese:
    case QLocale::Japanese:
    case QLocale::Korean:
        return true;
    default:
        return false;
    }
}

namespace {
bool hasAccessCandidate(const QString &caption)
{
    for (QChar c : caption) {
        if (c.unicode() < 128 && c.isLetterOrNumber())
            return true;
    }
    return false;
}
} // namespace

QStringList withAutomaticAccessKeys(const QStringList &captions, bool doubleByte)
{
    QStringList out = captions;
    if (!doubleByte)
        return out;
    char16_t letter = u'Z';
    for (int i = int(out.size()) - 1; i >= 0 && letter >= u'A'; --i) {
        if (out.at(i).isEmpty() || hasAccessCandidate(out.at(i)))
            continue;
        out[i] += QStringLiteral("(&") + QChar(letter) + QLatin1Char(')');
        --letter;
    }
    return out;
}

void assignAutomaticAccessKeys(QMenu *menu, const QLocale &locale)
{
    static const char plainCaption[] = "plainCaption";
    const QList<QAction *> actions = menu->actions();
    QStringList captions;
    for (QAction *a : actions) {
        if (!a->property(plainCaption).isValid())
            a->setProperty(plainCaption, a->text());
        captions << (a->isSeparator() ? QString() : a->property(plainCaption).toString());
    }
    const QStringList keyed = withAutomaticAccessKeys(captions, usesDoubleByteCharset(locale));
    for (int i = 0; i < actions.size(); ++i) {
        if (!actions.at(i)->isSeparator())
            actions.at(i)->setText(keyed.at(i));
    }
}

} // namespace txl::ui
