#include "ui/widgets/TrayIcon.h"

#include "ui/widgets/SymbolIcon.h"

#include <QIconEngine>
#include <QPainter>

namespace palaverly {

namespace {

// The mark is designed on an 18-unit square; the dot is 6 units, 1 from the right and bottom.
constexpr qreal kDesignSize = 18;
constexpr QRectF kBadge{kDesignSize - 7, kDesignSize - 1 - 6, 6, 6};

class TrayMarkEngine final : public QIconEngine {
public:
    TrayMarkEngine(const QColor& color, bool badge)
        : m_color(color)
        , m_badge(badge)
    {
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        // Drawn at the device's own pixels, so a 2x screen gets a mark of twice the pixels.
        const qreal scale = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        QPixmap drawing = pixmap(rect.size() * scale, mode, state);
        drawing.setDevicePixelRatio(scale);
        painter->drawPixmap(rect, drawing);
    }

    // `size` in device pixels: the toolkit asks for the size times the screen's scale.
    QPixmap pixmap(const QSize& size, QIcon::Mode, QIcon::State) override
    {
        const int side = std::min(size.width(), size.height());
        if (side <= 0)
            return {};
        QPixmap drawing = symbolPixmap(QStringLiteral("BrandMark"), side, m_color);
        if (m_badge) {
            QPainter painter(&drawing);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setPen(Qt::NoPen);
            painter.setBrush(colors::accent());
            const qreal unit = side / kDesignSize;
            painter.drawEllipse(
                QRectF(kBadge.x() * unit, kBadge.y() * unit, kBadge.width() * unit, kBadge.height() * unit));
        }
        return drawing;
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override
    {
        const int side = std::min(size.width(), size.height());
        return {side, side};
    }

    // The sizes a status-notifier tray is sent as pictures, besides the name.
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        return {
            QSize(16, 16), QSize(22, 22), QSize(24, 24), QSize(32, 32), QSize(44, 44), QSize(48, 48), QSize(64, 64)};
    }

    QString iconName() override
    {
        const QString name
            = m_badge ? QStringLiteral("palaverly-update-symbolic") : QStringLiteral("palaverly-symbolic");
        return QIcon::hasThemeIcon(name) ? name : QString();
    }

    QString key() const override { return QStringLiteral("palaverly.trayMark"); }
    QIconEngine* clone() const override { return new TrayMarkEngine(m_color, m_badge); }

private:
    QColor m_color;
    bool m_badge = false;
};

} // namespace

QIcon trayMarkIcon(const QColor& color, bool badge)
{
    return QIcon(new TrayMarkEngine(color, badge));
}

} // namespace palaverly
