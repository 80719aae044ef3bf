#include "remote/secret_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "remote/frame.h"

namespace vantrel::remote {

bool WriteNewFile(const std::string& path, const std::string& bytes, unsigned mode,
                  std::string& error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) {
        error = path + ": " + std::generic_category().message(errno);
        return false;
    }
    // The mode is exact whatever the umask says.
    bool ok = ::fchmod(fd, mode) == 0;
    size_t done = 0;
    while (ok && done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) done += static_cast<size_t>(n);
    }
    const int savedErrno = errno;
    ok = ::close(fd) == 0 && ok;
    if (!ok) {
        error = path + ": " + std::generic_category().message(savedErrno ? savedErrno : errno);
        ::unlink(path.c_str());
    }
    return ok;
}

bool ReadSmallFile(const std::string& path, size_t limit, std::string& bytes, std::string& error) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        error = path + ": " + std::generic_category().message(errno);
        return false;
    }
    bytes.assign(limit + 1, '\0');
    const size_t n = std::fread(bytes.data(), 1, bytes.size(), f);
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed || n > limit) {
        error = path + (failed ? ": read error" : ": file too large");
        return false;
    }
    bytes.resize(n);
    return true;
}

bool ReadTokenFile(const std::string& path, std::string& token, std::string& error) {
    if (!ReadSmallFile(path, kMaxTokenBytes + 2, token, error)) return false;
    const size_t end = token.find_first_of("\r\n");
    if (end != std::string::npos) token.resize(end);
    if (token.empty() || token.size() > kMaxTokenBytes) {
        error =
            path + ": not a token (one line of 1 to " + std::to_string(kMaxTokenBytes) + " bytes)";
        return false;
    }
    return true;
}

bool CheckPrivate(const std::string& path, std::string& error) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        error = path + ": " + std::generic_category().message(errno);
        return false;
    }
    if (st.st_mode & 077) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
        error = std::string("permissions ") + mode + " for '" + path +
                "' are too open: it must not be accessible by others (chmod 600)";
        return false;
    }
    return true;
}

}  // namespace vantrel::remote
