#pragma once

#include <functional>

class QObject;

namespace pw {

// A handler bound by the owner; an event is raised only when a handler is bound.
using TNotifyEvent = std::function<void(QObject* sender)>;

} // namespace pw
