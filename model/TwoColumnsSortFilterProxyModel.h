#pragma once

#include <QSortFilterProxyModel>

/// Filters the library rows by the filter expression found in the fixture name column,
/// the manufacturer column, or either of them; sorts with the standard proxy sorting.
/// With both toggles off every row passes.
class TwoColumnsSortFilterProxyModel : public QSortFilterProxyModel
{
    Q_OBJECT

public:
    explicit TwoColumnsSortFilterProxyModel(QObject* parent = nullptr);

    bool filterFixtureName() const { return m_filterFixtureName; }
    bool filterManufacturer() const { return m_filterManufacturer; }
    /// Setting a toggle re-filters at once when its value changes.
    void setFilterFixtureName(bool on);
    void setFilterManufacturer(bool on);

    /// Only definitions the device would refuse or change; only those the selected device
    /// does not hold yet. Both come on top of the text filter.
    void setOnlyWithFindings(bool on);
    void setOnlyNotOnDevice(bool on);
    bool onlyWithFindings() const { return m_onlyWithFindings; }
    bool onlyNotOnDevice() const { return m_onlyNotOnDevice; }

    /// The number of source rows the filter accepts: the visible definitions.
    int acceptedRowCount() const;

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
    /// The fit column sorts by severity, not by its (empty) text.
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    void setFilterFlag(bool& flag, bool on);
    bool acceptsText(int sourceRow, const QModelIndex& sourceParent) const;
    bool matches(int sourceRow, int column, const QModelIndex& sourceParent) const;

    bool m_filterFixtureName = false;
    bool m_filterManufacturer = false;
    bool m_onlyWithFindings = false;
    bool m_onlyNotOnDevice = false;
};
