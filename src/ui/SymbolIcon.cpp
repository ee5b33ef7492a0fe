#include "ui/SymbolIcon.h"

#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QPainter>
#include <QPalette>
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
    QSvgRenderer renderer(resourcePath(symbol));
    if (!renderer.isValid())
        return {};
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(0, 0, size, size));
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(pixmap.rect(), color);
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
