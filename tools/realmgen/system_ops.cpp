#include "system_ops.h"

#include "realm_model.h"
#include "report.h"

#include "tools_common/PropertyPath.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <memory>
#include <optional>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

extern char** environ;

namespace realmgen {

std::map<std::string, std::string> passwordChangeSet;

namespace {

constexpr const char* passwdFile = "/etc/passwd";
constexpr const char* groupFile = "/etc/group";
constexpr const char* shadowFile = "/etc/shadow";
constexpr const char* hashTempFile = "/etc/pwd_hash.tmp";

struct Fd {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd()
    {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

bool ok(int status) { return status == 0; }

bool run(std::initializer_list<std::string> args) { return ok(runProgram(args)); }

// Standard input of the child while it runs: a pipe already holding the
// whole text, so the child can read it without us writing concurrently.
class StdinFeed {
public:
    explicit StdinFeed(const std::string* text)
    {
        if (text == nullptr) {
            ok_ = true;
            return;
        }
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) < 0) {
            return;
        }
        Fd readEnd(fds[0]);
        Fd writeEnd(fds[1]);
        // Secrets are short; refusing what a pipe cannot hold keeps us from
        // blocking on a child that is not running yet.
        if (text->size() > 4096 ||
            ::write(writeEnd.fd, text->data(), text->size()) != static_cast<ssize_t>(text->size())) {
            return;
        }
        saved_ = ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3);
        if (::dup2(readEnd.fd, STDIN_FILENO) < 0) {
            return;
        }
        ok_ = true;
    }
    StdinFeed(const StdinFeed&) = delete;
    StdinFeed& operator=(const StdinFeed&) = delete;
    ~StdinFeed()
    {
        if (saved_ >= 0) {
            ::dup2(saved_, STDIN_FILENO);
            ::close(saved_);
        }
    }
    bool ok() const { return ok_; }

private:
    int saved_ = -1;
    bool ok_ = false;
};

std::string firstLine(const char* path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

bool hasNewline(const std::string& s) { return s.find('\n') != std::string::npos; }

// Looks a name up in an account file with the matching fgetXXent reader.
template <class Entry, class Next, class Name, class Id>
int idOf(const char* file, const std::string& name, Next next, Name nameOf, Id idOfEntry)
{
    std::unique_ptr<FILE, int (*)(FILE*)> f(std::fopen(file, "re"), std::fclose);
    while (f) {
        const Entry* e = next(f.get());
        if (e == nullptr) {
            break;
        }
        if (name == nameOf(e)) {
            return static_cast<int>(idOfEntry(e));
        }
    }
    return -1;
}

int gidOfGroup(const std::string& name)
{
    return idOf<group>(groupFile, name, ::fgetgrent, [](const group* g) { return g->gr_name; },
                       [](const group* g) { return g->gr_gid; });
}

int uidOfUser(const std::string& name)
{
    return idOf<passwd>(passwdFile, name, ::fgetpwent, [](const passwd* p) { return p->pw_name; },
                        [](const passwd* p) { return p->pw_uid; });
}

// Gives the directory at path to uid:gid (and sets mode, unless it is -1),
// acting on the directory itself and never on what a link in its place
// points to: the user owns the directory above it and could put a link to
// /etc there. Only a real directory owned by root or by ownerUid is taken;
// anything else is refused with a message.
bool takeDirectory(const std::string& path, int ownerUid, int uid, int gid, int mode)
{
    Fd dir(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st {};
    if (dir.fd < 0 || ::fstat(dir.fd, &st) != 0 || !S_ISDIR(st.st_mode) ||
        (st.st_uid != 0 && static_cast<int>(st.st_uid) != ownerUid)) {
        err("*** Error refusing \"%s\": not a directory owned by the user or root\n", path.c_str());
        return false;
    }
    if (::fchown(dir.fd, static_cast<uid_t>(uid), static_cast<gid_t>(gid)) != 0 ||
        (mode >= 0 && ::fchmod(dir.fd, static_cast<mode_t>(mode)) != 0)) {
        std::perror("chownfile");
        err("*** Error changing owner/group for \"%s\"!\n", path.c_str());
        return false;
    }
    return true;
}

// A hashing program run by the save utility, the password on standard
// input; nullopt when the call itself failed.
std::optional<std::string> hashWith(const std::vector<std::string>& program, const std::string& password)
{
    if (::unlink(hashTempFile) != 0 && errno != ENOENT) {
        std::perror("removing password hash temp file");
    }
    std::vector<std::string> args{saveUtility(), hashTempFile};
    args.insert(args.end(), program.begin(), program.end());
    const std::string input = password + "\n";
    if (!ok(runProgram(args, {}, &input))) {
        ::unlink(hashTempFile);
        return std::nullopt;
    }
    std::string line = firstLine(hashTempFile);
    ::unlink(hashTempFile);
    return line;
}

} // namespace

bool busyBoxMode() { return ::access("/usr/sbin/usermod", F_OK) != 0; }

std::string userPropertyPath(const std::string& realm, const std::string& user)
{
    Vantor_cfgmgr::PropertyPath path;
    path.AddComponent(settings.subsystemName);
    path.AddComponent(realm);
    path.AddComponent("users");
    path.AddComponent(user);
    return path.ToString();
}

int runProgram(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv,
               const std::string* input, FILE* output)
{
    std::vector<char*> argv;
    for (const auto& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
        envp.push_back(*e);
    }
    for (const auto& e : extraEnv) {
        envp.push_back(const_cast<char*>(e.c_str()));
    }
    envp.push_back(nullptr);
    StdinFeed feed(input);
    if (!feed.ok()) {
        return -1;
    }
    std::fflush(Vantor_cfgmgr::ErrorStream());
    return Vantor_util::call_executable(argv.data(), envp.data(), true, nullptr,
                                        output != nullptr ? output : Vantor_cfgmgr::OutputStream(), nullptr);
}

const char* requireUtility(const char* const* candidates, const char* name)
{
    const char* found = Vantor_util__access_list(candidates, X_OK);
    if (found == nullptr) {
        std::fprintf(stderr, "Cannot find the %s utility!\n", name);
        std::exit(254);
    }
    return found;
}

const char* saveUtility()
{
    static const char* const candidates[] = {"/bin/vsaveout", "/usr/local/bin/vsaveout", nullptr};
    return requireUtility(candidates, "vsaveout");
}

bool updateSystemFileField(const std::string& file, const std::string& key, int field, const std::string& value,
                           const std::string* key2)
{
    // The values reach awk through its environment, so no user text ever
    // becomes program text; "" forces string comparison ("01" is not "1").
    std::string program = "BEGIN {FS=OFS=\":\"} $1\"\"==ENVIRON[\"REALMGEN_KEY\"]";
    if (key2 != nullptr) {
        program += " && $2\"\"==ENVIRON[\"REALMGEN_KEY2\"]";
    }
    program += " {$" + std::to_string(field) + "=ENVIRON[\"REALMGEN_VALUE\"]} {print $0}";
    // A line break would split the line in two, a colon in the value would
    // shift every later field.
    if (hasNewline(key) || hasNewline(value) || value.find(':') != std::string::npos ||
        (key2 != nullptr && hasNewline(*key2))) {
        err("*** Error updating %s field \"%s\"!\n", key.c_str(), key.c_str());
        return false;
    }
    const std::string work = file + ".tmp";
    const std::string backup = file + ".bak";
    if (::unlink(work.c_str()) != 0 && errno != ENOENT) {
        std::perror("removing temporary file");
        err("*** Error removing temporary file \"%s\"", work.c_str());
        return false;
    }
    const char* save = saveUtility();
    std::vector<std::string> env{"REALMGEN_KEY=" + key, "REALMGEN_VALUE=" + value};
    if (key2 != nullptr) {
        env.push_back("REALMGEN_KEY2=" + *key2);
    }
    const int status = runProgram({save, work, "/usr/bin/awk", program, file}, env);
    ::sync();
    struct stat workStat {};
    if (status != 0) {
        err("*** Error making call to update \"%s\"!\n", key.c_str());
        ::unlink(work.c_str());
        return false;
    }
    if (::stat(work.c_str(), &workStat) != 0 || workStat.st_size == 0) {
        err("*** Error updating %s field \"%s\"!\n", key.c_str(), key.c_str());
        ::unlink(work.c_str());
        return false;
    }
    // The new file takes over the old one's owner and mode: /etc/shadow must
    // not become readable by everyone.
    struct stat old {};
    if (::stat(file.c_str(), &old) == 0) {
        if (::chown(work.c_str(), old.st_uid, old.st_gid) != 0 || ::chmod(work.c_str(), old.st_mode & 07777) != 0) {
            std::perror("updating file");
            err("*** Error updating file \"%s\"\n", file.c_str());
            ::unlink(work.c_str());
            return false;
        }
    }
    if (::unlink(backup.c_str()) != 0 && errno != ENOENT) {
        std::perror("removing old backup file");
        err("*** Error removing old backup file \"%s\"", backup.c_str());
        return false;
    }
    // A hard link keeps the old content as the backup while the file itself
    // is replaced in one step, so there is no moment without the file.
    if (::link(file.c_str(), backup.c_str()) != 0 && errno != ENOENT) {
        if (::rename(file.c_str(), backup.c_str()) != 0 && errno != ENOENT) {
            std::perror("backing up file");
            err("*** Error backing up file \"%s\"\n", file.c_str());
            return false;
        }
    }
    if (::rename(work.c_str(), file.c_str()) != 0 && errno != ENOENT) {
        std::perror("updating file");
        err("*** Error updating file \"%s\"\n", file.c_str());
        return false;
    }
    ::sync();
    if (settings.verbose > 0) {
        out("The file \"%s\" was updated.\n", file.c_str());
    }
    return true;
}

bool addSystemGroup(const std::string& name, int gid)
{
    // Without a configured GID the system picks one.
    const bool done = gid >= 0 ? run({"/usr/sbin/addgroup", busyBoxMode() ? "-g" : "--gid",
                                      std::to_string(static_cast<unsigned>(gid)), name})
                               : run({"/usr/sbin/addgroup", name});
    if (!done) {
        err("*** Error creating group: \"%s\"!\n", name.c_str());
        return false;
    }
    return true;
}

bool deleteSystemGroup(const std::string& name)
{
    if (!run({"/usr/sbin/delgroup", name})) {
        err("*** Error deleting group: \"%s\"!\n", name.c_str());
        return false;
    }
    return true;
}

bool deleteSystemUser(const std::string& name, bool removeHome)
{
    const bool done = removeHome ? run({"/usr/sbin/deluser", "--remove-home", name}) : run({"/usr/sbin/deluser", name});
    if (!done) {
        err("*** Error deleting account for user \"%s\"!\n", name.c_str());
    }
    return done;
}

bool lockSystemUserPassword(const std::string& name)
{
    if (!run({"/usr/sbin/passwd", "-l", name})) {
        err("*** Error Locking account for user \"%s\"!\n", name.c_str());
        return false;
    }
    return true;
}

bool unlockSystemUserPassword(const std::string& name)
{
    if (!run({"/usr/sbin/passwd", "-u", name})) {
        err("*** Error unlocking account for user \"%s\"!\n", name.c_str());
        return false;
    }
    return true;
}

bool addUserToSystemGroup(const std::string& user, const std::string& group)
{
    if (!run({busyBoxMode() ? "/usr/sbin/addgroup" : "/usr/sbin/adduser", user, group})) {
        err("*** Error adding user %s to group \"%s\"!\n", user.c_str(), group.c_str());
        return false;
    }
    return true;
}

bool deleteUserFromSystemGroup(const std::string& user, const std::string& group)
{
    if (!run({busyBoxMode() ? "/usr/sbin/delgroup" : "/usr/sbin/deluser", user, group})) {
        err("*** Error deleting user %s from group \"%s\"!\n", user.c_str(), group.c_str());
        return false;
    }
    return true;
}

bool createDirPath(const std::string& dir, const char* mode)
{
    if (Vantor_util::ensureDirAccess(dir.c_str()) == 0) {
        return true;
    }
    if (!run({"/bin/mkdir", "-p", "-m", mode, "--", dir})) {
        err("*** Error creating directory: \"%s\"!\n", dir.c_str());
        return false;
    }
    if (Vantor_util::ensureDirAccess(dir.c_str()) != 0) {
        err("*** Error verifying directory: \"%s\"!\n", dir.c_str());
        return false;
    }
    return true;
}

bool changeCliUserShell(const std::string& user, const std::string& shell)
{
    const bool done = busyBoxMode() ? updateSystemFileField(passwdFile, user, 7, shell)
                                    : run({"/usr/sbin/usermod", "-s", shell, user});
    if (!done) {
        err("*** Error updating shell for user \"%s\"!\n", user.c_str());
    }
    return done;
}

bool changeCliUserHomeDir(const std::string& user, const std::string& primaryGroup, const std::string& dir)
{
    if (!createDirPath(dir, "0750")) {
        err("*** Error creating home directory \"%s\" for user \"%s\"!\n", dir.c_str(), user.c_str());
        return false;
    }
    const int gid = gidOfGroup(primaryGroup);
    if (gid < 0) {
        err("*** Error failed to get group ID for group \"%s\"!\n", primaryGroup.c_str());
        return false;
    }
    const int uid = uidOfUser(user);
    if (!takeDirectory(dir, uid, uid, gid, -1)) {
        err("*** Error setting ownership of home directory \"%s\" for user \"%s\"!\n", dir.c_str(), user.c_str());
        return false;
    }
    const bool done = busyBoxMode() ? updateSystemFileField(passwdFile, user, 6, dir)
                                    : run({"/usr/sbin/usermod", "-d", dir, user});
    if (!done) {
        err("*** Error updating home directory for user \"%s\"!\n", user.c_str());
    }
    return done;
}

bool changeCliUserPrimaryGroup(const std::string& user, const std::string& group)
{
    bool done = false;
    if (busyBoxMode()) {
        // The passwd file holds the group's number, not its name.
        const int gid = gidOfGroup(group);
        done = gid >= 0 && updateSystemFileField(passwdFile, user, 4, std::to_string(gid));
    } else {
        done = run({"/usr/sbin/usermod", "-g", group, user});
    }
    if (!done) {
        err("*** Error updating primary group for user \"%s\"!\n", user.c_str());
    }
    return done;
}

bool changeCliUserComment(const std::string& user, const std::string& text)
{
    const bool done = busyBoxMode() ? updateSystemFileField(passwdFile, user, 5, text)
                                    : run({"/usr/sbin/usermod", "-c", text, user});
    if (!done) {
        err("*** Error updating comment field for user \"%s\"!\n", user.c_str());
    }
    return done;
}

bool renameSystemGroup(const std::string& oldName, const std::string& newName)
{
    if (!updateSystemFileField(groupFile, oldName, 1, newName)) {
        err("*** Error renaming group \"%s\" to \"%s\"!\n", oldName.c_str(), newName.c_str());
        return false;
    }
    return true;
}

bool addSystemUser(const std::string& realm, const std::string& user, const std::string& home,
                   const std::string& shell, int uid, const std::string& primaryGroup, const std::string& comment,
                   const std::string& password, bool createHome)
{
    // Without a configured UID the system picks one.
    const std::string id = uid >= 0 ? std::to_string(static_cast<unsigned>(uid)) : std::string();
    std::vector<std::string> args{"/usr/sbin/adduser"};
    if (busyBoxMode()) {
        if (createHome) {
            args.insert(args.end(), {"-h", home});
        } else {
            args.emplace_back("-H");
        }
        args.insert(args.end(), {"-s", shell, "-g", comment});
        if (!id.empty()) {
            args.insert(args.end(), {"-u", id});
        }
        args.insert(args.end(), {"-G", primaryGroup, "-D", user});
    } else {
        if (createHome) {
            args.insert(args.end(), {"--home", home});
        } else {
            args.emplace_back("--no-create-home");
        }
        args.insert(args.end(), {"--shell", shell});
        if (!id.empty()) {
            args.insert(args.end(), {"--uid", id});
        }
        args.insert(args.end(), {"--ingroup", primaryGroup, "--gecos", comment, "--disabled-password", user});
    }
    if (!ok(runProgram(args))) {
        err("*** Error creating account for user \"%s\"!\n", user.c_str());
        return false;
    }
    if (password.empty()) {
        return true; // the caller applies the default hash, if any
    }
    if (!changeCliUserPassword(realm, user, password)) {
        err("*** Error setting new user password for user \"%s\"!\n", user.c_str());
        deleteSystemUser(user, createHome);
        return false;
    }
    return true;
}

bool setUserSshEnable(bool allow, int uid, int gid, const std::string& home)
{
    const std::string dir = home + "/.ssh";
    struct stat st {};
    if (allow) {
        // Nothing there: nothing to open up.
        if (::lstat(dir.c_str(), &st) != 0 && errno == ENOENT) {
            return true;
        }
        if (!takeDirectory(dir, uid, uid, gid, -1)) {
            err("*** Error enabling SSH directory: \"%s\"!\n", dir.c_str());
            return false;
        }
        return true;
    }
    // A root-owned, closed .ssh keeps the user from installing keys.
    if (!createDirPath(dir, "0750") || !takeDirectory(dir, uid, 0, 0, 02700)) {
        err("*** Error disabling SSH directory: \"%s\"!\n", dir.c_str());
        return false;
    }
    return true;
}

bool changeCliUserPassword(const std::string& realm, const std::string& user, const std::string& password)
{
    if (hasNewline(password)) {
        err("*** Error generating cli password for user %s!\n", user.c_str());
        return false;
    }
    const std::vector<std::string> mkpasswd =
        busyBoxMode() ? std::vector<std::string>{"/usr/bin/mkpasswd", "-msha512"}
                      : std::vector<std::string>{"/usr/bin/mkpasswd", "-msha-512", "--stdin"};
    const auto made = hashWith(mkpasswd, password);
    if (!made) {
        err("*** Error making call to generate cli password for user \"%s\"!\n", user.c_str());
        return false;
    }
    const std::string& hash = *made;
    if (hash.empty()) {
        err("*** Error generating cli password for user %s!\n", user.c_str());
        return false;
    }
    if (!updateSystemFileField(shadowFile, user, 2, hash)) {
        err("*** Error updating cli password for user \"%s\"!\n", user.c_str());
        return false;
    }
    passwordChangeSet[userPropertyPath(realm, user)] = password;
    return true;
}

std::string generateWebUserPassword(const std::string& user, const std::string& password)
{
    if (hasNewline(password)) {
        err("*** Error generating password for user %s!\n", user.c_str());
        return {};
    }
    const auto made = hashWith({"/usr/bin/htpasswd", "-mni", user}, password);
    if (!made) {
        err("*** Error making call to generate password for user \"%s\"!\n", user.c_str());
        return {};
    }
    if (made->empty()) {
        err("*** Error generating password for user %s!\n", user.c_str());
    }
    return *made;
}

} // namespace realmgen
