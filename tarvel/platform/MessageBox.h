// Message boxes. There is no window system: the text goes to a replaceable handler. The
// default handler writes the text and a line end to standard error and returns IDOK.
#pragma once

#include <tarvel/platform/Export.h>
#include <tarvel/platform/String.h>

#include <functional>

constexpr UINT MB_OK = 0x0000;
constexpr int IDOK = 1;

using AfxMessageBoxHandler = std::function<int(const CString& text, UINT type)>;

// Shows text (through the installed handler) and returns what the handler returns.
TARVEL_API int AfxMessageBox(LPCTSTR lpszText, UINT nType = MB_OK, UINT nIDHelp = 0);

// Installs a handler and returns the previous one; an empty handler restores the default.
TARVEL_API AfxMessageBoxHandler AfxSetMessageBoxHandler(AfxMessageBoxHandler handler);
