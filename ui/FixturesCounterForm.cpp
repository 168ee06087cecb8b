#include "FixturesCounterForm.h"
#include "ui_FixturesCounterForm.h"

FixturesCounterForm::FixturesCounterForm(QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::FixturesCounterForm>())
{
    m_ui->setupUi(this);
}

FixturesCounterForm::~FixturesCounterForm() = default;

void FixturesCounterForm::updateCounts(int nVisible, int nTotal, int nSelected)
{
    if (nVisible == 0 && nTotal == 0) {
        m_ui->visibleTotalLabel->clear();
        m_ui->selectionLabel->clear();
        return;
    }

    // The number agrees with the total: "0 of 1 Fixture Definition" is singular.
    if (nVisible == nTotal) {
        m_ui->visibleTotalLabel->setText(nVisible == 1 ? tr("%1 Fixture Definition").arg(1)
                                                       : tr("%1 Fixture Definitions").arg(nVisible));
    } else {
        m_ui->visibleTotalLabel->setText(nTotal == 1 ? tr("%1 of %2 Fixture Definition").arg(nVisible).arg(1)
                                                     : tr("%1 of %2 Fixture Definitions").arg(nVisible).arg(nTotal));
    }

    if (nSelected != 0) {
        m_ui->selectionLabel->setText(tr(" (%1 Selected)").arg(nSelected));
    } else {
        m_ui->selectionLabel->clear();
    }
}
