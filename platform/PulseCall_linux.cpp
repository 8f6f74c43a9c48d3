#include "platform/PulseCall_linux.h"

namespace lumira::platform
{

void PulseCall::ContextFree::operator()(pa_context *c) const
{
    pa_context_disconnect(c);
    pa_context_unref(c);
}

PulseCall::PulseCall(const char *clientName)
    : m_name(clientName)
{
}

// The context goes before the loop it runs on.
PulseCall::~PulseCall() { m_context.reset(); }

bool PulseCall::connect()
{
    m_loop.reset(pa_mainloop_new());
    if (!m_loop)
        return false;
    m_context.reset(pa_context_new(pa_mainloop_get_api(m_loop.get()), m_name));
    if (!m_context || pa_context_connect(m_context.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return false;
    for (;;) {
        const pa_context_state_t state = pa_context_get_state(m_context.get());
        if (state == PA_CONTEXT_READY)
            return true;
        if (!PA_CONTEXT_IS_GOOD(state) || pa_mainloop_iterate(m_loop.get(), 1, nullptr) < 0)
            return false;
    }
}

bool PulseCall::wait(pa_operation *op)
{
    if (!op)
        return false;
    bool ok = true;
    while (pa_operation_get_state(op) == PA_OPERATION_RUNNING) {
        if (pa_mainloop_iterate(m_loop.get(), 1, nullptr) < 0) {
            ok = false;
            break;
        }
    }
    pa_operation_unref(op);
    return ok;
}

} // namespace lumira::platform
