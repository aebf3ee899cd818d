// The patch and the extraction: the System Area found, then the one write
// (a CHD written anew) or the bytes read back out.
#include "engine/engine.hpp"

#include <utility>

#include "engine/chd_patch.hpp"
#include "engine/system_area.hpp"
#include "sectors/block_patch.hpp"

namespace {

int refuse(run_report& report, const std::string& line) {
    report.line(line);
    return -1;
}

}  // namespace

int patch_image(storage& files, run_report& report, const std::string& image_path,
                std::string_view ip, unsigned hash_workers) {
    if (static_cast<std::int64_t>(ip.size()) != ip_size) {
        return refuse(report, "ip size is not 32768\n");
    }
    system_area area = find_system_area(files, image_path, file_access::update);
    if (!area.refusal.empty()) {
        return refuse(report, area.refusal);
    }
    const std::string sector_line = sector_size_line(area);
    if (area.chd) {
        area.file.reset();
        return patch_chd(files, report, area.path, area.offset, area.layout, sector_line, ip,
                         hash_workers);
    }
    report.line(sector_line);
    if (!files.write_block(*area.file, area.offset, patch_block(area.block, area.layout, ip),
                           area.block, area.file_size)) {
        return refuse(report, naming("can't write image", area.path));
    }
    return 0;
}

extraction extract_system_area(storage& files, const std::string& image_path) {
    const system_area area = find_system_area(files, image_path, file_access::read);
    extraction result;
    if (!area.refusal.empty()) {
        result.refusal = area.refusal;
    } else if (static_cast<std::int64_t>(area.block.size()) <
               std::int64_t{16} * area.layout.sector_size) {
        // bootgraft lengthens a plain image too short for its System Area;
        // what is not there cannot be read out.
        result.refusal = "image size is too small\n";
    } else {
        result.sector_line = sector_size_line(area);
        result.ip = user_data(area.block, area.layout);
    }
    return result;
}
