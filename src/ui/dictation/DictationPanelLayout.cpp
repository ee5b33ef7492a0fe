#include "ui/dictation/DictationPanelLayout.h"

#include "recorder/ProcessingPrompts.h"

#include <QFontMetrics>
#include <QTextLayout>
#include <algorithm>
#include <cmath>

namespace palaverly::dictationpanel {

double barHeight(float level, double maxHeight)
{
    return std::max(2.0, (maxHeight - 2) * static_cast<double>(level) + 2);
}

int areaHeight(const std::vector<float>& history, double maxHeight)
{
    double tallest = maxHeight;
    for (float level : history)
        tallest = std::max(tallest, barHeight(level, maxHeight));
    return static_cast<int>(std::ceil(tallest));
}

void pushLevel(std::vector<float>& history, float level)
{
    if (history.empty())
        return;
    history.erase(history.begin());
    history.push_back(level);
}

QString errorExcerpt(std::string_view message)
{
    return QString::fromStdString(prompts::leadingCharacters(message, kErrorCharacters));
}

QString clampLines(const QString& text, const QFont& font, int width, int maxLines)
{
    QTextLayout layout(text, font);
    layout.beginLayout();
    QStringList lines;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        if (static_cast<int>(lines.size()) == maxLines - 1) {
            // The last line allowed takes the rest of the text, elided when it does not fit.
            const QString rest = text.mid(line.textStart()).trimmed();
            lines.append(QFontMetrics(font).elidedText(rest, Qt::ElideRight, width));
            break;
        }
        lines.append(text.mid(line.textStart(), line.textLength()).trimmed());
    }
    layout.endLayout();
    return lines.join(QLatin1Char('\n'));
}

QPoint panelOrigin(const QRect& available, const QSize& size)
{
    const int x = available.x() + (available.width() - size.width()) / 2;
    return {x, available.y() + kTopOffset};
}

} // namespace palaverly::dictationpanel
