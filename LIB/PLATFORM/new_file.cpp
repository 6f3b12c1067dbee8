// New files made safely (see new_file.h for the contract).
#ifdef _WIN32
#define _CRT_RAND_S  // rand_s: the system's random source
#endif
#include "new_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <io.h>
#include <windows.h>
#else
#include <sys/random.h>
#include <unistd.h>
#endif

namespace {

const char TEMP_TAG[] = ".tmp";
const int RANDOM_CHARS = 12;
// A name drawn may be held already (62^12 names: hardly ever); a few more
// draws find a free one.
const int ATTEMPTS = 100;

// The errno of a failure, which some paths leave at 0.
int reason() { return errno ? errno : EIO; }

#ifdef _WIN32
void errno_from_windows()
{
    DWORD e = GetLastError();
    if (e == ERROR_FILE_EXISTS || e == ERROR_ALREADY_EXISTS)
        errno = EEXIST;
    else if (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND)
        errno = ENOENT;
    else
        errno = EACCES;
}
#endif

// The named temporaries, in static buffers that the handler of an ending
// signal can read without taking memory: it removes those that may exist
// before the process ends (a kill that cannot be caught still leaves one).
const int TEMP_SLOTS = 4;       // new files under way at once
const size_t TEMP_PATH = 4096;  // a longer path cannot be opened on POSIX
static_assert(ATOMIC_INT_LOCK_FREE == 2, "the signal handler reads the slots' states");
char temp_paths[TEMP_SLOTS][TEMP_PATH];
enum { FREE, DRAWN, LIVE };  // LIVE: a file may have the name
// Lock-free, so safe in a handler; a name is written before its slot is
// marked LIVE, and the handler (a thread of its own on Windows) sees it so.
std::atomic<int> temp_state[TEMP_SLOTS];
int temps_held = 0;

#ifdef _WIN32
// Ctrl-C, Ctrl-Break and the console's close: the next handler (by default
// the end of the process) runs once the temporaries are gone. The file is
// open with FILE_SHARE_DELETE: its name goes now, its data at the end.
BOOL WINAPI remove_temps(DWORD)
{
    for (int i = 0; i < TEMP_SLOTS; i++)
        if (temp_state[i] == LIVE) DeleteFileA(temp_paths[i]);
    return FALSE;
}
#else
const int ENDING_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
const int N_ENDING = sizeof ENDING_SIGNALS / sizeof ENDING_SIGNALS[0];
struct sigaction ending_old[N_ENDING];

// Removes the temporaries, puts back what the signal did before and raises
// it again: blocked until this returns, it then ends the process as it
// would have.
void remove_temps_and_end(int sig)
{
    for (int i = 0; i < TEMP_SLOTS; i++)
        if (temp_state[i] == LIVE) unlink(temp_paths[i]);
    for (int k = 0; k < N_ENDING; k++)
        if (ENDING_SIGNALS[k] == sig) sigaction(sig, &ending_old[k], nullptr);
    raise(sig);
}
#endif

// The handler is in place while any slot is held, and only then.
void watch_signals(bool on)
{
#ifdef _WIN32
    SetConsoleCtrlHandler(remove_temps, on ? TRUE : FALSE);
#else
    struct sigaction act;
    memset(&act, 0, sizeof act);
    act.sa_handler = remove_temps_and_end;
    sigemptyset(&act.sa_mask);
    for (int sig : ENDING_SIGNALS) sigaddset(&act.sa_mask, sig);
    for (int k = 0; k < N_ENDING; k++) {
        if (on) sigaction(ENDING_SIGNALS[k], nullptr, &ending_old[k]);
        // A signal the process was started to ignore stays ignored.
        if (ending_old[k].sa_handler != SIG_IGN)
            sigaction(ENDING_SIGNALS[k], on ? &act : &ending_old[k], nullptr);
    }
#endif
}

// A slot for a temporary name of target: the target, TEMP_TAG and room for
// the random part, which starts at *random. Null, with errno, when the name
// is too long or every slot is held.
char *temp_buffer(const char *target, char **random)
{
    size_t n = strlen(target);
    if (n + sizeof TEMP_TAG + RANDOM_CHARS > TEMP_PATH) {
        errno = ENAMETOOLONG;
        return nullptr;
    }
    int i = 0;
    while (i < TEMP_SLOTS && temp_state[i] != FREE) i++;
    if (i == TEMP_SLOTS) {
        errno = EMFILE;
        return nullptr;
    }
    if (temps_held++ == 0) watch_signals(true);
    temp_state[i] = DRAWN;
    char *t = temp_paths[i];
    memcpy(t, target, n);
    memcpy(t + n, TEMP_TAG, sizeof TEMP_TAG - 1);
    *random = t + n + sizeof TEMP_TAG - 1;
    return t;
}

int slot_of(const char *temp) { return static_cast<int>((temp - temp_paths[0]) / TEMP_PATH); }

// Marked before the file is made under the name, so that no signal falls
// between the two; unmarked when the name turns out to be taken (a name
// of 12 random characters, held hardly ever).
void mark_live(const char *temp, bool live) { temp_state[slot_of(temp)] = live ? LIVE : DRAWN; }

// The slot back, its file named or removed.
void release_temp(const char *temp)
{
    temp_state[slot_of(temp)] = FREE;
    if (--temps_held == 0) watch_signals(false);
}

// Writes RANDOM_CHARS fresh letters and digits, then the terminating NUL.
bool draw(char *random)
{
    static const char ALPHABET[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    unsigned char r[RANDOM_CHARS];
#ifdef _WIN32
    for (unsigned char &b : r) {
        unsigned int v;
        if (rand_s(&v) != 0) {
            errno = EIO;
            return false;
        }
        b = static_cast<unsigned char>(v);
    }
#else
    if (getentropy(r, sizeof r) != 0) return false;
#endif
    for (int i = 0; i < RANDOM_CHARS; i++) random[i] = ALPHABET[r[i] % (sizeof ALPHABET - 1)];
    random[RANDOM_CHARS] = '\0';
    return true;
}

// The name is in use (EEXIST), or cannot be looked at (errno).
bool name_taken(const char *target)
{
#ifdef _WIN32
    // The attributes of a link itself: a dangling one takes the name too.
    if (GetFileAttributesA(target) != INVALID_FILE_ATTRIBUTES) {
        errno = EEXIST;
        return true;
    }
    if (GetLastError() == ERROR_FILE_NOT_FOUND) return false;
    errno_from_windows();
    return true;
#else
    struct stat st;
    if (lstat(target, &st) == 0) {
        errno = EEXIST;
        return true;
    }
    return errno != ENOENT;
#endif
}

// Creates a file of a fresh temporary name beside the target, exclusively,
// and names it in nf->temp: its descriptor, or -1 with errno.
int create_temp(NewFile *nf, bool text)
{
#ifndef _WIN32
    (void)text;  // one mode on POSIX
#endif
    char *random;
    char *temp = temp_buffer(nf->target, &random);
    if (!temp) return -1;
    for (int k = 0; k < ATTEMPTS && draw(random); k++) {
        mark_live(temp, true);
#ifdef _WIN32
        HANDLE h = CreateFileA(temp, GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), text ? _O_TEXT : _O_BINARY);
            if (fd < 0) {
                CloseHandle(h);
                DeleteFileA(temp);
                break;
            }
            nf->temp = temp;
            return fd;
        }
        errno_from_windows();
#else
        int fd = open(temp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            nf->temp = temp;
            return fd;
        }
#endif
        mark_live(temp, false);
        if (errno != EEXIST) break;
    }
    int err = errno;
    release_temp(temp);
    errno = err;
    return -1;
}

#ifdef O_TMPFILE
void proc_path(int fd, char *out, size_t size) { snprintf(out, size, "/proc/self/fd/%d", fd); }

// An unnamed file in the target's folder: its descriptor, or -1 where the
// kernel or the file system has none, or /proc is missing (the one way to
// name it without a privilege).
int create_unnamed(const char *target)
{
    const char *slash = strrchr(target, '/');
    size_t n = slash ? (slash == target ? 1 : static_cast<size_t>(slash - target)) : 1;
    char *folder = static_cast<char *>(malloc(n + 1));
    if (!folder) return -1;
    if (slash)
        memcpy(folder, target, n);
    else
        folder[0] = '.';
    folder[n] = '\0';
    int fd = open(folder, O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    free(folder);
    char proc[40];
    struct stat st;
    if (fd >= 0) proc_path(fd, proc, sizeof proc);
    if (fd >= 0 && stat(proc, &st) != 0) {
        close(fd);
        fd = -1;
    }
    return fd;
}

// Names the unnamed file open on fd: at the target when that is free,
// else (replace) under a fresh name first and then over the old file.
bool name_unnamed(NewFile *nf, int fd)
{
    char proc[40];
    proc_path(fd, proc, sizeof proc);
    if (linkat(AT_FDCWD, proc, AT_FDCWD, nf->target, AT_SYMLINK_FOLLOW) == 0) return true;
    if (errno != EEXIST || !nf->replace) return false;
    char *random;
    char *temp = temp_buffer(nf->target, &random);
    if (!temp) return false;
    for (int k = 0; k < ATTEMPTS && draw(random); k++) {
        mark_live(temp, true);
        if (linkat(AT_FDCWD, proc, AT_FDCWD, temp, AT_SYMLINK_FOLLOW) == 0) {
            nf->temp = temp;
            return rename(temp, nf->target) == 0;
        }
        mark_live(temp, false);
        if (errno != EEXIST) break;
    }
    int err = errno;
    release_temp(temp);
    errno = err;
    return false;
}
#endif

// Gives the temporary its name. On success the temporary name is gone.
bool name_temp(NewFile *nf)
{
#ifdef _WIN32
    if (MoveFileExA(nf->temp, nf->target, nf->replace ? MOVEFILE_REPLACE_EXISTING : 0)) return true;
    errno_from_windows();
    return false;
#else
    if (nf->replace) return rename(nf->temp, nf->target) == 0;
#ifdef RENAME_NOREPLACE
    if (renameat2(AT_FDCWD, nf->temp, AT_FDCWD, nf->target, RENAME_NOREPLACE) == 0) return true;
    if (errno == EEXIST) return false;
#endif
    // Without an exclusive rename, a link is exclusive as well.
    if (link(nf->temp, nf->target) != 0) return false;
    unlink(nf->temp);
    return true;
#endif
}

#ifndef _WIN32
// A regular file is replaced only where the user may write it, as a plain
// overwrite would: the rename needs only the folder's permission and would
// replace a file its owner protected (chmod a-w). Windows refuses by itself
// to replace a read-only file.
bool may_replace(const char *target)
{
    struct stat st;
    if (lstat(target, &st) != 0 || !S_ISREG(st.st_mode)) return true;
    return faccessat(AT_FDCWD, target, W_OK, AT_EACCESS) == 0;
}

// A regular file that is replaced hands its permission bits on, set while
// the new file has no name yet. A link, or no file, leaves the default.
bool keep_mode(int fd, const char *target)
{
    struct stat st;
    if (lstat(target, &st) != 0 || !S_ISREG(st.st_mode)) return true;
    return fchmod(fd, st.st_mode & 0777) == 0;
}
#endif

// A target that is something other than a regular file (a device, itself
// or behind a link) is written in place: true, with nf->f open on it or
// null and errno. False when the target is a regular file or missing.
bool open_in_place(NewFile *nf, const char *mode)
{
#ifdef _WIN32
    struct _stat64 st;
    if (_stat64(nf->target, &st) != 0 || (st.st_mode & _S_IFMT) == _S_IFREG) return false;
    nf->f = fopen(nf->target, mode);
#else
    struct stat st;
    if (stat(nf->target, &st) != 0 || S_ISREG(st.st_mode)) return false;
    int fd = open(nf->target, O_WRONLY | O_NOCTTY | O_CLOEXEC);
    // A regular file put in its place meanwhile is not written over.
    if (fd >= 0 && (fstat(fd, &st) != 0 || S_ISREG(st.st_mode))) {
        close(fd);
        fd = -1;
        errno = EEXIST;
    }
    if (fd >= 0 && !(nf->f = fdopen(fd, mode))) close(fd);
#endif
    nf->in_place = true;
    return true;
}

}  // namespace

bool new_file_open(NewFile *nf, const char *target, const char *mode, bool replace)
{
    nf->f = nullptr;
    nf->target = target;
    nf->temp = nullptr;
    nf->unnamed = false;
    nf->replace = replace;
    nf->in_place = false;
    if (!replace && name_taken(target)) return false;
    if (replace && open_in_place(nf, mode)) return nf->f != nullptr;
#ifndef _WIN32
    if (replace && !may_replace(target)) return false;
#endif

    int fd = -1;
#ifdef O_TMPFILE
    fd = create_unnamed(target);
    nf->unnamed = fd >= 0;
#endif
    if (fd < 0) fd = create_temp(nf, strchr(mode, 'b') == nullptr);
    if (fd < 0) return false;
#ifdef _WIN32
    nf->f = _fdopen(fd, mode);
#else
    nf->f = fdopen(fd, mode);
#endif
    if (nf->f) return true;
    int err = errno;
#ifdef _WIN32
    _close(fd);
#else
    close(fd);
#endif
    new_file_discard(nf);
    errno = err;
    return false;
}

int new_file_commit(NewFile *nf)
{
    FILE *f = nf->f;
    nf->f = nullptr;
    int err = 0;
    if (fflush(f) != 0)
        err = reason();
    else if (ferror(f))
        err = EIO;
#ifndef _WIN32
    int fd = -1;
    if (!err && nf->replace && !nf->in_place && !keep_mode(fileno(f), nf->target)) err = reason();
    // A second descriptor names the unnamed file once the stream is closed.
    if (!err && nf->unnamed && (fd = dup(fileno(f))) < 0) err = reason();
#endif
    if (fclose(f) != 0 && !err) err = reason();  // a full disk may first show at the close
#ifdef O_TMPFILE
    if (!err && nf->unnamed && !name_unnamed(nf, fd)) err = reason();
    if (fd >= 0) close(fd);
#endif
    if (!err && !nf->unnamed && nf->temp && !name_temp(nf)) err = reason();
    if (!err && nf->temp) {  // the temporary name is the target's now
        release_temp(nf->temp);
        nf->temp = nullptr;
    }
    new_file_discard(nf);
    errno = err;
    return err ? -1 : 0;
}

void new_file_discard(NewFile *nf)
{
    int err = errno;
    if (nf->f) fclose(nf->f);
    nf->f = nullptr;
    if (nf->temp) {
        remove(nf->temp);
        release_temp(nf->temp);
    }
    nf->temp = nullptr;
    errno = err;
}

bool regular_file_at(const char *path)
{
    struct stat st;
    return stat(path, &st) == 0 && S_ISREG(st.st_mode);
}
