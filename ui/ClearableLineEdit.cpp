#include "ClearableLineEdit.h"

#include "ResourcePaths.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QKeyEvent>
#include <QResizeEvent>
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
{
    m_button->setIcon(m_searchIcon);
    m_button->setIconSize(m_searchPixmap.size());
    m_button->setCursor(Qt::ArrowCursor);
    // A mouse shortcut for Escape; as a Tab stop it would sit unseen between field and table.
    m_button->setFocusPolicy(Qt::NoFocus);
    m_button->setStyleSheet(QStringLiteral("QToolButton { border: none; padding: 0px; }"));

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

bool ClearableLineEdit::event(QEvent* event)
{
    // Escape belongs to the field while it has focus, before any window shortcut.
    if (event->type() == QEvent::ShortcutOverride) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier) {
            event->accept();
            return true;
        }
    }
    return QLineEdit::event(event);
}

void ClearableLineEdit::keyPressEvent(QKeyEvent* event)
{
    // With the completion list open the list passes its keys to the field first, so this
    // one Escape both empties the field and closes the list.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        hideCompletionList();
        clearAndEmitTextChangedEvent();
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void ClearableLineEdit::focusOutEvent(QFocusEvent* event)
{
    // The list itself takes the focus for a moment when it opens.
    if (event->reason() != Qt::PopupFocusReason) {
        hideCompletionList();
    }
    QLineEdit::focusOutEvent(event);
}

void ClearableLineEdit::hideCompletionList()
{
    if (completer() && completer()->popup()->isVisible()) {
        completer()->popup()->hide();
    }
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
        hideCompletionList();
    } else if (!text.isEmpty() && m_searchIconShown) {
        m_button->setIcon(m_clearIcon);
        m_searchIconShown = false;
    }
}

void ClearableLineEdit::clearAndEmitTextChangedEvent()
{
    hideCompletionList();
    clear();
    Q_EMIT textChanged(QString());
}
