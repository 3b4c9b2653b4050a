#include <gtest/gtest.h>

#include "platform/form.h"

namespace quorvel {
namespace {

TEST(FormBatch, HoldsRedrawsBackAndDrawsOnceAtTheOutermostEnd) {
    Form form("frmTest", "Test");
    int draws = 0;
    form.setChangedHandler([&] { ++draws; });
    {
        const Form::Batch outer(form);
        form.changed();
        {
            const Form::Batch inner(form);
            form.changed();
            form.changed();
        }
        EXPECT_EQ(draws, 0);  // the inner end is not the outermost
    }
    EXPECT_EQ(draws, 1);
    {
        const Form::Batch quiet(form);
    }
    EXPECT_EQ(draws, 1);  // nothing changed, nothing drawn
    form.changed();
    EXPECT_EQ(draws, 2);  // no batch: at once
}

}  // namespace
}  // namespace quorvel
