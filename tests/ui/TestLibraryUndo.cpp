#include "LibraryForm.h"
#include "LocalFixtureDefinitionEditForm.h"
#include "LocalFixtureDefinitionListModel.h"
#include "QKVFixtureDefinition.h"
#include "RemoteFixtureDefinitionListModel.h"
#include "TestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMimeData>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QUndoStack>

#include <map>

namespace {

using ListModel = LocalFixtureDefinitionListModel;

QString libraryText(const LibraryForm& form)
{
    return describe(form.listModel()->definitions(), true).join(QLatin1Char('\n'));
}

/// Makes the proxy rows `rows` the selection, the last one current and edited.
void selectRows(LibraryForm& form, const QList<int>& rows)
{
    QTableView* table = form.tableView();
    table->selectionModel()->clearSelection();
    for (int row : rows) {
        const QModelIndex index = table->model()->index(row, 0);
        table->selectionModel()->setCurrentIndex(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    form.updateCurrentFixtureDefinition();
}

} // namespace

/// Undo and redo of every kind of change, and the clipboard.
class TestLibraryUndo : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void randomStepsUndoAndRedoExactly()
    {
        LibraryForm form;
        Random random(20261207);
        std::vector<std::unique_ptr<QKVFixtureDefinition>> start;
        QList<QKVFixtureDefinition*> list;
        for (int i = 0; i < 50; ++i) {
            list << start.emplace_back(randomDefinition(random)).get();
        }
        form.addDefinitions(list);
        // Shown once, as the user would meet them: the editor settles odd channel numbers
        // and automatic short names when it shows a definition, which is no step.
        for (int row = 0; row < form.listModel()->rowCount(); ++row) {
            selectRows(form, {row});
        }
        QUndoStack* stack = form.undoStack();
        stack->clear();
        std::map<int, QString> seen {{0, libraryText(form)}};
        const auto edit = [&form](const char* field) { return form.findChild<QLineEdit*>(field); };
        for (int step = 0; step < 300; ++step) {
            const int rows = form.listModel()->rowCount();
            const int row = rows > 0 ? random.below(rows) : 0;
            if (rows > 0) {
                selectRows(form, {row, random.below(rows)});
            }
            switch (rows > 0 ? random.below(8) : 0) {
                case 0:
                    form.on_addFixtureDefinition_clicked();
                    break;
                case 1:
                    form.deleteSelected();
                    break;
                case 2:
                    form.duplicateFixtures_clicked();
                    break;
                case 3:
                    form.copySelection();
                    QVERIFY(form.paste());
                    break;
                case 4:
                    QTest::keyClicks(edit("fixtureName"), random.chance(50) ? "x" : "yz");
                    break;
                case 5:
                    QTest::mouseClick(form.findChild<QAbstractButton*>("addChannel"), Qt::LeftButton);
                    seen[stack->index()] = libraryText(form);
                    QTest::keyClicks(edit("channelName"), "Pan");
                    break;
                case 6:
                    QTest::mouseClick(form.findChild<QAbstractButton*>("autoFixtureNameShort"), Qt::LeftButton);
                    break;
                default:
                    form.cutSelection();
                    break;
            }
            seen[stack->index()] = libraryText(form);
            // Saved half way: the library counts as unchanged only at that step.
            if (step == 150) {
                stack->setClean();
            }
            QCOMPARE(stack->isClean(), step == 150);
        }
        const int top = stack->index();
        QVERIFY2(top > 200, qPrintable(QString::number(top)));
        while (stack->canUndo()) {
            stack->undo();
            const QString now = libraryText(form);
            const QString want = seen.at(stack->index());
            QCOMPARE(now, want);
        }
        while (stack->canRedo()) {
            stack->redo();
            QCOMPARE(libraryText(form), seen.at(stack->index()));
            QCOMPARE(stack->isClean(), stack->index() == stack->cleanIndex());
        }
        QCOMPARE(stack->index(), top);
    }

    void keystrokesMergeAndEveryStepIsNamed()
    {
        LibraryForm form;
        QKVFixtureDefinition definition;
        definition.setName(QStringLiteral("Spot"));
        form.addDefinitions({&definition}, {}, QStringLiteral("Add"));
        QUndoStack* stack = form.undoStack();
        selectRows(form, {0});
        auto* name = form.findChild<QLineEdit*>("fixtureName");
        QTest::keyClicks(name, " 575");
        QCOMPARE(stack->count(), 2);
        QCOMPARE(stack->undoText(), QStringLiteral("Rename Definition"));
        QTest::mouseClick(form.findChild<QAbstractButton*>("addChannel"), Qt::LeftButton);
        QTest::keyClicks(form.findChild<QLineEdit*>("channelName"), "Dim");
        QCOMPARE(stack->undoText(), QStringLiteral("Rename Channel"));
        stack->undo();
        stack->undo();
        QCOMPARE(stack->undoText(), QStringLiteral("Rename Definition"));
        stack->undo();
        QCOMPARE(form.listModel()->definitionAt(0)->name(), QStringLiteral("Spot"));
        // The step shows what it touched: its row is the current one in the editor.
        QCOMPARE(form.editForm()->fixtureDefinition(), form.listModel()->definitionAt(0));

        // Cut and paste: one step each, the text form for other programs alongside.
        selectRows(form, {0});
        form.cutSelection();
        QCOMPARE(stack->undoText(), QStringLiteral("Cut"));
        QVERIFY(QApplication::clipboard()->mimeData()->text().startsWith("Spot\t"));
        QVERIFY(form.paste() && form.paste());
        QCOMPARE(form.listModel()->rowCount(), 2);
        QMimeData junk;
        junk.setData(QStringLiteral("application/x-qrd-fixture-definitions"), "not a stream");
        QVERIFY(!form.paste(&junk) && form.listModel()->rowCount() == 2);

        // Rows of the device's table dropped on the library's ask for a download; the
        // library's own rows dragged within it change nothing.
        QSignalSpy dropped(&form, &LibraryForm::deviceRowsDropped);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        for (const QString& type : {RemoteFixtureDefinitionListModel::RowsMimeType, ListModel::RowsMimeType}) {
            QMimeData rows;
            rows.setData(type, "0");
            QWidget* viewport = form.tableView()->viewport();
            QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &rows, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(viewport, &enter);
            QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &rows, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(viewport, &drop);
        }
        QCOMPARE(dropped.size(), 1);
        QCOMPARE(form.listModel()->rowCount(), 2);
    }
};

QTEST_MAIN(TestLibraryUndo)
#include "TestLibraryUndo.moc"
