#include <gtest/gtest.h>

#include "core/numbered_steps.h"

namespace orbenix {
namespace {

TEST(NumberedSteps, RunsEachStepOnceAndFollowsJumps) {
    std::vector<int> ran;
    auto record = [&](int line, Flow flow = Flow::Next()) {
        return NumberedStep{line, [&ran, line, flow] { ran.push_back(line); return flow; }};
    };
    RunNumberedSteps({record(10), record(20, Flow::Goto(40)), record(30), record(40),
                      record(50, Flow::Return()), record(60)},
                     [](const Error&, int) { return TrapDecision::Return; });
    EXPECT_EQ(ran, (std::vector<int>{10, 20, 40, 50}));
}

TEST(NumberedSteps, TheTrapSeesTheFailingLineAndDecides) {
    std::vector<int> ran;
    std::vector<std::pair<int, int>> trapped;
    const std::vector<NumberedStep> steps = {
        {10, [&] { ran.push_back(10); throw Error(50000); return Flow::Next(); }},
        {20, [&] { ran.push_back(20); throw Error(7); return Flow::Next(); },
         Flow::Goto(40)},
        {30, [&] { ran.push_back(30); return Flow::Next(); }},
        {40, [&] { ran.push_back(40); throw Error(13); return Flow::Next(); }},
        {50, [&] { ran.push_back(50); return Flow::Next(); }},
    };
    RunNumberedSteps(steps, [&](const Error& e, int line) {
        trapped.emplace_back(e.number(), line);
        return e.number() == 13 ? TrapDecision::Return : TrapDecision::PassOver;
    });
    EXPECT_EQ(ran, (std::vector<int>{10, 20, 40}));
    EXPECT_EQ(trapped, (std::vector<std::pair<int, int>>{{50000, 10}, {7, 20}, {13, 40}}));
}

TEST(NumberedSteps, ForeignExceptionsBecomeNumberedErrors) {
    int number = 0;
    RunNumberedSteps({{10, []() -> Flow { throw std::runtime_error("boom"); }}},
                     [&](const Error& e, int) { number = e.number(); return TrapDecision::Return; });
    EXPECT_EQ(number, 51);
}

}  // namespace
}  // namespace orbenix
