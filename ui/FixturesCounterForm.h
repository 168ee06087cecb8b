#pragma once

#include <QWidget>

#include <memory>

namespace Ui {
class FixturesCounterForm;
}

/// The grey one-line counter under the library filter: how many fixture definitions are
/// visible out of how many, and how many of them are selected.
class FixturesCounterForm : public QWidget
{
    Q_OBJECT

public:
    explicit FixturesCounterForm(QWidget* parent = nullptr);
    ~FixturesCounterForm() override;

public Q_SLOTS:
    /// Rewrites both labels; (0, 0, x) empties them, since an empty library needs no count.
    void updateCounts(int nVisible, int nTotal, int nSelected);

private:
    std::unique_ptr<Ui::FixturesCounterForm> m_ui;
};
