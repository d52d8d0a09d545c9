#include "Flow.h"

#include <exception>

void Flow::promise_type::unhandled_exception() noexcept
{
    try {
        throw;
    } catch (const FlowDetail::Cancelled &) {
        // The flow's owner ended it; nothing to say.
    } catch (const std::exception &error) {
        qCWarning(m_scope.category) << "a flow ended with an exception:" << error.what();
    } catch (...) {
        qCWarning(m_scope.category) << "a flow ended with an exception";
    }
}
