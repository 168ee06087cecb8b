#pragma once

#include "UserPrompts.h"

#include <QDialog>
#include <QList>
#include <QStringList>

/// Answers from a script and records everything asked. Unscripted boxes get OK if offered, else
/// count as unexpected and get Cancel or No; choosers without a name are cancelled; dialogs are rejected.
class ScriptedPrompts : public UserPrompts
{
public:
    QMessageBox::StandardButton message(QWidget* parent, const MessagePrompt& prompt) override
    {
        messages.append(prompt);
        parents.append(parent);
        if (!buttons.isEmpty() || prompt.buttons & QMessageBox::Ok) {
            return buttons.isEmpty() ? QMessageBox::Ok : buttons.takeFirst();
        }
        ++unexpected;
        return prompt.buttons & QMessageBox::Cancel ? QMessageBox::Cancel : QMessageBox::No;
    }

    QString fileName(QWidget*, const FilePrompt& prompt) override
    {
        files.append(prompt);
        return fileNames.isEmpty() ? QString() : fileNames.takeFirst();
    }

    int runDialog(QDialog& dialog) override
    {
        dialogs.append(dialog.metaObject()->className());
        return QDialog::Rejected;
    }

    QStringList texts() const
    {
        QStringList result;
        for (const MessagePrompt& prompt : messages) {
            result << prompt.text;
        }
        return result;
    }

    QList<QMessageBox::StandardButton> buttons;
    QStringList fileNames;

    QList<MessagePrompt> messages;
    QList<QWidget*> parents;
    QList<FilePrompt> files;
    QStringList dialogs;
    int unexpected = 0;
};
