#include "game/answers.h"

#include "library/poem.h"

namespace {

constexpr const char* kOpenTitle = "《";
constexpr const char* kCloseTitle = "》";
constexpr const char* kOpenDynasty = "【";
constexpr const char* kCloseDynasty = "】";

}  // namespace

std::string HintMask(std::string_view title, std::int32_t hintCount)
{
    const auto length = static_cast<std::int64_t>(title.size());
    // Characters to show: the hint count, at most the whole characters the
    // title holds, at least one when it holds any.
    std::int64_t shown = hintCount;
    if (2 * shown > length)
        shown = length / 2;
    if (shown < 1)
        shown = 1;
    if (2 * shown > length)
        shown = length / 2;
    const auto visible = static_cast<std::size_t>(2 * shown);
    std::string mask(title.substr(0, visible));
    mask.append(title.size() - visible, '*');
    return mask;
}

std::string BookTitle(std::string_view title)
{
    std::string text = GbkFromUtf8(kOpenTitle);
    text += title;
    text += GbkFromUtf8(kCloseTitle);
    return text;
}

std::string DynastyTag(std::string_view dynasty)
{
    std::string text = GbkFromUtf8(kOpenDynasty);
    text += dynasty;
    text += GbkFromUtf8(kCloseDynasty);
    return text;
}

std::string AnswerLine(std::string_view title, std::string_view author, std::string_view dynasty)
{
    std::string line = BookTitle(title);
    if (!dynasty.empty())
        line += DynastyTag(dynasty);
    line += author;
    return line;
}

std::string HistoryRecord(std::string_view user, std::string_view title, std::string_view answer)
{
    std::string record(user);
    record += '\t';
    record += title;
    record += '\t';
    record += answer;
    return record;
}

std::string GiveUpMessage(std::string_view title, std::string_view author, std::int32_t score)
{
    std::string text = GbkFromUtf8("答案是：");
    text += BookTitle(title);
    text += GbkFromUtf8(" （");
    text += author;
    text += GbkFromUtf8("），共猜对了 ");
    text += std::to_string(score);
    text += GbkFromUtf8(" 首！");
    return text;
}
