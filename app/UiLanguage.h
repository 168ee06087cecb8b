#pragma once

#include <QString>
#include <QStringList>
#include <QTranslator>

/// The editor's texts, and Qt's own (standard buttons, file dialogs), in the user's language
/// for as long as this object lives. English is the source language: when English comes
/// first among the wishes, or no wish has a translation, nothing is installed.
/// Needs a QCoreApplication.
class UiLanguage
{
public:
    /// Installs the first of `uiLanguages` ("de-DE", "de", "fr_CH") the editor has a
    /// translation for, and Qt's translation for the same language when the system has it.
    explicit UiLanguage(const QStringList& uiLanguages);

    /// The wishes for `code` as --lang gives it ("de", "de_AT", "en"), or the system's
    /// (QLocale::system(), which follows LANGUAGE, LC_ALL, LC_MESSAGES and LANG) when empty.
    static QStringList wishes(const QString& code);

    /// The language installed ("de"), or "en" when the texts stay English.
    QString name() const { return m_name; }

private:
    QTranslator m_editor;
    QTranslator m_qt;
    QString m_name;
};
