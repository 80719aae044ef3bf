#pragma once
// The log file of a filter run: every text block printed for newly arrived
// records, byte for byte, in printing order.

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/debug_output.h"
#include "platform/tick.h"

namespace vantrel {

// "month-day-year hour.minute.second.log", without leading zeros.
std::string LogFileName(const LocalTime& time);

class CLogFile {
public:
    struct FileCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

    // `debug` hears of a file that cannot be created.
    explicit CLogFile(CDebugOutput debug = {}) : m_debug(std::move(debug)) {}
    ~CLogFile();
    CLogFile(const CLogFile&) = delete;
    CLogFile& operator=(const CLogFile&) = delete;

    // Creates (truncating) the file and sets the logging flag. When the file
    // cannot be created the flag is set all the same, nothing will be
    // written, and one debugger-output line names the file.
    void Open(const std::string& path);
    // Creates (truncating) a log file without logging into it yet: a filter
    // run creates its log before it changes anything, so that a file that
    // cannot be created leaves the previous run untouched. Null when the
    // file cannot be created.
    static FilePtr Create(const std::string& path);
    // Creates a new log file named `name`, or, when a file of that name is
    // already there, "<name without .log>-2.log", "-3", ...: a log is never
    // overwritten. `chosen` gets the name created (or the first name tried).
    static FilePtr CreateNew(const std::string& name, std::string& chosen);
    // Starts logging into a file made by Create, closing any open one, and
    // sets the logging flag. `path` names the file in a write failure.
    void Start(FilePtr file, std::string path = {});
    // Writes the characters when a file is open; otherwise nothing. The
    // first write that fails closes the file (logging stops; the flag
    // stays) and returns the one line that says so; empty otherwise.
    std::string Write(std::string_view text);
    // Hands what was written so far to the system; a failure as Write.
    std::string Flush();
    // Whether a write failed since the last Start.
    bool Failed() const;
    // Closes the file and clears the logging flag.
    void Close();
    bool IsLogging() const;
    // Whether a file is actually open (false after a failed Open).
    bool HasFile() const;

private:
    const CDebugOutput m_debug;
    mutable std::mutex m_mutex;
    std::string FailLocked();

    std::FILE* m_file = nullptr;
    std::string m_path;
    bool m_logging = false;
    bool m_failed = false;
};

}  // namespace vantrel
