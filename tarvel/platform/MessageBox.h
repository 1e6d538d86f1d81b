/// \file
/// Message boxes. There is no window system: the text goes to a replaceable handler. The
/// default handler writes the text and a line end to standard error and returns IDOK.
#pragma once

#include <tarvel/platform/Export.h>
#include <tarvel/platform/String.h>

#include <functional>

constexpr UINT MB_OK = 0x0000;  ///< the box type: an OK button
constexpr int IDOK = 1;         ///< the button that closed the box

/// What shows a box's text; it returns the button that closed the box.
using AfxMessageBoxHandler = std::function<int(const CString& text, UINT type)>;

/// Shows text (through the installed handler) and returns what the handler returns.
TARVEL_API int AfxMessageBox(LPCTSTR lpszText, UINT nType = MB_OK, UINT nIDHelp = 0);

/// Installs a handler and returns the previous one; an empty handler restores the default.
/// Threads: installing and showing are safe against each other. A call runs the handler installed
/// when it began, which may still be running after it was replaced: whatever a handler refers to
/// must outlive the calls that can reach it. Handlers shared by threads may be called
/// concurrently; the one that records texts must lock what it writes.
TARVEL_API AfxMessageBoxHandler AfxSetMessageBoxHandler(AfxMessageBoxHandler handler);
