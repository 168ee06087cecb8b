#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class QKVFixtureChannel;
class QKVFixtureDefinition;

/// A file of tests/data; the test stops when it is missing.
QByteArray readTestData(const QString& name);

QKVFixtureChannel*
makeChannel(int number, const QString& name, const QString& shortName = QString(), bool autoShortName = true);

/// Every field of a definition and its channels on one line, for comparisons that
/// name the difference. `asSaved` describes what a library file keeps of it: short
/// names under an auto flag are not stored, and codes outside 0..10 come back as -1.
QString describe(const QKVFixtureDefinition& definition, bool asSaved = false);
QStringList describe(const QList<QKVFixtureDefinition*>& definitions, bool asSaved = false);

/// The bytes in a heap block of exactly their size, without the zero a QByteArray keeps
/// after its data, so that a read past the end hits AddressSanitizer's red zone. The
/// returned array points into `block`.
QByteArray exactBytes(const QByteArray& content, std::vector<char>& block);

/// Deterministic pseudo-random numbers (xorshift64*), the same on every platform.
class Random
{
public:
    explicit Random(quint64 start) : m_state(start) { }
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

/// A definition with names of every kind a library meets (ASCII, Latin-1 from devices,
/// other scripts, characters outside the BMP, markup, white space and line ends; some
/// empty, some repeating `earlierNames`), random flags, type codes in and outside the
/// table, and 0 to 60 channels whose names and numbers often repeat or run odd.
std::unique_ptr<QKVFixtureDefinition> randomDefinition(Random& random, const QStringList& earlierNames = {});
