#pragma once

#include <QDialog>
#include <QString>

#include <memory>

class QIODevice;

namespace Ui {
class AboutDialog;
}

/// The editor's About box: device picture, product heading, version and licence notice.
class AboutDialog : public QDialog
{
    Q_OBJECT

public:
    explicit AboutDialog(QWidget* parent = nullptr);
    ~AboutDialog() override;

    /// The notice in `device` as ASCII text, up to its first zero byte (or whole).
    static QString noticeText(QIODevice& device);
    /// The notice in the file or resource `path`; empty when it cannot be opened.
    static QString noticeText(const QString& path);

private Q_SLOTS:
    void on_buttonOK_clicked();

private:
    std::unique_ptr<Ui::AboutDialog> m_ui;
};
