#pragma once

#include <QModelIndex>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>

class LocalChannelListModel;
class QKVFixtureChannel;
#include "QKVFixtureDefinition.h"
class QLabel;
class QSortFilterProxyModel;

namespace Ui {
class LocalFixtureDefinitionEditForm;
}

/// The editor below the library table. It edits one definition of the library in place:
/// names and short names, the fixture type and the channels. Every change the user makes
/// is written straight into the definition and announced with contentEdited(); showing a
/// definition changes nothing and announces nothing.
class LocalFixtureDefinitionEditForm : public QWidget
{
    Q_OBJECT

public:
    explicit LocalFixtureDefinitionEditForm(QWidget* parent = nullptr);
    ~LocalFixtureDefinitionEditForm() override;

    /// Edits `definition` (owned by the library's list model), or nothing when null.
    void setFixtureDefinition(QKVFixtureDefinition* definition);
    QKVFixtureDefinition* fixtureDefinition() const { return m_definition; }
    /// Puts the keyboard focus into the name field with its text selected, so what the
    /// user types replaces the name.
    void editName();
    /// Lays the form's tab stops, in their designed order, after `previous`. Moving a
    /// widget in the focus chain moves it alone, so the form is laid again stop by stop.
    void setTabOrderAfter(QWidget* previous);

    /// The channel model, for the library panel's tests and views.
    LocalChannelListModel* channelModel() const { return m_channelModel.get(); }

Q_SIGNALS:
    /// The user changed the edited definition.
    void contentEdited();
    /// The same change, naming the widget it was made in; `typed` for a text field, whose
    /// keystrokes may be taken together.
    void fieldEdited(const QString& field, bool typed);

public Q_SLOTS:
    /// Called before the library removes the row at `index`: stops editing the
    /// definition of that row, so the form never holds a deleted definition.
    void fixtureDefinitionToBeRemoved(QModelIndex index);

private Q_SLOTS:
    void on_fixtureName_textEdited(const QString& text);
    void on_manufacturerName_textEdited(const QString& text);
    void on_fixtureNameShort_textEdited(const QString& text);
    void on_manufacturerNameShort_textEdited(const QString& text);
    void on_autoFixtureNameShort_toggled(bool checked);
    void on_autoManufacturerNameShort_toggled(bool checked);
    void on_autoFixtureNameShort_clicked();
    void on_autoManufacturerNameShort_clicked();
    void on_fixtureType_activated(int index);

    void on_addChannel_clicked();
    void on_pushButton_clicked();
    void on_channelUp_clicked();
    void on_channelDown_clicked();
    void currentChanged(const QModelIndex& current, const QModelIndex& previous);

    void on_channelName_textEdited(const QString& text);
    void on_channelNameShort_textEdited(const QString& text);
    void on_autoChannelNameShort_toggled(bool checked);
    void on_autoChannelNameShort_clicked();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    /// Puts the short names under the long ones when both groups side by side would not
    /// fit the room there is (in a scroll area, its viewport), and where even that is too
    /// wide, the labels above their fields and the channel fields under the channel list,
    /// so no field is squeezed below what the device shows and nothing scrolls sideways.
    void placeShortNameGroup();
    enum class Arrangement { SideBySide, Stacked, Narrow };
    /// The short names beside or under the long ones, then the findings, then the channels.
    void placeGroups(bool stacked);

public:
    /// Gives the keyboard to the named field, to show where a change was undone.
    void showField(const QString& field);

private:
    /// Announces an edit made in the sending widget.
    void announceEdit();
    /// Lists what the devices would refuse or change about the definition shown.
    void showFindings();
    void clearForm();
    void showFixtureShortNames();
    /// Swaps the current channel's number with the one before (`step` -1) or after (+1).
    void moveCurrentChannel(int step);
    /// Applies a change of the names or their Auto flags to the definition shown and shows
    /// the short names that follow; `announce`: the change is the user's own edit.
    void changeNames(const std::function<void(QKVFixtureDefinition&)>& change, bool announce = true);
    void showCurrentChannel();
    void updateChannelButtons();
    /// The current row of the channel list in the channel model, or -1.
    int currentChannelRow() const;
    QKVFixtureChannel* currentChannel() const;
    /// Tells the channel list that the current channel's name changed.
    void announceCurrentChannel();
    void makeChannelCurrent(int modelRow);

    std::unique_ptr<Ui::LocalFixtureDefinitionEditForm> m_ui;
    // Guarded: the library owns the definition and may delete it.
    QPointer<QKVFixtureDefinition> m_definition;
    std::unique_ptr<LocalChannelListModel> m_channelModel;
    QSortFilterProxyModel* m_channelProxy;
    QList<QWidget*> m_tabStops;
    QLabel* m_findings = nullptr;
    Arrangement m_arrangement = Arrangement::SideBySide;
    int m_sideBySideWidth = 0;
    int m_stackedWidth = 0;
};
