#include "BusyIndicatorOverlay.h"

#include "ResourcePaths.h"

#include <QGridLayout>
#include <QLabel>
#include <QMovie>

BusyIndicatorOverlay::BusyIndicatorOverlay(QWidget* parent) : QWidget(parent)
{
    setPalette(QPalette(Qt::transparent));
    setAttribute(Qt::WA_TransparentForMouseEvents);

    m_layout = new QGridLayout;
    setLayout(m_layout);
    m_movie = std::make_unique<QMovie>(ResourcePaths::BusyAnimation);
    m_label = new QLabel;
    m_layout->addWidget(m_label);
    m_label->setMovie(m_movie.get());
    m_label->setFixedHeight(AnimationSize);
    m_label->setFixedWidth(AnimationSize);

    // Queued: the movie follows once control is back in the event loop, so an owner that
    // switches the overlay off right after creating it never gets a frame played.
    connect(this, &BusyIndicatorOverlay::start, m_movie.get(), &QMovie::start, Qt::QueuedConnection);
    connect(this, &BusyIndicatorOverlay::stop, m_movie.get(), &QMovie::stop, Qt::QueuedConnection);

    Q_EMIT start();
}

BusyIndicatorOverlay::~BusyIndicatorOverlay()
{
    // The movie goes before the label (a child, deleted by the base class); detach it first.
    m_label->setMovie(nullptr);
}

void BusyIndicatorOverlay::setBusy(bool busy)
{
    if (busy) {
        Q_EMIT start();
        m_label->show();
    } else {
        m_label->hide();
        Q_EMIT stop();
    }
}
