#pragma once

#include "threads/ThreadObject.h"

#include <functional>

class QObject;

namespace pw {

// An event handler of two arguments: the sender and the pointer given to TOBThread::Execute.
using TNotifyEventParams = std::function<void(QObject* sender, void* params)>;

// The thread of one TOBThread job: runs the OnExecute handler it was made with, with the params
// it was made with and an empty sender. Created held, as every thread object.
class TOBHideThread final : public TThreadObject {
    Q_OBJECT

public:
    TOBHideThread(void* params, TNotifyEventParams handler); // throws EThreadError

protected:
    void Execute() override;

private:
    const TNotifyEventParams m_onExecute;
    void* const m_params;
};

} // namespace pw
