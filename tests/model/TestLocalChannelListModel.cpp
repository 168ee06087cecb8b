#include "LocalChannelListModel.h"
#include "QKVFixtureChannel.h"
#include "QKVFixtureDefinition.h"
#include "TestSupport.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

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
    QStringList result;
    for (int number = 1; number <= definition.channelCount(); ++number) {
        for (const QKVFixtureChannel* channel : definition.channels()) {
            if (channel->number() == number) {
                result << channel->name();
            }
        }
    }
    return result;
}

} // namespace

/// The channel list of the definition being edited: dense numbering and the edits.
class TestLocalChannelListModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void showingCompactsTheNumbers_data()
    {
        QTest::addColumn<QList<int>>("before");
        QTest::addColumn<QList<int>>("after");
        QTest::newRow("gaps") << QList<int> {3, 7, 5} << QList<int> {1, 3, 2};
        QTest::newRow("duplicates in list order") << QList<int> {2, 2, 4} << QList<int> {1, 2, 3};
        QTest::newRow("already dense") << QList<int> {1, 2, 3} << QList<int> {1, 2, 3};
        // Numbers below 1 come first, in list order, and renumbering still ends.
        QTest::newRow("zero and negative") << QList<int> {5, 0, -3, 1, -1} << QList<int> {5, 1, 2, 4, 3};
        QTest::newRow("all negative") << QList<int> {-2, -9} << QList<int> {1, 2};
        QTest::newRow("extremes") << QList<int> {INT_MAX, INT_MIN, 0} << QList<int> {3, 1, 2};
        QTest::newRow("empty") << QList<int> {} << QList<int> {};
    }

    void showingCompactsTheNumbers()
    {
        QFETCH(QList<int>, before);
        QFETCH(QList<int>, after);
        auto definition = definitionNumbered(before);
        LocalChannelListModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setDefinition(definition.get());
        QCOMPARE(numbers(*definition), after);
        QCOMPARE(model.rowCount(), before.size());
        for (const QKVFixtureChannel* channel : definition->channels()) {
            QVERIFY(channel->renumberMark());
        }
    }

    void rolesAndColumns()
    {
        auto definition = definitionNumbered({1, 2});
        definition->channels().at(1)->setName(QString());
        definition->channels().at(1)->setShortName(QStringLiteral("DIM"));
        LocalChannelListModel model(definition.get());
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(model.columnCount(), 2);
        QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Channel#"));
        QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Channel Name"));
        QCOMPARE(model.index(0, 0).data().toInt(), 1);
        QCOMPARE(model.index(0, 1).data().toString(), QStringLiteral("n1"));
        QCOMPARE(model.index(1, 1).data().toString(), QStringLiteral("DIM"));
        const QVariant pointer = model.index(1, 0).data(LocalChannelListModel::ChannelRole);
        QCOMPARE(pointer.metaType().id(), int(QMetaType::VoidStar));
        QCOMPARE(LocalChannelListModel::channelFromVariant(pointer), definition->channels().at(1));
        QVERIFY(!model.index(0, 0).data(Qt::DecorationRole).isValid());
        QVERIFY(model.flags(model.index(0, 0)) & Qt::ItemIsSelectable);
        QVERIFY(!(model.flags(model.index(0, 0)) & Qt::ItemIsEditable));

        // The user role copies another channel into the row; the edit role changes nothing.
        std::unique_ptr<QKVFixtureChannel> other(makeChannel(9, QStringLiteral("Pan"), QStringLiteral("PAN"), false));
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        QVERIFY(model.setData(
            model.index(0, 1), LocalChannelListModel::channelVariant(other.get()), LocalChannelListModel::ChannelRole));
        QCOMPARE(definition->channels().at(0)->name(), QStringLiteral("Pan"));
        QCOMPARE(definition->channels().at(0)->number(), 9);
        QVERIFY(model.setData(model.index(1, 1), QStringLiteral("ignored"), Qt::EditRole));
        QCOMPARE(definition->channels().at(1)->shortName(), QStringLiteral("DIM"));
        QCOMPARE(changed.size(), 2);
        QVERIFY(!model.setData(model.index(1, 1), QStringLiteral("x"), Qt::ToolTipRole));
    }

    void withoutDefinition()
    {
        LocalChannelListModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(model.rowCount(), 0);
        QVERIFY(!model.insertRows(0, 1));
        QVERIFY(!model.removeRows(0, 1));
        QVERIFY(!model.setData(model.index(0, 0), 1, LocalChannelListModel::ChannelRole));
        model.moveChannelUp(0);
        QCOMPARE(model.rowOfNumber(1), -1);

        // A definition deleted while shown leaves an empty model, not a dangling one.
        auto definition = definitionNumbered({1, 2});
        model.setDefinition(definition.get());
        QCOMPARE(model.rowCount(), 2);
        model.setDefinition(nullptr);
        QCOMPARE(model.rowCount(), 0);
    }

    void insertionPlacesByNumber_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("count");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("one in front") << 0 << 1 << QStringList {"", "n1", "n2", "n3"};
        QTest::newRow("one in the middle") << 1 << 1 << QStringList {"n1", "", "n2", "n3"};
        QTest::newRow("one at the end") << 3 << 1 << QStringList {"n1", "n2", "n3", ""};
        // Several at once interleave with the channel that had the first new number.
        QTest::newRow("two in front") << 0 << 2 << QStringList {"", "n1", "", "n2", "n3"};
    }

    void insertionPlacesByNumber()
    {
        QFETCH(int, row);
        QFETCH(int, count);
        QFETCH(QStringList, shown);
        auto definition = definitionNumbered({1, 2, 3});
        LocalChannelListModel model(definition.get());
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy countChanged(definition.get(), &QKVFixtureDefinition::nbrOfChannelChanged);
        QVERIFY(model.insertRows(row, count));
        QCOMPARE(namesByNumber(*definition), shown);
        QCOMPARE(model.rowCount(), 3 + count);
        QCOMPARE(countChanged.size(), 1);
    }

    void insertionOutsideTheListIsRefused()
    {
        auto definition = definitionNumbered({1, 2, 3});
        LocalChannelListModel model(definition.get());
        QVERIFY(!model.insertRows(4, 1));
        QVERIFY(!model.insertRows(-1, 1));
        QVERIFY(!model.insertRows(0, 0));
        QCOMPARE(definition->channelCount(), 3);
    }

    void removalClosesTheGap()
    {
        auto definition = definitionNumbered({1, 2, 3, 4});
        LocalChannelListModel model(definition.get());
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy countChanged(definition.get(), &QKVFixtureDefinition::nbrOfChannelChanged);
        QVERIFY(model.removeRows(model.rowOfNumber(2), 1));
        QCOMPARE(namesByNumber(*definition), (QStringList {"n1", "n3", "n4"}));
        QCOMPARE(numbers(*definition), (QList<int> {1, 2, 3}));
        QCOMPARE(countChanged.size(), 1);
        // A count running past the end removes what there is.
        QVERIFY(model.removeRows(1, 10));
        QCOMPARE(namesByNumber(*definition), QStringList {"n1"});
        QVERIFY(!model.removeRows(1, 1));
    }

    void movingUpAndDown()
    {
        // List order differs from number order: moving works on numbers.
        auto definition = definitionNumbered({3, 1, 4, 2});
        LocalChannelListModel model(definition.get());
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

        model.moveChannelUp(model.rowOfNumber(1));
        QCOMPARE(namesByNumber(*definition), (QStringList {"n1", "n2", "n3", "n4"}));
        model.moveChannelDown(model.rowOfNumber(4));
        QCOMPARE(namesByNumber(*definition), (QStringList {"n1", "n2", "n3", "n4"}));

        changed.clear();
        model.moveChannelUp(model.rowOfNumber(3));
        QCOMPARE(namesByNumber(*definition), (QStringList {"n1", "n3", "n2", "n4"}));
        model.moveChannelDown(model.rowOfNumber(1));
        QCOMPARE(namesByNumber(*definition), (QStringList {"n3", "n1", "n2", "n4"}));
        QCOMPARE(numbers(*definition), (QList<int> {1, 2, 4, 3}));
        // Each move announces the number cells of both rows (after the renumbering).
        QVERIFY(changed.size() >= 4);
        model.moveChannelUp(99);
        QCOMPARE(namesByNumber(*definition), (QStringList {"n3", "n1", "n2", "n4"}));
    }
};

QTEST_MAIN(TestLocalChannelListModel)
#include "TestLocalChannelListModel.moc"
