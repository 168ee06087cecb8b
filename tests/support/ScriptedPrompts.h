#pragma once

#include "UserPrompts.h"

#include <QDialog>
#include <QList>
#include <QStringList>

#include <functional>

/// Answers from a script and records everything asked. Unscripted boxes get OK if offered, else
/// count as unexpected and get Cancel or No; choosers without a name are cancelled; dialogs are rejected.
class ScriptedPrompts : public UserPrompts
{
public:
    QMessageBox::StandardButton message(QWidget* parent, const MessagePrompt& prompt) override
    {
        messages.append(prompt);
        parents.append(parent);
        if (prompt.checkBoxChecked && !checks.isEmpty()) {
            *prompt.checkBoxChecked = checks.takeFirst();
        }
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

    QStringList openFileNames(QWidget*, const FilePrompt& prompt) override
    {
        files.append(prompt);
        return fileLists.isEmpty() ? QStringList() : fileLists.takeFirst();
    }
    int runDialog(QDialog& dialog) override
    {
        dialogs.append(dialog.metaObject()->className());
        return dialogScript ? dialogScript(dialog) : int(QDialog::Rejected);
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
    QList<QStringList> fileLists;
    /// The states given to prompts' check boxes, in order.
    QList<bool> checks;
    /// Plays the user in a modal dialog; without it dialogs are rejected.
    std::function<int(QDialog&)> dialogScript;

    QList<MessagePrompt> messages;
    QList<QWidget*> parents;
    QList<FilePrompt> files;
    QStringList dialogs;
    int unexpected = 0;
};
