#pragma once
// Where an output goes. Every file either program writes (a saved test, an
// export, a graph image) is claimed here before any work starts, so that an
// output that cannot be written stops a command before it captures or reads
// anything, and is written so that nothing else is lost:
// - a new or existing regular file is written to a temporary file next to
//   it, "<name>.<8 hex digits>.part", renamed over it once complete; an
//   existing file keeps its mode (and owner and group where the process may
//   set them);
// - a symbolic link is followed: its final target is the file replaced;
// - a character or block device is written in place, never replaced;
// - a FIFO is written in place when a reader has it open, refused otherwise;
// - a socket or a folder is refused;
// - a file the user may not write is refused;
// - an output that is the same file as one of the inputs is refused.

#include <cstdio>
#include <string>
#include <vector>

namespace vantrel {

class COutputFile {
public:
    COutputFile() = default;
    ~COutputFile() { Discard(); }
    COutputFile(const COutputFile&) = delete;
    COutputFile& operator=(const COutputFile&) = delete;

    // Claims `path`, opening the stream the output is written to. False with
    // one line "<path>: <reason>" when the output cannot be written. `inputs`
    // are the files the same command reads.
    bool Claim(const std::string& path, std::string& error,
               const std::vector<std::string>& inputs = {});
    bool IsClaimed() const { return m_file != nullptr || !m_tempPath.empty(); }
    const std::string& Path() const { return m_path; }
    // The temporary file, or empty when the output is written in place.
    const std::string& TempPath() const { return m_tempPath; }
    // Open for writing at the start of the output; null once closed.
    std::FILE* Stream() const { return m_file; }
    // Closes the stream; the claim stays. False, errno set, when buffered
    // bytes were lost.
    bool CloseStream();
    // Finishes the output: closes the stream and puts a temporary file in
    // place. False, with "<path>: cannot write the file: <reason>" or
    // "<path>: cannot put the finished file in place: <reason>"; then the
    // temporary file is gone and a replaced file untouched.
    bool Commit(std::string& error);
    // Closes the stream and removes the temporary file.
    void Discard();

private:
    bool OpenInPlace(const std::string& path, bool fifo, std::string& error);
    bool OpenTemporary(const std::string& target, std::string& error);

    std::string m_path, m_target, m_tempPath;
    std::FILE* m_file = nullptr;
    bool m_keepMode = false;
    unsigned m_mode = 0;
    long long m_owner = -1, m_group = -1;
};

// Reads a whole input file into `bytes`. A regular file is read up to its
// size; anything else that is not a folder (a pipe, a device) is read as a
// stream up to `limit` bytes and refused past it. False, with "<path>:
// <reason>" ("is a directory", "cannot open the file: ...", "is larger than
// ... bytes").
bool ReadInputFile(const std::string& path, size_t limit, std::string& bytes, std::string& error);

// The limit for inputs that are not regular files: 1 GiB.
inline constexpr size_t kStreamInputLimit = size_t{1} << 30;

}  // namespace vantrel
