#include "platform/TickCount.h"

#include <ctime>

namespace pw {

quint32 TickCount() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const auto ms =
        static_cast<quint64>(now.tv_sec) * 1000u + static_cast<quint64>(now.tv_nsec) / 1'000'000u;
    return static_cast<quint32>(ms);
}

} // namespace pw
