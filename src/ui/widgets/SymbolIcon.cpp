#include "ui/widgets/SymbolIcon.h"

#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QPixmapCache>
#include <QSvgRenderer>

static void initIconResources()
{
    Q_INIT_RESOURCE(icons);
}

namespace palaverly {

namespace {

// Symbol name -> icon-theme name. Symbols without a fitting theme icon use our drawing only.
const QHash<QString, QString>& themeNames()
{
    static const QHash<QString, QString> names{
        {QStringLiteral("record.circle.fill"), QStringLiteral("media-record")},
        {QStringLiteral("stop.fill"), QStringLiteral("media-playback-stop")},
        {QStringLiteral("stop.circle.fill"), QStringLiteral("media-playback-stop")},
        {QStringLiteral("mic"), QStringLiteral("audio-input-microphone")},
        {QStringLiteral("mic.fill"), QStringLiteral("audio-input-microphone")},
        {QStringLiteral("arrow.triangle.2.circlepath"), QStringLiteral("view-refresh")},
        {QStringLiteral("exclamationmark.triangle"), QStringLiteral("dialog-warning")},
        {QStringLiteral("exclamationmark.octagon"), QStringLiteral("dialog-error")},
        {QStringLiteral("power"), QStringLiteral("application-exit")},
        {QStringLiteral("gearshape"), QStringLiteral("preferences-system")},
        {QStringLiteral("arrow.down.circle.fill"), QStringLiteral("software-update-available")},
        {QStringLiteral("info.circle"), QStringLiteral("help-about")},
        {QStringLiteral("lock.shield"), QStringLiteral("security-high")},
        {QStringLiteral("server.rack"), QStringLiteral("network-server")},
    };
    return names;
}

QString resourcePath(const QString& symbol)
{
    static const bool initialised = [] {
        initIconResources();
        return true;
    }();
    Q_UNUSED(initialised);
    return QStringLiteral(":/icons/%1.svg").arg(symbol);
}

} // namespace

bool hasSymbol(const QString& symbol)
{
    return QFile::exists(resourcePath(symbol));
}

QPixmap symbolPixmap(const QString& symbol, int size, const QColor& color)
{
    // Views draw symbols on every paint (list rows, turning placeholders, the pulsing row of a
    // recording); each drawing is parsed and tinted once per size and colour.
    const QString key = QStringLiteral("palaverly.symbol/%1/%2/%3")
                            .arg(symbol)
                            .arg(size)
                            .arg(static_cast<quint64>(color.rgba64()), 16, 16, QLatin1Char('0'));
    QPixmap cached;
    if (QPixmapCache::find(key, &cached))
        return cached;
    QSvgRenderer renderer(resourcePath(symbol));
    if (!renderer.isValid())
        return {};
    QImage drawing(size, size, QImage::Format_ARGB32_Premultiplied);
    drawing.fill(Qt::transparent);
    {
        QPainter painter(&drawing);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, QRectF(0, 0, size, size));
    }
    // The drawings are black, with white where a filled shape has a hole (the tick inside
    // "checkmark.circle.fill"): a pixel's darkness is how much of the colour it gets.
    drawing = drawing.convertToFormat(QImage::Format_ARGB32);
    const QRgb rgb = color.rgb();
    for (int y = 0; y < drawing.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(drawing.scanLine(y));
        for (int x = 0; x < drawing.width(); ++x) {
            const double lightness = (qRed(line[x]) + qGreen(line[x]) + qBlue(line[x])) / (3.0 * 255.0);
            const double alpha = qAlpha(line[x]) * (1.0 - lightness) * color.alphaF();
            line[x] = qRgba(qRed(rgb), qGreen(rgb), qBlue(rgb), static_cast<int>(alpha + 0.5));
        }
    }
    const QPixmap pixmap = QPixmap::fromImage(drawing);
    QPixmapCache::insert(key, pixmap);
    return pixmap;
}

QIcon symbolIcon(const QString& symbol, const QColor& tint)
{
    // A tinted icon is always our drawing, so the colour is the one asked for.
    if (!tint.isValid()) {
        const auto theme = themeNames().constFind(symbol);
        if (theme != themeNames().constEnd() && QIcon::hasThemeIcon(*theme))
            return QIcon::fromTheme(*theme);
    }
    if (!hasSymbol(symbol))
        return {};
    const QColor color = tint.isValid() ? tint : QGuiApplication::palette().color(QPalette::WindowText);
    QIcon icon;
    for (int size : {16, 18, 24, 32, 48})
        icon.addPixmap(symbolPixmap(symbol, size, color));
    return icon;
}

} // namespace palaverly
