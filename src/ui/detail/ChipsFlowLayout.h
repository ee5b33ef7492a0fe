#pragma once

#include "ui/logic/ChipsFlow.h"

#include <QLayout>
#include <QList>

namespace palaverly {

// Lays out speaker chips left to right in at most `maxRows` rows. The last item is always the
// overflow button: it is shown right after the last chip that fits, with 80 points kept free for
// it, and only when some chips do not fit. Items that are not shown are moved far outside.
class ChipsFlowLayout : public QLayout {
    Q_OBJECT

public:
    explicit ChipsFlowLayout(ChipsFlowSettings settings, QWidget* parent = nullptr);
    ~ChipsFlowLayout() override;

    void addItem(QLayoutItem* item) override;
    int count() const override { return static_cast<int>(m_items.size()); }
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;

    Qt::Orientations expandingDirections() const override { return Qt::Horizontal; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    void setGeometry(const QRect& rect) override;

    // The placement of the last layout pass.
    const ChipsFlowPlacement& placement() const { return m_placement; }

private:
    ChipsFlowPlacement place(int width) const;

    ChipsFlowSettings m_settings;
    QList<QLayoutItem*> m_items;
    ChipsFlowPlacement m_placement;
};

} // namespace palaverly
