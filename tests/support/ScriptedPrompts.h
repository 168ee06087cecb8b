#pragma once

#include "UserPrompts.h"

#include <QDialog>
#include <QList>
#include <QStringList>

#include <functional>

/// Answers the window's questions from a script and records everything asked.
///
/// Message boxes take the next scripted button; without one, a box that offers OK is
/// answered OK (information boxes need no script) and any other counts as unexpected and
/// gets Cancel, or No. File choosers take the next scripted name (empty: cancelled).
/// Modal dialogs go to `onDialog`, which may drive them; without it they are rejected.
class ScriptedPrompts : public UserPrompts
{
public:
    QMessageBox::StandardButton message(QWidget* parent, const MessagePrompt& prompt) override
    {
        messages.append(prompt);
        parents.append(parent);
        if (!buttons.isEmpty()) {
            return buttons.takeFirst();
        }
        if (prompt.buttons & QMessageBox::Ok) {
            return QMessageBox::Ok;
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
        return onDialog ? onDialog(dialog) : int(QDialog::Rejected);
    }

    /// The texts of the message boxes asked so far.
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
    std::function<int(QDialog&)> onDialog;

    QList<MessagePrompt> messages;
    QList<QWidget*> parents;
    QList<FilePrompt> files;
    QStringList dialogs;
    int unexpected = 0;
};
