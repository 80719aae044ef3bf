#include "record/driver_device.h"

#include <mutex>

namespace vantrel {
namespace {
std::mutex g_mutex;
DriverOpener g_opener;
}  // namespace

void SetDriverOpener(DriverOpener opener) {
    std::lock_guard lock(g_mutex);
    g_opener = std::move(opener);
}

std::unique_ptr<IDriverDevice> OpenDevice(const std::string& path) {
    DriverOpener opener;
    {
        std::lock_guard lock(g_mutex);
        opener = g_opener;
    }
    return opener ? opener(path) : nullptr;
}

}  // namespace vantrel
