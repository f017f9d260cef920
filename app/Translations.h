#pragma once
#include <QLocale>
#include <QString>

class QCoreApplication;

namespace larkspan {

// "ko" for a Korean locale, "en" for every other.
QString TranslationLanguage(const QLocale& locale);

// Installs the program's texts in the locale's language (Korean or English), and Qt's own texts when the
// system has them for that language. Translators installed by an earlier call are removed first. Returns the
// language chosen.
QString LoadTranslations(QCoreApplication& app, const QLocale& locale = QLocale::system());

}  // namespace larkspan
