#include "app/Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace larkspan {

namespace {
const char kTranslatorName[] = "larkspan-translator";
}  // namespace

QString TranslationLanguage(const QLocale& locale) {
    return locale.language() == QLocale::Korean ? QStringLiteral("ko") : QStringLiteral("en");
}

QString LoadTranslations(QCoreApplication& app, const QLocale& locale) {
    for (QTranslator* old : app.findChildren<QTranslator*>(QString::fromLatin1(kTranslatorName))) {
        QCoreApplication::removeTranslator(old);
        delete old;
    }
    const QString language = TranslationLanguage(locale);
    // The translator installed last is asked first: the program's own texts go in after Qt's.
    const QString files[][2] = {
        {QLibraryInfo::path(QLibraryInfo::TranslationsPath), QStringLiteral("qtbase_") + language},
        {QStringLiteral(":/i18n"), QStringLiteral("larkspan_") + language},
    };
    for (const auto& [folder, name] : files) {
        auto* translator = new QTranslator(&app);
        translator->setObjectName(QString::fromLatin1(kTranslatorName));
        if (translator->load(name, folder) && QCoreApplication::installTranslator(translator)) continue;
        delete translator;
    }
    return language;
}

}  // namespace larkspan
