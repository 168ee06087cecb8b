#include "LocalChannelListModel.h"
#include "LocalFixtureDefinitionListModel.h"
#include "QKVFixtureChannel.h"
#include "QKVFixtureDefinition.h"
#include "QKVRemoteFixtureDefinition.h"
#include "RemoteFixtureDefinitionListModel.h"
#include "TestSupport.h"
#include "TwoColumnsSortFilterProxyModel.h"

#include <QAbstractItemModelTester>
#include <QIcon>
#include <QMap>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTest>

#include <memory>

namespace {

using ListModel = LocalFixtureDefinitionListModel;
using RemoteModel = RemoteFixtureDefinitionListModel;
using Range = std::pair<int, int>;
constexpr auto Report = QAbstractItemModelTester::FailureReportingMode::QtTest;

/// 0: the library's definitions, 1: the device's definitions, 2: a definition's channels.
std::unique_ptr<QAbstractItemModel> newModel(int kind)
{
    if (kind == 1) {
        return std::make_unique<RemoteModel>();
    }
    return kind == 0 ? std::unique_ptr<QAbstractItemModel>(std::make_unique<ListModel>())
                     : std::make_unique<LocalChannelListModel>();
}

/// Stores a temporary definition into `row`, appending a row first when `row` is one past the end.
void fillRow(QAbstractItemModel& model, int row, const QString& name, int channels = 1, const QString& shortName = {})
{
    QVERIFY(row < model.rowCount() || model.insertRows(row, 1));
    const QString manufacturer = name.isEmpty() ? QString() : name.left(1) + "co";
    if (qobject_cast<ListModel*>(&model)) {
        QKVFixtureDefinition definition;
        definition.setShortName(shortName);
        definition.setName(name);
        definition.setManufacturer(manufacturer);
        for (int i = 1; i <= channels; ++i) {
            definition.appendChannel(makeChannel(i, QString::number(i)));
        }
        QVERIFY(model.setData(model.index(row, 0), ListModel::definitionVariant(&definition), Qt::UserRole));
        return;
    }
    QKVRemoteFixtureDefinition definition;
    definition.setName(name);
    definition.setShortName(shortName);
    definition.setManufacturer(manufacturer);
    definition.setManufacturerShort(shortName);
    definition.setChannelCount(channels);
    QVERIFY(model.setData(model.index(row, 0), RemoteModel::definitionVariant(&definition), Qt::UserRole));
}

void* definitionAt(const QAbstractItemModel& model, int row)
{
    if (auto* local = qobject_cast<const ListModel*>(&model)) {
        return local->definitionAt(row);
    }
    return static_cast<const RemoteModel&>(model).definitionAt(row);
}

QStringList rowTexts(const QAbstractItemModel& model, int row)
{
    return {model.index(row, 0).data().toString(),
            model.index(row, 1).data().toString(),
            model.index(row, 2).data().toString()};
}

QStringList names(const QAbstractItemModel& model)
{
    QStringList result;
    for (int row = 0; row < model.rowCount(); ++row) {
        result << model.index(row, 0).data().toString();
    }
    return result;
}

/// Every library definition knows its row, so that its setters push into it.
void verifyListPositions(const QAbstractItemModel& model)
{
    if (auto* local = qobject_cast<const ListModel*>(&model)) {
        for (int row = 0; row < local->rowCount(); ++row) {
            QCOMPARE(local->definitions().at(row)->listIndex(), local->index(row, 0));
        }
    }
}

void bothLists()
{
    QTest::addColumn<bool>("remote");
    QTest::newRow("library") << false;
    QTest::newRow("device") << true;
}

/// A definition whose channels carry these numbers, in this list order, named after them.
std::unique_ptr<QKVFixtureDefinition> definitionNumbered(const QList<int>& numbers)
{
    auto definition = std::make_unique<QKVFixtureDefinition>();
    for (int number : numbers) {
        definition->appendChannel(makeChannel(number, QStringLiteral("n%1").arg(number)));
    }
    return definition;
}

QList<int> numbers(const QKVFixtureDefinition& definition)
{
    QList<int> result;
    for (const QKVFixtureChannel* channel : definition.channels()) {
        result << channel->number();
    }
    return result;
}

/// Channel names in number order: what the editor's sorted view shows.
QStringList namesByNumber(const QKVFixtureDefinition& definition)
{
    QMap<int, QString> byNumber;
    for (const QKVFixtureChannel* channel : definition.channels()) {
        byNumber.insert(channel->number(), channel->name());
    }
    return byNumber.values();
}

} // namespace

/// The library's and the device's definition lists, the channel list and the filter proxy.
class TestLibraryListModels : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void headersOnlyForHorizontalDisplayRole_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("library") << 0;
        QTest::newRow("device") << 1;
        QTest::newRow("channels") << 2;
    }

    void headersOnlyForHorizontalDisplayRole()
    {
        QFETCH(int, kind);
        const auto model = newModel(kind);
        for (int section = -1; section <= model->columnCount(); ++section) {
            QCOMPARE(model->headerData(section, Qt::Horizontal).isValid(),
                     section >= 0 && section < model->columnCount());
            QCOMPARE(model->headerData(section, Qt::Vertical), QVariant());
            QCOMPARE(model->headerData(section, Qt::Horizontal, Qt::ToolTipRole), QVariant());
        }
    }

    void rolesColumnsAndSetData_data() { bothLists(); }
    void rolesColumnsAndSetData()
    {
        QFETCH(bool, remote);
        const auto model = newModel(remote);
        QAbstractItemModelTester tester(model.get(), Report);
        QVERIFY(model->insertRows(0, 2));
        QSignalSpy changed(model.get(), &QAbstractItemModel::dataChanged);
        fillRow(*model, 0, "Maxi Beam", 7); // from a temporary: the row must hold a copy
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed.at(0).at(0).toModelIndex(), model->index(0, 0));
        QCOMPARE(changed.at(0).at(1).toModelIndex(), model->index(0, model->columnCount() - 1));
        fillRow(*model, 1, "", 2, "SPOT");
        QCOMPARE(rowTexts(*model, 0), (QStringList {"Maxi Beam", "7", "Mco"}));
        // Empty names show the short name; the device's list shows the manufacturer's too.
        QCOMPARE(rowTexts(*model, 1), (QStringList {"SPOT", "2", remote ? "SPOT" : ""}));
        // The device's rows carry the fixture icon; the library's their fit, in a column of its own.
        QVERIFY(!model->index(0, remote ? 0 : 3).data(Qt::DecorationRole).value<QIcon>().isNull());
        QVERIFY(!model->index(0, 2).data(Qt::DecorationRole).isValid());
        for (int column = 0; column < 3; ++column) {
            QCOMPARE(model->index(1, column).data(Qt::UserRole).value<void*>(), definitionAt(*model, 1));
        }
        QVERIFY(definitionAt(*model, 0) && !definitionAt(*model, 2) && !definitionAt(*model, -1));
        QCOMPARE(model->flags(QModelIndex()), Qt::NoItemFlags);
        QCOMPARE(model->flags(model->index(1, 2)),
                 Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren | Qt::ItemIsEditable
                     | Qt::ItemIsDragEnabled);

        // No definition: the library announces the cell unchanged, the device's list refuses.
        changed.clear();
        for (const QVariant& value : {ListModel::definitionVariant(nullptr), QVariant(42), QVariant()}) {
            QCOMPARE(model->setData(model->index(0, 2), value, Qt::UserRole), !remote);
        }
        QCOMPARE(changed.size(), remote ? 0 : 3);
        // The edit role stores names; only the device's list takes a channel count.
        QCOMPARE(model->setData(model->index(0, 1), 9), remote);
        QVERIFY(model->setData(model->index(0, 0), "Wash"));
        QVERIFY(model->setData(model->index(0, 2), "Beamco"));
        QCOMPARE(rowTexts(*model, 0), (QStringList {"Wash", remote ? "9" : "7", "Beamco"}));
        QCOMPARE(changed.size(), remote ? 3 : 5);
        QCOMPARE(changed.last().at(0).toModelIndex(), model->index(0, 2));

        // Cells outside the table; the device's list also refuses cells of another model.
        QStandardItemModel other(5, 6);
        for (const QModelIndex& index : {QModelIndex(), other.index(2, 0), other.index(0, 4)}) {
            QVERIFY(!model->setData(index, "x"));
            QVERIFY(!model->setData(index, model->index(0, 0).data(Qt::UserRole), Qt::UserRole));
            QVERIFY(!model->data(index).isValid());
            QVERIFY(!model->data(index, Qt::UserRole).isValid());
        }
        QVERIFY(!remote || !model->data(other.index(0, 0)).isValid());
    }

    void insertAndRemoveKeepRowsInOrder_data() { bothLists(); }
    void insertAndRemoveKeepRowsInOrder()
    {
        QFETCH(bool, remote);
        const auto model = newModel(remote);
        QAbstractItemModelTester tester(model.get(), Report);
        fillRow(*model, 0, "A");
        fillRow(*model, 1, "D");
        QVERIFY(model->insertRows(1, 2));
        QVERIFY(model->setData(model->index(1, 0), "B"));
        QVERIFY(model->setData(model->index(2, 0), "C"));
        fillRow(*model, 4, "E");
        QCOMPARE(names(*model), (QStringList {"A", "B", "C", "D", "E"}));
        verifyListPositions(*model);

        for (const Range& range : QList<Range> {{-1, 1}, {6, 1}, {0, 0}, {0, -2}}) {
            QVERIFY(!model->insertRows(range.first, range.second));
        }
        for (const Range& range : QList<Range> {{-1, 1}, {5, 1}, {4, 2}, {0, 6}, {0, 0}}) {
            QVERIFY(!model->removeRows(range.first, range.second));
        }
        QVERIFY(!model->insertRows(0, 1, model->index(0, 0)));
        QVERIFY(!model->removeRows(0, 1, model->index(0, 0)));

        // Removed rows are deleted: the leak checker reports any that is not.
        QSignalSpy layout(model.get(), &QAbstractItemModel::layoutChanged);
        QVERIFY(model->removeRows(1, 2));
        QCOMPARE(names(*model), (QStringList {"A", "D", "E"}));
        verifyListPositions(*model);
        QVERIFY(model->removeRows(1, 2));
        QVERIFY(model->removeRows(0, 1));
        QCOMPARE(model->rowCount(), 0);
        // The device panel recounts on layout changes of its sort proxy, not on removals.
        QCOMPARE(layout.size(), remote ? 3 : 0);
    }

    void libraryDefinitionsPushIntoTheirOwnRow()
    {
        ListModel model;
        auto other = std::make_unique<ListModel>();
        QAbstractItemModelTester tester(&model, Report);
        fillRow(*other, 0, "Other", 3);
        fillRow(*other, 1, "B", 5);
        fillRow(model, 0, "A");
        QCOMPARE(model.appendCopies(other->definitions()), 1);
        // A definition from another list carries its position; stored here, it pushes into this row.
        QVERIFY(model.setData(model.index(1, 0), model.index(0, 0).data(Qt::UserRole), Qt::UserRole));
        QVERIFY(model.setData(model.index(1, 0), other->index(0, 0).data(Qt::UserRole), Qt::UserRole));
        verifyListPositions(model);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        QKVFixtureDefinition* moved = model.definitions().at(1);
        moved->setName(QStringLiteral("Renamed"));
        moved->setShortName(QStringLiteral("R"));
        moved->setManufacturer(QStringLiteral("Maker"));
        moved->setManufacturerShort(QStringLiteral("M"));
        QCOMPARE(rowTexts(model, 1), (QStringList {"Renamed", "3", "Maker"}));
        QCOMPARE(names(*other), (QStringList {"Other", "B"}));
        QCOMPARE(changed.size(), 4);
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(changed.at(i).at(0).toModelIndex(), model.index(1, i < 2 ? 0 : 2));
        }

        // A channel added to a copy redraws the copy's count cell once, not the source's.
        LocalChannelListModel channels(model.definitions().at(2));
        changed.clear();
        QVERIFY(channels.insertRows(0, 1));
        QCOMPARE(rowTexts(model, 2), (QStringList {"B", "6", "Bco"}));
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed.at(0).at(0).toModelIndex(), model.index(2, 1));

        // Once its list is gone, a copy must not push into it.
        const auto orphan = std::make_unique<QKVFixtureDefinition>(*other->definitions().at(0));
        other.reset();
        orphan->setName(QStringLiteral("Wash"));
        QCOMPARE(orphan->listModel(), nullptr);
    }

    void filterTogglesChooseTheColumnsMatched()
    {
        ListModel model;
        for (const char* name : {"Maxi", "Wash", "Dim"}) {
            fillRow(model, model.rowCount(), name);
        }
        TwoColumnsSortFilterProxyModel proxy;
        QAbstractItemModelTester tester(&proxy, Report);
        proxy.setSourceModel(&model);
        proxy.setFilterRegularExpression(QStringLiteral("x|Wc"));
        // Toggles 0..3: bit 1 matches the name, bit 0 the manufacturer; both off shows all.
        const QList<QStringList> shown {{"Maxi", "Wash", "Dim"}, {"Wash"}, {"Maxi"}, {"Maxi", "Wash"}};
        for (int toggles = 0; toggles < 4; ++toggles) {
            proxy.setFilterManufacturer(toggles & 1);
            proxy.setFilterFixtureName(toggles & 2);
            QCOMPARE(names(proxy), shown.at(toggles));
            QCOMPARE(proxy.acceptedRowCount(), shown.at(toggles).size());
        }
    }

    void fitColumnSortsAndFiltersBySeverityAndDeviceHoldings()
    {
        ListModel model;
        fillRow(model, 0, "Fine", 3);
        fillRow(model, 1, "Refused", 46);
        fillRow(model, 2, "Changed " + QString(100, 'x'), 2);
        TwoColumnsSortFilterProxyModel proxy;
        QAbstractItemModelTester tester(&proxy, Report);
        proxy.setSourceModel(&model);
        proxy.setDynamicSortFilter(true);
        proxy.sort(ListModel::FitColumn, Qt::DescendingOrder);
        QCOMPARE(names(proxy).first(), QStringLiteral("Refused"));
        QCOMPARE(names(proxy).last(), QStringLiteral("Fine"));
        proxy.setOnlyWithFindings(true);
        QCOMPARE(proxy.acceptedRowCount(), 2);
        // A rename the model hears of is judged again: the kept severity goes.
        QVERIFY(model.setData(model.index(2, ListModel::NameColumn), QStringLiteral("Short now")));
        QCOMPARE(names(proxy), QStringList {"Refused"});
        QVERIFY(model.index(0, ListModel::FitColumn).data(Qt::ToolTipRole).toString().startsWith("The devices take"));

        // Held by the device: same manufacturer, name and channel count, as the device stores them.
        proxy.setOnlyWithFindings(false);
        proxy.setOnlyNotOnDevice(true);
        model.setDeviceHoldings({ListModel::holdingKey("Fco", "Fine", 3), ListModel::holdingKey("Rco", "Refused", 45)});
        QVERIFY(model.isOnDevice(model.definitionAt(0)) && !model.isOnDevice(model.definitionAt(1)));
        QVERIFY(model.index(0, 0).data(Qt::DecorationRole).isValid()
                && !model.index(1, 0).data(Qt::DecorationRole).isValid());
        QCOMPARE(names(proxy), (QStringList {"Refused", "Short now"}));
        QCOMPARE(ListModel::holdingKey("M", QString::fromUtf8("Par 中") + QString(100, 'x'), 1),
                 ListModel::holdingKey("M", "Par ?" + QString(95, 'x'), 1));
    }

    void channelListCompactsNumbersWhenShownAndCopiesChannels()
    {
        LocalChannelListModel model;
        QAbstractItemModelTester tester(&model, Report);
        QVERIFY(!model.insertRows(0, 1));
        QVERIFY(!model.removeRows(0, 1));
        QVERIFY(!model.setData(model.index(0, 0), 1, LocalChannelListModel::ChannelRole));
        model.moveChannelUp(0);
        QCOMPARE(model.rowOfNumber(1), -1);

        // Showing compacts the numbers: below 1 first, then by number, equal ones in list order.
        auto definition = definitionNumbered({5, 0, -3, 1, -1, 1});
        definition->channels().at(1)->setName(QString());
        definition->channels().at(1)->setShortName(QStringLiteral("DIM"));
        model.setDefinition(definition.get());
        QCOMPARE(numbers(*definition), (QList<int> {6, 1, 2, 4, 3, 5}));
        for (const QKVFixtureChannel* channel : definition->channels()) {
            QVERIFY(channel->renumberMark());
        }
        QCOMPARE(rowTexts(model, 0), (QStringList {"6", "n5", ""}));
        QCOMPARE(rowTexts(model, 1), (QStringList {"1", "DIM", ""}));
        QCOMPARE(model.index(1, 0).data(LocalChannelListModel::ChannelRole).value<void*>(),
                 static_cast<void*>(definition->channels().at(1)));
        QCOMPARE(model.flags(model.index(0, 0)), Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren);

        // The user role copies another channel into the row; the edit role changes nothing.
        std::unique_ptr<QKVFixtureChannel> other(makeChannel(9, QStringLiteral("Pan"), QStringLiteral("PAN"), false));
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        QVERIFY(model.setData(
            model.index(0, 1), LocalChannelListModel::channelVariant(other.get()), LocalChannelListModel::ChannelRole));
        QCOMPARE(rowTexts(model, 0), (QStringList {"9", "Pan", ""}));
        QVERIFY(model.setData(model.index(1, 1), QStringLiteral("ignored"), Qt::EditRole));
        QCOMPARE(changed.size(), 2);
        model.setDefinition(nullptr);
        QCOMPARE(model.rowCount(), 0);
    }

    void channelInsertionPlacesByNumber_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("count");
        QTest::addColumn<QStringList>("shown"); // empty: refused
        QTest::newRow("one in front") << 0 << 1 << QStringList {"", "n1", "n2", "n3"};
        QTest::newRow("one in the middle") << 1 << 1 << QStringList {"n1", "", "n2", "n3"};
        QTest::newRow("one at the end") << 3 << 1 << QStringList {"n1", "n2", "n3", ""};
        // Several at once interleave with the channel that had the first new number.
        QTest::newRow("two in front") << 0 << 2 << QStringList {"", "n1", "", "n2", "n3"};
        QTest::newRow("past the end") << 4 << 1 << QStringList();
        QTest::newRow("negative row") << -1 << 1 << QStringList();
        QTest::newRow("none") << 0 << 0 << QStringList();
    }

    void channelInsertionPlacesByNumber()
    {
        QFETCH(int, row);
        QFETCH(int, count);
        QFETCH(QStringList, shown);
        auto definition = definitionNumbered({1, 2, 3});
        LocalChannelListModel model(definition.get());
        QAbstractItemModelTester tester(&model, Report);
        QSignalSpy countChanged(definition.get(), &QKVFixtureDefinition::nbrOfChannelChanged);
        QCOMPARE(model.insertRows(row, count), !shown.isEmpty());
        QCOMPARE(namesByNumber(*definition), (shown.isEmpty() ? QStringList {"n1", "n2", "n3"} : shown));
        QCOMPARE(countChanged.size(), shown.isEmpty() ? 0 : 1);
    }

    void channelRemovalAndMovesWorkOnNumbers()
    {
        // List order differs from number order: removing and moving work on numbers.
        auto definition = definitionNumbered({3, 1, 5, 2, 4});
        LocalChannelListModel model(definition.get());
        QAbstractItemModelTester tester(&model, Report);
        QSignalSpy countChanged(definition.get(), &QKVFixtureDefinition::nbrOfChannelChanged);
        QVERIFY(model.removeRows(model.rowOfNumber(4), 1));
        QCOMPARE(numbers(*definition), (QList<int> {3, 1, 4, 2}));
        QCOMPARE(countChanged.size(), 1);
        model.moveChannelUp(model.rowOfNumber(1));
        model.moveChannelDown(model.rowOfNumber(4));
        QCOMPARE(namesByNumber(*definition), (QStringList {"n1", "n2", "n3", "n5"}));
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        model.moveChannelUp(model.rowOfNumber(3));
        QCOMPARE(namesByNumber(*definition), (QStringList {"n1", "n3", "n2", "n5"}));
        model.moveChannelDown(model.rowOfNumber(1));
        model.moveChannelUp(99);
        QCOMPARE(numbers(*definition), (QList<int> {1, 2, 4, 3}));
        // Each move announces the number cells of both rows (after the renumbering).
        QVERIFY(changed.size() >= 4);
        QVERIFY(!model.removeRows(4, 1));
    }
};

QTEST_MAIN(TestLibraryListModels)
#include "TestLibraryListModels.moc"
