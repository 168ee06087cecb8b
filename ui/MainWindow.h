#pragma once

#include <QMainWindow>
#include <QString>

#include <memory>

class QSettings;

/// The editor's one window. It owns the settings store, and later the open library,
/// the library and device panels and the worker thread.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    static constexpr int InitialWidth = 1200;
    static constexpr int InitialHeight = 690;

    explicit MainWindow(QWidget* parent = nullptr);
    /// `startFileName` names the library to open at start; empty for none.
    explicit MainWindow(const QString& startFileName);
    ~MainWindow() override;

    QString startFileName() const { return m_startFileName; }
    QSettings* settings() const { return m_settings.get(); }

private:
    void setUp();

    QString m_startFileName;
    std::unique_ptr<QSettings> m_settings;
};
