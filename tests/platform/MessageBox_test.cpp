// AfxMessageBox: a handler captures the texts; the default writes to standard error.
#include <tarvel/Tarvel.h>

#include <gtest/gtest.h>
#include <string>
#include <vector>

TEST(MessageBox, HandlerCapturesAndDefaultIsRestored)
{
    std::vector<std::string> texts;
    std::vector<UINT> types;
    AfxMessageBoxHandler previous = AfxSetMessageBoxHandler(
        [&](const CString& text, UINT type)
        {
            texts.push_back(text.str());
            types.push_back(type);
            return 7;
        });
    EXPECT_FALSE(previous);  // the default was in place

    testing::internal::CaptureStderr();
    EXPECT_EQ(AfxMessageBox("first"), 7);
    EXPECT_EQ(AfxMessageBox("second", MB_OK, 12), 7);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");  // nothing reached the default
    EXPECT_EQ(texts, (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(types, (std::vector<UINT>{MB_OK, MB_OK}));

    AfxMessageBoxHandler mine = AfxSetMessageBoxHandler(previous);  // empty: the default
    EXPECT_TRUE(mine);
    testing::internal::CaptureStderr();
    EXPECT_EQ(AfxMessageBox("Elapsed 0 m 1.50 s"), IDOK);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Elapsed 0 m 1.50 s\n");
    EXPECT_EQ(texts.size(), 2u);
}
