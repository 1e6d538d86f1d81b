// AfxMessageBox: a handler captures the texts; the default, restored by an empty handler, writes
// the text and a line end to standard error.
#include <tarvel/Tarvel.h>

#include <atomic>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <thread>
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

// Four threads report while this one replaces the handler 2,000 times: every call reaches
// exactly one handler (the default is never shown), and each handler installed counts its own
// calls, which add up to the calls made.
TEST(MessageBox, ReplacingTheHandlerWhileOthersReport)
{
    constexpr int kThreads = 4, kCalls = 2000, kSwaps = 2000;
    std::vector<std::unique_ptr<std::atomic<int>>> counts;
    for (int h = 0; h < 2; ++h) counts.push_back(std::make_unique<std::atomic<int>>(0));
    // Each handler owns heap storage (a long text), as most real handlers do.
    const auto counting = [&counts](int h)
    {
        return [&counts, h, expected = std::string(40, 'r')](const CString& text, UINT)
        {
            counts[h]->fetch_add(1);
            return text.str() == expected ? IDOK : 0;
        };
    };
    const AfxMessageBoxHandler previous = AfxSetMessageBoxHandler(counting(0));
    std::atomic<int> wrong{0};
    std::vector<std::thread> reporters;
    for (int t = 0; t < kThreads; ++t)
        reporters.emplace_back(
            [&wrong]
            {
                for (int k = 0; k < kCalls; ++k)
                    if (AfxMessageBox(std::string(40, 'r').c_str()) != IDOK) ++wrong;
            });
    testing::internal::CaptureStderr();
    for (int k = 0; k < kSwaps; ++k) EXPECT_TRUE(AfxSetMessageBoxHandler(counting((k + 1) % 2)));
    for (std::thread& t : reporters) t.join();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    AfxSetMessageBoxHandler(previous);
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(counts[0]->load() + counts[1]->load(), kThreads * kCalls);
}
