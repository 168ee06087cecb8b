#pragma once

#include <QIcon>
#include <QLineEdit>
#include <QPixmap>

class QFocusEvent;
class QKeyEvent;
class QResizeEvent;
class QToolButton;

/// The library filter field: a line edit with a search icon at its right end that turns
/// into a clear button while the field holds text. Escape clears it as well and closes
/// the completion list, which never stays open once the field is left or emptied.
class ClearableLineEdit : public QLineEdit
{
    Q_OBJECT

public:
    explicit ClearableLineEdit(QWidget* parent = nullptr);

    /// The button at the right end of the field (search icon or clear button).
    QToolButton* clearButton() const { return m_button; }
    /// True while the button shows the search icon, i.e. the field is empty.
    bool isSearchIconShown() const { return m_searchIconShown; }
    /// The icon shown while the field is empty.
    QIcon searchIcon() const { return m_searchIcon; }
    /// The icon shown while the field holds text.
    QIcon clearIcon() const { return m_clearIcon; }

public Q_SLOTS:
    /// Switches the button between search icon and clear icon to match `text`.
    void updateCloseButton(const QString& text);
    /// Empties the field and emits `textChanged("")` even if it was empty already,
    /// so that the filter is reset in any case.
    void clearAndEmitTextChangedEvent();

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    int frameWidth() const;
    void hideCompletionList();

    QToolButton* m_button;
    QPixmap m_searchPixmap;
    QPixmap m_clearPixmap;
    QIcon m_searchIcon;
    QIcon m_clearIcon;
    bool m_searchIconShown = true;
};
