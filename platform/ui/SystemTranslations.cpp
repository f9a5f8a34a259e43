#include "platform/ui/SystemTranslations.h"

#include <QLibraryInfo>
#include <QTranslator>

namespace txl::ui {

QString systemTranslationsPath()
{
    return QLibraryInfo::path(QLibraryInfo::TranslationsPath);
}

std::unique_ptr<QTranslator> systemTranslator(const QLocale &locale)
{
    if (locale.language() != QLocale::Chinese)
        return nullptr;
    auto translator = std::make_unique<QTranslator>();
    const QString dir = systemTranslationsPath();
    if (translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"), dir))
        return translator;
    // Qt has only the mainland and Taiwan translations: every other Chinese
    // locale (zh_SG, zh_HK, plain zh) takes the one of its script.
    const bool traditional = locale.script() == QLocale::TraditionalChineseScript;
    if (translator->load(traditional ? QStringLiteral("qtbase_zh_TW") : QStringLiteral("qtbase_zh_CN"), dir))
        return translator;
    return nullptr;
}

} // namespace txl::ui
