#pragma once

#include <QLocale>
#include <QString>

#include <memory>

class QTranslator;

namespace txl::ui {

// Qt's own translations (file, print and page set-up dialogs, the standard
// edit menus) for a user whose language is Chinese; null for any other
// language, or when the translation files are not installed. The program's
// own texts are not translated: they are fixed, and set explicitly.
std::unique_ptr<QTranslator> systemTranslator(const QLocale &locale);

// Where Qt's translation files are looked for.
QString systemTranslationsPath();

} // namespace txl::ui
