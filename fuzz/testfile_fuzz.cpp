// libFuzzer target: test file loading. Any input either loads or fails with
// a message; a loaded test stores and loads again to the same bytes.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "record/test_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vantrel;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    TestFileHeader header;
    CRecordList list;
    std::string error;
    if (!LoadTestBytes(bytes, "fuzz.vtl", header, list, &error)) {
        if (error.empty() || !list.Empty())
            std::abort();  // a failure names its problem and keeps the list
        return 0;
    }
    if (list.Size() != header.RecordCount) std::abort();

    // Storing uses the shortest string prefixes, so it never grows the file.
    std::string stored;
    StoreTestFile(header, list, stored);
    if (stored.size() > size) std::abort();

    TestFileHeader again;
    CRecordList reloaded;
    if (!LoadTestBytes(stored, "stored.vtl", again, reloaded, &error)) std::abort();
    std::string restored;
    StoreTestFile(again, reloaded, restored);
    if (restored != stored) std::abort();
    return 0;
}
