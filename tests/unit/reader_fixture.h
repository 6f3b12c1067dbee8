// Shared by the reader tests: a clean program state, the model stream in
// f1 (a real file or a memory stream), scripted answers, captured output.
#ifndef READER_FIXTURE_H
#define READER_FIXTURE_H

#include <gtest/gtest.h>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "console.h"
#include "nadir_spot.h"

class ReaderTest : public ::testing::Test {
protected:
    std::string answers_, memory_;

    // The program state as at start, before each test and after it (a
    // test may also call both between two runs of a reader).
    void SetUp() override { reset_state(); }
    void TearDown() override { reset_state(); }

    // The model as a memory stream (a pipe on Windows), or else a file.
    void model(const std::string &bytes, bool memory) { memory ? model_memory(bytes) : model_file(bytes); }

    // The model as a regular file (its size is known to the readers).
    void model_file(const std::string &bytes)
    {
        f1 = tmpfile();
        ASSERT_NE(f1, nullptr);
        fwrite(bytes.data(), 1, bytes.size(), f1);
        rewind(f1);
    }

    // The model as a memory stream (no size known in advance); not empty.
    void model_memory(const std::string &bytes)
    {
        memory_ = bytes;
#ifdef _WIN32
        // No memory streams here: a pipe whose buffer holds every byte.
        int fds[2];
        ASSERT_EQ(_pipe(fds, static_cast<unsigned>(memory_.size()) + 4096, _O_BINARY), 0);
        ASSERT_EQ(_write(fds[1], memory_.data(), static_cast<unsigned>(memory_.size())),
                  static_cast<int>(memory_.size()));
        _close(fds[1]);
        f1 = _fdopen(fds[0], "rb");
#else
        f1 = fmemopen(&memory_[0], memory_.size(), "rb");
#endif
        ASSERT_NE(f1, nullptr);
    }

    // Runs a reader with these answers and returns what it printed.
    std::string run(void (*reader)(void), const std::string &answers)
    {
        answers_ = answers;
        console_input_memory(answers_.data(), answers_.size());
        ::testing::internal::CaptureStdout();
        reader();
        return ::testing::internal::GetCapturedStdout();
    }

    // For death tests: the child's standard output goes to its standard
    // error, where EXPECT_EXIT matches the message.
    static void output_to_stderr()
    {
        fflush(stdout);
        dup2(2, 1);
    }

    // Runs a reader that is expected to stop (inside EXPECT_EXIT).
    void die(void (*reader)(void), const std::string &answers)
    {
        output_to_stderr();
        answers_ = answers;
        console_input_memory(answers_.data(), answers_.size());
        reader();
    }

    // Names of this run of the binary. On Windows a death test runs in a new
    // process of the binary, which must find the same files: the tag passes
    // to it in the environment.
    static std::string temp_path(const std::string &name)
    {
        static std::string tag;
        if (tag.empty()) {
            const char *inherited = getenv("NADIR_TEST_TAG");
            tag = inherited && *inherited ? inherited : std::to_string(getpid());
#ifdef _WIN32
            _putenv_s("NADIR_TEST_TAG", tag.c_str());
#else
            setenv("NADIR_TEST_TAG", tag.c_str(), 1);
#endif
        }
        return ::testing::TempDir() + "nadir_" + tag + "_" + name;
    }

    static std::string slurp(const std::string &path)
    {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }

    // A file the program wrote in text mode, as the program wrote it: on
    // Windows every line feed must have come as CR LF, which turns back to LF.
    static std::string slurp_text(const std::string &path)
    {
        std::string s = slurp(path);
#ifdef _WIN32
        std::string t;
        for (char c : s) {
            t += c;
            if (c != '\n') continue;
            if (t.size() < 2 || t[t.size() - 2] != '\r') return "line feed without CR in: " + s;
            t.erase(t.size() - 2, 1);
        }
        s = t;
#endif
        return s;
    }

    static bool exists(const std::string &path) { return access(path.c_str(), F_OK) == 0; }
};

#endif
