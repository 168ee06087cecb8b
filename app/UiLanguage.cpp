#include "UiLanguage.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>

namespace {

const QString SourceLanguage = QStringLiteral("en");
/// Where qt_add_translations puts the editor's compiled translations.
const QString EditorTranslations = QStringLiteral(":/i18n");
const QString EditorPrefix = QStringLiteral("qrd-fixture-editor_");
/// Qt's own texts; qtbase_*.qm comes with qt6-translations-l10n.
const QString QtPrefix = QStringLiteral("qtbase_");

/// "de-DE" and "de_DE.UTF-8" both as "de_DE"; the file names use underscores.
QString fileLanguage(const QString& wish)
{
    QString language = wish.section(QLatin1Char('.'), 0, 0).section(QLatin1Char('@'), 0, 0);
    return language.replace(QLatin1Char('-'), QLatin1Char('_'));
}

} // namespace

UiLanguage::UiLanguage(const QStringList& uiLanguages) : m_name(SourceLanguage)
{
    for (const QString& wish : uiLanguages) {
        const QString language = fileLanguage(wish);
        if (language.section(QLatin1Char('_'), 0, 0) == SourceLanguage) {
            return;
        }
        // load() also tries the name without its country ("de" for "de_AT").
        if (language.isEmpty() || !m_editor.load(EditorPrefix + language, EditorTranslations)) {
            continue;
        }
        QCoreApplication::installTranslator(&m_editor);
        m_name = m_editor.language().section(QLatin1Char('_'), 0, 0);
        if (m_qt.load(QtPrefix + language, QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
            QCoreApplication::installTranslator(&m_qt);
        }
        return;
    }
}

QStringList UiLanguage::wishes(const QString& code)
{
    return code.isEmpty() ? QLocale::system().uiLanguages() : QStringList {code};
}
