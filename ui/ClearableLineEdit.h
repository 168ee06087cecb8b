#pragma once

#include <QIcon>
#include <QLineEdit>
#include <QPixmap>

class QResizeEvent;
class QShortcut;
class QToolButton;

/// The library filter field: a line edit with a search icon at its right end that turns
/// into a clear button while the field holds text. Escape clears it as well.
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
    void resizeEvent(QResizeEvent* event) override;

private:
    int frameWidth() const;

    QToolButton* m_button;
    QPixmap m_searchPixmap;
    QPixmap m_clearPixmap;
    QIcon m_searchIcon;
    QIcon m_clearIcon;
    QShortcut* m_escapeShortcut;
    bool m_searchIconShown = true;
};
