#include "RemoteFixtureDefinitionListModel.h"

#include "QKVRemoteFixtureDefinition.h"

#include <QAbstractItemModelTester>
#include <QIcon>
#include <QPointer>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTest>

using Model = RemoteFixtureDefinitionListModel;

namespace {

/// A list entry as the device panel receives it, already decoded.
void describe(QKVRemoteFixtureDefinition& d,
              const QString& name,
              const QString& shortName,
              const QString& manufacturer,
              const QString& manufacturerShort,
              int channels,
              quint8 recordNumber)
{
    d.setName(name);
    d.setShortName(shortName);
    d.setManufacturer(manufacturer);
    d.setManufacturerShort(manufacturerShort);
    d.setChannelCount(channels);
    d.setType(3);
    d.setRecordNumber(recordNumber);
}

QStringList row(const Model& model, int r)
{
    return {
        model.index(r, 0).data().toString(), model.index(r, 1).data().toString(), model.index(r, 2).data().toString()};
}

} // namespace

/// The table model behind the device panel's list.
class TestRemoteFixtureDefinitionListModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void startsEmptyAndTableHasNoChildren()
    {
        Model model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(model.columnCount(), 3);
        QVERIFY(model.insertRows(0, 2));
        const QModelIndex cell = model.index(1, 2);
        QCOMPARE(model.rowCount(cell), 0);
        QCOMPARE(model.columnCount(cell), 0);
        QCOMPARE(model.flags(QModelIndex()), Qt::NoItemFlags);
        const Qt::ItemFlags expected = Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren
            | Qt::ItemIsEditable | Qt::ItemIsDragEnabled;
        QCOMPARE(model.flags(cell), expected);
    }

    void userRoleCopiesTheWholeDefinitionIntoTheRow()
    {
        Model model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QVERIFY(model.insertRows(0, 2));
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

        QKVRemoteFixtureDefinition source;
        describe(source, "Spot 575", "SPOT", "ACME", "AC", 12, 7);
        QVERIFY(model.setData(model.index(1, 0), Model::definitionVariant(&source), Model::DefinitionRole));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).toModelIndex(), model.index(1, 0));
        QCOMPARE(changed.at(0).at(1).toModelIndex(), model.index(1, 2));

        QKVRemoteFixtureDefinition* copy = model.definitionAt(1);
        QVERIFY(copy && copy != &source);
        QCOMPARE(copy->name(), "Spot 575");
        QCOMPARE(copy->shortName(), "SPOT");
        QCOMPARE(copy->manufacturerShort(), "AC");
        QCOMPARE(copy->type(), 3);
        QCOMPARE(copy->recordNumber(), quint8(7));
        QCOMPARE(row(model, 1), QStringList({"Spot 575", "12", "ACME"}));
        QCOMPARE(model.index(1, 1).data().metaType(), QMetaType(QMetaType::Int));
        // The row hands out its own definition, from any column.
        for (int column = 0; column < 3; ++column) {
            const QVariant value = model.index(1, column).data(Model::DefinitionRole);
            QCOMPARE(value.metaType(), QMetaType(QMetaType::VoidStar));
            QCOMPARE(Model::definitionFromVariant(value), copy);
        }
        // A temporary may go as soon as the row has its copy.
        source.setName("changed later");
        QCOMPARE(copy->name(), "Spot 575");
    }

    void namesFallBackToShortForms()
    {
        Model model;
        QVERIFY(model.insertRows(0, 1));
        QKVRemoteFixtureDefinition source;
        describe(source, "", "SPOT", "", "AC", 4, 0);
        QVERIFY(model.setData(model.index(0, 0), Model::definitionVariant(&source), Model::DefinitionRole));
        QCOMPARE(row(model, 0), QStringList({"SPOT", "4", "AC"}));
    }

    void userRoleRefusesWhatIsNoDefinition()
    {
        Model model;
        QVERIFY(model.insertRows(0, 1));
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        QVERIFY(!model.setData(model.index(0, 0), Model::definitionVariant(nullptr), Model::DefinitionRole));
        QVERIFY(!model.setData(model.index(0, 0), QVariant(42), Model::DefinitionRole));
        QVERIFY(!model.setData(model.index(0, 0), QVariant(), Model::DefinitionRole));
        QCOMPARE(changed.count(), 0);
        QCOMPARE(Model::definitionFromVariant(QVariant(42)), nullptr);
    }

    void editRoleChangesEachColumn()
    {
        Model model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QVERIFY(model.insertRows(0, 1));
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

        QVERIFY(model.setData(model.index(0, 0), "Wash", Qt::EditRole));
        QVERIFY(model.setData(model.index(0, 1), 9, Qt::EditRole));
        QVERIFY(model.setData(model.index(0, 2), "Lumen", Qt::EditRole));
        QCOMPARE(row(model, 0), QStringList({"Wash", "9", "Lumen"}));
        QCOMPARE(model.definitionAt(0)->channelCount(), 9);
        QCOMPARE(changed.count(), 3);
        for (int column = 0; column < 3; ++column) {
            QCOMPARE(changed.at(column).at(0).toModelIndex(), model.index(0, column));
            QCOMPARE(changed.at(column).at(1).toModelIndex(), model.index(0, column));
        }

        // Roles the model does not edit.
        QVERIFY(!model.setData(model.index(0, 0), "x", Qt::DisplayRole));
        QVERIFY(!model.setData(model.index(0, 0), "x", Qt::ToolTipRole));
        QCOMPARE(changed.count(), 3);
    }

    void displayAndDecoration()
    {
        Model model;
        QVERIFY(model.insertRows(0, 1));
        const QVariant icon = model.index(0, 0).data(Qt::DecorationRole);
        QVERIFY(icon.canConvert<QIcon>());
        QVERIFY(!icon.value<QIcon>().isNull());
        QVERIFY(!model.index(0, 1).data(Qt::DecorationRole).isValid());
        QVERIFY(!model.index(0, 2).data(Qt::DecorationRole).isValid());
        QVERIFY(!model.index(0, 0).data(Qt::ToolTipRole).isValid());
        QCOMPARE(row(model, 0), QStringList({"", "0", ""}));
    }

    void headerTextsOnlyForHorizontalDisplayRole()
    {
        Model model;
        QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), "Fixture Name");
        QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), "#Channels");
        QCOMPARE(model.headerData(2, Qt::Horizontal).toString(), "Manufacturer");
        QVERIFY(!model.headerData(3, Qt::Horizontal).isValid());
        QVERIFY(!model.headerData(-1, Qt::Horizontal).isValid());
        QVERIFY(!model.headerData(0, Qt::Vertical).isValid());
        QVERIFY(!model.headerData(0, Qt::Horizontal, Qt::ToolTipRole).isValid());
        QVERIFY(!model.headerData(0, Qt::Horizontal, Qt::EditRole).isValid());
    }

    void insertAndRemoveKeepRowsInOrder()
    {
        Model model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QVERIFY(model.insertRows(0, 2));
        QVERIFY(model.setData(model.index(0, 0), "A"));
        QVERIFY(model.setData(model.index(1, 0), "D"));
        QVERIFY(model.insertRows(1, 2));
        QVERIFY(model.setData(model.index(1, 0), "B"));
        QVERIFY(model.setData(model.index(2, 0), "C"));
        QVERIFY(model.insertRows(4, 1)); // appending
        QVERIFY(model.setData(model.index(4, 0), "E"));
        QStringList names;
        for (int r = 0; r < model.rowCount(); ++r) {
            names << model.index(r, 0).data().toString();
        }
        QCOMPARE(names, QStringList({"A", "B", "C", "D", "E"}));

        QPointer<QKVRemoteFixtureDefinition> b = model.definitionAt(1);
        QPointer<QKVRemoteFixtureDefinition> c = model.definitionAt(2);
        QSignalSpy layout(&model, &QAbstractItemModel::layoutChanged);
        QVERIFY(model.removeRows(1, 2));
        QCOMPARE(layout.count(), 1);
        QVERIFY(b.isNull());
        QVERIFY(c.isNull());
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(model.index(1, 0).data().toString(), "D");
        QVERIFY(model.removeRows(0, 3));
        QCOMPARE(model.rowCount(), 0);
    }

    void outOfRangeIsRefusedAndChangesNothing()
    {
        Model model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QVERIFY(model.insertRows(0, 3));
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsAboutToBeInserted);
        QSignalSpy removed(&model, &QAbstractItemModel::rowsAboutToBeRemoved);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

        QVERIFY(!model.insertRows(-1, 1));
        QVERIFY(!model.insertRows(4, 1));
        QVERIFY(!model.insertRows(0, 0));
        QVERIFY(!model.insertRows(0, -2));
        QVERIFY(!model.insertRows(0, 1, model.index(0, 0)));
        QVERIFY(!model.removeRows(-1, 1));
        QVERIFY(!model.removeRows(3, 1));
        QVERIFY(!model.removeRows(2, 2));
        QVERIFY(!model.removeRows(0, 4));
        QVERIFY(!model.removeRows(0, 0));
        QVERIFY(!model.removeRows(0, 1, model.index(0, 0)));
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(inserted.count(), 0);
        QCOMPARE(removed.count(), 0);

        // Cells outside the table, or of another model.
        QStandardItemModel other(5, 5);
        QKVRemoteFixtureDefinition source;
        for (const QModelIndex& index : {QModelIndex(), other.index(0, 0), other.index(4, 1)}) {
            QVERIFY(!model.setData(index, "x"));
            QVERIFY(!model.setData(index, Model::definitionVariant(&source), Model::DefinitionRole));
            QVERIFY(!model.data(index).isValid());
            QVERIFY(!model.data(index, Model::DefinitionRole).isValid());
        }
        QVERIFY(!model.index(3, 0).isValid());
        QVERIFY(!model.index(0, 3).isValid());
        QCOMPARE(model.definitionAt(-1), nullptr);
        QCOMPARE(model.definitionAt(3), nullptr);
        QCOMPARE(changed.count(), 0);
    }
};

QTEST_MAIN(TestRemoteFixtureDefinitionListModel)
#include "TestRemoteFixtureDefinitionListModel.moc"
