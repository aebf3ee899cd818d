// The browser's storage and report over the worker's host object. Numbers
// cross into JavaScript as doubles, exact for any file length below 2^53;
// text crosses as UTF-8 bytes, which the host decodes (a line may hold a
// sheet's name in bytes that are not UTF-8).
#include "web/browser_storage.hpp"

#include <emscripten.h>

#include <algorithm>

#include "engine/messages.hpp"

// What emscripten's header defines, for the linters that read this file
// without it and would take the JavaScript bodies for C++.
#ifndef EM_JS
#define EM_JS(ret, name, params, ...) ret name params;
#endif

// The bodies are JavaScript, which the formatter and linters leave alone.
// clang-format off
// NOLINTBEGIN
EM_JS(int, host_names, (char* out, int capacity), {
    const bytes = new TextEncoder().encode(Module.host.names().join(String.fromCharCode(0)));
    if (bytes.length <= capacity) HEAPU8.set(bytes, out);
    return bytes.length;
});
EM_JS(int, host_open, (const char* name, int update), {
    return Module.host.open(UTF8ToString(name), update != 0);
});
EM_JS(double, host_size, (int id), { return Module.host.size(id); });
EM_JS(double, host_read, (int id, double offset, double count, char* out), {
    const bytes = Module.host.read(id, offset, count);
    if (bytes === null) return -1;
    HEAPU8.set(bytes, out);
    return bytes.length;
});
EM_JS(void, host_write_block, (int id, double offset, const char* bytes, int length,
                               const char* line, int line_length), {
    Module.host.writeBlock(id, offset, HEAPU8.slice(bytes, bytes + length),
                           HEAPU8.slice(line, line + line_length));
});
EM_JS(void, host_piece, (const char* bytes, double from, double length), {
    Module.pieces = Module.pieces || [];
    Module.pieces.push(bytes ? HEAPU8.slice(bytes, bytes + length) : {from: from, length: length});
});
EM_JS(void, host_replace, (int id, const char* line, int line_length), {
    const pieces = Module.pieces || [];
    Module.pieces = [];
    Module.host.replaceWhole(id, pieces, HEAPU8.slice(line, line + line_length));
});
EM_JS(void, host_line, (const char* text, int length), {
    Module.host.line(HEAPU8.slice(text, text + length));
});
EM_JS(void, host_progress, (const char* what, double done, double total), {
    Module.host.progress(UTF8ToString(what), done, total);
});
EM_JS(void, host_ip, (const char* bytes, int length), {
    Module.host.ip = HEAPU8.slice(bytes, bytes + length);
});
EM_JS(void, host_read_ahead, (int id, double offset, double count), {
    Module.host.readAhead(id, offset, count);
});
EM_JS(void, host_span, (int id, double offset, double count), {
    Module.host.span = {id: id, at: offset, end: offset + count};
});
EM_JS(void, host_hunks, (const char* bytes, int length), {
    Module.host.decoded(HEAPU8.subarray(bytes, bytes + length));
});
// NOLINTEND
// clang-format on

namespace {

int length_of(std::string_view text) { return static_cast<int>(text.size()); }

// One file the host opened, known by the host's number and its name.
class browser_file final : public stored_file {
public:
    browser_file(int id, std::string name) : id_(id), name_(std::move(name)) {}

    [[nodiscard]] std::int64_t size() const override {
        return static_cast<std::int64_t>(host_size(id_));
    }
    [[nodiscard]] std::string read_at(std::int64_t offset, std::int64_t count) const override {
        // A hostile table may ask for any range: only what the file holds
        // is ever allocated.
        const std::int64_t length = size();
        if (offset < 0 || count <= 0 || offset >= length) {
            return {};
        }
        std::string bytes(static_cast<std::size_t>(std::min(count, length - offset)), '\0');
        const double got = host_read(id_, static_cast<double>(offset),
                                     static_cast<double>(bytes.size()), bytes.data());
        bytes.resize(got < 0 ? 0 : static_cast<std::size_t>(got));
        return bytes;
    }
    [[nodiscard]] bool regular_file() const override { return true; }

    [[nodiscard]] int id() const { return id_; }
    [[nodiscard]] const std::string& name() const { return name_; }

private:
    int id_;
    std::string name_;
};

}  // namespace

void hand_out_ip(std::string_view ip) { host_ip(ip.data(), length_of(ip)); }

void hand_out_hunks(std::string_view hunks) { host_hunks(hunks.data(), length_of(hunks)); }

void hand_out_span(const stored_file& file, std::int64_t offset, std::int64_t length) {
    host_span(static_cast<const browser_file&>(file).id(), static_cast<double>(offset),
              static_cast<double>(length));
}

void read_ahead(const stored_file& file, std::int64_t offset, std::int64_t length) {
    host_read_ahead(static_cast<const browser_file&>(file).id(), static_cast<double>(offset),
                    static_cast<double>(length));
}

browser_storage::browser_storage() {
    std::string joined(static_cast<std::size_t>(host_names(nullptr, 0)), '\0');
    static_cast<void>(host_names(joined.data(), length_of(joined)));
    if (joined.empty()) {
        return;
    }
    std::size_t start = 0;
    for (std::size_t end = joined.find('\0'); end != std::string::npos;
         start = end + 1, end = joined.find('\0', start)) {
        names_.push_back(joined.substr(start, end - start));
    }
    names_.push_back(joined.substr(start));
}

std::unique_ptr<stored_file> browser_storage::open(const std::string& path, file_access how) {
    // Only an entry's own bytes are handed to the host: the name is then
    // exactly one it listed, whatever bytes a sheet gave.
    if (std::find(names_.begin(), names_.end(), path) == names_.end()) {
        return nullptr;
    }
    const int id = host_open(path.c_str(), how == file_access::update ? 1 : 0);
    return id < 0 ? nullptr : std::make_unique<browser_file>(id, path);
}

std::vector<std::string> browser_storage::entries(const std::string& folder,
                                                  std::string_view /*name*/) {
    return folder.empty() ? names_ : std::vector<std::string>{};
}

bool browser_storage::lies_in(const stored_file& /*file*/, const std::string& folder) {
    return folder.empty();
}

bool browser_storage::same_file(const std::string& first, const std::string& second) {
    return first == second;
}

std::unique_ptr<stored_file> browser_storage::open_for_rewrite(const std::string& path) {
    return open(path, file_access::update);
}

// The write is the worker's, made after the engine returns; the browser's
// writable stream writes to a copy and swaps it in whole, so nothing of the
// original needs keeping here to put back.
bool browser_storage::write_block(stored_file& file, std::int64_t offset, std::string_view bytes,
                                  std::string_view /*original*/, std::int64_t /*length*/) {
    const auto& opened = static_cast<const browser_file&>(file);
    const std::string line = naming("can't write image", opened.name());
    host_write_block(opened.id(), static_cast<double>(offset), bytes.data(), length_of(bytes),
                     line.data(), length_of(line));
    return true;
}

bool browser_storage::replace(stored_file& file, const std::string& path,
                              const std::vector<file_piece>& pieces, run_report& /*report*/) {
    for (const file_piece& piece : pieces) {
        host_piece(piece.bytes.empty() ? nullptr : piece.bytes.data(),
                   static_cast<double>(piece.from),
                   static_cast<double>(piece.bytes.empty() ? piece.length : piece.bytes.size()));
    }
    const std::string line = naming("can't write image", path);
    host_replace(static_cast<const browser_file&>(file).id(), line.data(), length_of(line));
    return true;
}

void browser_report::line(const std::string& text) { host_line(text.data(), length_of(text)); }

void browser_report::progress(const char* what, std::uint64_t done, std::uint64_t total) {
    host_progress(what, static_cast<double>(done), static_cast<double>(total));
}
