#include "LocalFixtureDefinitionEditForm.h"
#include "LocalFixtureDefinitionListModel.h"
#include "QKVFixtureChannel.h"
#include "WidgetTestSupport.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>

#include <memory>

namespace {

std::unique_ptr<QKVFixtureDefinition> definitionWithChannels(int count)
{
    auto definition = numberedDefinition(QStringLiteral("Spot 575"), count);
    definition->setType(FixtureType::MovingHead);
    return definition;
}

/// A library model holding `copies` copies of `source`, as the library panel edits them.
void fill(LocalFixtureDefinitionListModel& library, QKVFixtureDefinition* source, int copies)
{
    for (int row = 0; row < copies; ++row) {
        QVERIFY(library.insertRows(row, 1));
        QVERIFY(library.setData(library.index(row, 0),
                                LocalFixtureDefinitionListModel::definitionVariant(source),
                                LocalFixtureDefinitionListModel::DefinitionRole));
    }
}

/// The form with its widgets by the names it gives them.
struct Form : LocalFixtureDefinitionEditForm
{
    QLineEdit* edit(const char* name) const { return findChild<QLineEdit*>(name); }
    QAbstractButton* button(const char* name) const { return findChild<QAbstractButton*>(name); }
    void click(const char* name) const { QTest::mouseClick(button(name), Qt::LeftButton); }
    QTreeView* list() const { return findChild<QTreeView*>("channelListView"); }

    /// Makes the channel with this number current, as a click on its row would.
    void selectChannelNumber(int number) const
    {
        const QModelIndexList found
            = list()->model()->match(list()->model()->index(0, 0), Qt::DisplayRole, number, 1, Qt::MatchExactly);
        QVERIFY(!found.isEmpty());
        list()->setCurrentIndex(found.first());
    }

    /// Delete, Up, down: enabled or "-".
    QString buttonStates() const
    {
        return QString(button("pushButton")->isEnabled() ? 'D' : '-') + (button("channelUp")->isEnabled() ? 'U' : '-')
            + (button("channelDown")->isEnabled() ? 'd' : '-');
    }
};

} // namespace

/// The definition editor below the library table, driven as a user drives it.
class TestLocalFixtureDefinitionEditForm : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void showingADefinitionEmitsAndChangesNothing()
    {
        Form form;
        QVERIFY(!form.isEnabled() && form.buttonStates() == "---");
        // The device keeps no channel descriptions (children count as hidden until shown).
        form.show();
        QVERIFY(form.findChild<QWidget*>("textEdit")->isHidden() && !form.edit("channelName")->isHidden());
        QVERIFY(form.findChild<QWidget*>("label_channelDescription")->isHidden());

        auto definition = definitionWithChannels(3);
        definition->setAutoShortName(false);
        definition->setShortName(QStringLiteral("SPOT"));
        // A code the table has no entry for, as a device may send it, stays as it is.
        definition->setType(42);
        definition->channels().at(0)->setNumber(7);
        QSignalSpy edited(&form, &LocalFixtureDefinitionEditForm::contentEdited);
        form.setFixtureDefinition(definition.get());
        QVERIFY(form.isEnabled() && form.edit("fixtureName")->text() == "Spot 575");
        QCOMPARE(form.edit("fixtureNameShort")->text(), QStringLiteral("SPOT"));
        QVERIFY(!form.button("autoFixtureNameShort")->isChecked() && !form.edit("fixtureNameShort")->isReadOnly());
        auto* type = form.findChild<QComboBox*>("fixtureType");
        QCOMPARE(type->currentIndex(), -1);

        auto other = definitionWithChannels(2);
        other->setType(FixtureType::Hazer);
        form.setFixtureDefinition(other.get());
        QCOMPARE(type->currentIndex(), int(FixtureType::Hazer));
        form.setFixtureDefinition(definition.get());
        form.setFixtureDefinition(nullptr);
        QVERIFY(!form.isEnabled() && form.edit("fixtureName")->text().isEmpty() && edited.isEmpty());
        // Showing derives the automatic short name and compacts the channel numbers
        // (7, 2, 3 -> 3, 1, 2); the type code stays.
        QCOMPARE(describe(*definition),
                 QStringLiteral(
                     "Spot 575 | SPOT | 0 | Generic | Generic | 1 | 42 | 3 | Channel 1 |  | 1 | 1 | Channel 2 |  | 1 | "
                     "2 | Channel 3 |  | 1"));
    }

    void addedChannelIsCurrentNamedAndReadyForTyping()
    {
        auto definition = definitionWithChannels(3);
        LocalFixtureDefinitionListModel library;
        fill(library, definition.get(), 1);
        QKVFixtureDefinition* edited = library.definitionAt(0);
        Form form;
        form.show();
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        form.setFixtureDefinition(edited);
        QSignalSpy contentEdited(&form, &LocalFixtureDefinitionEditForm::contentEdited);

        form.click("addChannel");
        QVERIFY(contentEdited.size() == 1 && edited->channelCount() == 4 && library.index(0, 1).data() == 4);
        // The new channel takes its automatic short name at once.
        QCOMPARE(edited->channels().last()->shortName(), QStringLiteral("Channel 4"));
        QCOMPARE(form.edit("channelNameShort")->text(), QStringLiteral("Channel 4"));
        const QModelIndex current = form.list()->currentIndex();
        QVERIFY(form.list()->selectionModel()->selectedIndexes().size() == 2 && form.edit("channelName")->hasFocus());
        QCOMPARE(form.buttonStates(), QStringLiteral("DU-"));

        // Typing replaces the selected default name; the automatic short name follows.
        QTest::keyClicks(form.edit("channelName"), QStringLiteral("Pan fine adjustment"));
        QCOMPARE(edited->channels().last()->name(), QStringLiteral("Pan fine adjustment"));
        QCOMPARE(form.edit("channelNameShort")->text(), QStringLiteral("Pan fine adj"));
        QCOMPARE(current.siblingAtColumn(1).data().toString(), QStringLiteral("Pan fine adjustment"));
        QCOMPARE(contentEdited.size(), 1 + 19);
    }

    void upDownAndDeleteFollowTheCurrentNumber()
    {
        Form form;
        auto four = definitionWithChannels(4);
        form.setFixtureDefinition(four.get());
        form.selectChannelNumber(1);
        QCOMPARE(form.buttonStates(), QStringLiteral("D-d"));
        form.selectChannelNumber(2);
        QCOMPARE(form.buttonStates(), QStringLiteral("DUd"));
        form.selectChannelNumber(4);

        // Moving the last channel up twice: the list shows it second, still current.
        QSignalSpy edited(&form, &LocalFixtureDefinitionEditForm::contentEdited);
        form.click("channelUp");
        form.click("channelUp");
        QCOMPARE(columnTexts(form.list()->model(), 1),
                 (QStringList {"Channel 1", "Channel 4", "Channel 2", "Channel 3"}));
        QCOMPARE(form.list()->currentIndex().siblingAtColumn(0).data().toInt(), 2);
        form.click("channelDown");
        QCOMPARE(columnTexts(form.list()->model(), 1),
                 (QStringList {"Channel 1", "Channel 2", "Channel 4", "Channel 3"}));

        // Deleting the current channel closes the gap and keeps a neighbour current.
        form.click("pushButton");
        QCOMPARE(columnTexts(form.list()->model(), 1), (QStringList {"Channel 1", "Channel 2", "Channel 3"}));
        QVERIFY(four->channelCount() == 3 && edited.size() == 4);
        QCOMPARE(form.edit("channelName")->text(), form.list()->currentIndex().siblingAtColumn(1).data().toString());
    }

    void typeAndShortNamesReachTheDefinition()
    {
        auto definition = definitionWithChannels(1);
        Form form;
        form.setFixtureDefinition(definition.get());
        QSignalSpy edited(&form, &LocalFixtureDefinitionEditForm::contentEdited);

        // The type the user picks is written once; the type it has already is no change.
        auto* type = form.findChild<QComboBox*>("fixtureType");
        QTest::keyClick(type, Qt::Key_Down);
        QCOMPARE(definition->type(), int(FixtureType::Scanner));
        Q_EMIT type->activated(int(FixtureType::Scanner));
        QCOMPARE(edited.size(), 1);

        // Automatic: the short name follows every keystroke and cannot be typed into.
        QVERIFY(form.edit("fixtureNameShort")->isReadOnly());
        QTest::keyClicks(form.edit("fixtureName"), QStringLiteral(" Zoom Profile Wide"));
        QCOMPARE(definition->name(), QStringLiteral("Spot 575 Zoom Profile Wide"));
        QCOMPARE(form.edit("fixtureNameShort")->text(), QStringLiteral("Spot 575 Zoom Profil"));
        // Either Auto box reaches the definition.
        form.click("autoFixtureNameShort");
        QVERIFY(!definition->autoShortName() && !form.edit("fixtureNameShort")->isReadOnly());

        // Turning Auto off makes the field editable; typed text is cut to 20.
        form.click("autoManufacturerNameShort");
        QVERIFY(!definition->autoManufacturerShort() && !form.edit("manufacturerNameShort")->isReadOnly());
        form.edit("manufacturerNameShort")->clear();
        const int before = edited.size();
        QTest::keyClicks(form.edit("manufacturerNameShort"), QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXY"));
        QCOMPARE(definition->manufacturerShort(), QStringLiteral("ABCDEFGHIJKLMNOPQRST"));
        QCOMPARE(edited.size(), before + 25);
        // Turning it back on derives the short name again.
        form.click("autoManufacturerNameShort");
        QVERIFY(definition->manufacturerShort() == "Generic" && edited.size() == before + 26);

        // The channel's short name is cut to 12 by the channel.
        form.selectChannelNumber(1);
        form.click("autoChannelNameShort");
        form.edit("channelNameShort")->clear();
        QTest::keyClicks(form.edit("channelNameShort"), QStringLiteral("0123456789abcdef"));
        QCOMPARE(definition->channels().at(0)->shortName(), QStringLiteral("0123456789ab"));
        QVERIFY(!definition->channels().at(0)->autoShortName());

        // What the device would change shows under the fields while typing, and goes again.
        auto* findings = form.findChild<QLabel*>("fitFindings");
        QVERIFY(findings->isHidden());
        QTest::sendKeyEvent(QTest::Click, form.edit("channelName"), Qt::Key_unknown, QString::fromUtf8("中"), {});
        QVERIFY(!findings->isHidden() && findings->text().contains("Channel 1 Name"));
        QTest::keyClick(form.edit("channelName"), Qt::Key_Backspace);
        QVERIFY(findings->isHidden());
    }

    void removingTheEditedDefinitionEmptiesTheForm()
    {
        LocalFixtureDefinitionListModel library;
        fill(library, definitionWithChannels(2).get(), 3);
        Form form;
        form.setFixtureDefinition(library.definitionAt(1));
        form.selectChannelNumber(2);
        form.fixtureDefinitionToBeRemoved(library.index(0, 0));
        QVERIFY(form.isEnabled());
        form.fixtureDefinitionToBeRemoved(library.index(1, 0));
        QVERIFY(!form.isEnabled() && !form.fixtureDefinition() && form.list()->model()->rowCount() == 0);
        QVERIFY(form.edit("fixtureName")->text().isEmpty() && form.edit("channelName")->text().isEmpty());
        QVERIFY(library.removeRows(1, 1));

        // A definition deleted behind the form's back leaves it harmless.
        form.setFixtureDefinition(library.definitionAt(0));
        QVERIFY(library.removeRows(0, 1));
        QSignalSpy edited(&form, &LocalFixtureDefinitionEditForm::contentEdited);
        QTest::keyClicks(form.edit("fixtureName"), QStringLiteral("x"));
        form.click("addChannel");
        QCOMPARE(edited.size(), 0);
    }

    void narrowRoomStacksTheFormInsteadOfScrollingSideways()
    {
        QScrollArea area; // as the library panel holds it: the room is the viewport's
        area.setWidgetResizable(true);
        auto* form = new Form;
        area.setWidget(form);
        const auto y = [form](const char* name) { return form->findChild<QWidget*>(name)->mapTo(form, QPoint()).y(); };
        // 400: the library half of an 800-pixel window.
        for (int width : {1400, 400, 1400}) {
            area.resize(width, 600);
            area.show();
            QVERIFY(QTest::qWaitForWindowExposed(&area));
            QTRY_COMPARE(y("generalShortGroup") > y("generalGroup"), width < 1000);
            QTRY_COMPARE(y("label_fixtureNameShort") < y("fixtureNameShort"), width < 1000);
            QTRY_COMPARE(y("label_channelName") < y("channelName"), width < 1000);
            QCOMPARE(area.horizontalScrollBar()->maximum(), 0);
        }
        const QFontMetrics metrics = form->edit("fixtureNameShort")->fontMetrics();
        QVERIFY(form->edit("fixtureNameShort")->width() > metrics.horizontalAdvance(QString(20, 'W')));
        QVERIFY(form->edit("channelNameShort")->minimumWidth() > metrics.horizontalAdvance(QString(12, 'W')));
    }
};

QTEST_MAIN(TestLocalFixtureDefinitionEditForm)
#include "TestLocalFixtureDefinitionEditForm.moc"
