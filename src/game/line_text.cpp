#include "game/line_text.h"

QString ShownCharText(const TLineState& line, int k)
{
    if (k < 0 || k >= line.CharCount)
        return {};
    const auto at = static_cast<std::size_t>(k);
    const bool uncovered = at < line.Revealed.size() && line.Revealed[at] == 1;
    if (!uncovered || 2 * at + 2 > line.Text.size())
        return QString(QChar(kCoveredSign));
    return AnsiToWide(std::string_view(line.Text).substr(2 * at, 2));
}

QString ShownLineText(const TLineState& line)
{
    QString text;
    for (int k = 0; k < line.CharCount; ++k)
        text += ShownCharText(line, k);
    return text;
}
