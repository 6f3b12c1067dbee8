#include "readers.h"

#include <sys/stat.h>

#include <cstring>

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

char *shown_text(const char *word, size_t length, char *out)
{
    size_t n = length < static_cast<size_t>(SHOWN_WORD) ? length : SHOWN_WORD;
    char *o = out;
    for (size_t i = 0; i < n; i++) {
        unsigned char c = static_cast<unsigned char>(word[i]);
        if (c >= 0x20 && c < 0x7f) {
            *o++ = static_cast<char>(c);
        } else {
            static const char hex[] = "0123456789ABCDEF";
            *o++ = '\\';
            *o++ = 'x';
            *o++ = hex[c >> 4];
            *o++ = hex[c & 15];
        }
    }
    *o = '\0';
    return out;
}
