// The Windows counterpart of tool_process_posix.cpp: CreateProcessW with the
// tool's output read through pipes.
#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <array>
#include <memory>

#include "console.hpp"
#include "tool_process.hpp"

const int tool_failure_status = -1;
const bool can_limit_file_size = false;

namespace {

struct handle_closer {
    void operator()(HANDLE handle) const { static_cast<void>(CloseHandle(handle)); }
};
using owned_handle = std::unique_ptr<void, handle_closer>;

// Quoted so that the C runtime's and CommandLineToArgvW's parsing give the
// argument back unchanged: backslashes double only before a quote.
std::wstring quoted(const std::string& arg) {
    std::wstring line = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : utf16(arg)) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        line.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        line += c;
        backslashes = 0;
    }
    line.append(2 * backslashes, L'\\');
    return line + L"\" ";
}

std::string drain(const owned_handle& pipe) {
    std::string text;
    std::array<char, 4096> buffer{};
    const auto size = static_cast<DWORD>(buffer.size());
    for (DWORD n = 0; ReadFile(pipe.get(), buffer.data(), size, &n, nullptr) != 0 && n > 0;) {
        text.append(buffer.data(), n);
    }
    return text;
}

// The read end for the test, the write end for the tool to inherit.
bool make_pipe(owned_handle& read_end, owned_handle& write_end) {
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE reader = nullptr;
    HANDLE writer = nullptr;
    if (CreatePipe(&reader, &writer, &inheritable, 0) == 0) {
        return false;
    }
    read_end.reset(reader);
    write_end.reset(writer);
    return SetHandleInformation(reader, HANDLE_FLAG_INHERIT, 0) != 0;
}

}  // namespace

// Windows has no file-size limit to set, so a run that asks for one is
// refused rather than run without it. The read-only attribute binds every
// user alike: `unprivileged` needs nothing here.
tool_run run_tool(const std::vector<std::string>& args, const run_limits& limits) {
    if (limits.file_size_limit >= 0) {
        return {};
    }
    std::wstring line = quoted(BOOTGRAFT_EXE);
    for (const std::string& arg : args) {
        line += quoted(arg);
    }
    owned_handle out_read;
    owned_handle out_write;
    owned_handle err_read;
    owned_handle err_write;
    if (!make_pipe(out_read, out_write) || !make_pipe(err_read, err_write)) {
        return {};
    }
    if (limits.output_unread) {
        out_read.reset();
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out_write.get();
    startup.hStdError = err_write.get();
    PROCESS_INFORMATION process{};
    const std::wstring exe = utf16(BOOTGRAFT_EXE);
    if (CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                       &startup, &process) == 0) {
        return {};
    }
    const owned_handle child(process.hProcess);
    const owned_handle thread(process.hThread);
    // Only the tool may hold the write ends now, so the reads below end.
    out_write.reset();
    err_write.reset();
    tool_run run;
    run.out = drain(out_read);
    run.err = drain(err_read);  // the tool writes little enough not to block on either pipe
    DWORD status = 0;
    if (WaitForSingleObject(child.get(), INFINITE) == WAIT_OBJECT_0 &&
        GetExitCodeProcess(child.get(), &status) != 0) {
        run.status = static_cast<int>(status);
    }
    return run;
}
#endif
