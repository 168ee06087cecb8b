#include "ClearableLineEdit.h"

#include "ResourcePaths.h"

#include <QCompleter>
#include <QResizeEvent>
#include <QShortcut>
#include <QStyle>
#include <QToolButton>

#include <algorithm>

namespace {
// Placeholder words until the library panel hands the completer its manufacturer list.
const QStringList SampleManufacturers = {QStringLiteral("Generic"), QStringLiteral("Acme Lighting")};
} // namespace

ClearableLineEdit::ClearableLineEdit(QWidget* parent)
    : QLineEdit(parent)
    , m_button(new QToolButton(this))
    , m_searchPixmap(ResourcePaths::SearchIcon)
    , m_clearPixmap(ResourcePaths::CancelIcon)
    , m_searchIcon(m_searchPixmap)
    , m_clearIcon(m_clearPixmap)
    , m_escapeShortcut(new QShortcut(QKeySequence(Qt::Key_Escape), this))
{
    m_button->setIcon(m_searchIcon);
    m_button->setIconSize(m_searchPixmap.size());
    m_button->setCursor(Qt::ArrowCursor);
    m_button->setStyleSheet(QStringLiteral("QToolButton { border: none; padding: 0px; }"));

    // Only while the field has focus, so Escape in other widgets keeps its meaning.
    m_escapeShortcut->setContext(Qt::WidgetShortcut);
    connect(m_escapeShortcut, &QShortcut::activated, this, &ClearableLineEdit::clearAndEmitTextChangedEvent);

    auto* completer = new QCompleter(SampleManufacturers, this);
    completer->setCaseSensitivity(Qt::CaseInsensitive);
    completer->setCompletionMode(QCompleter::PopupCompletion);
    setCompleter(completer);

    connect(m_button, &QToolButton::clicked, this, &ClearableLineEdit::clearAndEmitTextChangedEvent);
    connect(this, &QLineEdit::textChanged, this, &ClearableLineEdit::updateCloseButton);

    // Reserve room on the right so typed text never runs under the button.
    const int frame = frameWidth();
    const QSize buttonHint = m_button->sizeHint();
    setStyleSheet(QStringLiteral("QLineEdit { padding-right: %1px; } ").arg(buttonHint.width() + frame + 1));
    const QSize minHint = minimumSizeHint();
    const int minExtent = buttonHint.height() + 2 * frame + 2;
    setMinimumSize(std::max(minHint.width(), minExtent), std::max(minHint.height(), minExtent));
}

int ClearableLineEdit::frameWidth() const
{
    return style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
}

void ClearableLineEdit::resizeEvent(QResizeEvent* event)
{
    const QSize buttonHint = m_button->sizeHint();
    const QRect r = rect();
    m_button->move(r.right() - frameWidth() - buttonHint.width(), (r.bottom() + 1 - buttonHint.height()) / 2);
    QLineEdit::resizeEvent(event);
}

void ClearableLineEdit::updateCloseButton(const QString& text)
{
    if (text.isEmpty() && !m_searchIconShown) {
        m_button->setIcon(m_searchIcon);
        m_searchIconShown = true;
    } else if (!text.isEmpty() && m_searchIconShown) {
        m_button->setIcon(m_clearIcon);
        m_searchIconShown = false;
    }
}

void ClearableLineEdit::clearAndEmitTextChangedEvent()
{
    clear();
    Q_EMIT textChanged(QString());
}
