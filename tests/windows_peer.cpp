// Another Windows program beside the one tested, which runs command and exits with its status:
//   windows_peer pipe NAME command   serves one connection of a one-instance named pipe while
//                                    command runs, and copies it to standard output
//   windows_peer hold FILE command   holds FILE open for writing, sharing it for writing only
#include <windows.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) return 100;
    bool const pipe = std::wcscmp(argv[1], L"pipe") == 0;
    HANDLE const held = pipe ? CreateNamedPipeW(argv[2], PIPE_ACCESS_INBOUND,
                                                PIPE_TYPE_BYTE | PIPE_WAIT, 1, 0, 65536, 0, nullptr)
                             : CreateFileW(argv[2], GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW start{};
    start.cb = sizeof start;
    PROCESS_INFORMATION child{};
    if (held == INVALID_HANDLE_VALUE || CreateProcessW(nullptr, argv[3], nullptr, nullptr, TRUE, 0,
                                                       nullptr, nullptr, &start, &child) == 0)
        return 101;
    if (pipe && (ConnectNamedPipe(held, nullptr) != 0 || GetLastError() == ERROR_PIPE_CONNECTED)) {
        char bytes[4096];
        DWORD got = 0;
        DWORD put = 0;
        while (ReadFile(held, bytes, sizeof bytes, &got, nullptr) != 0 && got != 0)
            WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes, got, &put, nullptr);
    }
    DWORD status = 102;
    WaitForSingleObject(child.hProcess, INFINITE);
    GetExitCodeProcess(child.hProcess, &status);
    return static_cast<int>(status);
}
