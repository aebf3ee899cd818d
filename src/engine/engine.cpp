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

begun_patch begin_patch(storage& files, run_report& report, const std::string& image_path,
                        std::string_view ip) {
    begun_patch run;
    if (static_cast<std::int64_t>(ip.size()) != ip_size) {
        run.status = refuse(report, "ip size is not 32768\n");
        return run;
    }
    system_area area = find_system_area(files, image_path, file_access::update);
    if (!area.refusal.empty()) {
        run.status = refuse(report, area.refusal);
        return run;
    }
    const std::string sector_line = sector_size_line(area);
    if (area.chd) {
        area.file.reset();
        run.chd =
            chd_patch::plan(files, report, area.path, area.offset, area.layout, sector_line, ip);
        return run;
    }
    report.line(sector_line);
    run.status =
        files.write_block(*area.file, area.offset, patch_block(area.block, area.layout, ip),
                          area.block, area.file_size)
            ? 0
            : refuse(report, naming("can't write image", area.path));
    return run;
}

int patch_image(storage& files, run_report& report, const std::string& image_path,
                std::string_view ip, unsigned hash_workers) {
    begun_patch run = begin_patch(files, report, image_path, ip);
    return run.chd ? run_chd_patch(*run.chd, hash_workers) : run.status;
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
