// Fixture for tests that touch class-wide state: it saves and restores m_bSym and m_Flops and
// installs a message-box handler that records every text shown, restoring the previous handler
// afterwards.
#pragma once

#include <tarvel/Tarvel.h>

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace tarvel_test
{

class GlobalStateTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        AfxSetMessageBoxHandler(m_previousHandler);
        CVirtMat::m_bSym = m_savedSym;
        CVirtMat::m_Flops = m_savedFlops;
    }

    // Texts shown through AfxMessageBox since the fixture was made, in order.
    std::vector<std::string> m_messages;
    std::vector<UINT> m_types;

private:
    const bool m_savedSym = CVirtMat::m_bSym;
    const std::uint32_t m_savedFlops = CVirtMat::m_Flops;
    const AfxMessageBoxHandler m_previousHandler = AfxSetMessageBoxHandler(
        [this](const CString& text, UINT type)
        { return m_messages.push_back(text.str()), m_types.push_back(type), IDOK; });
};

}  // namespace tarvel_test
