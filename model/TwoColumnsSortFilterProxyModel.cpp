#include "TwoColumnsSortFilterProxyModel.h"

#include <QRegularExpression>

#include "LocalFixtureDefinitionListModel.h"

namespace {
constexpr int NameColumn = LocalFixtureDefinitionListModel::NameColumn;
constexpr int ManufacturerColumn = LocalFixtureDefinitionListModel::ManufacturerColumn;
constexpr int FitColumn = LocalFixtureDefinitionListModel::FitColumn;
} // namespace

TwoColumnsSortFilterProxyModel::TwoColumnsSortFilterProxyModel(QObject* parent) : QSortFilterProxyModel(parent) { }

void TwoColumnsSortFilterProxyModel::setFilterFlag(bool& flag, bool on)
{
    // Filtering again costs a pass over the library: only for a real change.
    if (flag != on) {
        flag = on;
        invalidateFilter();
    }
}

void TwoColumnsSortFilterProxyModel::setFilterFixtureName(bool on)
{
    setFilterFlag(m_filterFixtureName, on);
}

void TwoColumnsSortFilterProxyModel::setFilterManufacturer(bool on)
{
    setFilterFlag(m_filterManufacturer, on);
}

void TwoColumnsSortFilterProxyModel::setOnlyWithFindings(bool on)
{
    setFilterFlag(m_onlyWithFindings, on);
}

void TwoColumnsSortFilterProxyModel::setOnlyNotOnDevice(bool on)
{
    setFilterFlag(m_onlyNotOnDevice, on);
}

bool TwoColumnsSortFilterProxyModel::lessThan(const QModelIndex& left, const QModelIndex& right) const
{
    if (left.column() == FitColumn && right.column() == FitColumn) {
        return left.data(LocalFixtureDefinitionListModel::SeverityRole).toInt()
            < right.data(LocalFixtureDefinitionListModel::SeverityRole).toInt();
    }
    return QSortFilterProxyModel::lessThan(left, right);
}

int TwoColumnsSortFilterProxyModel::acceptedRowCount() const
{
    // The proxy keeps its mapping current on every filter change, so for a flat list
    // its row count is the number of accepted source rows.
    return rowCount();
}

bool TwoColumnsSortFilterProxyModel::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const
{
    const QModelIndex row = sourceModel()->index(sourceRow, NameColumn, sourceParent);
    if (m_onlyNotOnDevice && row.data(LocalFixtureDefinitionListModel::OnDeviceRole).toBool()) {
        return false;
    }
    if (!acceptsText(sourceRow, sourceParent)) {
        return false;
    }
    // Asked last: it reads every channel name of the row.
    return !m_onlyWithFindings || row.data(LocalFixtureDefinitionListModel::SeverityRole).toInt() != 0;
}

bool TwoColumnsSortFilterProxyModel::acceptsText(int sourceRow, const QModelIndex& sourceParent) const
{
    if (m_filterFixtureName && matches(sourceRow, NameColumn, sourceParent)) {
        return true;
    }
    if (m_filterManufacturer && matches(sourceRow, ManufacturerColumn, sourceParent)) {
        return true;
    }
    return !m_filterFixtureName && !m_filterManufacturer;
}

bool TwoColumnsSortFilterProxyModel::matches(int sourceRow, int column, const QModelIndex& sourceParent) const
{
    const QModelIndex cell = sourceModel()->index(sourceRow, column, sourceParent);
    return filterRegularExpression().match(sourceModel()->data(cell, Qt::DisplayRole).toString()).hasMatch();
}
