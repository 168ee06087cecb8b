#pragma once

#include <QStringList>
#include <QVariant>

// Small pieces that the table models of the library, the channels and the device share.

/// The header text of a table model whose columns are titled `titles`, in column order:
/// nothing for rows, other roles or sections beyond the titles.
inline QVariant columnTitle(const QStringList& titles, int section, Qt::Orientation orientation, int role)
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= titles.size()) {
        return {};
    }
    return titles.at(section);
}

/// A row's object carried in a QVariant, as the models hand rows to one another through
/// setData's user role.
template <typename T>
QVariant pointerVariant(T* pointer)
{
    return QVariant::fromValue(static_cast<void*>(pointer));
}

/// The object pointerVariant() carried; null for a value of any other kind.
template <typename T>
T* pointerFromVariant(const QVariant& value)
{
    if (value.metaType() != QMetaType(QMetaType::VoidStar)) {
        return nullptr;
    }
    return static_cast<T*>(value.value<void*>());
}
