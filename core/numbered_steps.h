#pragma once
// A procedure written as a table of numbered steps. The line numbers are
// part of the behaviour (error texts name the failing line), so they live in
// the table. The runner executes the steps in table order; a step may go on
// with the next one, jump to another line, or return. A failing step is handed
// to the procedure's trap, which decides where execution resumes.
#include <functional>
#include <string>
#include <vector>

#include "core/error.h"

namespace orbenix {

struct Flow {
    enum class Kind { Next, Goto, Return } kind = Kind::Next;
    int line = 0;  // for Goto

    static Flow Next() { return {}; }
    static Flow Goto(int line) { return {Kind::Goto, line}; }
    static Flow Return() { return {Kind::Return, 0}; }
};

struct NumberedStep {
    int line;
    std::function<Flow()> run;
    // Where execution goes when this step fails and the trap passes the error
    // over: by default the next step of the table.
    Flow after_passed_over = Flow::Next();
};

// What the trap decides for a failing step.
enum class TrapDecision {
    PassOver,  // go on as the step's `after_passed_over` says
    Return,    // the procedure ends (the trap has recorded the outcome)
};

using Trap = std::function<TrapDecision(const Error& error, int line)>;

// Runs the table once, front to back (a Goto may only move forward, so every
// step runs at most once and the procedure always ends). An error raised by
// the trap itself is not trapped: it travels to the caller.
void RunNumberedSteps(const std::vector<NumberedStep>& steps, const Trap& trap);

}  // namespace orbenix
