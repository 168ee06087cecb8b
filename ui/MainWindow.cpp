#include "MainWindow.h"

#include "AppSettings.h"
#include "ResourcePaths.h"

#include <QIcon>
#include <QMetaType>
#include <QSettings>

#include <cstdint>

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent)
{
    setUp();
}

MainWindow::MainWindow(const QString& startFileName) : QMainWindow(nullptr), m_startFileName(startFileName)
{
    setUp();
}

MainWindow::~MainWindow() = default;

void MainWindow::setUp()
{
    m_settings = std::make_unique<QSettings>(
        QSettings::NativeFormat, QSettings::UserScope, AppSettings::OrganizationName, AppSettings::ApplicationName);

    setWindowTitle(AppSettings::ApplicationName);
    setWindowIcon(QIcon(ResourcePaths::WindowIcon));
    resize(InitialWidth, InitialHeight);

    // The worker thread reports the device's versions as uint16_t across threads; the
    // queued connection finds the type only under this name.
    qRegisterMetaType<uint16_t>("uint16_t");
}
