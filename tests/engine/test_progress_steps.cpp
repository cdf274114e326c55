// The progress bar across a count of items: steps while the range has room for each item, and
// real progress for lists longer than the range, where a step would be zero.
#include <gtest/gtest.h>

#include "engine/ProgressSteps.h"
#include "support/ScriptedProgress.h"

namespace {

constexpr int kRange = 32700;

TEST(ProgressStepsTest, AFewItemsStepAndManyItemsMoveTheBarByTheirShare)
{
    CScriptedProgress few;
    few.nPos = 0;
    CProgressSteps fewSteps(few, kRange, 4);
    EXPECT_EQ(few.nStep, kRange / 4);
    for (int i = 0; i < 4; ++i)
        fewSteps.Advance();
    EXPECT_EQ(few.nPos, kRange);

    // A test merge of 100,000 records: the bar is half way at the half, full at the end, and
    // never goes back.
    CScriptedProgress many;
    many.nPos = 0;
    CProgressSteps manySteps(many, kRange, 100000);
    int nLast = 0;
    for (int i = 1; i <= 100000; ++i) {
        manySteps.Advance();
        EXPECT_GE(many.nPos, nLast);
        nLast = many.nPos;
        if (i == 1000) {
            EXPECT_GT(many.nPos, 0);
        } else if (i == 50000) {
            EXPECT_EQ(many.nPos, kRange / 2);
        }
    }
    EXPECT_EQ(many.nPos, kRange);
    // More items than announced leave the bar full, not past its end.
    manySteps.Advance();
    EXPECT_EQ(many.nPos, kRange);
}

} // namespace
