#pragma once

#include <QString>

// The text of an error box for a board library result code, translated in the context
// "Global". Codes 0 to 26 (by magnitude) name their message; others show the code alone.
QString errorText(int code);
