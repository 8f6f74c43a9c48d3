#pragma once

#include <pulse/pulseaudio.h>

#include <memory>

namespace lumira::platform
{

// A short-lived connection to the sound server, driven synchronously on the
// calling thread: connect, run operations to their end, disconnect on scope exit.
class PulseCall
{
public:
    explicit PulseCall(const char *clientName);
    ~PulseCall();

    // False when no server answers (none runs, or it refused us).
    bool connect();
    pa_context *context() const { return m_context.get(); }
    // Runs the loop until the operation is done; false for a null operation
    // or a connection that failed meanwhile.
    bool wait(pa_operation *op);

private:
    struct MainloopFree {
        void operator()(pa_mainloop *m) const { pa_mainloop_free(m); }
    };
    struct ContextFree {
        void operator()(pa_context *c) const;
    };
    const char *m_name;
    std::unique_ptr<pa_mainloop, MainloopFree> m_loop;
    std::unique_ptr<pa_context, ContextFree> m_context;
};

} // namespace lumira::platform
