#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QIcon>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

class QKVFixtureDefinition;

/// The definitions of the open library, one row each, as the library table shows them:
/// name (or short name), channel count, manufacturer. The model owns its definitions.
///
/// Each definition remembers its row (`listIndex`) so that its own setters can push name
/// and manufacturer changes into the row and channel count changes redraw column 1.
/// Rows are refreshed from the first changed row onwards only, so filling a library one
/// row at a time stays linear.
class LocalFixtureDefinitionListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    /// The fit column is the last one in the model and shown first; the others keep the
    /// places files of saved column widths and callers know them by.
    enum Column { NameColumn = 0, ChannelsColumn = 1, ManufacturerColumn = 2, FitColumn = 3, ColumnCount = 4 };
    /// The role that hands out (and takes in) the definition behind a row, as a `void*`.
    static constexpr int DefinitionRole = Qt::UserRole;
    /// The row's worst device-fit finding, as the int of a `DeviceFit::Severity`.
    static constexpr int SeverityRole = Qt::UserRole + 1;
    /// Whether the device list read last holds the row's definition.
    static constexpr int OnDeviceRole = Qt::UserRole + 2;

    /// What tells a definition on the device from another: the device lists manufacturer,
    /// name and channel count of each record it holds.
    static QString holdingKey(const QString& manufacturer, const QString& name, int channelCount);
    /// The holding keys of the definitions on the selected device; empty for none.
    void setDeviceHoldings(const QSet<QString>& keys);
    bool isOnDevice(const QKVFixtureDefinition* definition) const;
    /// Redraws the fit of `row`, after an edit the row's own cells do not show.
    void fitChanged(int row);

    /// Takes over `definitions` (may be empty).
    explicit LocalFixtureDefinitionListModel(const QList<QKVFixtureDefinition*>& definitions = {},
                                             QObject* parent = nullptr);
    ~LocalFixtureDefinitionListModel() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    /// Edit role: column 0 names, column 2 manufacturer (column 1 is refused). User role:
    /// the row's definition becomes a copy of the definition the value points to.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    /// Inserts `count` empty definitions at `row`.
    bool insertRows(int row, int count, const QModelIndex& parent = QModelIndex()) override;
    /// Removes and deletes `count` definitions starting at `row`.
    bool removeRows(int row, int count, const QModelIndex& parent = QModelIndex()) override;

    /// Appends copies of `definitions` as new rows at the end, announced as one insertion
    /// (a library of thousands opens or imports in one step, not row by row). Returns the
    /// row of the first copy.
    int appendCopies(const QList<QKVFixtureDefinition*>& definitions);
    /// The same without copying: the model takes over `definitions` (opening a library
    /// hands over the loaded ones, so the library is not held twice).
    int appendTaken(const QList<QKVFixtureDefinition*>& definitions);

    /// The definitions in row order; they stay owned by the model.
    QList<QKVFixtureDefinition*> definitions() const { return m_definitions; }
    /// Rows dragged out of the table carry their numbers under this type; the drop target
    /// acts on the table's selection, which is what was dragged.
    static inline const QString RowsMimeType = QStringLiteral("application/x-qrd-library-rows");
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    /// The row numbers of `indexes` under `type`, for either table's drags.
    static QMimeData* rowsMimeData(const QString& type, const QModelIndexList& indexes);

    /// The definition of `row`, or null.
    QKVFixtureDefinition* definitionAt(int row) const;

    /// Wraps a definition pointer the way the user role carries it.
    static QVariant definitionVariant(QKVFixtureDefinition* definition);
    /// The definition a user-role variant carries, or null.
    static QKVFixtureDefinition* definitionFromVariant(const QVariant& value);

public Q_SLOTS:
    /// Redraws the "#Channels" and fit cells of `sourceIndex`'s row.
    void nbrOfChannelsChanged(QModelIndex sourceIndex);

private:
    void adopt(QKVFixtureDefinition* definition);
    void refreshListIndexesFrom(int row);
    int severity(const QKVFixtureDefinition* definition) const;

    QList<QKVFixtureDefinition*> m_definitions;
    QIcon m_onDeviceIcon;
    QIcon m_fitIcons[3];
    QSet<QString> m_deviceHoldings;
    /// Each definition's worst finding, kept because a filter by fit asks for every row
    /// on every tick; forgotten whenever the model hears of a change to the definition.
    mutable QHash<const QKVFixtureDefinition*, int> m_severities;
};
