// Test helper for the Windows build: starts a program the way EAC does, with
// one command line handed to CreateProcessW as it is, and ends with that
// program's exit status. The command line is read, in UTF-8, from the file
// named by the only argument, so that nothing on the way (wine's own argument
// quoting, a shell) re-splits or re-quotes it.
#include <windows.h>

#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: run_command_line FILE\n");
        return 125;
    }
    std::FILE* file = std::fopen(argv[1], "rb");
    if (file == nullptr) {
        std::fprintf(stderr, "run_command_line: cannot open %s\n", argv[1]);
        return 125;
    }
    std::vector<char> utf8(65536);
    const size_t length = std::fread(utf8.data(), 1, utf8.size() - 1, file);
    std::fclose(file);
    std::vector<wchar_t> line(utf8.size());
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(length), line.data(),
                            static_cast<int>(line.size()) - 1) == 0 && length != 0) {
        std::fprintf(stderr, "run_command_line: the command line is not UTF-8\n");
        return 125;
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        std::fprintf(stderr, "run_command_line: CreateProcessW failed (error %lu)\n", GetLastError());
        return 125;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 125;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(status);
}
