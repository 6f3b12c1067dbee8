#include "readers.h"

#include <sys/stat.h>

long long stream_bytes_left(FILE *f)
{
    int fd = fileno(f);
    if (fd < 0) return -1;
#ifdef _WIN32
    struct _stat64 st;
    if (_fstat64(fd, &st) != 0 || (st.st_mode & _S_IFMT) != _S_IFREG) return -1;
#else
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
#endif
    long pos = ftell(f);  // the readers start at the beginning: 0 if unknown
    long long left = static_cast<long long>(st.st_size) - (pos > 0 ? pos : 0);
    return left > 0 ? left : 0;
}
