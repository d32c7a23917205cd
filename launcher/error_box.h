#pragma once

#include <string>

// Shows a modal error box (caption "Chyba", OK, error icon) with a Windows-1250 text. The text
// is widened from code page 1250 first, so that it reads right whatever the system's ANSI code
// page is.
void ShowErrorBox(const std::string& text1250);
