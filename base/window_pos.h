// The text form of the saved window placement ("WindowPos"): ten decimal
// numbers joined by commas, as "%u,%u,%d,%d,%d,%d,%d,%d,%d,%d" writes them.
// Pure text handling with no system calls, so that it can be tested and
// fuzzed on its own.
#pragma once

#include <string>
#include <string_view>

// The fields of a window placement record after its length field.
struct WindowPosFields {
    unsigned flags = 0;   // 0, or 2: restore to maximised
    unsigned showCmd = 0; // 1 normal, 3 maximised, 0 hidden
    int minX = 0, minY = 0;
    int maxX = 0, maxY = 0;
    int left = 0, top = 0, right = 0, bottom = 0; // the normal rectangle
};

// Reads "%u,%u,%d,%d,%d,%d,%d,%d,%d,%d" as the C library's scanf does: each
// number may be preceded by white space and carry a sign; the commas must
// follow the digits at once; text after the tenth number is ignored. Numbers
// too large for 32 bits wrap round modulo 2^32, as the Windows C library's
// scanf leaves them. True, with out filled, only when all ten numbers were
// read; otherwise out is unchanged.
bool ParseWindowPos(std::string_view text, WindowPosFields& out);

// The same ten numbers formatted with "%u,%u,%d,%d,%d,%d,%d,%d,%d,%d".
std::string FormatWindowPos(const WindowPosFields& fields);
