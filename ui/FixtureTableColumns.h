#pragma once

class QTableView;

/// The library table and the device table read alike: the name column takes the room
/// the panel has, the channel count and the manufacturer their titles' width, and a
/// cell the column cuts shows its whole text as a tooltip; `iconColumn`, when there is
/// one, is as narrow as its title allows. Call once the model is set.
void sizeFixtureTableColumns(QTableView* view, int nameColumn, int iconColumn = -1);
