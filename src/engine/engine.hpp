// The two things the tool does, whatever holds the files: the console
// commands and the browser module are thin front-ends over these.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "engine/chd_patch.hpp"
#include "engine/messages.hpp"
#include "engine/report.hpp"
#include "engine/storage.hpp"

// Writes `ip` over the System Area of the image at `image_path`, saying
// every line of the run through `report`. `hash_workers` threads decode a
// CHD's hunks for its digests (0: this thread alone). 0 on success, else
// -1 after the line that says why, nothing written or the file as it was.
int patch_image(storage& files, run_report& report, const std::string& image_path,
                std::string_view ip, unsigned hash_workers);

// The same patch as steps, for a front-end that decodes a CHD's hunks
// itself (the browser's engine has no threads): where `chd` is set, the run
// goes on through its steps (chd_patch.hpp); otherwise `status` ends it, as
// patch_image's would.
struct begun_patch {
    int status = -1;
    std::unique_ptr<chd_patch> chd;
};
begun_patch begin_patch(storage& files, run_report& report, const std::string& image_path,
                        std::string_view ip);

// The System Area of the image at `image_path` read back out: the line that
// refuses it, or the "sector size" line and the 32768 bytes. Only reads.
struct extraction {
    std::string refusal;
    std::string sector_line;
    std::string ip;
};
extraction extract_system_area(storage& files, const std::string& image_path);
