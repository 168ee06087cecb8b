#pragma once

#include <QString>

/// One DMX channel of a fixture definition: its number within the fixture (1-based,
/// also the slot it takes in the device record), a long name and a short name for
/// the device's display.
///
/// A plain value, not a QObject: a library of 10,000 definitions holds 240,000 of
/// them, and nothing connects to a channel or needs a parent for it.
class QKVFixtureChannel
{
public:
    static constexpr int DefaultNumber = 1000;

    QKVFixtureChannel() = default;
    /// Copies number, names and the auto flag.
    QKVFixtureChannel(const QKVFixtureChannel& other);
    /// Copies number, name, short name and auto flag.
    QKVFixtureChannel& operator=(const QKVFixtureChannel& other);

    int number() const { return m_number; }
    void setNumber(int number) { m_number = number; }

    QString name() const { return m_name; }
    void setName(const QString& name) { m_name = name; }

    /// At most 12 characters: longer texts are cut when stored.
    QString shortName() const { return m_shortName; }
    void setShortName(const QString& shortName);

    bool autoShortName() const { return m_autoShortName; }
    void setAutoShortName(bool autoShortName) { m_autoShortName = autoShortName; }

    bool renumberMark() const { return m_renumberMark; }
    void setRenumberMark(bool mark) { m_renumberMark = mark; }

    /// The name, or the short name when the name is empty.
    QString displayName() const;

    /// With the auto flag on, the short name becomes the first 12 characters of the name.
    void applyAutoShortName();
    /// Turns the auto flag on when the short name is what it would derive to. Used for
    /// channels read from the device, which stores no flags. Never turns it off.
    void deriveAutoFlag();
    /// An erased device field reads as 0xFF bytes; such a name becomes empty.
    void clearErasedName();

private:
    int m_number = DefaultNumber;
    QString m_name;
    QString m_shortName;
    bool m_autoShortName = true;
    bool m_renumberMark = false;
};
