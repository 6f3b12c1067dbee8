// Drives the console layer from the command line so that tests can talk to
// it through a real pipe or pseudo-terminal: each argument is one step.
//   int | real | word | key | stop   (stop: an error stop, status 1)
//   open TEXT MODE   opens the path text TEXT as the program would
//   write TEXT       writes "1 2\n3\n" to TEXT in text mode
#include <cstdio>
#include <cstring>

#include "console.h"

int main(int argc, char **argv)
{
    for (int i = 1; i < argc; i++) {
        const char *step = argv[i];
        if (!strcmp(step, "int")) {
            int v = 0;
            printf("int? ");
            while (!ask_int(&v)) printf("int? ");
            printf("[int %d]\n", v);
        } else if (!strcmp(step, "real")) {
            double v = 0;
            printf("real? ");
            while (!ask_real(&v)) printf("real? ");
            printf("[real %.17g]\n", v);
        } else if (!strcmp(step, "word")) {
            char w[16];
            printf("word? ");
            size_t n = ask_word(w, sizeof w);
            printf("[word %s %zu]\n", w, n);
        } else if (!strcmp(step, "key")) {
            printf("key? ");
            wait_key();
            printf("[key]\n");
        } else if (!strcmp(step, "stop")) {
            stop_run(1, "[stopping]");
        } else if (!strcmp(step, "open") && i + 2 < argc) {
            FILE *f = open_path(argv[i + 1], argv[i + 2]);
            printf("[open %s]\n", f ? "ok" : "failed");
            if (f) fclose(f);
            i += 2;
        } else if (!strcmp(step, "write") && i + 1 < argc) {
            FILE *f = open_path(argv[++i], "w");
            if (f) {
                fputs("1 2\n3\n", f);
                fclose(f);
            }
            printf("[write %s]\n", f ? "ok" : "failed");
        }
    }
    return 0;
}
