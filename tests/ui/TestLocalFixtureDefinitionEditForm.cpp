#include "LocalChannelListModel.h"
#include "LocalFixtureDefinitionEditForm.h"
#include "LocalFixtureDefinitionListModel.h"
#include "QKVFixtureChannel.h"
#include "QKVFixtureDefinition.h"
#include "TestSupport.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>

#include <memory>

namespace {

std::unique_ptr<QKVFixtureDefinition> definitionWithChannels(int count)
{
    auto definition = std::make_unique<QKVFixtureDefinition>();
    definition->setName(QStringLiteral("Spot 575"));
    definition->setManufacturer(QStringLiteral("Generic"));
    definition->setType(FixtureType::MovingHead);
    for (int i = 1; i <= count; ++i) {
        definition->appendChannel(makeChannel(i, QStringLiteral("Channel name %1").arg(i)));
    }
    return definition;
}

/// Every widget the tests touch, found by the names the form gives them.
struct Widgets
{
    explicit Widgets(LocalFixtureDefinitionEditForm& form)
        : fixtureName(form.findChild<QLineEdit*>("fixtureName"))
        , manufacturerName(form.findChild<QLineEdit*>("manufacturerName"))
        , fixtureNameShort(form.findChild<QLineEdit*>("fixtureNameShort"))
        , manufacturerNameShort(form.findChild<QLineEdit*>("manufacturerNameShort"))
        , autoFixtureNameShort(form.findChild<QCheckBox*>("autoFixtureNameShort"))
        , autoManufacturerNameShort(form.findChild<QCheckBox*>("autoManufacturerNameShort"))
        , fixtureType(form.findChild<QComboBox*>("fixtureType"))
        , channelListView(form.findChild<QTreeView*>("channelListView"))
        , addChannel(form.findChild<QAbstractButton*>("addChannel"))
        , deleteChannel(form.findChild<QAbstractButton*>("pushButton"))
        , channelUp(form.findChild<QAbstractButton*>("channelUp"))
        , channelDown(form.findChild<QAbstractButton*>("channelDown"))
        , channelName(form.findChild<QLineEdit*>("channelName"))
        , channelNameShort(form.findChild<QLineEdit*>("channelNameShort"))
        , autoChannelNameShort(form.findChild<QCheckBox*>("autoChannelNameShort"))
        , channelEditFrame(form.findChild<QWidget*>("channelEditFrame"))
    {
    }

    /// Makes the channel with this number current, as a click on its row would.
    void selectChannelNumber(int number)
    {
        QAbstractItemModel* model = channelListView->model();
        for (int row = 0; row < model->rowCount(); ++row) {
            if (model->index(row, 0).data().toInt() == number) {
                channelListView->setCurrentIndex(model->index(row, 0));
                return;
            }
        }
        QFAIL("no such channel");
    }

    /// Names in the order the list shows them.
    QStringList shownChannelNames() const
    {
        QStringList names;
        QAbstractItemModel* model = channelListView->model();
        for (int row = 0; row < model->rowCount(); ++row) {
            names << model->index(row, 1).data().toString();
        }
        return names;
    }

    QString buttonStates() const
    {
        return QStringLiteral("%1%2%3")
            .arg(deleteChannel->isEnabled() ? 'D' : '-')
            .arg(channelUp->isEnabled() ? 'U' : '-')
            .arg(channelDown->isEnabled() ? 'd' : '-');
    }

    QLineEdit* fixtureName;
    QLineEdit* manufacturerName;
    QLineEdit* fixtureNameShort;
    QLineEdit* manufacturerNameShort;
    QCheckBox* autoFixtureNameShort;
    QCheckBox* autoManufacturerNameShort;
    QComboBox* fixtureType;
    QTreeView* channelListView;
    QAbstractButton* addChannel;
    QAbstractButton* deleteChannel;
    QAbstractButton* channelUp;
    QAbstractButton* channelDown;
    QLineEdit* channelName;
    QLineEdit* channelNameShort;
    QCheckBox* autoChannelNameShort;
    QWidget* channelEditFrame;
};

} // namespace

/// The definition editor below the library table, driven as a user drives it.
class TestLocalFixtureDefinitionEditForm : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void startsEmptyAndDisabled()
    {
        LocalFixtureDefinitionEditForm form;
        Widgets w(form);
        QVERIFY(!form.isEnabled());
        QVERIFY(w.fixtureName->text().isEmpty());
        QCOMPARE(w.buttonStates(), QStringLiteral("---"));
        QCOMPARE(w.fixtureType->count(), 11);
        QCOMPARE(w.fixtureType->itemText(3), QStringLiteral("Color Changer"));
        QCOMPARE(w.fixtureType->itemText(10), QStringLiteral("Other"));
        QVERIFY(!w.fixtureType->isHidden());
        QVERIFY(form.findChild<QWidget*>("textEdit")->isHidden());
    }

    void showingADefinitionEmitsAndChangesNothing()
    {
        auto definition = definitionWithChannels(3);
        definition->setAutoShortName(false);
        definition->setShortName(QStringLiteral("SPOT"));
        // A code the table has no entry for, as a device may send it, stays as it is.
        definition->setType(42);
        definition->channels().at(0)->setNumber(7);

        LocalFixtureDefinitionEditForm form;
        Widgets w(form);
        QSignalSpy edited(&form, &LocalFixtureDefinitionEditForm::contentEdited);
        form.setFixtureDefinition(definition.get());
        QVERIFY(form.isEnabled());
        QCOMPARE(w.fixtureName->text(), QStringLiteral("Spot 575"));
        QCOMPARE(w.fixtureNameShort->text(), QStringLiteral("SPOT"));
        QVERIFY(!w.autoFixtureNameShort->isChecked() && !w.fixtureNameShort->isReadOnly());
        QVERIFY(w.autoManufacturerNameShort->isChecked() && w.manufacturerNameShort->isReadOnly());
        QCOMPARE(w.manufacturerNameShort->text(), QStringLiteral("Generic"));
        QCOMPARE(w.fixtureType->currentIndex(), -1);
        QVERIFY(!w.channelEditFrame->isEnabled());

        auto other = definitionWithChannels(2);
        other->setType(FixtureType::Hazer);
        form.setFixtureDefinition(other.get());
        QCOMPARE(w.fixtureType->currentIndex(), int(FixtureType::Hazer));
        form.setFixtureDefinition(definition.get());
        form.setFixtureDefinition(nullptr);
        QVERIFY(!form.isEnabled());
        QVERIFY(w.fixtureName->text().isEmpty());
        QCOMPARE(edited.size(), 0);
        // Showing derives the automatic short name and compacts the channel numbers
        // (7, 2, 3 -> 3, 1, 2); the type code stays.
        QCOMPARE(describe(*definition),
                 QStringLiteral("Spot 575 | SPOT | 0 | Generic | Generic | 1 | 42 | 3 | Channel name 1 |  | 1 | "
                                "1 | Channel name 2 |  | 1 | 2 | Channel name 3 |  | 1"));
    }

    void typeChosenByTheUserIsWrittenOnce()
    {
        auto definition = definitionWithChannels(1);
        LocalFixtureDefinitionEditForm form;
        Widgets w(form);
        form.setFixtureDefinition(definition.get());
        QSignalSpy edited(&form, &LocalFixtureDefinitionEditForm::contentEdited);
        QTest::keyClick(w.fixtureType, Qt::Key_Down);
        QCOMPARE(definition->type(), int(FixtureType::Scanner));
        QCOMPARE(edited.size(), 1);
        // Picking the type it already has is no change.
        Q_EMIT w.fixtureType->activated(int(FixtureType::Scanner));
        QCOMPARE(edited.size(), 1);
    }

    void addingAChannelMakesItCurrentAndReadyForTyping()
    {
        auto definition = definitionWithChannels(3);
        LocalFixtureDefinitionListModel library;
        QVERIFY(library.insertRows(0, 1));
        QVERIFY(library.setData(library.index(0, 0),
                                LocalFixtureDefinitionListModel::definitionVariant(definition.get()),
                                LocalFixtureDefinitionListModel::DefinitionRole));
        QKVFixtureDefinition* edited = library.definitionAt(0);

        LocalFixtureDefinitionEditForm form;
        Widgets w(form);
        form.show();
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        form.setFixtureDefinition(edited);
        QSignalSpy contentEdited(&form, &LocalFixtureDefinitionEditForm::contentEdited);

        QTest::mouseClick(w.addChannel, Qt::LeftButton);
        QCOMPARE(contentEdited.size(), 1);
        QCOMPARE(edited->channelCount(), 4);
        QCOMPARE(library.index(0, 1).data().toInt(), 4);
        const QModelIndex current = w.channelListView->currentIndex();
        QCOMPARE(current.siblingAtColumn(0).data().toInt(), 4);
        QCOMPARE(current.siblingAtColumn(1).data().toString(), QStringLiteral("Channel 4"));
        QCOMPARE(w.channelListView->selectionModel()->selectedIndexes().size(), 2);
        QCOMPARE(w.channelName->text(), QStringLiteral("Channel 4"));
        QVERIFY(w.channelName->hasFocus());
        QCOMPARE(w.channelName->selectedText(), QStringLiteral("Channel 4"));
        QCOMPARE(w.buttonStates(), QStringLiteral("DU-"));

        // Typing replaces the default name; the automatic short name follows.
        QTest::keyClicks(w.channelName, QStringLiteral("Pan fine adjustment"));
        QCOMPARE(edited->channels().last()->name(), QStringLiteral("Pan fine adjustment"));
        QCOMPARE(w.channelNameShort->text(), QStringLiteral("Pan fine adj"));
        QCOMPARE(current.siblingAtColumn(1).data().toString(), QStringLiteral("Pan fine adjustment"));
        QCOMPARE(contentEdited.size(), 1 + 19);
    }

    void upAndDownFollowTheCurrentNumber()
    {
        auto definition = definitionWithChannels(1);
        LocalFixtureDefinitionEditForm form;
        Widgets w(form);
        form.setFixtureDefinition(definition.get());
        QCOMPARE(w.buttonStates(), QStringLiteral("---"));
        w.selectChannelNumber(1);
        QCOMPARE(w.buttonStates(), QStringLiteral("D--"));

        auto four = definitionWithChannels(4);
        form.setFixtureDefinition(four.get());
        w.selectChannelNumber(1);
        QCOMPARE(w.buttonStates(), QStringLiteral("D-d"));
        w.selectChannelNumber(2);
        QCOMPARE(w.buttonStates(), QStringLiteral("DUd"));
        w.selectChannelNumber(4);
        QCOMPARE(w.buttonStates(), QStringLiteral("DU-"));

        // Moving the last channel up twice: the list shows it second, still current.
        QSignalSpy edited(&form, &LocalFixtureDefinitionEditForm::contentEdited);
        QTest::mouseClick(w.channelUp, Qt::LeftButton);
        QTest::mouseClick(w.channelUp, Qt::LeftButton);
        QCOMPARE(w.shownChannelNames(),
                 (QStringList {"Channel name 1", "Channel name 4", "Channel name 2", "Channel name 3"}));
        QCOMPARE(w.channelListView->currentIndex().siblingAtColumn(0).data().toInt(), 2);
        QCOMPARE(w.buttonStates(), QStringLiteral("DUd"));
        QTest::mouseClick(w.channelDown, Qt::LeftButton);
        QCOMPARE(w.shownChannelNames(),
                 (QStringList {"Channel name 1", "Channel name 2", "Channel name 4", "Channel name 3"}));
        QCOMPARE(edited.size(), 3);

        // Deleting the current channel closes the gap and keeps a neighbour current.
        QTest::mouseClick(w.deleteChannel, Qt::LeftButton);
        QCOMPARE(w.shownChannelNames(), (QStringList {"Channel name 1", "Channel name 2", "Channel name 3"}));
        QCOMPARE(four->channelCount(), 3);
        QCOMPARE(edited.size(), 4);
        QVERIFY(w.channelListView->currentIndex().isValid());
        QCOMPARE(w.channelName->text(), w.channelListView->currentIndex().siblingAtColumn(1).data().toString());
    }

    void shortNamesAreCutAndFollowTheNameWhenAutomatic()
    {
        auto definition = definitionWithChannels(1);
        LocalFixtureDefinitionEditForm form;
        Widgets w(form);
        form.setFixtureDefinition(definition.get());
        QSignalSpy edited(&form, &LocalFixtureDefinitionEditForm::contentEdited);

        // Automatic: the short name follows every keystroke and cannot be typed into.
        QVERIFY(w.fixtureNameShort->isReadOnly());
        QTest::keyClicks(w.fixtureName, QStringLiteral(" Zoom"));
        QCOMPARE(definition->name(), QStringLiteral("Spot 575 Zoom"));
        QCOMPARE(w.fixtureNameShort->text(), QStringLiteral("Spot 575 Zoom"));
        QTest::keyClicks(w.fixtureName, QStringLiteral(" Profile Wide"));
        QCOMPARE(w.fixtureNameShort->text(), QStringLiteral("Spot 575 Zoom Profil"));
        QCOMPARE(definition->shortName(), QStringLiteral("Spot 575 Zoom Profil"));

        // Turning Auto off makes the field editable; typed text is cut to 20.
        QTest::mouseClick(w.autoManufacturerNameShort, Qt::LeftButton);
        QVERIFY(!definition->autoManufacturerShort());
        QVERIFY(!w.manufacturerNameShort->isReadOnly());
        w.manufacturerNameShort->clear();
        const int before = edited.size();
        QTest::keyClicks(w.manufacturerNameShort, QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXY"));
        QCOMPARE(definition->manufacturerShort(), QStringLiteral("ABCDEFGHIJKLMNOPQRST"));
        QCOMPARE(w.manufacturerNameShort->text(), QStringLiteral("ABCDEFGHIJKLMNOPQRST"));
        QCOMPARE(edited.size(), before + 25);
        // Turning it back on derives the short name again.
        QTest::mouseClick(w.autoManufacturerNameShort, Qt::LeftButton);
        QCOMPARE(definition->manufacturerShort(), QStringLiteral("Generic"));
        QCOMPARE(edited.size(), before + 26);

        // The channel's short name is cut to 12 by the channel.
        w.selectChannelNumber(1);
        QTest::mouseClick(w.autoChannelNameShort, Qt::LeftButton);
        QVERIFY(!w.channelNameShort->isReadOnly());
        w.channelNameShort->clear();
        QTest::keyClicks(w.channelNameShort, QStringLiteral("0123456789abcdef"));
        QCOMPARE(definition->channels().at(0)->shortName(), QStringLiteral("0123456789ab"));
        QCOMPARE(w.channelNameShort->text(), QStringLiteral("0123456789ab"));
        QVERIFY(!definition->channels().at(0)->autoShortName());
    }

    void removingTheEditedDefinitionEmptiesTheForm()
    {
        LocalFixtureDefinitionListModel library;
        auto source = definitionWithChannels(2);
        for (int row = 0; row < 3; ++row) {
            QVERIFY(library.insertRows(row, 1));
            QVERIFY(library.setData(library.index(row, 0),
                                    LocalFixtureDefinitionListModel::definitionVariant(source.get()),
                                    LocalFixtureDefinitionListModel::DefinitionRole));
        }
        LocalFixtureDefinitionEditForm form;
        Widgets w(form);
        form.setFixtureDefinition(library.definitionAt(1));
        w.selectChannelNumber(2);

        form.fixtureDefinitionToBeRemoved(library.index(0, 0));
        QVERIFY(form.isEnabled());
        form.fixtureDefinitionToBeRemoved(library.index(1, 0));
        QVERIFY(!form.isEnabled());
        QVERIFY(!form.fixtureDefinition());
        QVERIFY(w.fixtureName->text().isEmpty() && w.channelName->text().isEmpty());
        QCOMPARE(w.channelListView->model()->rowCount(), 0);
        QVERIFY(library.removeRows(1, 1));

        // A definition deleted behind the form's back leaves it harmless.
        form.setFixtureDefinition(library.definitionAt(0));
        QVERIFY(library.removeRows(0, 1));
        QSignalSpy edited(&form, &LocalFixtureDefinitionEditForm::contentEdited);
        QTest::keyClicks(w.fixtureName, QStringLiteral("x"));
        QTest::mouseClick(w.addChannel, Qt::LeftButton);
        QCOMPARE(edited.size(), 0);
    }

    void screenshot()
    {
        const QString folder = qEnvironmentVariable("QRD_SCREENSHOT_DIR");
        if (folder.isEmpty()) {
            QSKIP("set QRD_SCREENSHOT_DIR to save a picture of the form");
        }
        auto definition = std::make_unique<QKVFixtureDefinition>();
        definition->setName(QStringLiteral("Beam 230 Moving Head"));
        definition->setManufacturer(QStringLiteral("Generic Lighting"));
        definition->setType(FixtureType::MovingHead);
        const QStringList names {"Pan",
                                 "Pan Fine",
                                 "Tilt",
                                 "Tilt Fine",
                                 "Pan/Tilt Speed",
                                 "Dimmer",
                                 "Shutter / Strobe",
                                 "Color Wheel",
                                 "Gobo Wheel",
                                 "Prism",
                                 "Focus",
                                 "Reset / Lamp Control"};
        for (int i = 0; i < names.size(); ++i) {
            definition->appendChannel(makeChannel(i + 1, names.at(i)));
        }
        LocalFixtureDefinitionEditForm form;
        form.resize(760, 420);
        form.show();
        form.setFixtureDefinition(definition.get());
        Widgets(form).selectChannelNumber(5);
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QVERIFY(form.grab().save(folder + QStringLiteral("/edit-form.png")));
    }
};

QTEST_MAIN(TestLocalFixtureDefinitionEditForm)
#include "TestLocalFixtureDefinitionEditForm.moc"
