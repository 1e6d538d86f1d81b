// AfxMessageBox: a handler captures the texts; the default, restored by an empty handler, writes
// the text and a line end to standard error.
#include <tarvel/Tarvel.h>

#include <atomic>
#include <gtest/gtest.h>
#include <thread>

// Four threads report while this one replaces the handler 2,000 times: every call reaches
// exactly one handler (the default is never shown), and the calls the two handlers count add
// up to the calls made. Each handler owns heap storage (a long text), as most real ones do.
TEST(MessageBox, HandlersCaptureReplaceAndRestore)
{
    std::string texts;
    const AfxMessageBoxHandler previous = AfxSetMessageBoxHandler(
        [&](const CString& text, UINT type)
        { return texts += text.str() + "/" + std::to_string(type) + " ", 7; });
    EXPECT_FALSE(previous);  // the default was in place
    testing::internal::CaptureStderr();
    EXPECT_EQ(AfxMessageBox("first"), 7);
    EXPECT_EQ(AfxMessageBox("second", MB_OK, 12), 7);
    EXPECT_EQ(testing::internal::GetCapturedStderr() + texts, "first/0 second/0 ");

    EXPECT_TRUE(AfxSetMessageBoxHandler(previous));  // gives back the recording handler
    testing::internal::CaptureStderr();
    EXPECT_EQ(AfxMessageBox("Elapsed 0 m 1.50 s"), IDOK);
    EXPECT_EQ(testing::internal::GetCapturedStderr() + texts,
              "Elapsed 0 m 1.50 s\nfirst/0 second/0 ");

    constexpr int kThreads = 4, kCalls = 2000;
    const std::string text(40, 'r');
    std::atomic<int> counts[2] = {}, wrong{0};
    const auto counting = [&](int h)
    {
        return [&counts, h, expected = text](const CString& t, UINT)
        { return ++counts[h], t.str() == expected ? IDOK : 0; };
    };
    EXPECT_FALSE(AfxSetMessageBoxHandler(counting(0)));  // the default is back
    std::vector<std::thread> reporters;
    for (int t = 0; t < kThreads; ++t)
        reporters.emplace_back(
            [&]
            {
                for (int k = 0; k < kCalls; ++k) wrong += AfxMessageBox(text.c_str()) != IDOK;
            });
    testing::internal::CaptureStderr();
    for (int k = 0; k < 2000; ++k) EXPECT_TRUE(AfxSetMessageBoxHandler(counting((k + 1) % 2)));
    for (std::thread& t : reporters) t.join();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    AfxSetMessageBoxHandler(previous);
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(counts[0] + counts[1], kThreads * kCalls);
}
