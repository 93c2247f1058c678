#include "library/db/round_trip_deadline.h"

#include <atomic>

namespace {

std::atomic<std::chrono::milliseconds::rep> gRoundTripDeadline{kRoundTripDeadline.count()};

}  // namespace

std::chrono::milliseconds RoundTripDeadline()
{
    return std::chrono::milliseconds(gRoundTripDeadline.load());
}

std::chrono::milliseconds SetRoundTripDeadline(std::chrono::milliseconds deadline)
{
    return std::chrono::milliseconds(gRoundTripDeadline.exchange(deadline.count()));
}

QString NoAnswerText(std::chrono::milliseconds deadline)
{
    return QStringLiteral("数据库服务器 %1 秒内没有应答，已断开连接").arg(deadline.count() / 1000.0);
}
