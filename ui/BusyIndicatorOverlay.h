#pragma once

#include <QWidget>

#include <memory>

class QGridLayout;
class QLabel;
class QMovie;

/// A transparent overlay that plays a small looping animation while the device panel
/// waits for the device. Clicks pass through it to the widgets beneath.
class BusyIndicatorOverlay : public QWidget
{
    Q_OBJECT

public:
    static constexpr int AnimationSize = 30;

    /// Starts with the animation running; the owner turns it off when it has nothing to wait for.
    explicit BusyIndicatorOverlay(QWidget* parent);
    ~BusyIndicatorOverlay() override;

    /// Shows and starts the animation, or hides and stops it. The movie follows one pass
    /// of the event loop later; the label's visibility changes at once.
    void setBusy(bool busy);

    /// The animation, read-only (for tests).
    const QMovie* movie() const { return m_movie.get(); }
    /// The label that shows the animation, read-only (for tests).
    const QLabel* label() const { return m_label; }

Q_SIGNALS:
    /// Starts the animation (queued).
    void start();
    /// Stops the animation (queued).
    void stop();

private:
    QGridLayout* m_layout;
    std::unique_ptr<QMovie> m_movie;
    QLabel* m_label;
};
