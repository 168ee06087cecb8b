#include "AboutDialog.h"
#include "ui_AboutDialog.h"

#include "ResourcePaths.h"
#include "Version.h"

#include <QFile>
#include <QIODevice>
#include <QPixmap>

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::AboutDialog>())
{
    m_ui->setupUi(this);
    m_ui->label_2->setPixmap(QPixmap(ResourcePaths::DevicePicture));

    m_ui->versionLbl->setText(tr("Version %1").arg(QLatin1String(ProgramVersion)));
    // setText lets the browser tell plain from rich text by itself.
    m_ui->textBrowser->setText(noticeText(ResourcePaths::ProgramLicense));
}

AboutDialog::~AboutDialog() = default;

QString AboutDialog::noticeText(QIODevice& device)
{
    QByteArray bytes = device.readAll();
    // The notice is kept as a C string: anything after a terminating zero is not text.
    const qsizetype end = bytes.indexOf('\0');
    if (end >= 0) {
        bytes.truncate(end);
    }
    return QString::fromLatin1(bytes);
}

QString AboutDialog::noticeText(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return QString();
    }
    return noticeText(file);
}

void AboutDialog::on_buttonOK_clicked()
{
    close();
}
