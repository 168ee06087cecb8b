#include "TwoColumnsSortFilterProxyModel.h"

#include <QRegularExpression>

namespace {
constexpr int NameColumn = 0;
constexpr int ManufacturerColumn = 2;
} // namespace

TwoColumnsSortFilterProxyModel::TwoColumnsSortFilterProxyModel(QObject* parent) : QSortFilterProxyModel(parent) { }

void TwoColumnsSortFilterProxyModel::setFilterFixtureName(bool on)
{
    if (m_filterFixtureName != on) {
        m_filterFixtureName = on;
        invalidateFilter();
    }
}

void TwoColumnsSortFilterProxyModel::setFilterManufacturer(bool on)
{
    if (m_filterManufacturer != on) {
        m_filterManufacturer = on;
        invalidateFilter();
    }
}

int TwoColumnsSortFilterProxyModel::acceptedRowCount() const
{
    // The proxy keeps its mapping current on every filter change, so for a flat list
    // its row count is the number of accepted source rows.
    return rowCount();
}

bool TwoColumnsSortFilterProxyModel::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const
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
