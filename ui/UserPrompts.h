#pragma once

#include <QMap>
#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <memory>

class QDialog;
class QWidget;

/// One message box: what it says and which buttons it offers.
struct MessagePrompt
{
    QMessageBox::Icon icon = QMessageBox::Information;
    QString title;
    QString text;
    QString informativeText;
    /// Shown behind the box's "Show Details..." button.
    QString detailedText;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    /// Words that replace a standard button's own where they say better what it does
    /// ("Delete" on Yes); the answer is still the standard button.
    QMap<QMessageBox::StandardButton, QString> buttonTexts;
    /// A check box under the text ("Do the same for the other ..."), when not empty; its
    /// state on closing is written to `checkBoxChecked`.
    QString checkBoxText;
    bool* checkBoxChecked = nullptr;
};

/// One file chooser.
struct FilePrompt
{
    enum Kind { Open, Save, OpenMany, Folder };
    Kind kind = Open;
    QString caption;
    QString directory;
    QString filter;
};

/// Every question, information box, file chooser and modal dialog of the editor's window
/// and of the firmware dialog goes through this, so tests can answer them and check
/// exactly what was asked. The default shows the real Qt dialogs.
class UserPrompts
{
public:
    virtual ~UserPrompts() = default;

    /// Shows a message box over `parent` (none when null); returns the button chosen.
    virtual QMessageBox::StandardButton message(QWidget* parent, const MessagePrompt& prompt) = 0;
    /// Asks for a file (or a folder); empty when the user cancelled.
    virtual QString fileName(QWidget* parent, const FilePrompt& prompt) = 0;
    /// Asks for several files (`OpenMany`); empty when the user cancelled.
    virtual QStringList openFileNames(QWidget* parent, const FilePrompt& prompt) = 0;
    /// Runs `dialog` modally; returns its result.
    virtual int runDialog(QDialog& dialog) = 0;

    /// The real dialogs.
    static std::shared_ptr<UserPrompts> standard();
};

/// The real Qt message boxes, file dialogs and modal runs.
class QtUserPrompts : public UserPrompts
{
public:
    QMessageBox::StandardButton message(QWidget* parent, const MessagePrompt& prompt) override;
    QString fileName(QWidget* parent, const FilePrompt& prompt) override;
    QStringList openFileNames(QWidget* parent, const FilePrompt& prompt) override;
    int runDialog(QDialog& dialog) override;
};
