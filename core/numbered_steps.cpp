#include "core/numbered_steps.h"

#include <stdexcept>

namespace orbenix {
namespace {

std::size_t IndexOfLine(const std::vector<NumberedStep>& steps, int line, std::size_t after) {
    for (std::size_t i = after + 1; i < steps.size(); ++i) {
        if (steps[i].line == line) return i;
    }
    // A jump backwards or to a missing line would be a fault in a table.
    throw std::logic_error("numbered steps: no later line " + std::to_string(line));
}

}  // namespace

void RunNumberedSteps(const std::vector<NumberedStep>& steps, const Trap& trap) {
    std::size_t i = 0;
    while (i < steps.size()) {
        const NumberedStep& step = steps[i];
        Flow flow;
        bool failed = false;
        Error failure(0, u"");
        try {
            flow = step.run();
        } catch (...) {
            failed = true;
            failure = ToError(std::current_exception());
        }
        if (failed) {
            if (trap(failure, step.line) == TrapDecision::Return) return;
            flow = step.after_passed_over;
        }
        switch (flow.kind) {
        case Flow::Kind::Next: ++i; break;
        case Flow::Kind::Goto: i = IndexOfLine(steps, flow.line, i); break;
        case Flow::Kind::Return: return;
        }
    }
}

}  // namespace orbenix
