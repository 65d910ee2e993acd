#include "platform/console_text.h"

#ifdef _WIN32

#include <windows.h>
#include <io.h>

#include <vector>

namespace {

// Whether each of the descriptors 0 to 2 is a console: 0 not asked yet, 1 yes, 2 no.
int console_known[3];

HANDLE console_of(FILE* stream) {
    const int descriptor = _fileno(stream);
    if (descriptor < 0 || descriptor > 2) return nullptr;
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(descriptor));
    if (console_known[descriptor] == 0) {
        DWORD mode = 0;
        const bool console = handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
        console_known[descriptor] = console ? 1 : 2;
    }
    return console_known[descriptor] == 1 ? handle : nullptr;
}

}  // namespace

bool platform_write_text(FILE* stream, const char* text, size_t length) {
    const HANDLE console = console_of(stream);
    if (console == nullptr) return fwrite(text, 1, length, stream) == length;
    fflush(stream);
    if (length == 0) return true;
    const int count = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0);
    if (count <= 0) return false;
    std::vector<wchar_t> wide(static_cast<size_t>(count));
    MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), wide.data(), count);
    // In pieces, since older consoles refuse very long writes; a piece never
    // ends between the two halves of a surrogate pair.
    const size_t PIECE = 4096;
    size_t done = 0;
    while (done < wide.size()) {
        size_t piece = wide.size() - done < PIECE ? wide.size() - done : PIECE;
        if (done + piece < wide.size() && IS_HIGH_SURROGATE(wide[done + piece - 1])) --piece;
        DWORD written = 0;
        if (!WriteConsoleW(console, wide.data() + done, static_cast<DWORD>(piece), &written, nullptr)) return false;
        done += piece;
    }
    return true;
}

#else

bool platform_write_text(FILE* stream, const char* text, size_t length) {
    return fwrite(text, 1, length, stream) == length;
}

#endif
