// The module's two entry points, called by its worker with the host set:
// each returns the status the command would exit with, 0 or -1, having said
// the same lines through the host.
#include <emscripten.h>

#include <string_view>

#include "engine/engine.hpp"
#include "web/browser_storage.hpp"

extern "C" {

// The wasm has no threads: a CHD's hunks are decoded for its digests here.
EMSCRIPTEN_KEEPALIVE int bootgraft_patch(const char* name, const char* ip, int ip_length) {
    browser_storage files;
    browser_report report;
    return patch_image(
        files, report, name,
        std::string_view(ip, static_cast<std::size_t>(ip_length < 0 ? 0 : ip_length)), 0);
}

EMSCRIPTEN_KEEPALIVE int bootgraft_extract(const char* name) {
    browser_storage files;
    browser_report report;
    const extraction taken = extract_system_area(files, name);
    if (!taken.refusal.empty()) {
        report.line(taken.refusal);
        return -1;
    }
    report.line(taken.sector_line);
    hand_out_ip(taken.ip);
    return 0;
}
}
