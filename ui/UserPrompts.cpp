#include "UserPrompts.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDialog>
#include <QFileDialog>

std::shared_ptr<UserPrompts> UserPrompts::standard()
{
    return std::make_shared<QtUserPrompts>();
}

QMessageBox::StandardButton QtUserPrompts::message(QWidget* parent, const MessagePrompt& prompt)
{
    QMessageBox box(prompt.icon, prompt.title, prompt.text, prompt.buttons, parent);
    box.setInformativeText(prompt.informativeText);
    box.setDetailedText(prompt.detailedText);
    if (prompt.defaultButton != QMessageBox::NoButton) {
        box.setDefaultButton(prompt.defaultButton);
    }
    for (auto it = prompt.buttonTexts.cbegin(); it != prompt.buttonTexts.cend(); ++it) {
        if (QAbstractButton* button = box.button(it.key())) {
            button->setText(it.value());
        }
    }
    QCheckBox* checkBox = nullptr;
    if (!prompt.checkBoxText.isEmpty()) {
        checkBox = new QCheckBox(prompt.checkBoxText, &box);
        box.setCheckBox(checkBox);
    }
    const auto answer = static_cast<QMessageBox::StandardButton>(box.exec());
    if (checkBox && prompt.checkBoxChecked) {
        *prompt.checkBoxChecked = checkBox->isChecked();
    }
    return answer;
}

QString QtUserPrompts::fileName(QWidget* parent, const FilePrompt& prompt)
{
    if (prompt.kind == FilePrompt::Folder) {
        return QFileDialog::getExistingDirectory(parent, prompt.caption, prompt.directory);
    }
    if (prompt.kind == FilePrompt::Save) {
        return QFileDialog::getSaveFileName(parent, prompt.caption, prompt.directory, prompt.filter);
    }
    return QFileDialog::getOpenFileName(parent, prompt.caption, prompt.directory, prompt.filter);
}

QStringList QtUserPrompts::openFileNames(QWidget* parent, const FilePrompt& prompt)
{
    return QFileDialog::getOpenFileNames(parent, prompt.caption, prompt.directory, prompt.filter);
}

int QtUserPrompts::runDialog(QDialog& dialog)
{
    return dialog.exec();
}
