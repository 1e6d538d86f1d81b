// AfxMessageBox: a handler captures the texts; the default, restored by an empty handler, writes
// the text and a line end to standard error.
#include <tarvel/Tarvel.h>

#include <gtest/gtest.h>
#include <string>
#include <vector>

TEST(MessageBox, HandlerCapturesAndDefaultIsRestored)
{
    std::vector<std::string> texts;
    AfxMessageBoxHandler previous = AfxSetMessageBoxHandler(
        [&](const CString& text, UINT type)
        {
            texts.push_back(text.str() + "/" + std::to_string(type));
            return 7;
        });
    EXPECT_FALSE(previous);  // the default was in place
    testing::internal::CaptureStderr();
    EXPECT_EQ(AfxMessageBox("first"), 7);
    EXPECT_EQ(AfxMessageBox("second", MB_OK, 12), 7);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(texts, (std::vector<std::string>{"first/0", "second/0"}));

    EXPECT_TRUE(AfxSetMessageBoxHandler(previous));  // gives back the recording handler
    testing::internal::CaptureStderr();
    EXPECT_EQ(AfxMessageBox("Elapsed 0 m 1.50 s"), IDOK);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Elapsed 0 m 1.50 s\n");
    EXPECT_EQ(texts.size(), 2u);
}
