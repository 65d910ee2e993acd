// Text for the standard streams.
#pragma once

#include <cstddef>
#include <cstdio>

// Writes length bytes of text to stream and returns true when all were
// written. The program's texts are in its ANSI code page, which its manifest
// makes UTF-8 on Windows 10 version 1903 and later, while a Windows console
// decodes the bytes it is given in its own output code page (an OEM one such
// as 437 or 850): so when the stream is a console, what the stream holds is
// flushed and the text goes to the console as UTF-16. Everything else (files,
// pipes, every stream elsewhere) gets the bytes unchanged.
bool platform_write_text(FILE* stream, const char* text, size_t length);
