#pragma once

#include <QAbstractTableModel>
#include <QIcon>
#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class QKVRemoteFixtureDefinition;

/// The definitions stored on the connected device, one row each, as the device panel
/// shows them: name (or short name), channel count, manufacturer (or its short form).
/// The model owns its definitions; pointers handed out stay valid until their row is
/// removed or the model is destroyed.
class RemoteFixtureDefinitionListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { NameColumn = 0, ChannelsColumn = 1, ManufacturerColumn = 2, ColumnCount = 3 };
    /// The role that hands out (and takes in) the definition behind a row, as a `void*`.
    static constexpr int DefinitionRole = Qt::UserRole;

    /// An empty list.
    explicit RemoteFixtureDefinitionListModel(QObject* parent = nullptr);
    ~RemoteFixtureDefinitionListModel() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    /// Edit role: column 0 sets the name, column 1 the channel count, column 2 the
    /// manufacturer. User role: the row's definition becomes a copy of the (non-null)
    /// definition the value points to.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    /// Inserts `count` empty definitions at `row`; refuses a row outside 0..rowCount().
    bool insertRows(int row, int count, const QModelIndex& parent = QModelIndex()) override;
    /// Removes and deletes `count` definitions starting at `row`; refuses a range that
    /// does not lie wholly inside the list.
    bool removeRows(int row, int count, const QModelIndex& parent = QModelIndex()) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    /// The holding keys (LocalFixtureDefinitionListModel::holdingKey) of the definitions
    /// in the open library; rows that match none are marked "not in the library".
    void setLibraryHoldings(const QSet<QString>& keys);
    /// The holding keys of every definition on the device.
    QSet<QString> holdingKeys() const;
    bool isInLibrary(int row) const;

    /// Rows dragged out of the table carry their numbers under this type; the drop target
    /// acts on the table's selection, which is what was dragged.
    static inline const QString RowsMimeType = QStringLiteral("application/x-qrd-device-rows");
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;

    /// The definition of `row`, or null.
    QKVRemoteFixtureDefinition* definitionAt(int row) const;

    /// Wraps a definition pointer the way the user role carries it.
    static QVariant definitionVariant(QKVRemoteFixtureDefinition* definition);
    /// The definition a user-role variant carries, or null.
    static QKVRemoteFixtureDefinition* definitionFromVariant(const QVariant& value);

private:
    bool isCell(const QModelIndex& index) const;

    std::vector<std::unique_ptr<QKVRemoteFixtureDefinition>> m_definitions;
    QIcon m_icon;
    QSet<QString> m_libraryHoldings;
    bool m_libraryKnown = false;
};
