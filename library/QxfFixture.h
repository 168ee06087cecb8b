#pragma once

#include <QList>
#include <QString>

#include <memory>

class QKVFixtureDefinition;

/// One channel of a fixture mode read from a QLC+ fixture file, already in the form the
/// device shows: the long name folded to Latin-1, and either an automatic short name
/// (the first 12 characters) or an explicit one where the plain cut would read badly.
struct QxfChannel
{
    QString name;
    QString shortName; ///< empty while autoShortName is on
    bool autoShortName = true;

    /// The short name the device shows: the explicit one, or the first 12 characters.
    QString shownShortName() const;
};

/// One mode of one QLC+ fixture: the unit a definition is made from.
struct QxfMode
{
    QString file; ///< the fixture file it came from
    QString manufacturer; ///< as the file gives it, folded for the device
    QString model;
    QString mode;
    QString name; ///< the definition's name: the model, or "Model (Mode)" when there are several modes
    QString shortName; ///< the definition's fixture short name (at most 20 characters)
    bool autoShortName = true;
    int type = 10; ///< a FixtureType code
    QList<QxfChannel> channels; ///< numbered 1..n in this order
    /// Why the device cannot take this mode ("52 channels; the devices hold at most 45");
    /// empty when it can.
    QString reason;

    bool usable() const { return reason.isEmpty(); }
    /// The fixture short name the device shows: the explicit one, or the first 20 characters.
    QString shownShortName() const;
    /// A new definition with this mode's names, type and channels numbered 1..n.
    std::unique_ptr<QKVFixtureDefinition> toDefinition() const;
};

/// What one fixture file gave: its modes, or why it could not be read. A file that
/// cannot be read gives no modes at all.
struct QxfFile
{
    QString path;
    QList<QxfMode> modes;
    QString error; ///< with the line, e.g. "line 12: ..."; empty when the file was read

    bool ok() const { return error.isEmpty(); }
};
