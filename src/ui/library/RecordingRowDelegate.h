#pragma once

#include <QStyledItemDelegate>

namespace palaverly {

// Paints the library list: section headers, and recording rows with the kind symbol (or the
// pulsing dot of the recording in progress), the name, the short date, the preview and the
// status badge. `phase` (0...1) drives the pulse and the spinner.
class RecordingRowDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void setPhase(qreal phase) { m_phase = phase; }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    void paintHeader(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const;
    void paintRecording(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const;

    qreal m_phase = 0;
};

} // namespace palaverly
