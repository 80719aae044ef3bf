#include "devnodes/trace_devices.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>

namespace vantrel {
namespace {

constexpr int kMaxDepth = 8;  // /dev is shallow; a loop of bind mounts must not run away

void Walk(const std::string& folder, int depth, std::vector<TraceNode>& out) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) return;
    std::vector<std::string> subfolders;
    // NOLINTNEXTLINE(concurrency-mt-unsafe): each directory stream is this thread's own
    while (const dirent* e = readdir(dir)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        std::string path = folder;
        path += '/';
        path += name;
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            subfolders.push_back(path);
        } else if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) {
            out.push_back({S_ISBLK(st.st_mode), major(st.st_rdev), minor(st.st_rdev), path});
        }
    }
    closedir(dir);
    if (depth >= kMaxDepth) return;
    for (const std::string& sub : subfolders) Walk(sub, depth + 1, out);
}

// DEVNAME from a uevent file, empty when there is none.
std::string DevName(const std::string& sysDev, const TraceNode& node) {
    std::ifstream in(sysDev + (node.block ? "/block/" : "/char/") + std::to_string(node.major) +
                     ":" + std::to_string(node.minor) + "/uevent");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("DEVNAME=", 0) == 0) return line.substr(8);
    return {};
}

// The major numbers' names from /proc/devices: its "Character devices:"
// section, then its "Block devices:" section. The first name of a major wins.
struct MajorNames {
    std::map<uint32_t, std::string> character, block;
};

MajorNames ReadMajorNames(const std::string& procDevices) {
    MajorNames names;
    std::ifstream in(procDevices);
    std::string line;
    std::map<uint32_t, std::string>* section = nullptr;
    while (std::getline(in, line)) {
        if (line.rfind("Character devices:", 0) == 0) {
            section = &names.character;
            continue;
        }
        if (line.rfind("Block devices:", 0) == 0) {
            section = &names.block;
            continue;
        }
        std::istringstream fields(line);
        uint32_t major = 0;
        std::string name;
        if (section && fields >> major >> name) section->emplace(major, name);
    }
    return names;
}

}  // namespace

std::vector<TraceNode> FindDeviceNodes(const std::string& devRoot) {
    std::vector<TraceNode> nodes;
    Walk(devRoot, 0, nodes);
    return nodes;
}

std::vector<TraceDevice> BuildTraceDevices(const std::vector<TraceNode>& nodes,
                                           const TraceRoots& roots) {
    const MajorNames majors = ReadMajorNames(roots.procDevices);
    std::map<uint32_t, TraceDevice> rows;
    std::map<uint32_t, bool> kernelNamed;
    for (const TraceNode& node : nodes) {
        const uint32_t object = TraceDeviceObject(node.block, node.major, node.minor);
        const std::string devName = DevName(roots.sysDev, node);
        auto [it, fresh] = rows.try_emplace(object);
        TraceDevice& row = it->second;
        if (fresh) {
            row.deviceObject = object;
            const auto& names = node.block ? majors.block : majors.character;
            if (auto m = names.find(node.major); m != names.end()) row.description = m->second;
        }
        // The kernel's own name for the number wins over whichever alias
        // the walk met first; without one the shortest path stands in.
        bool& named = kernelNamed[object];
        if (!devName.empty()) {
            row.name = "/dev/" + devName;
            named = true;
        } else if (!named && (fresh || node.path.size() < row.name.size())) {
            row.name = node.path;
        }
    }
    std::vector<TraceDevice> out;
    out.reserve(rows.size() + 3);
    for (auto& [object, row] : rows) out.push_back(std::move(row));
    out.push_back({kTraceFilesObject, "(files)", "", 1});
    out.push_back({kTracePipesObject, "(pipes and sockets)", "", 1});
    out.push_back({kTraceOtherNodesObject, "(other device nodes)", "", 1});
    return out;
}

std::vector<TraceDevice> EnumerateTraceDevices(const TraceRoots& roots) {
    return BuildTraceDevices(FindDeviceNodes(roots.dev), roots);
}

}  // namespace vantrel
