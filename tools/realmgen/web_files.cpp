#include "web_files.h"

#include "report.h"
#include "system_ops.h"
#include "system_views.h"

#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace realmgen {

namespace {

std::string prefixOf(const std::string& user, const std::string* realm)
{
    return realm != nullptr ? user + ":" + *realm + ":" : user + ":";
}

bool startsWith(const std::string& s, const std::string& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

std::string dirOf(const std::string& file)
{
    const auto slash = file.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : file.substr(0, slash);
}

// Writes lines to file + ".tmp", flushes it to the disk and renames it over
// the file. The file keeps mode 0644.
bool writeWholeFile(const std::string& file, const std::vector<std::string>& lines)
{
    const std::string work = file + ".tmp";
    std::string text;
    for (const auto& l : lines) {
        text += l;
        text += '\n';
    }
    const int fd = ::open(work.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    bool done = ::fchmod(fd, 0644) == 0;
    size_t off = 0;
    while (done && off < text.size()) {
        const ssize_t n = ::write(fd, text.data() + off, text.size() - off);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        done = n > 0;
        off += n > 0 ? static_cast<size_t>(n) : 0;
    }
    done = ::fsync(fd) == 0 && done;
    done = ::close(fd) == 0 && done;
    if (!done || ::rename(work.c_str(), file.c_str()) != 0) {
        ::unlink(work.c_str());
        return false;
    }
    return true;
}

std::vector<std::string> readAllLines(const std::string& file)
{
    std::vector<std::string> lines;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        lines.push_back(line);
    }
    return lines;
}

// Drops the lines starting with prefix and appends newLine (when not empty).
bool replaceLine(const std::string& file, const std::string& prefix, const std::string& newLine)
{
    std::vector<std::string> kept;
    for (auto& l : readAllLines(file)) {
        if (!startsWith(l, prefix)) {
            kept.push_back(std::move(l));
        }
    }
    if (!newLine.empty()) {
        kept.push_back(newLine);
    }
    return writeWholeFile(file, kept);
}

bool findLine(const std::string& file, const std::string& prefix, std::string& line)
{
    for (auto& l : readAllLines(file)) {
        if (startsWith(l, prefix)) {
            line = std::move(l);
            return true;
        }
    }
    return false;
}

// Names and passwords that would break the line format are refused.
bool fitsLine(const std::string& s, bool colonAllowed)
{
    return s.find('\n') == std::string::npos && s.find('\r') == std::string::npos &&
           (colonAllowed || s.find(':') == std::string::npos);
}

bool prepareFile(const std::string& file)
{
    if (Vantor_util::ensureDirAccess(dirOf(file).c_str()) != 0) {
        err("*** Error with directory for Web password file \"%s\"!\n", file.c_str());
        return false;
    }
    if (::access(file.c_str(), F_OK) == 0) {
        return true;
    }
    const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        std::perror("creating web password file");
        return false;
    }
    const bool modeOk = ::fchmod(fd, 0644) == 0;
    ::close(fd);
    if (!modeOk) {
        err("*** Error changing permissins on  Web password file \"%s\"!\n", file.c_str());
        return false;
    }
    return true;
}

bool storeEntry(const std::string& file, const std::string& user, const std::string* realm,
                const std::string& hash)
{
    const std::string prefix = prefixOf(user, realm);
    std::string existing;
    if (realm != nullptr && findLine(file, prefix, existing)) {
        if (!updateSystemFileField(file, user, 3, hash, realm)) {
            err("*** Error updating web password digest for user \"%s\"!\n", user.c_str());
            return false;
        }
        return true;
    }
    if (!replaceLine(file, prefix, prefix + hash)) {
        err("*** Error cannot open web password file \"%s\"\n", file.c_str());
        return false;
    }
    return true;
}

} // namespace

std::string generateWebUserPasswordDigest(const std::string& user, const std::string& realm,
                                          const std::string& password)
{
    const std::string text = user + ":" + realm + ":" + password;
    std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_md5(), nullptr) != 1 ||
        EVP_DigestUpdate(ctx.get(), text.data(), text.size()) != 1 ||
        EVP_DigestFinal_ex(ctx.get(), digest, &length) != 1) {
        return {};
    }
    std::string hex;
    char pair[3];
    for (unsigned i = 0; i < length; ++i) {
        std::snprintf(pair, sizeof pair, "%02x", digest[i]);
        hex += pair;
    }
    return hex;
}

std::string lockedPwdHash(const std::string& hash, bool locked)
{
    const auto dollar = hash.rfind('$');
    const size_t at = dollar == std::string::npos ? 0 : dollar + 1;
    const bool isLocked = at < hash.size() && hash[at] == '!';
    std::string result = hash;
    if (locked && !isLocked) {
        result.insert(at, "!");
    } else if (!locked && isLocked) {
        result.erase(at, 1);
    }
    return result;
}

bool setWebUserPassword(const std::string& file, const std::string& user, const std::string* realm,
                        const std::string& password, bool locked)
{
    if (!prepareFile(file)) {
        return false;
    }
    if (realm != nullptr) {
        const std::string ha1 = fitsLine(user, false) && fitsLine(*realm, false) && fitsLine(password, true)
                                    ? generateWebUserPasswordDigest(user, *realm, password)
                                    : std::string();
        if (ha1.empty()) {
            err("*** Error generating web password digest for \"%s:%s\"!\n", realm->c_str(), user.c_str());
            return false;
        }
        return storeEntry(file, user, realm, locked ? "!" + ha1 : ha1);
    }
    const std::string line = fitsLine(user, false) ? generateWebUserPassword(user, password) : std::string();
    const std::string prefix = prefixOf(user, nullptr);
    if (line.empty() || !startsWith(line, prefix)) {
        err("*** Error generating web password for %s\"!\n", user.c_str());
        return false;
    }
    return storeEntry(file, user, nullptr, lockedPwdHash(line.substr(prefix.size()), locked));
}

bool setWebUserHash(const std::string& file, const std::string& user, const std::string* realm,
                    const std::string& hash, bool locked)
{
    if (!prepareFile(file) || !fitsLine(user, false) || !fitsLine(hash, true) ||
        (realm != nullptr && !fitsLine(*realm, false))) {
        return false;
    }
    std::string stored = hash;
    if (realm != nullptr) {
        if (locked && (stored.empty() || stored[0] != '!')) {
            stored.insert(0, "!");
        }
    } else {
        stored = lockedPwdHash(stored, locked);
    }
    return storeEntry(file, user, realm, stored);
}

bool lockWebUserPasswordDigest(const std::string& file, const std::string& user, const std::string* realm, bool lock)
{
    if (::access(file.c_str(), F_OK) != 0) {
        err("*** Error: Web password digest file \"%s\" does not exist!\n", file.c_str());
        return false;
    }
    const std::string prefix = prefixOf(user, realm);
    std::string line;
    if (!findLine(file, prefix, line)) {
        return false;
    }
    const std::string hash = line.substr(prefix.size());
    std::string changed = hash;
    if (realm != nullptr) {
        const bool isLocked = !hash.empty() && hash[0] == '!';
        if (lock && !isLocked) {
            changed.insert(0, "!");
        } else if (!lock && isLocked) {
            changed.erase(0, 1);
        }
    } else {
        changed = lockedPwdHash(hash, lock);
    }
    if (changed == hash) {
        return true;
    }
    if (!replaceLine(file, prefix, prefix + changed)) {
        err(lock ? "*** Error: writing locked password to \"%s\" for user %s.\n"
                 : "*** Error: writing unlocked password to \"%s\" for user %s.\n",
            file.c_str(), user.c_str());
        return false;
    }
    return true;
}

bool deleteWebUserPasswordDigest(const std::string& file, const std::string& user, const std::string* realm)
{
    if (::access(file.c_str(), F_OK) != 0) {
        return true;
    }
    const std::string prefix = prefixOf(user, realm);
    if (!replaceLine(file, prefix, "")) {
        err("*** Error deleting entry \"%s\" from Web password digest file \"%s\"!\n", prefix.c_str(), file.c_str());
        return false;
    }
    return true;
}

} // namespace realmgen
