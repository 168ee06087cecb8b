#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class QKVFixtureChannel;
class QKVFixtureDefinition;

QKVFixtureChannel* makeChannel(int number, const QString& name, const QString& shortName, bool autoShortName);

/// Owns the definitions a test saves.
class Library
{
public:
    Library();
    ~Library();

    /// A definition by Acme Lighting with `channels` channels named "Channel 1", ...
    QKVFixtureDefinition* add(const QString& name, int channels = 1);
    /// Takes ownership of `definition`.
    void take(QKVFixtureDefinition* definition);

    QList<QKVFixtureDefinition*> list() const;
    int size() const { return static_cast<int>(m_definitions.size()); }
    const QKVFixtureDefinition* at(int i) const { return m_definitions.at(static_cast<size_t>(i)).get(); }

    /// The library file's bytes as KVFLArchive writes them.
    QByteArray save() const;

private:
    std::vector<std::unique_ptr<QKVFixtureDefinition>> m_definitions;
};

/// Deterministic pseudo-random numbers (xorshift64*), the same on every platform.
class Random
{
public:
    explicit Random(quint64 seed) : m_state(seed) { }
    quint32 next()
    {
        m_state ^= m_state >> 12;
        m_state ^= m_state << 25;
        m_state ^= m_state >> 27;
        return static_cast<quint32>((m_state * 0x2545F4914F6CDD1DULL) >> 32);
    }
    int below(int n) { return static_cast<int>(next() % static_cast<quint32>(n)); }
    bool chance(int percent) { return below(100) < percent; }

private:
    quint64 m_state;
};

/// Names of every kind a library meets: ASCII, Latin-1 from devices, other scripts,
/// characters outside the BMP, markup characters, white space and line ends.
QString randomName(Random& random, int maxPieces);

/// A definition with random names (some empty, some repeating `earlierNames`), flags,
/// type codes in and outside the table, and 0 to 60 channels whose names often repeat.
std::unique_ptr<QKVFixtureDefinition> randomDefinition(Random& random, const QStringList& earlierNames);

/// What a definition looks like after a save and a load: short names whose auto flag
/// is on are not stored and come back empty; type codes outside the table are stored
/// as "Undefined" and come back as -1. Returns the first difference, or nothing.
QString roundTripDifference(const QKVFixtureDefinition* got, const QKVFixtureDefinition* saved);
