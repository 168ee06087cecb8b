#include "LocalChannelListModel.h"
#include "LocalFixtureDefinitionListModel.h"
#include "QKVFixtureChannel.h"
#include "QKVFixtureDefinition.h"
#include "TestSupport.h"
#include "TwoColumnsSortFilterProxyModel.h"

#include <QAbstractItemModelTester>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

using ListModel = LocalFixtureDefinitionListModel;

/// A model filled the way the library panel fills it: one empty row, then the copy.
void appendDefinition(ListModel& model,
                      const QString& name,
                      const QString& manufacturer,
                      int channels = 1,
                      const QString& shortName = QString())
{
    QKVFixtureDefinition definition;
    definition.setName(name);
    definition.setManufacturer(manufacturer);
    if (!shortName.isEmpty()) {
        definition.setAutoShortName(false);
        definition.setShortName(shortName);
    }
    for (int i = 1; i <= channels; ++i) {
        definition.appendChannel(makeChannel(i, QStringLiteral("Ch %1").arg(i)));
    }
    const int row = model.rowCount();
    QVERIFY(model.insertRows(row, 1));
    QVERIFY(model.setData(model.index(row, 0), ListModel::definitionVariant(&definition), ListModel::DefinitionRole));
}

QStringList names(const QAbstractItemModel& model)
{
    QStringList result;
    for (int row = 0; row < model.rowCount(); ++row) {
        result << model.index(row, 0).data().toString();
    }
    return result;
}

QList<int> listRows(const ListModel& model)
{
    QList<int> rows;
    for (QKVFixtureDefinition* definition : model.definitions()) {
        rows << definition->listIndex().row();
    }
    return rows;
}

} // namespace

/// The library's list model and its filter proxy, checked by the model tester throughout.
class TestLibraryListModels : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rolesAndColumns()
    {
        ListModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        appendDefinition(model, QStringLiteral("Maxi Beam"), QStringLiteral("Acme"), 7);
        appendDefinition(model, QString(), QStringLiteral("Mark"), 2, QStringLiteral("SPOT"));

        QCOMPARE(model.columnCount(), 3);
        QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Fixture Name"));
        QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("#Channels"));
        QCOMPARE(model.headerData(2, Qt::Horizontal).toString(), QStringLiteral("Manufacturer"));
        QVERIFY(!model.headerData(0, Qt::Vertical).isValid());
        QCOMPARE(model.index(0, 1).data().toInt(), 7);
        QCOMPARE(model.index(0, 2).data().toString(), QStringLiteral("Acme"));
        // An empty name shows the short name.
        QCOMPARE(model.index(1, 0).data().toString(), QStringLiteral("SPOT"));
        QVERIFY(model.index(0, 0).data(Qt::DecorationRole).canConvert<QIcon>());
        QVERIFY(!model.index(0, 1).data(Qt::DecorationRole).isValid());
        QVERIFY(!model.index(0, 0).data(Qt::ToolTipRole).isValid());

        const QVariant pointer = model.index(1, 2).data(ListModel::DefinitionRole);
        QCOMPARE(pointer.metaType().id(), int(QMetaType::VoidStar));
        QCOMPARE(ListModel::definitionFromVariant(pointer), model.definitions().at(1));
        QVERIFY(!model.data(model.index(5, 0), Qt::DisplayRole).isValid());
        QCOMPARE(model.flags(QModelIndex()), Qt::NoItemFlags);
        QVERIFY(model.flags(model.index(0, 0)) & Qt::ItemIsEditable);
        QVERIFY(model.flags(model.index(0, 0)) & Qt::ItemIsDragEnabled);
    }

    void editRoleStoresNamesButRefusesTheChannelCount()
    {
        ListModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        appendDefinition(model, QStringLiteral("Par"), QStringLiteral("Acme"), 3);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

        QVERIFY(!model.setData(model.index(0, 1), 9, Qt::EditRole));
        QCOMPARE(model.index(0, 1).data().toInt(), 3);
        QVERIFY(changed.isEmpty());
        QVERIFY(model.setData(model.index(0, 0), QStringLiteral("Wash"), Qt::EditRole));
        QVERIFY(model.setData(model.index(0, 2), QStringLiteral("Beamco"), Qt::EditRole));
        QCOMPARE(model.definitions().at(0)->name(), QStringLiteral("Wash"));
        QCOMPARE(model.definitions().at(0)->manufacturer(), QStringLiteral("Beamco"));
        QCOMPARE(changed.size(), 2);
        QVERIFY(!model.setData(model.index(0, 0), QStringLiteral("x"), Qt::ToolTipRole));
    }

    void definitionSettersPushIntoTheirOwnRow()
    {
        ListModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        // A definition that came from another list carries that list's position; once
        // stored into a row it must push into this row only.
        ListModel other;
        appendDefinition(other, QStringLiteral("Other"), QStringLiteral("Elsewhere"));
        appendDefinition(model, QStringLiteral("A"), QStringLiteral("M"));
        QVERIFY(model.insertRows(1, 1));
        QVERIFY(model.setData(
            model.index(1, 0), model.index(0, 0).data(ListModel::DefinitionRole), ListModel::DefinitionRole));
        QVERIFY(model.setData(
            model.index(1, 0), other.index(0, 0).data(ListModel::DefinitionRole), ListModel::DefinitionRole));
        QCOMPARE(model.definitions().at(1)->listIndex().row(), 1);
        QCOMPARE(model.definitions().at(1)->listModel(), &model);

        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        model.definitions().at(1)->setName(QStringLiteral("Renamed"));
        QCOMPARE(names(model), (QStringList {QStringLiteral("A"), QStringLiteral("Renamed")}));
        QCOMPARE(names(other), QStringList {QStringLiteral("Other")});
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed.at(0).at(0).value<QModelIndex>(), model.index(1, 0));

        // A null pointer changes nothing but still announces the cell.
        QVERIFY(model.setData(model.index(0, 2), ListModel::definitionVariant(nullptr), ListModel::DefinitionRole));
        QCOMPARE(changed.size(), 2);
        QCOMPARE(model.definitions().at(0)->name(), QStringLiteral("A"));
    }

    void removingRowsKeepsTheOthersAndTheirPositions()
    {
        ListModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        for (int i = 0; i < 5; ++i) {
            appendDefinition(model, QString::number(i), QStringLiteral("M"));
        }
        QVERIFY(model.removeRows(2, 2));
        QCOMPARE(names(model), (QStringList {"0", "1", "4"}));
        QCOMPARE(listRows(model), (QList<int> {0, 1, 2}));
        QVERIFY(!model.removeRows(1, 0));
        QVERIFY(!model.removeRows(2, 2));
        QCOMPARE(model.rowCount(), 3);

        // Inserting in the middle moves the positions of the rows after it.
        QVERIFY(model.insertRows(1, 2));
        QCOMPARE(listRows(model), (QList<int> {0, 1, 2, 3, 4}));
        QCOMPARE(names(model), (QStringList {"0", "", "", "1", "4"}));
        QVERIFY(!model.insertRows(6, 1));
    }

    void appendingCopiesInOneStep()
    {
        ListModel source;
        appendDefinition(source, QStringLiteral("A"), QStringLiteral("M"), 3);
        appendDefinition(source, QStringLiteral("B"), QStringLiteral("N"), 5);
        ListModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        appendDefinition(model, QStringLiteral("first"), QStringLiteral("M"));
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        QCOMPARE(model.appendCopies(source.definitions()), 1);
        QCOMPARE(inserted.size(), 1);
        QCOMPARE(names(model), (QStringList {"first", "A", "B"}));
        QCOMPARE(listRows(model), (QList<int> {0, 1, 2}));
        // Copies, not the source's objects; and they report to this model.
        QVERIFY(model.definitions().at(1) != source.definitions().at(0));
        QCOMPARE(model.definitions().at(2)->listModel(), &model);
        LocalChannelListModel channels(model.definitions().at(2));
        QVERIFY(channels.insertRows(0, 1));
        QCOMPARE(model.index(2, 1).data().toInt(), 6);
        QCOMPARE(source.index(1, 1).data().toInt(), 5);
        QCOMPARE(model.appendCopies({}), 3);
    }

    void channelCountCellFollowsTheChannelModel()
    {
        ListModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        appendDefinition(model, QStringLiteral("Head"), QStringLiteral("Acme"), 1);
        appendDefinition(model, QStringLiteral("Beam"), QStringLiteral("Acme"), 7);
        QCOMPARE(model.index(1, 1).data().toInt(), 7);

        LocalChannelListModel channels(model.definitions().at(1));
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        QVERIFY(channels.insertRows(0, 1));
        QCOMPARE(model.index(1, 1).data().toInt(), 8);
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed.at(0).at(0).value<QModelIndex>(), model.index(1, 1));
        QCOMPARE(changed.at(0).at(1).value<QModelIndex>(), model.index(1, 1));

        // Storing the same definition again must not double the notifications.
        QVERIFY(model.setData(
            model.index(1, 0), model.index(1, 0).data(ListModel::DefinitionRole), ListModel::DefinitionRole));
        changed.clear();
        QVERIFY(channels.removeRows(0, 1));
        QCOMPARE(changed.size(), 1);
        QCOMPARE(model.index(1, 1).data().toInt(), 7);
    }

    void filterToggles_data()
    {
        QTest::addColumn<bool>("byName");
        QTest::addColumn<bool>("byManufacturer");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QStringList>("shown");

        const QStringList all {"Maxi Beam", "Wash", "SPOT", "Strobe"};
        QTest::newRow("both off, any text") << false << false << "zzz" << all;
        QTest::newRow("manufacturer only") << false << true << "ma" << QStringList {"Wash", "SPOT"};
        QTest::newRow("name only") << true << false << "ma" << QStringList {"Maxi Beam"};
        QTest::newRow("name through short name") << true << false << "spo" << QStringList {"SPOT"};
        QTest::newRow("either column") << true << true << "ma" << QStringList {"Maxi Beam", "Wash", "SPOT"};
        QTest::newRow("expression") << true << true << "^s" << QStringList {"SPOT", "Strobe"};
        QTest::newRow("empty text") << true << true << "" << all;
    }

    void filterToggles()
    {
        QFETCH(bool, byName);
        QFETCH(bool, byManufacturer);
        QFETCH(QString, pattern);
        QFETCH(QStringList, shown);

        ListModel model;
        appendDefinition(model, QStringLiteral("Maxi Beam"), QStringLiteral("Acme"));
        appendDefinition(model, QStringLiteral("Wash"), QStringLiteral("Mark"));
        appendDefinition(model, QString(), QStringLiteral("Omar"), 1, QStringLiteral("SPOT"));
        appendDefinition(model, QStringLiteral("Strobe"), QStringLiteral("Flash"));

        TwoColumnsSortFilterProxyModel proxy;
        QAbstractItemModelTester tester(&proxy, QAbstractItemModelTester::FailureReportingMode::QtTest);
        proxy.setSourceModel(&model);
        proxy.setFilterCaseSensitivity(Qt::CaseInsensitive);
        proxy.setFilterRegularExpression(pattern);
        proxy.setFilterFixtureName(byName);
        proxy.setFilterManufacturer(byManufacturer);
        QCOMPARE(names(proxy), shown);
        QCOMPARE(proxy.acceptedRowCount(), shown.size());
    }

    void proxySortsChannelCountsAsNumbers()
    {
        ListModel model;
        appendDefinition(model, QStringLiteral("b"), QStringLiteral("M"), 10);
        appendDefinition(model, QStringLiteral("a"), QStringLiteral("M"), 9);
        appendDefinition(model, QStringLiteral("c"), QStringLiteral("M"), 2);
        TwoColumnsSortFilterProxyModel proxy;
        QAbstractItemModelTester tester(&proxy, QAbstractItemModelTester::FailureReportingMode::QtTest);
        proxy.setSourceModel(&model);
        proxy.sort(1);
        QCOMPARE(names(proxy), (QStringList {"c", "a", "b"}));
        proxy.sort(0, Qt::DescendingOrder);
        QCOMPARE(names(proxy), (QStringList {"c", "b", "a"}));
        // A row added while sorted lands in its place, and the filter follows edits.
        appendDefinition(model, QStringLiteral("bb"), QStringLiteral("M"));
        QCOMPARE(names(proxy), (QStringList {"c", "bb", "b", "a"}));
        proxy.setFilterFixtureName(true);
        proxy.setFilterRegularExpression(QStringLiteral("b"));
        QCOMPARE(proxy.acceptedRowCount(), 2);
        model.definitions().at(0)->setName(QStringLiteral("z"));
        QCOMPARE(names(proxy), QStringList {"bb"});
    }

    void modelTesterOverRandomEdits()
    {
        ListModel model;
        TwoColumnsSortFilterProxyModel proxy;
        proxy.setSourceModel(&model);
        proxy.setFilterFixtureName(true);
        proxy.setFilterManufacturer(true);
        proxy.setFilterCaseSensitivity(Qt::CaseInsensitive);
        proxy.setFilterRegularExpression(QStringLiteral("a"));
        proxy.sort(0);
        QAbstractItemModelTester sourceTester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QAbstractItemModelTester proxyTester(&proxy, QAbstractItemModelTester::FailureReportingMode::QtTest);
        Random random(6);
        for (int step = 0; step < 300; ++step) {
            const int rows = model.rowCount();
            switch (random.below(4)) {
                case 0:
                case 1: {
                    const int row = random.below(rows + 1);
                    QVERIFY(model.insertRows(row, 1 + random.below(3)));
                    auto definition = randomDefinition(random);
                    QVERIFY(model.setData(model.index(row, 0),
                                          ListModel::definitionVariant(definition.get()),
                                          ListModel::DefinitionRole));
                    break;
                }
                case 2:
                    if (rows > 0) {
                        const int row = random.below(rows);
                        QVERIFY(model.removeRows(row, 1 + random.below(rows - row)));
                    }
                    break;
                default:
                    if (rows > 0) {
                        model.definitions().at(random.below(rows))->setName(QString::number(random.below(1000)));
                    }
            }
            QCOMPARE(listRows(model).size(), model.rowCount());
            for (int row = 0; row < model.rowCount(); ++row) {
                QCOMPARE(model.definitions().at(row)->listIndex().row(), row);
            }
        }
    }
};

QTEST_MAIN(TestLibraryListModels)
#include "TestLibraryListModels.moc"
