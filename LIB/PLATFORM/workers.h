// Work on the other processors, and reads of a file at an offset for it.
//
//   Worker w;
//   bool started = worker_start(&w, work, arg);  // work(arg) on a thread of its own
//   ...
//   if (started) worker_join(&w); else work(arg);  // no thread: the caller does it
//
// processors() is how many processors the process may run on, at least 1.
// worker_start returns false when no thread can be had (none left, or a
// build without them: Windows, where processors() is 1 and read_at fails).
// Nothing printed, nothing else shared: a worker's results are what work
// writes through arg, read by the caller once worker_join has returned.
#ifndef WORKERS_H
#define WORKERS_H

#include <cstddef>

#ifndef _WIN32
#include <pthread.h>
#endif

struct Worker {
#ifndef _WIN32
    pthread_t thread;
#endif
};

int processors(void);

// How many processors share `amount` of work, each taking `least` of it
// at least (below that a thread costs more than it saves): 1 to
// MAX_WORKERS.
const int MAX_WORKERS = 64;
int workers_for(long long amount, long long least);
bool worker_start(Worker *w, void *(*work)(void *), void *arg);
void worker_join(Worker *w);

// Reads up to n bytes of the file fd (fileno of a stream) at offset into
// buf, without moving its position (so several threads may read one file
// at once): the count read,
// fewer than n only at the end of the file, or -1 on an error.
long long read_at(int fd, char *buf, size_t n, long long offset);

#endif
