// New files made safely: created beside their target, written whole, then
// given their name in one step.
//
// The file is made in its target's folder, created exclusively (O_EXCL or
// O_TMPFILE; CREATE_NEW on Windows), never through a symbolic link, with
// the mode 0666 filtered by the umask. On Linux it has no name until it is
// whole (O_TMPFILE), so a process killed at any moment leaves nothing of it.
// Where that is missing or refused, it is written under an unpredictable
// temporary name beside the target, <target>.tmp followed by 12 random
// letters and digits, renamed to the target once whole. While one exists,
// an ending signal (SIGINT, SIGTERM, SIGHUP, SIGQUIT; on Windows Ctrl-C,
// Ctrl-Break and the console's close) removes it before the process ends
// as that signal ends it; only a kill that cannot be caught leaves it. At
// most 4 temporary names are held at once.
//
// Synopsis:
//   NewFile nf;
//   if (!new_file_open(&nf, "dir/mask.bmp", "wb", true)) { /* errno */ }
//   fwrite(data, 1, n, nf.f);
//   if (new_file_commit(&nf) != 0) { /* nothing named, nothing left */ }
//   // or new_file_discard(&nf) to drop it
//
// Nothing printed: the results and errno are the report. The one global
// state is the list of named temporaries for the signal handler, in place
// only while one is under way.
#ifndef NEW_FILE_H
#define NEW_FILE_H

#include <cstdio>

// One file on its way. Only f is for the caller, between the open and the
// commit or discard.
struct NewFile {
    FILE *f;             // where the bytes go
    const char *target;  // the name it gets (the caller's text)
    char *temp;          // its temporary name, null while it has none
    bool unnamed;        // an O_TMPFILE file, named through /proc
    bool replace;        // a file of that name is replaced; else the name must stay free
    bool in_place;       // the target is a device or the like: written as it is
};

// Makes the file for target (mode "w" text or "wb" binary; target must
// outlive the commit). replace true: a regular file of that name, or a
// symbolic link (the link itself, not what it points to), is replaced at
// the commit; a regular file hands its permission bits on (POSIX). A
// device or the like, itself or behind a link, is opened and written in
// place (a folder fails). A regular file the user may not write (POSIX: the
// effective user's permission) is not replaced: EACCES at once. replace
// false: the name must be free now and still be free at the commit;
// nothing is ever replaced.
// Returns false, with errno, when the file cannot be made: the folder is
// missing or refuses it, (replace false) the name is taken (EEXIST), or 4
// temporary names are held already (EMFILE).
// Nothing is left then.
bool new_file_open(NewFile *nf, const char *target, const char *mode, bool replace);

// Flushes and closes the stream, then gives the file its name. Returns 0,
// or -1 with errno when a write, the flush, the close or the naming failed
// (EEXIST: replace false and the name was taken meanwhile); then nothing
// is named, no temporary is left and an existing file is untouched.
int new_file_commit(NewFile *nf);

// Closes the stream and drops the file: nothing is named, nothing left.
void new_file_discard(NewFile *nf);

// True when path names a regular file (or a link to one): a file that a
// failed new file leaves, or that no new file of the run wrote.
bool regular_file_at(const char *path);

#endif
