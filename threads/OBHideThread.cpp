#include "threads/OBHideThread.h"

namespace pw {

TOBHideThread::TOBHideThread(void* params, TNotifyEventParams handler)
    : m_onExecute(std::move(handler))
    , m_params(params) {}

void TOBHideThread::Execute() {
    if (m_onExecute) m_onExecute(nullptr, m_params);
}

} // namespace pw
